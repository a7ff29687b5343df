// The shadow scene on its own: segments, blocker combination, self-hit distance, culling, threads.

#include "siblings/octree/ShadowScene.h"
#include "tests/siblings/octree/OctTreeDoubles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

namespace vex::testing {
namespace {

using octree::BlockerAccumulator;
using octree::ShadowMaterial;
using octree::ShadowMesh;
using octree::ShadowScene;

ShadowMesh Mesh(std::vector<float> positions, ShadowMaterial material = {}, const void* identity = nullptr)
{
    ShadowMesh mesh;
    mesh.identity = identity;
    mesh.positions = std::move(positions);
    mesh.material = material;
    return mesh;
}

ShadowMaterial Material(float r, float g, float b, float opacity)
{
    ShadowMaterial m;
    m.tint[0] = r;
    m.tint[1] = g;
    m.tint[2] = b;
    m.opacity = opacity;
    return m;
}

/// Result of a segment query, starting from the free answer as the light-map code does.
struct ShadowAnswer {
    float colour[4] = {1, 1, 1, 0};
    bool blocked = false;
};

ShadowAnswer Trace(const ShadowScene& scene, D3DXVECTOR3 from, D3DXVECTOR3 to, bool cull = false)
{
    const float o[3] = {from.x, from.y, from.z};
    const float t[3] = {to.x, to.y, to.z};
    ShadowAnswer a;
    a.blocked = scene.Trace(o, t, cull, a.colour);
    return a;
}

/// What the light-map code makes of an answer, per channel: c + (1 - c) * tint with c = 1 - opacity.
std::array<float, 3> Passing(const ShadowAnswer& a)
{
    const float c = 1 - a.colour[3];
    return {c + (1 - c) * a.colour[0], c + (1 - c) * a.colour[1], c + (1 - c) * a.colour[2]};
}

void ExpectFree(const ShadowAnswer& a)
{
    EXPECT_FALSE(a.blocked);
    EXPECT_EQ(a.colour[0], 1);
    EXPECT_EQ(a.colour[1], 1);
    EXPECT_EQ(a.colour[2], 1);
    EXPECT_EQ(a.colour[3], 0);
}

// --------------------------------------------------------------------------------------------------

struct SegmentCase {
    const char* name;
    D3DXVECTOR3 from, to;
    bool blocked;
};

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << c.name; }

class SquareSegments : public ::testing::TestWithParam<SegmentCase> {};

TEST_P(SquareSegments, BlockedExactlyWhenTheSegmentCrossesTheSquare)
{
    ShadowScene scene;
    std::vector<ShadowMesh> meshes;
    meshes.push_back(Mesh(SquarePositions(-1, -1, 1, 1, 0)));
    ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));
    const SegmentCase& c = GetParam();
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "forward");
        const ShadowAnswer a = reversed ? Trace(scene, c.to, c.from) : Trace(scene, c.from, c.to);
        if (c.blocked) {
            EXPECT_TRUE(a.blocked);
            EXPECT_EQ(a.colour[3], 1);
            EXPECT_EQ(a.colour[0], 0); // default caster: opaque black
        } else {
            ExpectFree(a);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ShadowScene, SquareSegments,
                         ::testing::Values(SegmentCase{"Through", {0, 0, -1}, {0, 0, 1}, true},
                                           SegmentCase{"Slanted", {-3, 0.5f, -2}, {1, 0.5f, 2}, true},
                                           SegmentCase{
                                               "ThroughOtherTriangle", {-0.9f, 0.8f, -1}, {-0.9f, 0.8f, 5}, true},
                                           SegmentCase{"Beside", {2, 0, -1}, {2, 0, 1}, false},
                                           SegmentCase{"EndsBeforeSquare", {0, 0, -1}, {0, 0, -0.01f}, false},
                                           SegmentCase{"StartsBeyondSquare", {0, 0, 0.01f}, {0, 0, 3}, false},
                                           SegmentCase{"Parallel", {-2, 0, 0.5f}, {2, 0, 0.5f}, false},
                                           SegmentCase{"LongToFarLight", {0.3f, 0.3f, -0.5f}, {0.3f, 0.3f, 9000}, true},
                                           SegmentCase{"ZeroLength", {0, 0, 0.5f}, {0, 0, 0.5f}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShadowScene, EmptyOrUnbuiltSceneLeavesEverySegmentFree)
{
    ShadowScene unbuilt;
    ExpectFree(Trace(unbuilt, {0, 0, -1}, {0, 0, 1}));
    ShadowScene empty;
    ASSERT_TRUE(empty.Build({}, nullptr));
    ExpectFree(Trace(empty, {0, 0, -1}, {0, 0, 1}));
}

TEST(ShadowScene, NonFiniteOrHugeEndsAreFree)
{
    ShadowScene scene;
    std::vector<ShadowMesh> meshes;
    meshes.push_back(Mesh(SquarePositions(-1, -1, 1, 1, 0)));
    ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));
    ExpectFree(Trace(scene, {0, 0, NAN}, {0, 0, 1}));
    ExpectFree(Trace(scene, {0, 0, -1}, {0, INFINITY, 1}));
    // The ray tracer cannot take ends this far out (it stops the process); the segment does cross the square.
    ExpectFree(Trace(scene, {0, 0, -1e19f}, {0, 0, 1}));
    EXPECT_TRUE(Trace(scene, {0, 0, -1e7f}, {0, 0, 1}).blocked) << "within the bound the segment is traced";
}

