#pragma once
// Finding an extension interface on a sibling channel as dynamic_cast does, without its cost on every
// call. A cross cast searches the object's class hierarchy, which takes about as long as a resting box's
// quick tests on a few triangles; its answer depends only on the object's complete type and on which
// base subobject the pointer names. Both are read from the object's type data on each call (no search),
// and the answer, as an offset into the complete object, is kept per thread for the last pair seen. A
// type's data never moves or makes room for another's: channel libraries stay mapped once loaded
// (RTLD_NODELETE), so a kept type can only ever be that type.

#include <cstddef>
#include <typeinfo>

namespace vex {

/// dynamic_cast<To*>(&object), for a polymorphic From; To may be const-qualified.
template <class To, class From> To* InterfaceCast(From& object)
{
    struct Last {
        const std::type_info* type = nullptr;
        std::ptrdiff_t from = 0; ///< the pointer given, less the complete object
        std::ptrdiff_t to = 0;   ///< the answer, less the complete object
        bool offered = false;
    };
    static thread_local Last last;
    const char* whole = static_cast<const char*>(dynamic_cast<const void*>(&object));
    const std::type_info* type = &typeid(object);
    const std::ptrdiff_t from = reinterpret_cast<const char*>(&object) - whole;
    if (type == last.type && from == last.from)
        return last.offered ? reinterpret_cast<To*>(const_cast<char*>(whole) + last.to) : nullptr;
    To* found = dynamic_cast<To*>(&object);
    last = {type, from, found ? reinterpret_cast<const char*>(found) - whole : 0, found != nullptr};
    return found;
}

} // namespace vex
