#include "common/PluginEntry.h"
#include "host/ChannelLibrary.h"
#include "host/Tav_Channel.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>

namespace {

struct Library {
    const char* typeName;
    const char* guid;
    const char* baseGuid;
};

void PrintTo(const Library& l, std::ostream* os) { *os << l.typeName; }

class SiblingTypeRecord : public ::testing::TestWithParam<Library> {};

TEST_P(SiblingTypeRecord, GetTypeFillsTheRecordTheSameEveryCall)
{
    const Library lib = GetParam();
    std::string error;
    auto loaded = ChannelLibrary::Load(vex::Guid(lib.guid), {VEX_PLUGIN_DIR}, &error);
    ASSERT_TRUE(loaded) << error;
    const ChannelType first = loaded->ReadType();
    const ChannelType second = loaded->ReadType();
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    EXPECT_STREQ(first.name, lib.typeName);
    for (size_t i = std::strlen(lib.typeName); i < sizeof first.name; ++i)
        ASSERT_EQ(first.name[i], 0) << "byte " << i << " behind the name";
    EXPECT_EQ(first.typeGuid, vex::Guid(lib.guid));
    EXPECT_EQ(first.baseTypeGuid, vex::Guid(lib.baseGuid));
    EXPECT_EQ(first.number1, 1);
    EXPECT_EQ(first.number2, 51);
    EXPECT_EQ(first.number3, 0);
    EXPECT_EQ(first.number4, 0);
    EXPECT_FALSE(first.flag);
}

TEST_P(SiblingTypeRecord, InitDllMakesIndependentInstancesNamedByType)
{
    Vexcore host({VEX_PLUGIN_DIR});
    std::unique_ptr<Tav_Channel> a(host.CreateChannelByGuid(vex::Guid(GetParam().guid), 0, 0));
    std::unique_ptr<Tav_Channel> b(host.CreateChannelByGuid(vex::Guid(GetParam().guid), 0, 0));
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    EXPECT_NE(a.get(), b.get());
    EXPECT_STREQ(a->GetChannelName(), GetParam().typeName);
    a.reset();
    EXPECT_STREQ(b->GetChannelName(), GetParam().typeName);
    EXPECT_EQ(b->GetChannelType().typeGuid, vex::Guid(GetParam().guid));
}

using namespace vex::guids;

INSTANTIATE_TEST_SUITE_P(
    Libraries, SiblingTypeRecord,
    ::testing::Values(Library{"DX8 D3DDeviceUse", kDeviceUse, kDeviceUse}, Library{"DX8 Texture", kTexture, kDeviceUse},
                      Library{"DX8 Device", kDevice, kDevice}, Library{"DX8 3D Object", kObject3D, kObject3D},
                      Library{"DX8 Surface", kSurface, kSurface}, Library{"DX8 Mesh", kMesh, kMesh},
                      Library{"DX8 Light", kLight, kLight}, Library{"Progress", kProgress, kProgress},
                      Library{"Input", kInput, kInput}),
    [](const auto& info) {
        std::string name = info.param.typeName;
        name.erase(std::remove_if(name.begin(), name.end(),
                                  [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }),
                   name.end());
        return name;
    });

} // namespace
