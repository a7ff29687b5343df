// A long run of a busy scene: bodies switched off and on through their enable values, shapes added and
// removed, bodies released and rebuilt. Nothing may grow (heap, ODE bodies, geoms, joints) and no output
// may stop being finite.
#include "tests/body/BodyScene.h"

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#if defined(VEX_RELIABILITY_SANITIZED)
// The sanitizer runtime's allocator statistics (declared here: g++ does not install the header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace vex::test {
namespace {

/// About 0.3 s in a release build and 2.5 s under the sanitizers, so both builds run all of it.
constexpr int kFrames = 20000;
/// Frames before the first measurement: ODE's step memory and the host's containers reach their size.
constexpr int kWarmUpFrames = 1000;
constexpr int kBodies = 8;

/// Heap bytes in use now (the sanitizer's allocator replaces malloc, so it is asked there).
size_t HeapInUse()
{
#if defined(VEX_RELIABILITY_SANITIZED)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

/// A "VmRSS"/"VmHWM" line of /proc/self/status in kB, or -1.
long StatusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    return -1;
}

/// ODE has no public way to list a world's bodies; its interchange export writes each as "body[i] = ...".
struct WorldCounts {
    int bodies = 0;
    int joints = 0;
};

WorldCounts CountWorld(dWorldID world)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    dWorldExportDIF(world, out, "");
    std::fclose(out);
    WorldCounts counts;
    const std::string all(text, size);
    std::free(text);
    for (size_t at = all.find("\nbody["); at != std::string::npos; at = all.find("\nbody[", at + 1))
        ++counts.bodies;
    for (size_t at = all.find("\njoint["); at != std::string::npos; at = all.find("\njoint[", at + 1))
        ++counts.joints;
    return counts;
}

bool Finite(const D3DXMATRIX& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c]))
                return false;
    return true;
}

struct Snapshot {
    size_t heap;
    long rss;
    long hwm;
    int geoms;
    WorldCounts world;
};

class LongRun : public testing::Test {
protected:
    void SetUp() override
    {
        // A static floor, boxes and spheres above it in a row; some damped, some with the rest rule.
        Tvc_ODE_BodyCollision* floor = scene.AddBody("floor", MakeItem(kShapeBox), Translation(0, -0.5f, 0));
        floor->GetGeometryItem(0)->size = D3DXVECTOR3(60, 1, 60);
        floor->SetIfUseDynamics(false);
        for (int i = 0; i < kBodies; ++i) {
            const uint8_t kind = i % 2 ? kShapeSphere : kShapeBox;
            ODE_GeometryItem item = MakeItem(kind);
            item.radius = 0.5f;
            Tvc_ODE_BodyCollision* body = scene.AddBody("body" + std::to_string(i), item,
                                                        Translation(1.5f * static_cast<float>(i) - 5, 2.0f + i, 0));
            body->SetAngularVelocityDampenValue(i % 3 == 0 ? 0.9f : 0.0f);
            body->SetIfDynamicDisableForces(i % 4 == 1);
            bodies.push_back(body);
            enables.push_back(scene.AddEnable(body, 1.0f));
        }
    }

    /// Geoms the channels hold: what the space must contain, no more.
    int OwnedGeoms()
    {
        int count = 0;
        for (Tav_Channel* channel : scene.host.GetChannels()) {
            auto* body = dynamic_cast<Tvc_ODE_BodyCollision*>(channel);
            for (int i = 0; body && i < body->GetGeometryCount(); ++i)
                count += body->GetGeometryItem(i) && body->GetGeometryItem(i)->geom ? 1 : 0;
        }
        return count;
    }

    /// The geoms the scene would hold if every built body had one shape.
    int OwnedBodiesGeomsIfOneShapeEach()
    {
        int count = 1; // the floor
        for (Tvc_ODE_BodyCollision* body : bodies)
            count += body->initialised ? 1 : 0;
        return count;
    }

    int LiveBodyIds()
    {
        int count = 0;
        for (Tvc_ODE_BodyCollision* body : bodies)
            count += body->GetBodyID() ? 1 : 0;
        return count;
    }

    /// The scene's changes for frame f: enable switches, shapes added and removed, releases.
    void Change(int f)
    {
        for (int i = 0; i < kBodies; ++i) {
            // Each body is off for 60 frames out of every 300, at its own phase.
            const int phase = (f + 37 * i) % 300;
            if (phase == 0)
                enables[static_cast<size_t>(i)]->SetReal(0.0f);
            else if (phase == 60)
                enables[static_cast<size_t>(i)]->SetReal(1.0f);
        }
        Tvc_ODE_BodyCollision* body = bodies[static_cast<size_t>((f / 250) % kBodies)];
        switch (f % 250) {
        case 50: {
            body->AddGeometryItem();
            ODE_GeometryItem* added = body->GetGeometryItem(body->GetGeometryCount() - 1);
            added->offset = D3DXVECTOR3(0.6f, 0, 0);
            added->size = D3DXVECTOR3(0.4f, 0.4f, 0.4f);
            body->Release(); // rebuilt with the new shape at the next frame
            break;
        }
        case 150:
            if (body->GetGeometryCount() > 1)
                body->RemoveGeometryItem(body->GetGeometryCount() - 1); // its geom goes at once
            break;
        case 200:
            body->Release();
            break;
        default:
            break;
        }
        // Now and then a body is thrown back up so that the run keeps colliding instead of resting.
        if (f % 700 == 350)
            for (Tvc_ODE_BodyCollision* b : bodies)
                if (b->GetBodyID())
                    dBodySetLinearVel(b->GetBodyID(), 0, 6, 0.5);
    }

