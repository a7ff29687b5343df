// Other libraries call channels through their virtual tables, so the slot of every operation is part of
// the interface. Under the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte
// offset of its slot; the destructor takes the first two slots.
#include "host/Tav_Channel.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "host/siblings/Tav_InputInterface.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/Tav_ProgressInterface.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/Tav_WorldInterface.h"
#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"
#include "host/siblings/Tvc_DX8_Texture.h"
#include "host/siblings/Tvc_MatrixChannel.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

/// The slot index a pointer to a virtual member function names, or -1 for a non-virtual one.
template <class Member> long SlotOf(Member member)
{
    struct Representation {
        uintptr_t pointerOrOffset;
        ptrdiff_t thisAdjustment;
    };
    static_assert(sizeof(Member) == sizeof(Representation));
    Representation r;
    std::memcpy(&r, &member, sizeof r);
    if ((r.pointerOrOffset & 1) == 0 || r.thisAdjustment != 0)
        return -1;
    return static_cast<long>((r.pointerOrOffset - 1) / sizeof(void*));
}

struct Slot {
    std::string name;
    long expected;
    long actual;
};

/// Slots of a class's own operations: consecutive from `first`, in the order given.
class SlotList {
public:
    SlotList(std::vector<Slot>& out, std::string owner, long first) : out_(out), owner_(std::move(owner)), next_(first)
    {
    }
    template <class Member> SlotList& operator()(const char* name, Member member)
    {
        out_.push_back({owner_ + "::" + name, next_++, SlotOf(member)});
        return *this;
    }

private:
    std::vector<Slot>& out_;
    std::string owner_;
    long next_;
};

constexpr long kFirstSiblingSlot = 13; // two destructor slots + eleven Tav_Channel operations

