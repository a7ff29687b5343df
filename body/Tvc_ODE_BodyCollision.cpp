// Lifetime and frame evaluation of the rigid-body channel.
#include "body/Tvc_ODE_BodyCollision.h"

#include "body/BodyConstants.h"
#include "body/BodySoundness.h"
#include "body/RepeatedCollisions.h"
#include "common/ChannelType.h"
#include "common/PluginEntry.h"
#include "host/ChildLink.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/Tav_WorldInterface.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"

#include <cmath>
#include <cstring>

VEX_CHANNEL_PLUGIN(Tvc_ODE_BodyCollision, "ODE Body", vex::guids::kBody, vex::guids::kMatrix)

namespace {

void StopBody(dBodyID body)
{
    dBodySetLinearVel(body, 0, 0, 0);
    dBodySetAngularVel(body, 0, 0, 0);
}

} // namespace

Tvc_ODE_BodyCollision::Tvc_ODE_BodyCollision()
    : world(nullptr), bodyID(nullptr), initialised(false), oldMatrix(Identity()), useDynamics(true),
      angularDampenValue(0.0f), dampingFactorChannel(nullptr), disableForces(false),
      // Static boxes are sized with the scale before any matrix was applied: start with "no scale".
      bodyScale(1, 1, 1), dynamicDisableForces(false), penetration(0.0f), resting(true), restTimer(0)
{
    SetChannelName("ODE Body");
    SetChildCreateType(vex::MakeChildCreation("Matrix", vex::Guid(vex::guids::kMatrix), 0, "Start position"), 0);
    SetChildCreateType(vex::MakeChildCreation("Value", vex::Guid(vex::guids::kValue), 1, "Enable Body"), 1);
    SetChildCreateType(
        vex::MakeChildCreation("DX8 CollisionObject", vex::Guid(vex::guids::kCollisionObject), -1, "Collision object"),
        2);

    if (host_)
        world = vex::AsInterface<Tav_WorldInterface>(host_->GetChannelByGuid(vex::Guid(vex::guids::kWorld), 0));
    if (world)
        world->RegisterBody();
    else if (host_)
        // Without a world there is nowhere to build a body: the channel passes its start matrix through.
        host_->ShowDebugMessage("ODE Body: no world channel exists; the body follows its start matrix");

    auto* item = new ODE_GeometryItem;
    item->owner = this;
    geometryItems.AddItem(item);

    if (host_) {
        Tav_Channel* factor = host_->CreateChannelByGuid(vex::Guid(vex::guids::kDampingFactor), 0, 0);
        dampingFactorChannel = vex::AsInterface<Tav_ValueInterface>(factor);
        // A factor channel of another class is of no use and ours to free.
        if (!dampingFactorChannel)
            delete factor;
    }
}

Tvc_ODE_BodyCollision::~Tvc_ODE_BodyCollision()
{
    if (bodyID) {
        dBodyDestroy(bodyID);
        bodyID = nullptr;
    }
    for (int i = 0; i < geometryItems.GetItemCount(); ++i)
        delete static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
    geometryItems.ReleaseItems();
    delete dampingFactorChannel;
    dampingFactorChannel = nullptr;
    if (world)
        world->UnregisterBody();
}

void Tvc_ODE_BodyCollision::CallChannel() { GetMatrix(); }

void Tvc_ODE_BodyCollision::DoDependencyInit(Tav_List* list)
{
    AddChannelGuidDepend(vex::Guid(vex::guids::kWorld), list);
}

D3DXMATRIX Tvc_ODE_BodyCollision::GetMatrix()
{
    const D3DXMATRIX result = GetODEMatrix();
    if (!matrix)
        return result;
    *matrix = result;
    return *matrix;
}

void Tvc_ODE_BodyCollision::Release()
{
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (item && item->geom) {
            // A transform destroys its wrapped shape with it.
            dGeomDestroy(item->geom);
            item->geom = nullptr;
        }
    }
    if (bodyID) {
        dBodyDestroy(bodyID);
        bodyID = nullptr;
    }
    initialised = false;
}

bool Tvc_ODE_BodyCollision::GetIfRunningDynamics()
{
    if (!useDynamics)
        return false;
    auto* enable = vex::LinkedChild<Tav_ValueInterface>(*this, 1);
    // Written as "not below" so that NaN does not run the body.
    return enable && enable->GetReal() >= vex::body::kEnableThreshold;
}

// Frame evaluation, once per host frame:
//   start pose -> freeze -> enable/disable -> forced follow -> rest rule -> damping -> build -> output.
D3DXMATRIX Tvc_ODE_BodyCollision::GetODEMatrix()
{
    if (!CheckRenderCount())
        return oldMatrix;

    auto* start = vex::LinkedChild<Tvc_MatrixChannel>(*this, 0);
    auto* enable = vex::LinkedChild<Tav_ValueInterface>(*this, 1);
    const D3DXMATRIX startMatrix = start ? start->GetMatrix() : Identity();

    if (!world) {
        // oldMatrix only ever holds finite matrices: it is what a channel with bad input keeps showing.
        if (vex::body::MatrixIsUsable(startMatrix))
            oldMatrix = startMatrix;
        return oldMatrix;
    }
    if (world->GetIfFrozen())
        return oldMatrix;

    // ODE stops the process on some non-finite values: a body with such input builds nothing and holds its
    // last output until the input is finite again; then it starts afresh from its start matrix.
    if (!CheckInput(startMatrix)) {
        if (initialised || bodyID)
            Release();
        penetration = 0.0f;
        return oldMatrix;
    }

    if (useDynamics && enable && !ApplyEnable(*enable)) {
        oldMatrix = startMatrix;
        return startMatrix;
    }
    KeepStateSound();
    if (disableForces) {
        if (bodyID)
            StopBody(bodyID);
        SetBodyPositionFromMatrix();
    }
    if (dynamicDisableForces)
        ApplyRestRule();
    penetration = 0.0f;
    ApplyAngularDamping();

    if (!initialised) {
        InitializeBody();
        if (!initialised) {
            oldMatrix = startMatrix;
            return startMatrix;
        }
    }
    if (!useDynamics)
        return StaticOutput(start);
    oldMatrix = GetBodyMatrix(true);
    return oldMatrix;
}

