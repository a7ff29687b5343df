// Lifetime, geom creation, settings and stepping of the world channel.
#include "siblings/world/Tvc_ODE_World.h"

#include "body/BodyContacts.h"
#include "body/BodySoundness.h"
#include "common/PluginEntry.h"
#include "common/SceneLimits.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/world/MeshGeom.h"
#include "siblings/world/WorldConstants.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

VEX_CHANNEL_PLUGIN(Tvc_ODE_World, "ODE World", vex::guids::kWorld, vex::guids::kWorld)

namespace {

// ODE's message handlers are process-wide: they report through the host of the newest live world, and
// to standard error while there is none.
Tav_HostContext* gReportHost = nullptr;
const Tvc_ODE_World* gReportWorld = nullptr;

std::string FormatOdeText(const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

// Warnings ODE goes on after (it would print them to standard error, where a user of the host never
// looks).
void ShowOdeMessage(int number, const char* format, va_list args)
{
    const std::string text = "ODE: " + FormatOdeText(format, args);
    if (gReportHost)
        gReportHost->ShowDebugMessage(text.c_str(), number);
    else
        std::fprintf(stderr, "%s %d\n", text.c_str(), number);
}

// Errors and failed internal checks: ODE ends the process when this returns. The text goes to standard
// error as well, since the host may not get to show it.
void ShowOdeFatal(int number, const char* format, va_list args)
{
    const std::string text = "ODE stops the process: " + FormatOdeText(format, args);
    std::fprintf(stderr, "%s %d\n", text.c_str(), number);
    if (gReportHost)
        gReportHost->ShowDebugMessage(text.c_str(), number);
}

// Whether the hash space can place geom: infinite bounds go to its list of large geoms, and so do finite
// ones larger than its largest cell; the others need every bound within kSpaceLimit.
bool BoundsFitTheSpace(dGeomID geom)
{
    dReal aabb[6];
    dGeomGetAABB(geom, aabb);
    dReal largest = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const dReal low = aabb[2 * axis];
        const dReal high = aabb[2 * axis + 1];
        if (std::isnan(low) || std::isnan(high))
            return false;
        if (std::isinf(low) || std::isinf(high))
            return true;
        largest = std::max(largest, high - low);
    }
    if (largest > vex::world::kLargestHashedGeom)
        return true;
    for (dReal bound : aabb)
        if (std::fabs(bound) > vex::world::kSpaceLimit)
            return false;
    return true;
}

// ODE stops the process on a negative or NaN size: such a shape is built with size zero instead.
dReal SafeLength(float v) { return std::isfinite(v) && v > 0 ? v : 0; }

} // namespace

Tvc_ODE_World::Tvc_ODE_World()
    : stepSize_(vex::world::kDefaultStepSize), solverIterations_(vex::world::kDefaultSolverIterations),
      gravity_(0, vex::world::kDefaultGravityY, 0), contactsPerPair_(vex::world::kDefaultContactsPerPair)
{
    SetChannelName("ODE World");
    vex::world::EnsureOdeInitialised();
    dSetMessageHandler(&ShowOdeMessage);
    dSetErrorHandler(&ShowOdeFatal);
    dSetDebugHandler(&ShowOdeFatal);
    gReportHost = host_;
    gReportWorld = this;
    // The quick-step solver orders its constraints with ODE's random generator: start it the same way
    // for every world so that a scene replays the same.
    dRandSetSeed(0);
    world_ = dWorldCreate();
    dWorldSetContactSurfaceLayer(world_, vex::world::kContactSurfaceLayer);
    // Hash space: planes and mesh geoms have infinite bounds, which it keeps in its own list.
    space_ = dHashSpaceCreate(nullptr);
    dHashSpaceSetLevels(space_, vex::world::kSmallestCellLevel, vex::world::kLargestCellLevel);
    // The body channels own and destroy their geoms; the space must not destroy them a second time.
    dSpaceSetCleanup(space_, 0);
    contacts_ = dJointGroupCreate(0);
}

Tvc_ODE_World::~Tvc_ODE_World()
{
    if (gReportWorld == this) {
        gReportHost = nullptr;
        gReportWorld = nullptr;
    }
    if (registeredBodies_ > 0) {
        // Body channels still hold bodies and geoms in this world; destroying it would free them under
        // their feet. Leave the ODE objects to the process rather than crash later.
        if (host_)
            host_->ShowDebugMessage("ODE World: destroyed while body channels still use it, bodies:",
                                    registeredBodies_);
        return;
    }
    dJointGroupDestroy(contacts_);
    dSpaceDestroy(space_);
    dWorldDestroy(world_);
}

void Tvc_ODE_World::DoEvent(int event, unsigned long value)
{
    if (event != kTavEventFrameEnd || value == lastSteppedFrame_)
        return;
    lastSteppedFrame_ = value;
    if (!frozen_)
        Step();
}

