// A large scene: 100 boxes and 100 spheres dropped onto an 80,000-triangle grid floor, run for 600 frames
// (10 simulated seconds) through the host with the real plug-ins (world, body, collision object), and the
// same bodies in ODE alone with the floor as ODE's own trimesh. Prints the mean frame time of each, their
// ratio, how many bodies still move after 10 s and how many ended below the floor.
//
// Usage: LargeSceneBench [runs] [--write-scene file.json] [--only host|ode]
//   runs: timed runs of each (the physics is repeatable, so only the times vary); default 3, the median is
//   reported and the minimum beside it.
//   --write-scene: also write the scene in the runner's scene format (the bodies at the same poses).
//   --only host|ode: run one side only, for profiling.
#include "body/ODE_GeometryItem.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"
#include "siblings/collisionobject/MeshSources.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"
#include "siblings/world/Tvc_ODE_World.h"

#include <ode/ode.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

// The scene.
constexpr int kBoxes = 100;
constexpr int kSpheres = 100;
constexpr float kBoxSide = 1.0f;
constexpr float kSphereRadius = 0.5f;
constexpr float kMass = 5.0f;
constexpr float kFriction = 0.5f;
constexpr float kBounce = 0.1f;
constexpr int kFloorCells = 200;        // 201 x 201 vertices, 80,000 triangles
constexpr float kFloorSize = 100.0f;    // over [-50, 50] in x and z
constexpr float kDropHalfWidth = 10.0f; // bodies start over [-10, 10] in x and z
constexpr float kDropLow = 1.0f, kDropHigh = 10.0f;
constexpr unsigned kSeed = 20261207;

// The run.
constexpr int kFrames = 600;
constexpr int kFramesPerSecond = 60;
/// The world channel keeps its step in single precision; ODE alone steps by the very same value.
constexpr double kStep = static_cast<double>(1.0f / kFramesPerSecond);
constexpr int kIterations = 20;
constexpr int kContactsPerPair = 4;
constexpr double kMovingSpeed = 0.02; // m/s

// The world channel's fixed contact values (siblings/world/WorldConstants.h), repeated for ODE alone.
constexpr double kSurfaceLayer = 0.0005;
constexpr double kBounceMinimumSpeed = 0.1;

struct BodySpec {
    bool box;
    float position[3];
    float rotationDegrees[3]; ///< about x, then y, then z (the runner's matrix order)
    D3DXMATRIX start;
};

// Same order as the runner's scene matrices: turn about x, y and z, then move (row vectors).
D3DXMATRIX StartMatrix(const BodySpec& b)
{
    const float toRadians = std::numbers::pi_v<float> / 180.0f;
    D3DXMATRIX rx, ry, rz, t;
    D3DXMatrixRotationX(&rx, b.rotationDegrees[0] * toRadians);
    D3DXMatrixRotationY(&ry, b.rotationDegrees[1] * toRadians);
    D3DXMatrixRotationZ(&rz, b.rotationDegrees[2] * toRadians);
    D3DXMatrixTranslation(&t, b.position[0], b.position[1], b.position[2]);
    return rx * ry * rz * t;
}