// --------------------------------------------------------------------------------------------------
// Several blockers

TEST(ShadowSceneBlockerRule, ColouredHalfTransparentCasterPassesItsColourFully)
{
    BlockerAccumulator acc;
    acc.Add(Material(1, 0, 0, 0.5f));
    float colour[4] = {1, 1, 1, 0};
    acc.Write(colour);
    EXPECT_FLOAT_EQ(colour[0], 1);
    EXPECT_FLOAT_EQ(colour[1], 0);
    EXPECT_FLOAT_EQ(colour[2], 0);
    EXPECT_FLOAT_EQ(colour[3], 0.5f);
    // Read as the light-map code does: red at the unshadowed value, green and blue at half.
    ShadowAnswer a;
    std::copy(colour, colour + 4, a.colour);
    const auto passing = Passing(a);
    EXPECT_FLOAT_EQ(passing[0], 1);
    EXPECT_FLOAT_EQ(passing[1], 0.5f);
    EXPECT_FLOAT_EQ(passing[2], 0.5f);
}

TEST(ShadowSceneBlockerRule, RedThenGreenFilterWorkedExample)
{
    BlockerAccumulator acc;
    acc.Add(Material(1, 0, 0, 0.5f));
    acc.Add(Material(0, 1, 0, 0.5f));
    ShadowAnswer a;
    acc.Write(a.colour);
    EXPECT_FLOAT_EQ(a.colour[3], 0.75f);
    const auto passing = Passing(a);
    EXPECT_FLOAT_EQ(passing[0], 0.5f);  // red: 1 * 0.5
    EXPECT_FLOAT_EQ(passing[1], 0.5f);  // green: 0.5 * 1
    EXPECT_FLOAT_EQ(passing[2], 0.25f); // blue: 0.5 * 0.5
}

TEST(ShadowSceneBlockerRule, PassingLightIsTheProductOfEachLayersTransmissionForRandomLayers)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(0, 1);
    for (int trial = 0; trial < 200; ++trial) {
        BlockerAccumulator acc;
        float expected[3] = {1, 1, 1};
        float clear = 1;
        const int layers = 1 + trial % 6;
        for (int i = 0; i < layers; ++i) {
            const ShadowMaterial m = Material(unit(rng), unit(rng), unit(rng), unit(rng));
            acc.Add(m);
            clear *= 1 - m.opacity;
            for (int k = 0; k < 3; ++k)
                expected[k] *= (1 - m.opacity) + m.opacity * m.tint[k];
        }
        ShadowAnswer a;
        acc.Write(a.colour);
        EXPECT_NEAR(a.colour[3], 1 - clear, 1e-5f);
        const auto passing = Passing(a);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(passing[k], expected[k], 1e-5f) << "trial " << trial << " channel " << k;
            EXPECT_GE(a.colour[k], 0);
            EXPECT_LE(a.colour[k], 1);
        }
    }
}

