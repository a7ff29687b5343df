// The body channel's virtual table is an interface other libraries call through: every slot must stay
// where it is. Under the Itanium C++ ABI a pointer to a virtual member function holds 1 + the byte
// offset of its slot; the destructor takes the first two slots.
#include "body/Tvc_ODE_BodyCollision.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Body = Tvc_ODE_BodyCollision;

template <class Method> uintptr_t SlotValue(Method method)
{
    static_assert(sizeof(Method) == 2 * sizeof(uintptr_t));
    uintptr_t words[2];
    std::memcpy(words, &method, sizeof words);
    return words[0];
}

struct Slot {
    std::string name;
    uintptr_t value;
};

// clang-format off
#define VEX_SLOT(method) Slot{#method, SlotValue(&Body::method)}
// clang-format on

TEST(BodyVirtualTable, EverySlotStaysInItsPlace)
{
    const std::vector<Slot> slots = {
        // Tav_Channel, after the two destructor slots.
        VEX_SLOT(CallChannel),
        VEX_SLOT(OneTimeInitialize),
        VEX_SLOT(DoEvent),
        VEX_SLOT(GetChannelType),
        VEX_SLOT(SaveChannel),
        VEX_SLOT(LoadChannel),
        VEX_SLOT(SetChannelInterfaceType),
        VEX_SLOT(GetChannelFromChannel),
        VEX_SLOT(GetTimeStamp),
        VEX_SLOT(SetTimeStamp),
        VEX_SLOT(DoDependencyInit),
        // Tvc_MatrixChannel.
        VEX_SLOT(GetOldMatrix),
        VEX_SLOT(GetMatrix),
        VEX_SLOT(SetMatrix),
        VEX_SLOT(Release),
        // The body channel's own.
        VEX_SLOT(GetODEMatrix),
        VEX_SLOT(GetBodyMatrix),
        VEX_SLOT(GetNonSizedBodyMatrix),
        VEX_SLOT(InitializeBody),
        VEX_SLOT(SetBodyPositionFromMatrix),
        VEX_SLOT(GetGeometryCount),
        VEX_SLOT(GetGeometryItem),
        VEX_SLOT(SetGeometryItem),
        VEX_SLOT(AddGeometryItem),
        VEX_SLOT(RemoveGeometryItem),
        VEX_SLOT(GetBodyID),
        VEX_SLOT(SetIfUseDynamics),
        VEX_SLOT(GetIfUseDynamics),
        VEX_SLOT(UpdateGeometryPositions),
        VEX_SLOT(GetMatrixRotation),
        VEX_SLOT(GetODERotationMatrix),
        VEX_SLOT(CollideSphere),
        VEX_SLOT(CollideBox),
        VEX_SLOT(SphereTriangleCollision),
        VEX_SLOT(SphereEdgeCollision),
        VEX_SLOT(CalculateSphereBounds),
        VEX_SLOT(GetIfPlaneContainsPoint),
        VEX_SLOT(GetPointEdgeDistance),
        VEX_SLOT(CreateBoxFromPoly),
        VEX_SLOT(CalculateBoxBounds),
        VEX_SLOT(dBoxBox),
        VEX_SLOT(lineClosestApproach),
        VEX_SLOT(SetAngularVelocityDampenValue),
        VEX_SLOT(GetAngularVelocityDampenValue),
        VEX_SLOT(SetIfDisableForces),
        VEX_SLOT(GetIfDisableForces),
        VEX_SLOT(GetIfRunningDynamics),
        VEX_SLOT(GetLinearVelocityVector),
        VEX_SLOT(GetAngularVelocityVector),
        VEX_SLOT(GetForceVector),
        VEX_SLOT(GetTorqueVector),
        VEX_SLOT(GetBodyGetRelPointVel),
        VEX_SLOT(SetPenetrationOfBody),
        VEX_SLOT(SetBodyPositionFromOldMatrix),
        VEX_SLOT(SetIfDynamicDisableForces),
        VEX_SLOT(GetIfDynamicDisableForces),
    };
    ASSERT_EQ(slots.size(), 56u); // 11 + 4 + 41 after the destructor's two slots
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i].value, 1 + (2 + i) * sizeof(void*)) << slots[i].name;
}

#undef VEX_SLOT

TEST(GeometryItemVirtualTable, DestructorThenRotation)
{
    EXPECT_EQ(SlotValue(&ODE_GeometryItem::GetRotationMatrix), 1 + 2 * sizeof(void*));
    EXPECT_EQ(SlotValue(&ODE_OLD2GeometryItem::GetRotationMatrix), 1 + 2 * sizeof(void*));
}

} // namespace