// Boxes and spheres alternate; positions are drawn again while they would overlap an earlier body (two
// bodies closer than two bounding radii would start interpenetrating and fly apart). Values are rounded to
// what the scene file holds, so the file and this run start from the same numbers.
std::vector<BodySpec> MakeBodies()
{
    std::mt19937 rng(kSeed);
    std::uniform_real_distribution<float> across(-kDropHalfWidth, kDropHalfWidth), height(kDropLow, kDropHigh),
        angle(0.0f, 360.0f);
    const float clearance = 2.0f * 0.5f * std::sqrt(3.0f) * kBoxSide; // two box half-diagonals
    auto round = [](float v, float unit) { return std::round(v / unit) * unit; };
    std::vector<BodySpec> bodies;
    for (int i = 0; i < kBoxes + kSpheres; ++i) {
        BodySpec b{};
        b.box = i % 2 == 0;
        for (;;) {
            b.position[0] = round(across(rng), 0.001f);
            b.position[1] = round(height(rng), 0.001f);
            b.position[2] = round(across(rng), 0.001f);
            bool free = true;
            for (const BodySpec& other : bodies) {
                const float dx = b.position[0] - other.position[0], dy = b.position[1] - other.position[1],
                            dz = b.position[2] - other.position[2];
                if (dx * dx + dy * dy + dz * dz < clearance * clearance) {
                    free = false;
                    break;
                }
            }
            if (free)
                break;
        }
        if (b.box)
            for (float& a : b.rotationDegrees)
                a = round(angle(rng), 0.1f);
        // Heights start at 1, above the sqrt(3)/2 that a tilted box reaches down: nothing starts in the floor.
        b.start = StartMatrix(b);
        bodies.push_back(b);
    }
    return bodies;
}

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double WallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Outcome {
    double cpuSeconds = 0; ///< thread CPU time of the frame loop
    double wallSeconds = 0;
    int movingBoxes = 0; ///< centre speed above kMovingSpeed after the last frame
    int movingSpheres = 0;
    int creptBoxes = 0; ///< moved more than kMovingSpeed x 1 s over the last simulated second
    int creptSpheres = 0;
    int belowFloor = 0;    ///< centre below the floor's plane (y < 0) at the end
    int pinned = 0;        ///< bodies the host's rest rule holds (host only)
    int flatBoxes = 0;     ///< boxes lying on a face on the floor: centre within 0.02 of y = 0.5, an axis upright
    double fastestBox = 0; ///< largest centre speed at the end, m/s
    double fastestSphere = 0;
    double collideSeconds = 0;   ///< ODE alone only: thread CPU time in dSpaceCollide and the near callback
    double contactsPerFrame = 0; ///< contacts made per frame (the host's from an untimed counting run)
};

double Length(const dReal* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

/// Records the end state of the bodies: speed now, displacement over the last second, floor.
void Summarise(const std::vector<BodySpec>& specs, const std::vector<dBodyID>& bodies,
               const std::vector<std::array<double, 3>>& secondAgo, Outcome& out)
{
    for (size_t i = 0; i < bodies.size(); ++i) {
        const dReal* p = dBodyGetPosition(bodies[i]);
        const bool moving = Length(dBodyGetLinearVel(bodies[i])) > kMovingSpeed;
        const double moved[3] = {p[0] - secondAgo[i][0], p[1] - secondAgo[i][1], p[2] - secondAgo[i][2]};
        const bool crept = Length(moved) > kMovingSpeed * 1.0;
        (specs[i].box ? out.movingBoxes : out.movingSpheres) += moving;
        (specs[i].box ? out.creptBoxes : out.creptSpheres) += crept;
        out.belowFloor += p[1] < 0;
        const double speed = Length(dBodyGetLinearVel(bodies[i]));
        double& fastest = specs[i].box ? out.fastestBox : out.fastestSphere;
        fastest = std::max(fastest, speed);
        if (specs[i].box) {
            // Column k of the ODE rotation is the box's axis k in the world; one of them upright within 2 degrees.
            const dReal* R = dBodyGetRotation(bodies[i]);
            const bool upright =
                std::max({std::fabs(R[4]), std::fabs(R[5]), std::fabs(R[6])}) > std::cos(2.0 * M_PI / 180.0);
            out.flatBoxes += upright && std::fabs(p[1] - 0.5 * kBoxSide) < 0.02;
        }
    }
}

std::vector<std::array<double, 3>> Positions(const std::vector<dBodyID>& bodies)
{
    std::vector<std::array<double, 3>> out;
    for (dBodyID b : bodies) {
        const dReal* p = dBodyGetPosition(b);
        out.push_back({p[0], p[1], p[2]});
    }
    return out;
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "LargeSceneBench: %s\n", what.c_str());
    std::exit(1);
}

// ---------------------------------------------------------------------------------------------------------
// Through the host: world, a static floor body with a mesh item linked to a grid collision object, and one
// body channel per box or sphere with its start matrix, rest detection on.

// Counts the contacts the world's pass would make in the world's space now, with the world's pair rules
// (used by an untimed run only: it collides a second time).
struct ContactCounter {
    long contacts = 0;
};