std::vector<Slot> AllSlots()
{
    std::vector<Slot> s;
    SlotList(s, "Tav_Channel", 2)("CallChannel", &Tav_Channel::CallChannel)(
        "OneTimeInitialize", &Tav_Channel::OneTimeInitialize)("DoEvent", &Tav_Channel::DoEvent)(
        "GetChannelType", &Tav_Channel::GetChannelType)("SaveChannel", &Tav_Channel::SaveChannel)(
        "LoadChannel", &Tav_Channel::LoadChannel)("SetChannelInterfaceType", &Tav_Channel::SetChannelInterfaceType)(
        "GetChannelFromChannel", &Tav_Channel::GetChannelFromChannel)("GetTimeStamp", &Tav_Channel::GetTimeStamp)(
        "SetTimeStamp", &Tav_Channel::SetTimeStamp)("DoDependencyInit", &Tav_Channel::DoDependencyInit);

    SlotList(s, "Tvc_MatrixChannel", kFirstSiblingSlot)("GetOldMatrix", &Tvc_MatrixChannel::GetOldMatrix)(
        "GetMatrix", &Tvc_MatrixChannel::GetMatrix)("SetMatrix", &Tvc_MatrixChannel::SetMatrix)(
        "Release", &Tvc_MatrixChannel::Release);
    // Overrides keep the base's slots.
    SlotList(s, "Tvc_MatrixChannel(override)",
             6)("SaveChannel", &Tvc_MatrixChannel::SaveChannel)("LoadChannel", &Tvc_MatrixChannel::LoadChannel);

    SlotList(s, "Tav_ValueInterface",
             kFirstSiblingSlot)("GetReal", &Tav_ValueInterface::GetReal)("SetReal", &Tav_ValueInterface::SetReal);

    SlotList(s, "Tav_WorldInterface", kFirstSiblingSlot)("GetWorld", &Tav_WorldInterface::GetWorld)(
        "CreateGeomTransform", &Tav_WorldInterface::CreateGeomTransform)("CreateBox", &Tav_WorldInterface::CreateBox)(
        "CreateSphere", &Tav_WorldInterface::CreateSphere)("CreatePlane", &Tav_WorldInterface::CreatePlane)(
        "CreateMeshGeom", &Tav_WorldInterface::CreateMeshGeom)("GetWorldFactor", &Tav_WorldInterface::GetWorldFactor)(
        "RegisterBody", &Tav_WorldInterface::RegisterBody)("UnregisterBody", &Tav_WorldInterface::UnregisterBody)(
        "GetIfFrozen", &Tav_WorldInterface::GetIfFrozen);

    SlotList(s, "Tvc_DX8_D3DDeviceUse", kFirstSiblingSlot)("InvalidateDeviceObjects",
                                                           &Tvc_DX8_D3DDeviceUse::InvalidateDeviceObjects)(
        "InvalidateDirectGraphics", &Tvc_DX8_D3DDeviceUse::InvalidateDirectGraphics);

    using T = Tvc_DX8_Texture;
    SlotList(s, "Tvc_DX8_Texture", kFirstSiblingSlot)("InvalidateDeviceObjects", &T::InvalidateDeviceObjects)(
        "InvalidateDirectGraphics", &T::InvalidateDirectGraphics)("Release", &T::Release)("SetTexture", &T::SetTexture)(
        "LoadTextureFromFile", &T::LoadTextureFromFile)("LoadTextureFromMemory", &T::LoadTextureFromMemory)(
        "LoadTextureFromMemoryAndCopyBuffer", &T::LoadTextureFromMemoryAndCopyBuffer)(
        "SetMipMapLevels", &T::SetMipMapLevels)("GetMipMapLevels", &T::GetMipMapLevels)("GetTextureDescription",
                                                                                        &T::GetTextureDescription)(
        "LockTexture", &T::LockTexture)("UnlockTexture", &T::UnlockTexture)("GetIfValidTexture", &T::GetIfValidTexture)(
        "SetDesiredHeight", &T::SetDesiredHeight)("SetDesiredWidth", &T::SetDesiredWidth)(
        "GetDesiredHeight", &T::GetDesiredHeight)("GetDesiredWidth", &T::GetDesiredWidth)(
        "RestoreTexture", &T::RestoreTexture)("CreateTumbNailTexture", &T::CreateTumbNailTexture)(
        "AddAlphaTexture", &T::AddAlphaTexture)("CopyOurselvesIntoTexture", &T::CopyOurselvesIntoTexture)(
        "CheckAplhaRefresh", &T::CheckAplhaRefresh)("GetIfPublicTexture", &T::GetIfPublicTexture)(
        "SetIfPublicTexture", &T::SetIfPublicTexture)("SetForceARGB", &T::SetForceARGB)("GetTexture", &T::GetTexture)(
        "SetIsNormalMap", &T::SetIsNormalMap)("GetIsNormalMap", &T::GetIsNormalMap)(
        "SetNormalMapType", &T::SetNormalMapType)("GetNormalMapType", &T::GetNormalMapType)(
        "CreateNormalMap", &T::CreateNormalMap)("GetTextureBuffer", &T::GetTextureBuffer)(
        "GetBufferSize", &T::GetBufferSize)("SetUseTextureCompression", &T::SetUseTextureCompression)(
        "GetUseTextureCompression", &T::GetUseTextureCompression)("LoadALphaFromFile", &T::LoadALphaFromFile)(
        "AddAlphaFromInternalBuffer", &T::AddAlphaFromInternalBuffer)("GetIfUseBufferAlpha", &T::GetIfUseBufferAlpha)(
        "ClearUseBufferAlpha", &T::ClearUseBufferAlpha)("SetUseAlphaOnMipmap", &T::SetUseAlphaOnMipmap)(
        "GetUseAlphaOnMipmap", &T::GetUseAlphaOnMipmap)("CheckBufferUpdate", &T::CheckBufferUpdate);
    SlotList(s, "Tvc_DX8_Texture(override)", 6)("SaveChannel", &T::SaveChannel)("LoadChannel", &T::LoadChannel);

    SlotList(s, "Tav_DeviceInterface", kFirstSiblingSlot)("GetDevice", &Tav_DeviceInterface::GetDevice);
    SlotList(s, "Tav_CollisionObjectInterface", kFirstSiblingSlot)("GetCollisionMatrix",
                                                                   &Tav_CollisionObjectInterface::GetCollisionMatrix)(
        "GetPolygonsInBox", &Tav_CollisionObjectInterface::GetPolygonsInBox)(
        "GetPolygonVertices", &Tav_CollisionObjectInterface::GetPolygonVertices);
    SlotList(s, "Tav_3DObjectInterface", kFirstSiblingSlot)("GetWorldMatrix", &Tav_3DObjectInterface::GetWorldMatrix)(
        "GetSurfaceCount", &Tav_3DObjectInterface::GetSurfaceCount);
    SlotList(s, "Tav_SurfaceInterface", kFirstSiblingSlot)("GetStageTexCoordSet",
                                                           &Tav_SurfaceInterface::GetStageTexCoordSet)(
        "GetLeadingTextureChannel", &Tav_SurfaceInterface::GetLeadingTextureChannel)(
        "GetLeadingTextureIndex", &Tav_SurfaceInterface::GetLeadingTextureIndex);
    SlotList(s, "Tav_MeshInterface", kFirstSiblingSlot)("GetIndexCount", &Tav_MeshInterface::GetIndexCount)(
        "GetVertexIndex", &Tav_MeshInterface::GetVertexIndex)("GetVertexPosition",
                                                              &Tav_MeshInterface::GetVertexPosition)(
        "GetVertexNormal", &Tav_MeshInterface::GetVertexNormal)("GetVertexTexCoord",
                                                                &Tav_MeshInterface::GetVertexTexCoord)(
        "GetPrimitiveType", &Tav_MeshInterface::GetPrimitiveType)("HasTexCoordSet", &Tav_MeshInterface::HasTexCoordSet);
    SlotList(s, "Tav_OctTreeInterface", kFirstSiblingSlot)("TraceRay", &Tav_OctTreeInterface::TraceRay)(
        "PrepareShadowTree", &Tav_OctTreeInterface::PrepareShadowTree)(
        "SetUseCulling", &Tav_OctTreeInterface::SetUseCulling)("TraceRayWithCulling",
                                                               &Tav_OctTreeInterface::TraceRayWithCulling);
    SlotList(s, "Tav_LightInterface", kFirstSiblingSlot)("GetLight", &Tav_LightInterface::GetLight)(
        "GetLightType", &Tav_LightInterface::GetLightType);
    SlotList(s, "Tav_ProgressInterface", kFirstSiblingSlot)("SetText", &Tav_ProgressInterface::SetText)(
        "Show", &Tav_ProgressInterface::Show)("SetProgress", &Tav_ProgressInterface::SetProgress);
    SlotList(s, "Tav_InputInterface", kFirstSiblingSlot)("GetInputState", &Tav_InputInterface::GetInputState);
    return s;
}

class VirtualSlot : public ::testing::TestWithParam<Slot> {};

TEST_P(VirtualSlot, StandsAtItsFixedPlace)
{
    const Slot& s = GetParam();
    EXPECT_EQ(s.actual, s.expected) << s.name << ": pointer value " << (1 + s.expected * 8) << " expected";
}

INSTANTIATE_TEST_SUITE_P(Interfaces, VirtualSlot, ::testing::ValuesIn(AllSlots()), [](const auto& info) {
    std::string name;
    for (char c : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

TEST(VirtualSlotValue, CallChannelIs17AndOneTimeInitializeIs25)
{
    // The raw values that another library's compiler would use.
    auto raw = [](auto member) {
        uintptr_t v;
        std::memcpy(&v, &member, sizeof v);
        return v;
    };
    EXPECT_EQ(raw(&Tav_Channel::CallChannel), 17u);
    EXPECT_EQ(raw(&Tav_Channel::OneTimeInitialize), 25u);
    EXPECT_EQ(raw(&Tav_Channel::DoDependencyInit), 1u + 12u * 8u);
    EXPECT_EQ(SlotOf(&Tav_Channel::SetChild), -1) << "link helpers are not virtual";
}

} // namespace
