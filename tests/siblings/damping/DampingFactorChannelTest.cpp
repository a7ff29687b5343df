#include "tests/siblings/value/RealChannelChecks.h"

#include "host/siblings/Tvc_MatrixChannel.h"

namespace vex::testing {

INSTANTIATE_TEST_SUITE_P(DampingFactor, RealChannelTest,
                         ::testing::Values(RealChannelCase{guids::kDampingFactor, "Damping Factor", guids::kValue,
                                                           "DFKV", 1.0f}));

// A damping-factor channel counts as a value where a parent looks children up by the value type.
TEST(DampingFactorChannel, IsFoundWhereAValueIsExpected)
{
    Vexcore host({VEX_PLUGIN_DIR});
    std::string error;
    Tav_Channel* parent = host.AddChannel(Guid(guids::kMatrix), "parent", &error);
    ASSERT_NE(parent, nullptr) << error;
    Tav_Channel* damping = host.AddChannel(Guid(guids::kDampingFactor), "k", &error);
    ASSERT_NE(damping, nullptr) << error;
    ASSERT_TRUE(host.Link(parent, damping, -1, &error)) << error;
    EXPECT_EQ(parent->GetChildFromLinkGuid(Guid(guids::kValue), 0), damping);
    EXPECT_EQ(parent->GetChildTypeCount(Guid(guids::kValue)), 1);
}

} // namespace vex::testing