/// Stacked squares at heights 1, 2, 3 ... with the given materials.
ShadowScene& Stack(ShadowScene& scene, const std::vector<ShadowMaterial>& materials)
{
    std::vector<ShadowMesh> meshes;
    for (size_t i = 0; i < materials.size(); ++i)
        meshes.push_back(Mesh(SquarePositions(-1, -1, 1, 1, float(i + 1)), materials[i]));
    EXPECT_TRUE(scene.Build(std::move(meshes), nullptr));
    return scene;
}

TEST(ShadowSceneBlockers, LayersAlongTheSegmentCombineWhicheverWayItRuns)
{
    ShadowScene scene;
    Stack(scene, {Material(1, 0, 0, 0.5f), Material(0, 1, 0, 0.5f), Material(1, 1, 1, 0.2f)});
    for (bool reversed : {false, true}) {
        const ShadowAnswer a = reversed ? Trace(scene, {0.2f, 0.1f, 10}, {0.2f, 0.1f, 0})
                                        : Trace(scene, {0.2f, 0.1f, 0}, {0.2f, 0.1f, 10});
        ASSERT_TRUE(a.blocked);
        EXPECT_NEAR(a.colour[3], 1 - 0.5f * 0.5f * 0.8f, 1e-6f);
        const auto passing = Passing(a);
        EXPECT_NEAR(passing[0], 0.5f, 1e-6f);
        EXPECT_NEAR(passing[1], 0.5f, 1e-6f);
        EXPECT_NEAR(passing[2], 0.25f, 1e-6f);
    }
    // Only the layers on the segment count.
    const ShadowAnswer partial = Trace(scene, {0.2f, 0.1f, 0}, {0.2f, 0.1f, 1.5f});
    EXPECT_NEAR(partial.colour[3], 0.5f, 1e-6f);
    EXPECT_NEAR(partial.colour[0], 1, 1e-6f);
}

TEST(ShadowSceneBlockers, AnOpaqueBlackLayerDarkensTheWholeSegment)
{
    ShadowScene scene;
    Stack(scene, {Material(1, 0, 0, 0.5f), ShadowMaterial{}, Material(0, 1, 0, 0.5f)});
    const ShadowAnswer a = Trace(scene, {0, 0, 0}, {0, 0, 10});
    ASSERT_TRUE(a.blocked);
    EXPECT_EQ(a.colour[3], 1);
    EXPECT_EQ(a.colour[0], 0);
    EXPECT_EQ(a.colour[1], 0);
    EXPECT_EQ(a.colour[2], 0);
}

TEST(ShadowSceneBlockers, ASegmentThroughASharedEdgeOrCornerCountsTheLayerOnce)
{
    ShadowScene scene;
    // Two squares side by side in one mesh: the segments below cross edges shared by two and by four
    // triangles.
    std::vector<float> p = SquarePositions(-1, -1, 1, 1, 1);
    const std::vector<float> q = SquarePositions(1, -1, 3, 1, 1);
    p.insert(p.end(), q.begin(), q.end());
    ASSERT_TRUE(scene.Build({Mesh(p, Material(1, 1, 1, 0.5f))}, nullptr));
    for (const D3DXVECTOR3& at : {D3DXVECTOR3{0, 0, 0}, D3DXVECTOR3{0.5f, 0.5f, 0}, D3DXVECTOR3{1, 0, 0},
                                  D3DXVECTOR3{1, 1, 0}, D3DXVECTOR3{-1, -1, 0}}) {
        const ShadowAnswer a = Trace(scene, at, at + D3DXVECTOR3{0, 0, 3});
        EXPECT_TRUE(a.blocked);
        EXPECT_FLOAT_EQ(a.colour[3], 0.5f) << at.x << " " << at.y;
    }
}

TEST(ShadowSceneBlockers, ClearCastersDoNotBlock)
{
    ShadowScene scene;
    Stack(scene, {Material(0, 0, 0, 0), Material(0.3f, 0.3f, 0.3f, 0)});
    ExpectFree(Trace(scene, {0, 0, 0}, {0, 0, 10}));
}