void CountingCallback(void* data, dGeomID o1, dGeomID o2)
{
    const dBodyID b1 = dGeomGetBody(o1), b2 = dGeomGetBody(o2);
    if ((!b1 && !b2) || b1 == b2 || (b1 && b2 && dAreConnectedExcluding(b1, b2, dJointTypeContact)))
        return;
    dContactGeom records[kContactsPerPair];
    static_cast<ContactCounter*>(data)->contacts += dCollide(o1, o2, kContactsPerPair, records, sizeof(dContactGeom));
}

/// With countContacts the frames are not timed: after each, the world's space is collided once more to
/// count the contacts.
Outcome RunHost(const std::vector<BodySpec>& specs, bool countContacts = false)
{
    vex::SetManualTickCount(0);
    Outcome out;
    {
        Vexcore host({VEX_PLUGIN_DIR});
        int messages = 0;
        host.SetMessageSink([&](const std::string& text) {
            if (messages++ < 5)
                std::fprintf(stderr, "host message: %s\n", text.c_str());
        });
        std::string error;
        auto add = [&](const char* guid, const std::string& name) {
            Tav_Channel* c = host.AddChannel(vex::Guid(guid), name, &error);
            if (!c)
                Fail("cannot add " + name + ": " + error);
            return c;
        };
        auto link = [&](Tav_Channel* parent, Tav_Channel* child, int position) {
            if (!host.Link(parent, child, position, &error))
                Fail("cannot link: " + error);
        };
        auto* world = dynamic_cast<Tvc_ODE_World*>(add(vex::guids::kWorld, "world"));
        if (!world)
            Fail("the world channel is not a Tvc_ODE_World");
        world->SetStepSize(static_cast<float>(kStep));
        world->SetSolverIterations(kIterations);
        world->SetContactsPerPair(kContactsPerPair);

        auto* floorBody = dynamic_cast<Tvc_ODE_BodyCollision*>(add(vex::guids::kBody, "floor"));
        auto* floorMesh = dynamic_cast<Tvc_DX8_CollisionObject*>(add(vex::guids::kCollisionObject, "floor mesh"));
        if (!floorBody || !floorMesh)
            Fail("floor channels of the wrong type");
        if (!floorMesh->SetGridSource(kFloorCells, kFloorCells, kFloorSize, kFloorSize))
            Fail("grid refused");
        link(floorBody, floorMesh, 2);
        ODE_GeometryItem* floorItem = floorBody->GetGeometryItem(0);
        floorItem->kind = kShapeMesh;
        floorItem->auxValue1 = kFriction;
        floorItem->auxValue2 = kBounce;
        floorBody->InitializeBody();

        std::vector<Tvc_ODE_BodyCollision*> channels;
        for (size_t i = 0; i < specs.size(); ++i) {
            const BodySpec& s = specs[i];
            const std::string name = (s.box ? "box " : "sphere ") + std::to_string(i);
            auto* body = dynamic_cast<Tvc_ODE_BodyCollision*>(add(vex::guids::kBody, name));
            auto* start = dynamic_cast<Tvc_MatrixChannel*>(add(vex::guids::kMatrix, name + " start"));
            if (!body || !start)
                Fail("body channels of the wrong type");
            start->SetMatrix(s.start);
            link(body, start, 0);
            ODE_GeometryItem* item = body->GetGeometryItem(0);
            item->kind = s.box ? kShapeBox : kShapeSphere;
            item->size = D3DXVECTOR3(kBoxSide, kBoxSide, kBoxSide);
            item->radius = kSphereRadius;
            item->massValue = kMass;
            item->auxValue1 = kFriction;
            item->auxValue2 = kBounce;
            body->SetIfDynamicDisableForces(true);
            // Built before the clock starts, as ODE alone builds its bodies before its loop.
            body->InitializeBody();
            if (!body->GetBodyID())
                Fail("no ODE body for " + name);
            channels.push_back(body);
        }

        std::vector<dBodyID> ids;
        for (Tvc_ODE_BodyCollision* c : channels)
            ids.push_back(c->GetBodyID());
        std::vector<std::array<double, 3>> secondAgo;
        const double cpu0 = ThreadSeconds(), wall0 = WallSeconds();
        for (int frame = 1; frame <= kFrames; ++frame) {
            vex::SetManualTickCount(static_cast<DWORD>(frame * 1000 / kFramesPerSecond));
            host.RunFrame();
            if (frame == kFrames - kFramesPerSecond)
                secondAgo = Positions(ids);
            if (countContacts) {
                ContactCounter counter;
                dSpaceCollide(world->GetSpace(), &counter, &CountingCallback);
                out.contactsPerFrame += static_cast<double>(counter.contacts) / kFrames;
            }
        }
        out.cpuSeconds = ThreadSeconds() - cpu0;
        out.wallSeconds = WallSeconds() - wall0;
        if (world->GetStepCount() != static_cast<unsigned long>(kFrames))
            Fail("the world stepped " + std::to_string(world->GetStepCount()) + " times in " + std::to_string(kFrames) +
                 " frames");
        // A body rebuilt along the way would have a new ODE body: the ids must still be the channels'.
        for (size_t i = 0; i < channels.size(); ++i)
            if (channels[i]->GetBodyID() != ids[i])
                Fail("a body was rebuilt during the run");
        Summarise(specs, ids, secondAgo, out);
        for (Tvc_ODE_BodyCollision* c : channels)
            out.pinned += c->resting;
    }
    vex::UseSystemTickCount();
    return out;
}

