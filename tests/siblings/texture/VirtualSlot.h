#pragma once
// The virtual-table slot a pointer to a virtual member function names. Itanium C++ ABI: such a pointer
// holds 1 + the slot's byte offset (a non-virtual one holds an even address); a virtual destructor takes
// slots 0 and 1, so the first Tav_Channel operation after it is slot 2.

#include <cstddef>
#include <cstring>

namespace vex::test {

template <class MemberFunction> int VirtualSlot(MemberFunction function)
{
    static_assert(sizeof(MemberFunction) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t representation[2];
    std::memcpy(representation, &function, sizeof representation);
    if ((representation[0] & 1) == 0)
        return -1; // not virtual
    return static_cast<int>((representation[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
}

/// Slot of the first operation after the twelve Tav_Channel ones (destructor in two slots, then 11).
inline constexpr int kFirstDerivedSlot = 13;

} // namespace vex::test