TEST(ShadowSceneBlockers, MoreLayersThanTheBoundCountAsFullyBlocked)
{
    ShadowScene scene;
    Stack(scene, std::vector<ShadowMaterial>(octree::kMaxBlockers + 1, Material(1, 1, 1, 0.01f)));
    const ShadowAnswer a = Trace(scene, {0.5f, -0.2f, 0}, {0.5f, -0.2f, 100});
    ASSERT_TRUE(a.blocked);
    EXPECT_EQ(a.colour[3], 1);
    // As many layers as the bound combine normally.
    const ShadowAnswer b = Trace(scene, {0.5f, -0.2f, 0}, {0.5f, -0.2f, float(octree::kMaxBlockers) + 0.5f});
    EXPECT_NEAR(b.colour[3], 1 - std::pow(0.99f, float(octree::kMaxBlockers)), 1e-4f);
}

// --------------------------------------------------------------------------------------------------
// Self hits and the receiving mesh

TEST(ShadowSceneSelfHit, DistanceFollowsTheSceneSize)
{
    ShadowScene scene;
    std::vector<ShadowMesh> meshes;
    meshes.push_back(Mesh(SquarePositions(0, 0, 30, 40, 0)));
    ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));
    EXPECT_NEAR(scene.GetSelfHitDistance(), 50 * octree::kSelfHitFraction, 1e-6f);
}

TEST(ShadowSceneSelfHit, ASampleOnASurfaceIsNotShadowedByIt)
{
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(SquarePositions(-10, -10, 10, 10, 0))}, nullptr));
    const float eps = scene.GetSelfHitDistance();
    // Offsets measured along these segments stay below the self-hit distance (at most 0.92 of it).
    for (float dz : {0.0f, 0.3f * eps, -0.3f * eps, 0.8f * eps, -0.8f * eps}) {
        SCOPED_TRACE(dz);
        // Light above and light below (a sample lit from behind): the floor never blocks at its own point.
        for (bool cull : {false, true}) {
            ExpectFree(Trace(scene, {1, 2, dz}, {3, 4, 5}, cull));
            ExpectFree(Trace(scene, {1, 2, dz}, {3, 4, -5}, cull));
        }
    }
    // Beyond the self-hit distance the floor is an obstacle again.
    EXPECT_TRUE(Trace(scene, {1, 2, 1.5f * eps}, {3, 4, -5}).blocked);
}

TEST(ShadowSceneSelfHit, AMeshShadowsItselfBeyondTheSelfHitDistance)
{
    // An L of floor and wall in one mesh: a light behind the wall shadows the floor in front of it.
    std::vector<float> positions = SquarePositions(-10, -10, 10, 10, 0);
    const std::vector<float> wall = {5, -10, 0, 5, 10, 0, 5, 10, 10, 5, -10, 0, 5, 10, 10, 5, -10, 10};
    positions.insert(positions.end(), wall.begin(), wall.end());
    ShadowScene scene;
    std::vector<ShadowMesh> meshes;
    meshes.push_back(Mesh(positions));
    ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));
    EXPECT_TRUE(Trace(scene, {4, 0, 0}, {8, 0, 5}).blocked);
    ExpectFree(Trace(scene, {4, 0, 0}, {0, 0, 5}));
    // Right in the crease the wall is within the self-hit distance: no acne along the join.
    ExpectFree(Trace(scene, {5, 0, 0}, {4, 0, 5}));
}

