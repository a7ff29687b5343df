#include "host/InterfaceCast.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Primary {
    virtual ~Primary() = default;
};
struct Extension {
    virtual ~Extension() = default;
};
struct Plain : Primary {};
struct Offering : Primary, Extension {};
// Two Offering subobjects: which one a cast to Offering finds depends on the Primary it starts from.
struct Left : Offering {};
struct Right : Offering {};
struct Twice : Left, Right {};

template <class To> void ExpectAsDynamicCast(const std::vector<Primary*>& sequence)
{
    for (size_t i = 0; i < sequence.size(); ++i)
        EXPECT_EQ(vex::InterfaceCast<To>(*sequence[i]), dynamic_cast<To*>(sequence[i])) << "step " << i;
}

} // namespace

// The kept answer holds for the same complete type reached through the same base only: objects of other
// types, and the other of two bases of one object, must not reuse it.
TEST(InterfaceCast, AnswersAsDynamicCastWhateverTheOrderOfObjects)
{
    Plain plain;
    Offering offering[2];
    Twice twice;
    Primary* left = static_cast<Left*>(&twice);
    Primary* right = static_cast<Right*>(&twice);
    const std::vector<Primary*> sequence = {&plain, &offering[0], &offering[1], &offering[0], &plain, left,
                                            right,  right,        left,         &offering[1], right,  &plain};
    ExpectAsDynamicCast<Extension>(sequence);
    ExpectAsDynamicCast<const Extension>(sequence);
    ExpectAsDynamicCast<Offering>(sequence);
}