// ---------------------------------------------------------------------------------------------------------
// ODE alone: the same bodies (a box or sphere geom on each body), the floor as dCreateTriMesh over the same
// triangles with shared vertices, a hash space, dWorldQuickStep, the world channel's contact parameters.

struct OdeScene {
    dWorldID world;
    dJointGroupID contacts;
    long contactCount = 0;
};

void OdeNearCallback(void* data, dGeomID o1, dGeomID o2)
{
    auto* scene = static_cast<OdeScene*>(data);
    const dBodyID b1 = dGeomGetBody(o1), b2 = dGeomGetBody(o2);
    if (!b1 && !b2)
        return;
    if (b1 == b2)
        return;
    if (b1 && b2 && dAreConnectedExcluding(b1, b2, dJointTypeContact))
        return;
    dContact contact[kContactsPerPair];
    const int n = dCollide(o1, o2, kContactsPerPair, &contact[0].geom, sizeof(dContact));
    for (int i = 0; i < n; ++i) {
        contact[i].surface.mode = dContactApprox1 | dContactBounce;
        contact[i].surface.mu = std::sqrt(double(kFriction) * double(kFriction)); // both items carry the same
        contact[i].surface.bounce = kBounce;
        contact[i].surface.bounce_vel = kBounceMinimumSpeed;
        const dJointID j = dJointCreateContact(scene->world, scene->contacts, &contact[i]);
        dJointAttach(j, dGeomGetBody(contact[i].geom.g1), dGeomGetBody(contact[i].geom.g2));
    }
    scene->contactCount += n;
}