TEST(ShadowSceneSelfHit, ConvexMeshNeverShadowsItselfTowardsLightsInFront)
{
    // A tessellated sphere: from the centre, corners and edge midpoints of every triangle, a light in
    // front of that triangle must get through, whatever the rounding of the positions.
    constexpr int kRings = 12, kSegments = 24;
    constexpr float kRadius = 3, kPi = 3.14159265f;
    auto point = [&](int ring, int seg) {
        const float theta = kPi * float(ring) / kRings, phi = 2 * kPi * float(seg) / kSegments;
        return D3DXVECTOR3{kRadius * std::sin(theta) * std::cos(phi) + 100, kRadius * std::sin(theta) * std::sin(phi),
                           kRadius * std::cos(theta) - 50};
    };
    std::vector<float> positions;
    auto add = [&](D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c) {
        for (const D3DXVECTOR3& p : {a, b, c})
            positions.insert(positions.end(), {p.x, p.y, p.z});
    };
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSegments; ++s) {
            const D3DXVECTOR3 a = point(r, s), b = point(r + 1, s), c = point(r + 1, s + 1), d = point(r, s + 1);
            if (r > 0)
                add(a, c, d); // outward winding: d(theta) x d(phi) points away from the centre
            if (r < kRings - 1)
                add(a, b, c);
        }
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(positions)}, nullptr));
    int blocked = 0, rays = 0;
    for (size_t t = 0; t + 9 <= positions.size(); t += 9) {
        const D3DXVECTOR3 v0{positions[t], positions[t + 1], positions[t + 2]};
        const D3DXVECTOR3 v1{positions[t + 3], positions[t + 4], positions[t + 5]};
        const D3DXVECTOR3 v2{positions[t + 6], positions[t + 7], positions[t + 8]};
        D3DXVECTOR3 e1 = v1 - v0, e2 = v2 - v0, n;
        D3DXVec3Cross(&n, &e1, &e2);
        D3DXVec3Normalize(&n, &n);
        for (const D3DXVECTOR3& sample : {(v0 + v1 + v2) / 3, v0, v1, v2, (v0 + v1) / 2, (v1 + v2) / 2}) {
            // Slanted towards the surface to make grazing rays over the neighbouring triangles.
            const D3DXVECTOR3 light = sample + n * 20 + (v1 - v0) * 3;
            if (D3DXVec3Dot(&n, &light) <= D3DXVec3Dot(&n, &sample))
                continue;
            ++rays;
            blocked += Trace(scene, sample, light).blocked ? 1 : 0;
        }
    }
    EXPECT_GT(rays, 1000);
    EXPECT_EQ(blocked, 0);
}

TEST(ShadowSceneSelfHit, ASurfaceAtTheTargetDoesNotBlockIt)
{
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(SquarePositions(-1, -1, 1, 1, 5))}, nullptr));
    ExpectFree(Trace(scene, {0, 0, 0}, {0, 0, 5}));
    EXPECT_TRUE(Trace(scene, {0, 0, 0}, {0, 0, 5.01f}).blocked);
}

// --------------------------------------------------------------------------------------------------
// Culling

TEST(ShadowSceneCulling, BackSidesOnlyBlockWithoutCulling)
{
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(SquarePositions(-1, -1, 1, 1, 0))}, nullptr)); // front side +z
    const D3DXVECTOR3 above{0.2f, 0.3f, 4}, below{-0.1f, 0.2f, -4};
    EXPECT_TRUE(Trace(scene, above, below, true).blocked);  // meets the front side
    EXPECT_FALSE(Trace(scene, below, above, true).blocked); // meets the back side
    EXPECT_TRUE(Trace(scene, below, above, false).blocked);
    EXPECT_TRUE(Trace(scene, above, below, false).blocked);
}

TEST(ShadowSceneCulling, TranslucentCastersAreCulledFromBehindToo)
{
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(SquarePositions(-1, -1, 1, 1, 0), Material(0, 0, 1, 0.5f)),
                             Mesh(SquarePositions(-1, -1, 1, 1, 1), Material(1, 0, 0, 0.5f))},
                            nullptr));
    // Going up, both squares are seen from behind; going down, both from the front.
    ExpectFree(Trace(scene, {0.3f, 0.2f, -2}, {0.3f, 0.2f, 3}, true));
    const ShadowAnswer down = Trace(scene, {0.3f, 0.2f, 3}, {0.3f, 0.2f, -2}, true);
    EXPECT_FLOAT_EQ(down.colour[3], 0.75f);
    // From between them, only the lower one faces a segment going down.
    const ShadowAnswer lower = Trace(scene, {0.3f, 0.2f, 0.5f}, {0.3f, 0.2f, -2}, true);
    EXPECT_FLOAT_EQ(lower.colour[3], 0.5f);
    EXPECT_FLOAT_EQ(lower.colour[2], 1);
    EXPECT_FLOAT_EQ(lower.colour[0], 0);
}