bool Tvc_ODE_BodyCollision::ApplyEnable(Tav_ValueInterface& enable)
{
    const float value = enable.GetReal();
    if (!(value >= vex::body::kEnableThreshold)) {
        if (initialised)
            Release();
        resting = true;
        return false;
    }
    if (!initialised)
        InitializeBody();
    return true;
}

// A body can still overflow on its own (an extreme force, a runaway damping value): put it back before
// the world steps it again.
void Tvc_ODE_BodyCollision::KeepStateSound()
{
    if (!bodyID)
        return;
    if (!vex::body::BodyStateIsSound(bodyID))
        ResetUnsoundBody();
    else if (stateFaultShown_ && ++soundEvaluations_ >= vex::body::kStateFaultRearmEvaluations)
        stateFaultShown_ = false;
}

// Still in contact (shallow, hardly turning) for longer than the delay: pin the body where it last was.
// Any real penetration that is not still restarts the delay.
void Tvc_ODE_BodyCollision::ApplyRestRule()
{
    const D3DXVECTOR3 w = GetAngularVelocityVector();
    if (!bodyID)
        return;
    const float f = world->GetWorldFactor();
    const bool still = penetration > 0.0f && f * penetration < vex::body::kRestPenetration &&
                       f * D3DXVec3Length(&w) <= vex::body::kRestAngularSpeed;
    if (still) {
        const DWORD elapsed = GetTickCount() - static_cast<DWORD>(restTimer);
        if (!resting && elapsed > vex::body::kRestDelayMs)
            resting = true;
        if (resting) {
            StopBody(bodyID);
            SetBodyPositionFromOldMatrix();
        }
    } else if (penetration != 0.0f) {
        resting = false;
        restTimer = GetTickCount();
    }
}

void Tvc_ODE_BodyCollision::ApplyAngularDamping()
{
    if (angularDampenValue == 0.0f || !bodyID)
        return;
    const dReal* w = dBodyGetAngularVel(bodyID);
    // Without a factor channel the setting applies as given (factor 1).
    const double k = dampingFactorChannel ? dampingFactorChannel->GetReal() : 1.0;
    const double d = angularDampenValue;
    dBodySetAngularVel(bodyID, w[0] + k * (d * w[0] - w[0]), w[1] + k * (d * w[1] - w[1]),
                       w[2] + k * (d * w[2] - w[2]));
}

D3DXMATRIX Tvc_ODE_BodyCollision::StaticOutput(Tvc_MatrixChannel* start)
{
    if (!start)
        return Identity();
    const D3DXMATRIX current = start->GetMatrix();
    if (!vex::body::MatrixIsUsable(current))
        return oldMatrix;
    // Bitwise: a static body moves its geoms only when the start matrix really changed.
    if (std::memcmp(current.m, oldMatrix.m, sizeof current.m) != 0)
        UpdateGeometryPositions();
    return current;
}

bool Tvc_ODE_BodyCollision::CheckInput(const D3DXMATRIX& start)
{
    bool finite = vex::body::MatrixIsUsable(start);
    if (finite) {
        // Boxes of a dynamic body are built with the scale of the start matrix, a static body's with the
        // scale it last had.
        D3DXVECTOR3 scale = bodyScale;
        if (useDynamics) {
            float lengths[3];
            for (int row = 0; row < 3; ++row) {
                const D3DXVECTOR3 v(start.m[row][0], start.m[row][1], start.m[row][2]);
                lengths[row] = D3DXVec3Length(&v);
            }
            scale = D3DXVECTOR3(lengths[0], lengths[1], lengths[2]);
        }
        for (int i = 0; finite && i < geometryItems.GetItemCount(); ++i) {
            auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
            finite = !item || vex::body::ItemIsFinite(*item, scale);
        }
    }
    if (finite)
        finite = std::isfinite(angularDampenValue) && (angularDampenValue == 0.0f || !dampingFactorChannel ||
                                                       std::isfinite(dampingFactorChannel->GetReal()));
    if (finite) {
        inputFaultShown_ = false;
        return true;
    }
    if (!inputFaultShown_ && host_)
        host_->ShowDebugMessage(
            "ODE Body: a start position, shape or damping value is not a finite number or is out of range; the "
            "body is not simulated until it is");
    inputFaultShown_ = true;
    return false;
}

void Tvc_ODE_BodyCollision::ResetUnsoundBody()
{
    StopBody(bodyID);
    dBodySetForce(bodyID, 0, 0, 0);
    dBodySetTorque(bodyID, 0, 0, 0);
    SetBodyPositionFromMatrix();
    if (!stateFaultShown_ && host_)
        host_->ShowDebugMessage("ODE Body: the body's motion is no longer a finite number; it is reset to its "
                                "start position");
    stateFaultShown_ = true;
    soundEvaluations_ = 0;
    ++stateResets_;
}