Outcome RunOdeAlone(const std::vector<BodySpec>& specs, const std::vector<float>& triangles, bool autoDisable)
{
    Outcome out;
    dRandSetSeed(0); // as the world channel does for each new world
    OdeScene scene;
    scene.world = dWorldCreate();
    dWorldSetGravity(scene.world, 0, -9.81, 0);
    dWorldSetQuickStepNumIterations(scene.world, kIterations);
    dWorldSetContactSurfaceLayer(scene.world, kSurfaceLayer);
    dWorldSetAutoDisableFlag(scene.world, autoDisable ? 1 : 0);
    scene.contacts = dJointGroupCreate(0);
    dSpaceID space = dHashSpaceCreate(nullptr);

    // Shared vertices, as a mesh is normally handed to ODE: the grid's corners once each.
    std::vector<float> vertices;
    std::vector<dTriIndex> indices;
    std::map<std::tuple<float, float, float>, dTriIndex> seen;
    for (size_t v = 0; v + 2 < triangles.size(); v += 3) {
        const auto key = std::make_tuple(triangles[v], triangles[v + 1], triangles[v + 2]);
        auto [it, added] = seen.emplace(key, static_cast<dTriIndex>(vertices.size() / 3));
        if (added)
            vertices.insert(vertices.end(), {triangles[v], triangles[v + 1], triangles[v + 2]});
        indices.push_back(it->second);
    }
    dTriMeshDataID data = dGeomTriMeshDataCreate();
    dGeomTriMeshDataBuildSingle(data, vertices.data(), 3 * sizeof(float), static_cast<int>(vertices.size() / 3),
                                indices.data(), static_cast<int>(indices.size()), 3 * sizeof(dTriIndex));
    dGeomID floor = dCreateTriMesh(space, data, nullptr, nullptr, nullptr);

    std::vector<dBodyID> bodies;
    std::vector<dGeomID> geoms;
    for (const BodySpec& s : specs) {
        dBodyID b = dBodyCreate(scene.world);
        dMass m;
        dGeomID g;
        if (s.box) {
            g = dCreateBox(space, kBoxSide, kBoxSide, kBoxSide);
            dMassSetBox(&m, 1.0, kBoxSide, kBoxSide, kBoxSide);
        } else {
            g = dCreateSphere(space, kSphereRadius);
            dMassSetSphere(&m, 1.0, kSphereRadius);
        }
        dMassAdjust(&m, kMass);
        dBodySetMass(b, &m);
        dGeomSetBody(g, b);
        dBodySetPosition(b, s.start._41, s.start._42, s.start._43);
        // Row c of the engine matrix is column c of the ODE rotation.
        dMatrix3 R;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                R[4 * r + c] = s.start.m[c][r];
            R[4 * r + 3] = 0;
        }
        dBodySetRotation(b, R);
        bodies.push_back(b);
        geoms.push_back(g);
    }

    std::vector<std::array<double, 3>> secondAgo;
    const double cpu0 = ThreadSeconds(), wall0 = WallSeconds();
    for (int frame = 1; frame <= kFrames; ++frame) {
        const double collideStart = ThreadSeconds();
        dSpaceCollide(space, &scene, &OdeNearCallback);
        out.collideSeconds += ThreadSeconds() - collideStart;
        dWorldQuickStep(scene.world, kStep);
        dJointGroupEmpty(scene.contacts);
        if (frame == kFrames - kFramesPerSecond)
            secondAgo = Positions(bodies);
    }
    out.cpuSeconds = ThreadSeconds() - cpu0;
    out.wallSeconds = WallSeconds() - wall0;
    out.contactsPerFrame = static_cast<double>(scene.contactCount) / kFrames;
    Summarise(specs, bodies, secondAgo, out);
    for (dBodyID b : bodies)
        out.pinned += !dBodyIsEnabled(b);

    for (dGeomID g : geoms)
        dGeomDestroy(g);
    for (dBodyID b : bodies)
        dBodyDestroy(b);
    dGeomDestroy(floor);
    dGeomTriMeshDataDestroy(data);
    dSpaceDestroy(space);
    dJointGroupDestroy(scene.contacts);
    dWorldDestroy(scene.world);
    return out;
}

// ---------------------------------------------------------------------------------------------------------

