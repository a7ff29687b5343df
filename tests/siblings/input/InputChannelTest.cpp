#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/input/Tvc_Input.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

Tvc_Input* gInterruptTarget = nullptr;

void OnInterrupt(int)
{
    if (gInterruptTarget)
        gInterruptTarget->SetStopRequested(true);
}

class InputChannelTest : public ::testing::Test {
protected:
    std::unique_ptr<Tvc_Input> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kInput), 0, 0);
        EXPECT_NE(dynamic_cast<Tvc_Input*>(channel), nullptr);
        return std::unique_ptr<Tvc_Input>(dynamic_cast<Tvc_Input*>(channel));
    }

    static bool StopBit(const unsigned char* state) { return (state[44] & 0x80) != 0; }

    Vexcore host{{VEX_PLUGIN_DIR}};
};

TEST(InputSlots, GetInputStateIsTheFirstOperationAfterTavChannel)
{
    EXPECT_EQ(vex::test::VirtualSlot(&Tav_InputInterface::GetInputState), vex::test::kFirstDerivedSlot);
}

TEST_F(InputChannelTest, StopBitFollowsTheRequestAndLeavesOtherBitsAlone)
{
    auto input = Create();
    ASSERT_TRUE(input);
    EXPECT_STREQ(input->GetChannelType().name, "Input");
    unsigned char* state = input->GetInputState();
    ASSERT_NE(state, nullptr);
    EXPECT_FALSE(StopBit(state));
    state[44] = 0x05; // other bits of the byte belong to other keys
    input->SetStopRequested(true);
    state = input->GetInputState();
    EXPECT_EQ(state[44], 0x85);
    input->SetStopRequested(false);
    EXPECT_EQ(input->GetInputState()[44], 0x05);
    for (int i = 0; i < Tav_InputInterface::kStateSize; ++i) {
        if (i != 44) {
            ASSERT_EQ(state[i], 0) << "byte " << i;
        }
    }
}

TEST_F(InputChannelTest, InterruptHandlerCanRaiseTheStopRequest)
{
    auto input = Create();
    gInterruptTarget = input.get();
    auto previous = std::signal(SIGINT, OnInterrupt);
    std::raise(SIGINT);
    std::signal(SIGINT, previous);
    gInterruptTarget = nullptr;
    EXPECT_TRUE(StopBit(input->GetInputState()));
}

TEST_F(InputChannelTest, CopyTakesTheRequestAndTheBlock)
{
    auto input = Create();
    input->SetStopRequested(true);
    Tvc_Input copy(*input);
    EXPECT_TRUE(StopBit(copy.GetInputState()));
    input->SetStopRequested(false);
    EXPECT_TRUE(StopBit(copy.GetInputState())); // independent of the original from now on
}

} // namespace