TEST(ShadowSceneCulling, ClosedBoxStillShadowsThroughItsFrontFacingSide)
{
    // Culling leaves the entry face of a closed, outward-facing box: it shadows from every side.
    std::vector<float> p;
    auto quad = [&](D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c, D3DXVECTOR3 d) {
        for (const D3DXVECTOR3& v : {a, b, c, a, c, d})
            p.insert(p.end(), {v.x, v.y, v.z});
    };
    const D3DXVECTOR3 c000{-1, -1, -1}, c100{1, -1, -1}, c110{1, 1, -1}, c010{-1, 1, -1};
    const D3DXVECTOR3 c001{-1, -1, 1}, c101{1, -1, 1}, c111{1, 1, 1}, c011{-1, 1, 1};
    quad(c000, c010, c110, c100); // -z
    quad(c001, c101, c111, c011); // +z
    quad(c000, c100, c101, c001); // -y
    quad(c010, c011, c111, c110); // +y
    quad(c000, c001, c011, c010); // -x
    quad(c100, c110, c111, c101); // +x
    ShadowScene scene;
    ASSERT_TRUE(scene.Build({Mesh(p)}, nullptr));
    const D3DXVECTOR3 ends[] = {{0, 0, 5}, {0, 0, -5}, {5, 0.1f, 0}, {-5, 0, 0.2f}, {0.3f, 5, 0}, {0, -5, 0}};
    for (const D3DXVECTOR3& from : ends)
        EXPECT_TRUE(Trace(scene, from, -from, true).blocked) << from.x << " " << from.y << " " << from.z;
    // A segment that starts inside only meets back sides on its way out.
    EXPECT_FALSE(Trace(scene, {0, 0, 0}, {0, 0, 5}, true).blocked);
}

// --------------------------------------------------------------------------------------------------
// Threads

TEST(ShadowSceneThreads, ConcurrentTracingGivesTheSingleThreadedAnswers)
{
    std::vector<ShadowMesh> meshes;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> pos(-10, 10), unit(0, 1);
    for (int i = 0; i < 40; ++i) {
        const float x = pos(rng), y = pos(rng), z = pos(rng), s = 0.5f + 2 * unit(rng);
        meshes.push_back(Mesh(SquarePositions(x, y, x + s, y + s, z),
                              i % 3 ? ShadowMaterial{} : Material(unit(rng), unit(rng), unit(rng), unit(rng))));
    }
    ShadowScene scene;
    ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));

    constexpr int kRays = 4000;
    std::vector<std::array<float, 6>> segments(kRays);
    for (auto& s : segments)
        for (float& f : s)
            f = pos(rng) * 1.5f;
    auto run = [&](int begin, int step, std::vector<ShadowAnswer>& out) {
        for (int i = begin; i < kRays; i += step) {
            ShadowAnswer& a = out[size_t(i)];
            a.blocked = scene.Trace(segments[size_t(i)].data(), segments[size_t(i)].data() + 3, i % 2 == 0, a.colour);
        }
    };
    std::vector<ShadowAnswer> single(kRays), parallel(kRays);
    run(0, 1, single);
    std::vector<std::thread> threads;
    constexpr int kThreads = 8;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(run, t, kThreads, std::ref(parallel));
    for (auto& t : threads)
        t.join();
    int blocked = 0;
    for (int i = 0; i < kRays; ++i) {
        ASSERT_EQ(single[size_t(i)].blocked, parallel[size_t(i)].blocked) << i;
        for (int k = 0; k < 4; ++k)
            ASSERT_EQ(single[size_t(i)].colour[k], parallel[size_t(i)].colour[k]) << i;
        blocked += single[size_t(i)].blocked;
    }
    EXPECT_GT(blocked, kRays / 20); // the scene is not empty for these rays
    EXPECT_LT(blocked, kRays);
}

// --------------------------------------------------------------------------------------------------
// Batches