    /// Every body on with its one original shape, two frames run: the same configuration whenever it is taken.
    Snapshot Settle()
    {
        for (size_t i = 0; i < bodies.size(); ++i) {
            enables[i]->SetReal(1.0f);
            while (bodies[i]->GetGeometryCount() > 1)
                bodies[i]->RemoveGeometryItem(bodies[i]->GetGeometryCount() - 1);
            bodies[i]->Release();
        }
        scene.RunFrames(2);
        return Take();
    }

    Snapshot Take()
    {
        return Snapshot{HeapInUse(), StatusKb("VmRSS"), StatusKb("VmHWM"), dSpaceGetNumGeoms(scene.world->GetSpace()),
                        CountWorld(scene.world->GetWorld())};
    }

    BodyScene scene;
    std::vector<Tvc_ODE_BodyCollision*> bodies;
    std::vector<Tav_ValueInterface*> enables;
};

TEST_F(LongRun, NothingGrowsAndEveryOutputStaysFiniteOverThousandsOfFrames)
{
    const auto began = std::chrono::steady_clock::now();
    Snapshot start{};
    int mismatches = 0;
    int nonFinite = 0;
    int maxGeoms = 0;
    int rebuilds = 0;
    int contacts = 0;
    int disabledFrames = 0;
    int twoShapeFrames = 0;
    std::vector<bool> wasBuilt(bodies.size(), false);
    for (int f = 1; f <= kFrames; ++f) {
        Change(f);
        scene.RunFrames(1);
        if (f == kWarmUpFrames)
            start = Settle();
        // Every geom in the space belongs to an item, and every ODE body to a channel.
        const int geoms = dSpaceGetNumGeoms(scene.world->GetSpace());
        maxGeoms = std::max(maxGeoms, geoms);
        mismatches += geoms != OwnedGeoms() ? 1 : 0;
        for (Tvc_ODE_BodyCollision* body : bodies)
            nonFinite += Finite(body->GetOldMatrix()) ? 0 : 1;
        if (f % 500 == 0) {
            ASSERT_EQ(CountWorld(scene.world->GetWorld()).bodies, LiveBodyIds()) << "frame " << f;
        }
        // What the run went through, so that a quiet scene cannot pass for a busy one.
        for (size_t i = 0; i < bodies.size(); ++i) {
            const bool built = bodies[i]->initialised;
            rebuilds += built && !wasBuilt[i] ? 1 : 0;
            wasBuilt[i] = built;
            contacts += bodies[i]->penetration > 0 ? 1 : 0;
            disabledFrames += enables[i]->GetReal() < 1.0f ? 1 : 0;
        }
        twoShapeFrames += geoms > OwnedBodiesGeomsIfOneShapeEach() ? 1 : 0;
    }
    const Snapshot end = Settle();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();

    EXPECT_GT(rebuilds, kFrames / 300 * kBodies / 2); // every body is switched off and on every 300 frames
    EXPECT_GT(contacts, kFrames);
    EXPECT_GT(disabledFrames, kFrames / 10);
    EXPECT_GT(twoShapeFrames, kFrames / 10);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(nonFinite, 0);
    EXPECT_LE(maxGeoms, kBodies * 2 + 1);
    EXPECT_EQ(start.geoms, kBodies + 1);
    EXPECT_EQ(end.geoms, start.geoms);
    EXPECT_EQ(start.world.bodies, kBodies);
    EXPECT_EQ(end.world.bodies, start.world.bodies);
    EXPECT_EQ(end.world.joints, 0);
    EXPECT_EQ(end.world.bodies, LiveBodyIds());
    EXPECT_EQ(scene.world->GetRegisteredBodyCount(), kBodies + 1);
    EXPECT_TRUE(scene.messages.empty()) << scene.messages.front();
    // The heap in use may differ by what the containers of the moment hold, not by anything per frame.
    EXPECT_LE(end.heap, start.heap + 64 * 1024) << "heap grew from " << start.heap << " to " << end.heap;
#if !defined(VEX_RELIABILITY_SANITIZED)
    // Resident memory as the system sees it (the sanitizer keeps freed memory aside, so only here).
    EXPECT_LE(end.rss, start.rss + 1024) << "kB";
#endif
    std::cout << "frames " << kFrames + 4 << " in " << seconds << " s; heap " << start.heap << " -> " << end.heap
              << " bytes; VmRSS " << start.rss << " -> " << end.rss << " kB; VmHWM " << start.hwm << " -> " << end.hwm
              << " kB; geoms " << start.geoms << " -> " << end.geoms << " (max " << maxGeoms << "); ODE bodies "
              << start.world.bodies << " -> " << end.world.bodies << "; rebuilds " << rebuilds
              << ", body-frames in contact " << contacts << ", disabled " << disabledFrames << ", with a second shape "
              << twoShapeFrames << "\n";
}

} // namespace
} // namespace vex::test