bool WriteScene(const std::string& path, const std::vector<BodySpec>& specs)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f, "{\n  \"frames\": %d,\n  \"output\": \"out/large-scene\",\n  \"channels\": [\n", kFrames);
    std::fprintf(f,
                 "    {\"name\": \"world\", \"type\": \"ODE World\",\n     \"settings\": {\"stepSize\": %.9g, "
                 "\"solverIterations\": %d, \"contactsPerPair\": %d}},\n",
                 kStep, kIterations, kContactsPerPair);
    std::fprintf(f,
                 "    {\"name\": \"floor.mesh\", \"type\": \"DX8 CollisionObject\",\n     \"settings\": {\"grid\": "
                 "{\"cells\": [%d, %d], \"size\": [%g, %g]}}},\n",
                 kFloorCells, kFloorCells, kFloorSize, kFloorSize);
    std::fprintf(f,
                 "    {\"name\": \"floor\", \"type\": \"ODE Body\",\n     \"settings\": {\"items\": [{\"shape\": "
                 "\"mesh\", \"friction\": %g, \"bounce\": %g}]},\n     \"links\": [{\"position\": 2, \"channel\": "
                 "\"floor.mesh\"}]}",
                 kFriction, kBounce);
    for (size_t i = 0; i < specs.size(); ++i) {
        const BodySpec& s = specs[i];
        const std::string name = (s.box ? "box" : "sphere") + std::to_string(i);
        std::fprintf(f,
                     ",\n    {\"name\": \"%s.start\", \"type\": \"Matrix\", \"settings\": {\"matrix\": {\"position\": "
                     "[%.3f, %.3f, %.3f]",
                     name.c_str(), s.position[0], s.position[1], s.position[2]);
        if (s.box)
            std::fprintf(f, ", \"rotation\": [%.1f, %.1f, %.1f]", s.rotationDegrees[0], s.rotationDegrees[1],
                         s.rotationDegrees[2]);
        std::fprintf(f, "}}},\n");
        if (s.box)
            std::fprintf(
                f,
                "    {\"name\": \"%s\", \"type\": \"ODE Body\", \"settings\": {\"autoRest\": true, \"items\": "
                "[{\"shape\": \"box\", \"size\": [%g, %g, %g], \"mass\": %g, \"friction\": %g, \"bounce\": %g}]},\n",
                name.c_str(), kBoxSide, kBoxSide, kBoxSide, kMass, kFriction, kBounce);
        else
            std::fprintf(
                f,
                "    {\"name\": \"%s\", \"type\": \"ODE Body\", \"settings\": {\"autoRest\": true, \"items\": "
                "[{\"shape\": \"sphere\", \"radius\": %g, \"mass\": %g, \"friction\": %g, \"bounce\": %g}]},\n",
                name.c_str(), kSphereRadius, kMass, kFriction, kBounce);
        std::fprintf(f, "     \"links\": [{\"position\": 0, \"channel\": \"%s.start\"}]}", name.c_str());
    }
    std::fprintf(f, "\n  ]\n}\n");
    return std::fclose(f) == 0;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void PrintTimes(const char* name, const std::vector<Outcome>& runs, double reference)
{
    std::vector<double> cpu, wall, collide;
    for (const Outcome& o : runs) {
        cpu.push_back(1000.0 * o.cpuSeconds / kFrames);
        wall.push_back(1000.0 * o.wallSeconds / kFrames);
        collide.push_back(1000.0 * o.collideSeconds / kFrames);
    }
    const double ms = Median(cpu);
    char split[64] = "-";
    if (Median(collide) > 0)
        std::snprintf(split, sizeof split, "%.3f / %.3f", Median(collide), ms - Median(collide));
    std::printf("| %s | %.3f (%.3f) | %.3f | %.2f | %s |\n", name, ms, Minimum(cpu), Median(wall), ms / reference,
                split);
}

void PrintEndState(const char* name, const Outcome& o)
{
    char contacts[32] = "-";
    if (o.contactsPerFrame > 0)
        std::snprintf(contacts, sizeof contacts, "%.0f", o.contactsPerFrame);
    std::printf("| %s | %d | %d | %d | %d | %d | %.3f | %.3f | %d | %d | %s |\n", name, o.movingBoxes, o.movingSpheres,
                o.creptBoxes, o.creptSpheres, o.flatBoxes, o.fastestBox, o.fastestSphere, o.belowFloor, o.pinned,
                contacts);
}