// A batch answers each segment exactly as a query of its own: packets of coherent texel-like bundles,
// random segments, ends that are not traceable and segments too short to hold anything, over opaque
// scenes (traced in packets) and scenes with a coloured caster (one by one), with and without culling.
TEST(ShadowSceneBatches, EverySegmentGetsItsOneByOneAnswerBitForBit)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> pos(-10, 10), unit(0, 1), jitter(-0.2f, 0.2f);
    std::vector<octree::ShadowSegment> segments;
    for (int bundle = 0; bundle < 40; ++bundle) { // 37 rays a bundle: full packets and a partial one
        const float ox = pos(rng), oz = pos(rng), tx = pos(rng), ty = 12 + pos(rng), tz = pos(rng);
        for (int i = 0; i < 37; ++i)
            segments.push_back({{ox + jitter(rng), -11, oz + jitter(rng)}, {tx + jitter(rng), ty, tz}});
    }
    for (int i = 0; i < 300; ++i)
        segments.push_back({{pos(rng), pos(rng), pos(rng)}, {pos(rng), pos(rng), pos(rng)}});
    for (const octree::ShadowSegment& odd : {octree::ShadowSegment{{0, NAN, 0}, {0, 20, 0}},
                                             {{0, -20, 0}, {0, INFINITY, 0}},
                                             {{0, -1e19f, 0}, {0, 20, 0}},
                                             {{1, 1, 1}, {1, 1, 1}},
                                             {{1, 1, 1}, {1, 1, 1.000001f}}})
        segments.insert(segments.begin() + 17, odd); // amid a bundle, so packets hold them beside others

    for (bool coloured : {false, true}) {
        std::vector<ShadowMesh> meshes;
        for (int i = 0; i < 60; ++i) {
            const float x = pos(rng), y = pos(rng), z = pos(rng), w = 0.5f + 3 * unit(rng);
            std::vector<float> p = SquarePositions(x, z, x + w, z + w, y);
            for (size_t v = 0; v < p.size(); v += 3)
                std::swap(p[v + 1], p[v + 2]); // lying flat, so the bundles from below meet them
            if (i % 2)                         // half of them face the other way, so that culling changes answers
                for (size_t t = 0; t < p.size(); t += 9)
                    std::swap_ranges(p.begin() + long(t) + 3, p.begin() + long(t) + 6, p.begin() + long(t) + 6);
            const ShadowMaterial tinted = Material(unit(rng), unit(rng), 0.2f, i % 7 ? 0.6f : 1.0f);
            meshes.push_back(Mesh(std::move(p), coloured && i % 3 ? tinted : ShadowMaterial{}));
        }
        for (int layer = 0; coloured && layer < 3; ++layer) { // three stacked layers over half the bundles
            std::vector<float> p = SquarePositions(-10, -10, 0, 10, -10.5f + 0.2f * float(layer));
            for (size_t v = 0; v < p.size(); v += 3)
                std::swap(p[v + 1], p[v + 2]);
            meshes.push_back(Mesh(std::move(p), Material(0.9f, 0.6f - 0.2f * float(layer), 0.3f, 0.4f)));
        }
        ShadowScene scene;
        ASSERT_TRUE(scene.Build(std::move(meshes), nullptr));
        int blockedByCull[2] = {0, 0};
        for (bool cull : {false, true}) {
            SCOPED_TRACE(std::string(coloured ? "coloured" : "opaque") + (cull ? ", culled" : ""));
            std::vector<float> colours(4 * segments.size(), 1.0f);
            for (size_t i = 0; i < segments.size(); ++i)
                colours[4 * i + 3] = 0;
            std::unique_ptr<bool[]> blocked(new bool[segments.size()]);
            scene.TraceMany(segments.data(), segments.size(), cull, colours.data(), blocked.get());
            for (size_t i = 0; i < segments.size(); ++i) {
                ShadowAnswer one;
                one.blocked = scene.Trace(segments[i].origin, segments[i].target, cull, one.colour);
                ASSERT_EQ(blocked[i], one.blocked) << "segment " << i;
                ASSERT_EQ(std::memcmp(&colours[4 * i], one.colour, sizeof one.colour), 0) << "segment " << i;
                blockedByCull[cull] += one.blocked;
            }
        }
        // Not a vacuous comparison: many segments are blocked, many free, and culling frees some.
        EXPECT_GT(blockedByCull[0], int(segments.size()) / 5);
        EXPECT_LT(blockedByCull[0], int(segments.size()) * 4 / 5);
        EXPECT_LT(blockedByCull[1], blockedByCull[0]);
    }
}

} // namespace
} // namespace vex::testing