void Tvc_ODE_World::Step()
{
    // ODE stops the process when a body's rotation cannot be normalised after a step, which follows from a
    // non-finite or overflowing state (for example an extreme force added since the body's channel last
    // ran). Such bodies sit this step out, without contacts; their channels reset them when they next run.
    setAside_.clear();
    const int geomCount = dSpaceGetNumGeoms(space_);
    for (int i = 0; i < geomCount; ++i) {
        dBodyID body = dGeomGetBody(dSpaceGetGeom(space_, i));
        if (body && dBodyIsEnabled(body) && !vex::body::BodyStateIsSound(body)) {
            dBodyDisable(body);
            setAside_.push_back(body);
        }
    }
    // The hash space stops the process on a geom whose bounds it cannot turn into cell numbers: NaN, or
    // beyond about 2^31 cells of its smallest cell size. Such geoms (and those of the bodies set aside) sit
    // the collision pass out.
    geomsSetAside_.clear();
    for (int i = 0; i < geomCount; ++i) {
        dGeomID geom = dSpaceGetGeom(space_, i);
        if (!dGeomIsEnabled(geom))
            continue;
        dBodyID body = dGeomGetBody(geom);
        const bool bodySetAside = body && std::find(setAside_.begin(), setAside_.end(), body) != setAside_.end();
        if (bodySetAside || !BoundsFitTheSpace(geom)) {
            dGeomDisable(geom);
            geomsSetAside_.push_back(geom);
        }
    }
    if (!setAside_.empty() && !setAsideShown_ && host_)
        host_->ShowDebugMessage("ODE World: a body's motion is not a finite number; it is not stepped until it "
                                "is reset, bodies:",
                                static_cast<int>(setAside_.size()));
    setAsideShown_ = setAsideShown_ || !setAside_.empty();

    dWorldSetGravity(world_, gravity_.x, gravity_.y, gravity_.z);
    dWorldSetQuickStepNumIterations(world_, solverIterations_);
    dSpaceCollide(space_, this, &Tvc_ODE_World::NearCallback);
    dWorldQuickStep(world_, stepSize_);
    dJointGroupEmpty(contacts_);
    for (dGeomID geom : geomsSetAside_)
        dGeomEnable(geom);
    geomsSetAside_.clear();
    for (dBodyID body : setAside_)
        dBodyEnable(body);
    setAside_.clear();
    ++stepCount_;
}

dWorldID Tvc_ODE_World::GetWorld() { return world_; }

dGeomID Tvc_ODE_World::CreateGeomTransform()
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    // Deprecated in ODE, but the body channels' shapes and user data are built on transforms.
    return dCreateGeomTransform(space_);
#pragma GCC diagnostic pop
}

dGeomID Tvc_ODE_World::CreateBox(float x, float y, float z, int inSpace)
{
    return dCreateBox(inSpace ? space_ : nullptr, SafeLength(x), SafeLength(y), SafeLength(z));
}

dGeomID Tvc_ODE_World::CreateSphere(float radius, int inSpace)
{
    return dCreateSphere(inSpace ? space_ : nullptr, SafeLength(radius));
}

dGeomID Tvc_ODE_World::CreatePlane(float a, float b, float c, float d) { return dCreatePlane(space_, a, b, c, d); }

dGeomID Tvc_ODE_World::CreateMeshGeom(Tvc_ODE_BodyCollision* body)
{
    dGeomID geom = vex::world::CreateMeshGeom(vex::body::ContactsOf(body));
    dSpaceAdd(space_, geom);
    return geom;
}

float Tvc_ODE_World::GetWorldFactor() { return worldFactor_; }
void Tvc_ODE_World::RegisterBody() { ++registeredBodies_; }
void Tvc_ODE_World::UnregisterBody()
{
    if (registeredBodies_ > 0)
        --registeredBodies_;
}
bool Tvc_ODE_World::GetIfFrozen() { return frozen_; }

bool Tvc_ODE_World::SetStepSize(float seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > vex::world::kMaxStepSize)
        return false;
    stepSize_ = seconds;
    return true;
}
float Tvc_ODE_World::GetStepSize() { return stepSize_; }

bool Tvc_ODE_World::SetSolverIterations(int iterations)
{
    if (iterations < 1 || iterations > vex::world::kMaxSolverIterations)
        return false;
    solverIterations_ = iterations;
    return true;
}
int Tvc_ODE_World::GetSolverIterations() { return solverIterations_; }

bool Tvc_ODE_World::SetGravity(D3DXVECTOR3 gravity)
{
    // Also refuses the non-finite: the comparisons are false for NaN.
    for (float g : {gravity.x, gravity.y, gravity.z})
        if (!(std::fabs(g) <= vex::limits::kMaxGravity))
            return false;
    gravity_ = gravity;
    return true;
}
D3DXVECTOR3 Tvc_ODE_World::GetGravity() { return gravity_; }

bool Tvc_ODE_World::SetWorldFactor(float factor)
{
    if (!std::isfinite(factor) || factor < 0)
        return false;
    worldFactor_ = factor;
    return true;
}
void Tvc_ODE_World::SetIfFrozen(bool frozen) { frozen_ = frozen; }

bool Tvc_ODE_World::SetContactsPerPair(int contacts)
{
    if (contacts < 1 || contacts > vex::world::kMaxContactsPerPair)
        return false;
    contactsPerPair_ = contacts;
    return true;
}
int Tvc_ODE_World::GetContactsPerPair() { return contactsPerPair_; }

dSpaceID Tvc_ODE_World::GetSpace() { return space_; }
int Tvc_ODE_World::GetRegisteredBodyCount() { return registeredBodies_; }
unsigned long Tvc_ODE_World::GetStepCount() { return stepCount_; }
