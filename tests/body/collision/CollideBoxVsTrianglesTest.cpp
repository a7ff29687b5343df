#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/BoxEdgeSlabs.h"

#include <ode/ode.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace vex::collision;

namespace {

BoxPose AxisBox(double x, double y, double z, double size = 1)
{
    BoxPose box{};
    box.centre[0] = x;
    box.centre[1] = y;
    box.centre[2] = z;
    dRSetIdentity(box.rotation);
    box.lengths[0] = box.lengths[1] = box.lengths[2] = size;
    return box;
}

// A flat grid facing +y: cells x cells squares of the given size, centred on the origin.
std::vector<float> Floor(int cells, float size)
{
    std::vector<float> t;
    const float h = size * cells * 0.5f;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const float x0 = -h + size * i, x1 = x0 + size, z0 = -h + size * j, z1 = z0 + size;
            t.insert(t.end(), {x0, 0, z0, x0, 0, z1, x1, 0, z0});
            t.insert(t.end(), {x1, 0, z0, x0, 0, z1, x1, 0, z1});
        }
    }
    return t;
}

const std::vector<float> kLargeTriangle = {-5, 0, -5, -5, 0, 5, 5, 0, -5};

} // namespace

TEST(CollideBox, CubeOverTheLargeTriangleTouchesWithItsOwnFaceAxisUnderItsFace)
{
    dContactGeom contacts[4];
    const unsigned long n =
        CollideBoxVsTriangles(AxisBox(0, 0.499, 0), kLargeTriangle, 4, contacts, sizeof(dContactGeom));
    // The box test's one contact, then the cube's bottom corners over the triangle (x + z <= 0): the cube
    // lies on the face and is held at its corners, not balanced on a single point.
    ASSERT_EQ(n, 4u);
    for (unsigned long m = 1; m < n; ++m) {
        EXPECT_NEAR(contacts[m].depth, 0.006, 1e-9);
        EXPECT_NEAR(contacts[m].pos[1], -0.001, 1e-9);
        EXPECT_NEAR(std::fabs(contacts[m].pos[0]), 0.5, 1e-9);
        EXPECT_NEAR(std::fabs(contacts[m].pos[2]), 0.5, 1e-9);
        EXPECT_LE(contacts[m].pos[0] + contacts[m].pos[2], 1e-9);
        EXPECT_EQ(contacts[m].normal[1], contacts[0].normal[1]);
    }
    EXPECT_NEAR(contacts[0].normal[0], 0, 1e-9);
    EXPECT_NEAR(contacts[0].normal[1], -1, 1e-9);
    EXPECT_NEAR(contacts[0].normal[2], 0, 1e-9);
    EXPECT_NEAR(contacts[0].depth, 0.006, 1e-6);
    // The slab's deepest corner, (0, 0.005, -10), lies ten units from the cube; it is moved onto the
    // cube's bottom face, keeping its height.
    EXPECT_NEAR(contacts[0].pos[0], 0, 1e-5);
    EXPECT_NEAR(contacts[0].pos[1], 0.005, 1e-6);
    EXPECT_NEAR(contacts[0].pos[2], -0.5, 1e-5);
}

TEST(CollideBox, ContactRecordsCarryTheBoxAsG1AndTheOtherGeomAsG2)
{
    const auto g1 = reinterpret_cast<dGeomID>(0x1000), g2 = reinterpret_cast<dGeomID>(0x2000);
    dContactGeom contact{};
    BoxTriangleCollector collector(AxisBox(0, 0.499, 0), 1, &contact, sizeof contact, g1, g2);
    collector.AddTriangle({-5, 0, -5}, {-5, 0, 5}, {5, 0, -5});
    ASSERT_EQ(collector.Finish(), 1u);
    EXPECT_EQ(contact.g1, g1);
    EXPECT_EQ(contact.g2, g2);
}

// A limit of N yields min(N, touching triangles) contacts: 1 allows one, 4 of five touching allows four.
TEST(CollideBox, ContactCountNeverExceedsTheLimitAndFillsIt)
{
    const std::vector<float> floor = Floor(4, 1.0f);
    dContactGeom all[64];
    const unsigned long unlimited = CollideBoxVsTriangles(AxisBox(0.2, 0.745, 0.1, 1.5), floor, 64, all, sizeof all[0]);
    ASSERT_GE(unlimited, 5u);
    for (unsigned long limit = 1; limit <= unlimited + 2; ++limit) {
        dContactGeom contacts[64];
        const unsigned long n =
            CollideBoxVsTriangles(AxisBox(0.2, 0.745, 0.1, 1.5), floor, limit, contacts, sizeof contacts[0]);
        EXPECT_EQ(n, std::min(limit, unlimited)) << "limit " << limit;
    }
}