bool SameOutcome(const Outcome& a, const Outcome& b)
{
    return a.movingBoxes == b.movingBoxes && a.movingSpheres == b.movingSpheres && a.creptBoxes == b.creptBoxes &&
           a.creptSpheres == b.creptSpheres && a.belowFloor == b.belowFloor && a.pinned == b.pinned;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    std::string scenePath, only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--write-scene") == 0 && i + 1 < argc)
            scenePath = argv[++i];
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::atoi(argv[i]) > 0)
            runs = std::atoi(argv[i]);
        else
            Fail(std::string("unknown argument ") + argv[i] +
                 " (usage: LargeSceneBench [runs] [--write-scene file.json] [--only host|ode])");
    }

    // ODE alone needs ODE set up even when no host has done it yet (the world channel does it once too).
    dInitODE2(0);
    dAllocateODEDataForThread(dAllocateMaskAll);

    const std::vector<BodySpec> specs = MakeBodies();
    if (!scenePath.empty()) {
        if (!WriteScene(scenePath, specs))
            Fail("cannot write " + scenePath);
        std::printf("scene written to %s\n", scenePath.c_str());
    }
    const std::vector<float> triangles =
        vex::GenerateGridTriangles(vex::GridParameters{kFloorCells, kFloorCells, kFloorSize, kFloorSize, 0, 1, 1});

    // For profiling one side alone.
    if (only == "host" || only == "ode") {
        for (int r = 0; r < runs; ++r) {
            const Outcome o = only == "host" ? RunHost(specs) : RunOdeAlone(specs, triangles, false);
            std::printf("%s: %.3f ms per frame\n", only.c_str(), 1000.0 * o.cpuSeconds / kFrames);
        }
        return 0;
    }
    if (!only.empty())
        Fail("--only takes host or ode");

    std::vector<Outcome> host, ode, odeAuto;
    for (int r = 0; r < runs; ++r) {
        host.push_back(RunHost(specs));
        ode.push_back(RunOdeAlone(specs, triangles, false));
        odeAuto.push_back(RunOdeAlone(specs, triangles, true));
        std::fprintf(stderr, "run %d: host %.3f ms, ODE alone %.3f ms, ODE alone + auto-disable %.3f ms per frame\n",
                     r + 1, 1000.0 * host.back().cpuSeconds / kFrames, 1000.0 * ode.back().cpuSeconds / kFrames,
                     1000.0 * odeAuto.back().cpuSeconds / kFrames);
    }
    // The host's contacts, counted in a separate run so that the timed runs do not collide twice.
    host.front().contactsPerFrame = RunHost(specs, true).contactsPerFrame;
    for (const auto* set : {&host, &ode, &odeAuto})
        for (const Outcome& o : *set)
            if (!SameOutcome(o, set->front()))
                std::fprintf(stderr, "warning: runs of one kind ended differently (the physics should repeat)\n");

    std::printf("Large scene: %d boxes and %d spheres dropped on a %d-triangle grid floor, %d frames of 1/%d s, "
                "%d iterations, %d contacts per pair; %d timed runs each.\n",
                kBoxes, kSpheres, static_cast<int>(triangles.size() / 9), kFrames, kFramesPerSecond, kIterations,
                kContactsPerPair, runs);
    std::vector<double> odeCpu;
    for (const Outcome& o : ode)
        odeCpu.push_back(1000.0 * o.cpuSeconds / kFrames);
    const double reference = Median(odeCpu);
    std::printf("Frame time: thread CPU ms per frame, median (minimum) of the runs; wall ms median (the machine is "
                "shared, so wall time includes other processes' turns). Collision / rest: ODE alone's split between "
                "dSpaceCollide and the step.\n\n");
    std::printf(
        "| run | CPU ms/frame | wall ms/frame | / ODE alone | collision / rest ms |\n|---|---:|---:|---:|---:|\n");
    PrintTimes("host (Vexcore, plug-ins)", host, reference);
    PrintTimes("ODE alone", ode, reference);
    PrintTimes("ODE alone + auto-disable", odeAuto, reference);
    std::printf(
        "\nAfter %d frames (%g simulated s), of %d boxes and %d spheres. Moving: centre speed above %.2f m/s. "
        "Crept: moved more than %.2f m over the last simulated second. Flat: box on a face on the floor. "
        "Below: centre under the floor. Held: pinned by the host's rest rule / disabled by ODE's auto-disable.\n\n",
        kFrames, kFrames * kStep, kBoxes, kSpheres, kMovingSpeed, kMovingSpeed);
    std::printf("| run | moving boxes | moving spheres | crept boxes | crept spheres | flat boxes | fastest box m/s "
                "| fastest sphere m/s | below floor | held | contacts/frame "
                "|\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    PrintEndState("host (Vexcore, plug-ins)", host.front());
    PrintEndState("ODE alone", ode.front());
    PrintEndState("ODE alone + auto-disable", odeAuto.front());
    return 0;
}
