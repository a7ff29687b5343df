#include "host/Vexcore.h"
#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/device/Tvc_DX8_Device.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class DeviceChannelTest : public ::testing::Test {
protected:
    Tav_Channel* AddToGraph(const char* guid, const char* name)
    {
        std::string error;
        Tav_Channel* channel = host.AddChannel(vex::Guid(guid), name, &error);
        EXPECT_NE(channel, nullptr) << error;
        return channel;
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
};

TEST(DeviceSlots, GetDeviceIsTheFirstOperationAfterTavChannel)
{
    EXPECT_EQ(vex::test::VirtualSlot(&Tav_DeviceInterface::GetDevice), vex::test::kFirstDerivedSlot);
}

TEST_F(DeviceChannelTest, LoadsByGuidAndOwnsOneDevice)
{
    auto* device = dynamic_cast<Tav_DeviceInterface*>(AddToGraph(vex::guids::kDevice, "device"));
    ASSERT_NE(device, nullptr);
    EXPECT_STREQ(device->GetChannelType().name, "DX8 Device");
    IDirect3DDevice8* d3d = device->GetDevice();
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(device->GetDevice(), d3d);
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(d3d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    EXPECT_EQ(d3d->SetTexture(0, texture), S_OK);
    texture->Release(); // the stage keeps its own reference until the device goes
}

TEST_F(DeviceChannelTest, DeviceUsersFindTheDeviceThroughTheHost)
{
    // A device user added first brings a device channel along as its dependency.
    auto* user = dynamic_cast<Tvc_DX8_D3DDeviceUse*>(AddToGraph(vex::guids::kDeviceUse, "user"));
    ASSERT_NE(user, nullptr);
    auto* device = dynamic_cast<Tav_DeviceInterface*>(host.GetChannelByGuid(vex::Guid(vex::guids::kDevice)));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(user->GetDevice(), device->GetDevice());
    EXPECT_EQ(user->GetDeviceChannel(), device);

    host.RemoveChannel(device);
    EXPECT_EQ(user->GetDeviceChannel(), nullptr);
    EXPECT_EQ(user->GetDevice(), nullptr);
}

TEST_F(DeviceChannelTest, CopyKeepsTheDeviceAliveAfterTheOriginalIsGone)
{
    vex::ScopedConstructionHost scope(&host);
    auto original = std::make_unique<Tvc_DX8_Device>();
    auto copy = std::make_unique<Tvc_DX8_Device>(*original);
    IDirect3DDevice8* d3d = original->GetDevice();
    EXPECT_EQ(copy->GetDevice(), d3d);
    original.reset();
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(copy->GetDevice()->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), S_OK);
    if (texture)
        texture->Release();
}

} // namespace