// A box resting flat on a fine floor touches many triangles; the four contacts kept surround its centre,
// wherever the box stands, so it is supported on all sides. The wide box on the finer grid meets far more
// triangles than the collider keeps candidates for at once.
TEST(CollideBox, ContactsKeptUnderALimitSurroundTheCentreOfARestingBox)
{
    struct Case {
        double width; ///< the box's x and z lengths (its height is 1)
        int cells;
        float cell;
        double spread; ///< how far the box centre may stand from the floor's centre
    };
    for (const Case& row : {Case{1, 12, 0.5f, 1.5}, Case{4, 32, 0.25f, 1.0}}) {
        const std::vector<float> floor = Floor(row.cells, row.cell);
        std::mt19937 rng(9);
        std::uniform_real_distribution<double> pos(-row.spread, row.spread), yaw(0, 3.14159);
        for (int trial = 0; trial < 50; ++trial) {
            BoxPose box = AxisBox(pos(rng), 0.4995, pos(rng));
            box.lengths[0] = box.lengths[2] = row.width;
            dRFromAxisAndAngle(box.rotation, 0, 1, 0, yaw(rng));
            dContactGeom contacts[4];
            ASSERT_EQ(CollideBoxVsTriangles(box, floor, 4, contacts, sizeof contacts[0]), 4u);
            // The centre lies on the inner side of every edge of the contacts' hull, in x-z: some contact on
            // each side of any line through the centre, checked on many lines.
            for (int line = 0; line < 36; ++line) {
                const double a = line * 3.14159265 / 36, dx = std::cos(a), dz = std::sin(a);
                bool left = false, right = false;
                for (const dContactGeom& c : contacts) {
                    const double side = (c.pos[0] - box.centre[0]) * dz - (c.pos[2] - box.centre[2]) * dx;
                    left |= side > 0.05;
                    right |= side < -0.05;
                }
                EXPECT_TRUE(left && right) << "width " << row.width << " trial " << trial << " line " << line;
            }
        }
    }
}

// A wide box tilted over a fine grid touches hundreds of triangles, its deepest side first or last in the
// mesh's order: the deepest contact is kept whatever the contact limit.
TEST(CollideBox, TiltedWideBoxOverAFineGridKeepsItsDeepestContact)
{
    const std::vector<float> floor = Floor(32, 0.25f);
    const double tilt = 0.05, sunk = 0.05;
    for (const double side : {1.0, -1.0}) {
        BoxPose box = AxisBox(0.1, 0, 0.1);
        box.lengths[0] = box.lengths[2] = 4;
        // The +x side (-x side) goes down; its lowest edge ends sunk below the floor.
        dRFromAxisAndAngle(box.rotation, 0, 0, 1, -tilt * side);
        box.centre[1] = 2 * std::sin(tilt) + 0.5 * std::cos(tilt) - sunk;
        for (const unsigned long limit : {1ul, 4ul, 16ul}) {
            dContactGeom contacts[16];
            const unsigned long n = CollideBoxVsTriangles(box, floor, limit, contacts, sizeof contacts[0]);
            ASSERT_EQ(n, limit);
            double deepest = 0;
            for (unsigned long m = 0; m < n; ++m)
                deepest = std::max(deepest, static_cast<double>(contacts[m].depth));
            // The slab stands half its thickness above the floor.
            EXPECT_NEAR(deepest, sunk + 0.5 * kSlabThickness, 1e-3) << "side " << side << " limit " << limit;
        }
    }
}

namespace {

// The free primitives, noting the edge each slab is built on.
struct SlabEdgeRecorder final : BoxPrimitives {
    D3DXVECTOR3* start;
    D3DXVECTOR3* end;
    SlabEdgeRecorder(D3DXVECTOR3* s, D3DXVECTOR3* e) : start(s), end(e) {}
    void CreateSlab(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                    const D3DXVECTOR3& normal, double* centre, double* rotation, double* sides) const override
    {
        *start = edgeStart;
        *end = edgeEnd;
        BoxPrimitives::CreateSlab(edgeStart, edgeEnd, apex, normal, centre, rotation, sides);
    }
};

struct EdgeCase {
    const char* name;
    std::vector<float> triangle; // A, B, C
    D3DXVECTOR3 centre;
    int start; // expected edge: its start and end vertex (0 A, 1 B, 2 C)
    int end;
};

} // namespace

