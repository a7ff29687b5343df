#include "tests/siblings/value/RealChannelChecks.h"

namespace vex::testing {

INSTANTIATE_TEST_SUITE_P(Value, RealChannelTest,
                         ::testing::Values(RealChannelCase{guids::kValue, "Value", guids::kValue, "VLVL", 0.0f}));

} // namespace vex::testing