// The slab goes on the edge nearest the box centre; ties go to C->A, and to B->C over A->B. Exact ties:
// a centre beyond a vertex is equally far from both its edges (the same vertex is the nearest point of
// each), and a centre on the axis of the triangle (1,0,0), (0,1,0), (0,0,1) works out the same numbers
// for all three edges, in turned order.
TEST(CollideBox, SlabIsBuiltOnTheNearestEdgeWithTiesToCAThenBC)
{
    const std::vector<float> right = {0, 0, 0, 0, 0, 2, 2, 0, 0}; // right angle at A, facing +y
    const std::vector<float> turned = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const EdgeCase cases[] = {
        {"A->B nearest", right, {-0.5f, 0.3f, 1}, 0, 1},
        {"B->C nearest", right, {1.2f, 0.3f, 1.2f}, 1, 2},
        {"A->B and B->C tie beyond B", right, {-0.5f, 0.3f, 2.5f}, 1, 2},
        {"B->C and C->A tie beyond C", right, {2.5f, 0.3f, -0.5f}, 2, 0},
        {"C->A and A->B tie beyond A", right, {-0.5f, 0.3f, -0.5f}, 2, 0},
        {"all three tie", turned, {0.75f, 0.75f, 0.75f}, 2, 0},
    };
    for (const EdgeCase& c : cases) {
        const float* t = c.triangle.data();
        const D3DXVECTOR3 v[3] = {{t[0], t[1], t[2]}, {t[3], t[4], t[5]}, {t[6], t[7], t[8]}};
        if (std::string(c.name).find("tie") != std::string::npos) {
            // The tie is exact, or the case proves nothing.
            const float d[3] = {PointSegmentDistanceOnly(v[0], v[1], c.centre),
                                PointSegmentDistanceOnly(v[1], v[2], c.centre),
                                PointSegmentDistanceOnly(v[2], v[0], c.centre)};
            ASSERT_EQ(std::count(d, d + 3, d[c.start]), c.name == std::string("all three tie") ? 3 : 2) << c.name;
        }
        D3DXVECTOR3 start(NAN, NAN, NAN), end(NAN, NAN, NAN);
        dContactGeom contact;
        const SlabEdgeRecorder recorder(&start, &end);
        BoxTriangleCollector collector(AxisBox(c.centre.x, c.centre.y, c.centre.z, 0.2), 1, &contact, sizeof contact,
                                       nullptr, nullptr, {.primitives = &recorder});
        collector.AddTriangle(v[0], v[1], v[2]);
        EXPECT_EQ(start, v[c.start]) << c.name;
        EXPECT_EQ(end, v[c.end]) << c.name;
        // The free path's choice, four triangles side by side, the case in every lane.
        float four[4 * 9 + 1] = {};
        for (int lane = 0; lane < 4; ++lane)
            std::copy(t, t + 9, four + 9 * lane);
        const vex::simd::Float4 zero = vex::simd::Float4::Zero();
        NearestSlabs slabs;
        ComputeNearestSlabs(TriangleLanes::Load(four, 4), {zero, zero, zero}, c.centre, nullptr, slabs);
        EXPECT_EQ(std::count(slabs.edge, slabs.edge + 4, c.start), 4) << c.name;
    }
}

TEST(CollideBox, BoxWhoseCentreIsBehindTheTriangleGetsNothingFromIt)
{
    dContactGeom contacts[4];
    EXPECT_EQ(CollideBoxVsTriangles(AxisBox(0, -0.3, 0), kLargeTriangle, 4, contacts, sizeof contacts[0]), 0u);
}

TEST(CollideBox, DegenerateTrianglesAreSkipped)
{
    const std::vector<float> degenerate = {0, 0, 0, 1, 0, 0, 2, 0, 0, /**/ 0, 0, 0, 0, 0, 0, 0, 0, 0};
    dContactGeom contacts[4];
    EXPECT_EQ(CollideBoxVsTriangles(AxisBox(0.5, 0.3, 0), degenerate, 4, contacts, sizeof contacts[0]), 0u);
}

TEST(CollideBox, RecordsArePlacedAtMultiplesOfTheStrideAndNothingElseIsWritten)
{
    const std::vector<float> floor = Floor(4, 1.0f);
    for (const size_t stride : {sizeof(dContactGeom), sizeof(dContactGeom) + 40, 3 * sizeof(dContactGeom)}) {
        const unsigned long limit = 3;
        std::vector<unsigned char> buffer(stride * limit + 64, 0xAB);
        auto* contacts = reinterpret_cast<dContactGeom*>(buffer.data());
        const unsigned long n = CollideBoxVsTriangles(AxisBox(0.2, 0.745, 0.1, 1.5), floor, limit, contacts, stride);
        ASSERT_EQ(n, limit);
        for (size_t byte = 0; byte < buffer.size(); ++byte) {
            const size_t record = byte / stride, within = byte % stride;
            if (record < n && within < sizeof(dContactGeom))
                continue;
            ASSERT_EQ(buffer[byte], 0xAB) << "stride " << stride << " byte " << byte;
        }
        for (unsigned long m = 0; m < n; ++m) {
            dContactGeom c;
            std::memcpy(&c, buffer.data() + m * stride, sizeof c);
            EXPECT_NEAR(c.normal[1], -1, 1e-9);
        }
    }
}

// Every contact of a box sunk into a floor less than half the slab: unit normal pointing into the mesh.
TEST(CollideBox, NormalsAreUnitLengthAndPointIntoTheFloorForRandomPoses)
{
    const std::vector<float> floor = Floor(8, 1.0f);
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> pos(-2, 2), angle(-3.1, 3.1), depth(0, 0.004);
    int total = 0;
    for (int trial = 0; trial < 200; ++trial) {
        BoxPose box = AxisBox(pos(rng), 0, pos(rng));
        dRFromEulerAngles(box.rotation, angle(rng), angle(rng), angle(rng));
        // Lowest corner below the floor by the chosen penetration.
        double lowest = 0;
        for (int i = 0; i < 3; ++i)
            lowest += 0.5 * std::fabs(box.rotation[4 + i]);
        box.centre[1] = lowest - depth(rng);
        dContactGeom contacts[16];
        const unsigned long n = CollideBoxVsTriangles(box, floor, 16, contacts, sizeof contacts[0]);
        ASSERT_LE(n, 16u);
        for (unsigned long m = 0; m < n; ++m) {
            const dReal* normal = contacts[m].normal;
            EXPECT_NEAR(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2], 1, 1e-9);
            EXPECT_LE(normal[1], 0) << "trial " << trial;
            EXPECT_GE(contacts[m].depth, 0);
            EXPECT_LE(contacts[m].depth, 0.004 + 0.0051);
            ++total;
        }
    }
    EXPECT_GT(total, 200);
}

// A rigid motion of box and triangles moves the contacts along and keeps their number and depths.
TEST(CollideBox, ContactsAreInvariantUnderRotationAndTranslationOfTheScene)
{
    const std::vector<float> floor = Floor(6, 1.0f);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(-1.5, 1.5), angle(-3.1, 3.1), depth(0.0005, 0.004);
    int compared = 0;
    for (int trial = 0; trial < 100; ++trial) {
        BoxPose box = AxisBox(pos(rng), 0, pos(rng));
        dRFromEulerAngles(box.rotation, angle(rng), angle(rng), angle(rng));
        double lowest = 0;
        for (int i = 0; i < 3; ++i)
            lowest += 0.5 * std::fabs(box.rotation[4 + i]);
        box.centre[1] = lowest - depth(rng);

        dMatrix3 Q;
        dRFromEulerAngles(Q, angle(rng), angle(rng), angle(rng));
        const double shift[3] = {pos(rng) * 20, pos(rng) * 20, pos(rng) * 20};
        auto movePoint = [&](const double in[3], double out[3]) {
            for (int i = 0; i < 3; ++i)
                out[i] = Q[4 * i] * in[0] + Q[4 * i + 1] * in[1] + Q[4 * i + 2] * in[2] + shift[i];
        };
        std::vector<float> movedFloor(floor.size());
        for (size_t i = 0; i < floor.size(); i += 3) {
            const double in[3] = {floor[i], floor[i + 1], floor[i + 2]};
            double out[3];
            movePoint(in, out);
            for (int k = 0; k < 3; ++k)
                movedFloor[i + k] = static_cast<float>(out[k]);
        }
        BoxPose moved = box;
        movePoint(box.centre, moved.centre);
        dMultiply0_333(moved.rotation, Q, box.rotation);

        dContactGeom a[32], b[32];
        const unsigned long na = CollideBoxVsTriangles(box, floor, 32, a, sizeof a[0]);
        const unsigned long nb = CollideBoxVsTriangles(moved, movedFloor, 32, b, sizeof b[0]);
        ASSERT_EQ(na, nb) << "trial " << trial;
        // The order of triangles is the same, so the records correspond one to one.
        for (unsigned long m = 0; m < na; ++m) {
            EXPECT_NEAR(a[m].depth, b[m].depth, 1e-3) << "trial " << trial;
            double normal[3], position[3];
            const double zero[3] = {0, 0, 0};
            double origin[3];
            movePoint(zero, origin);
            movePoint(a[m].normal, normal);
            movePoint(a[m].pos, position);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(normal[k] - origin[k], b[m].normal[k], 2e-3) << "trial " << trial;
                EXPECT_NEAR(position[k], b[m].pos[k], 2e-2) << "trial " << trial;
            }
            ++compared;
        }
    }
    EXPECT_GT(compared, 100);
}
