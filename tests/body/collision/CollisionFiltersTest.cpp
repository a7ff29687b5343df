// The colliders' quick rejections must never change a result: the same triangles with the rejections
// switched off in the settings give the same contacts bit for bit. Poses and triangles are drawn to sit
// near the rejection thresholds: triangles grazing the sphere, slivers, boxes just touching, far from the
// origin.
#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/CollideSphereVsTriangles.h"

#include <ode/ode.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace vex::collision;

namespace {

D3DXVECTOR3 RandomVector(std::mt19937& rng, float spread)
{
    std::uniform_real_distribution<float> u(-spread, spread);
    return {u(rng), u(rng), u(rng)};
}

// A triangle near centre: a random one, a sliver (third vertex close to the first edge), or one of a plane
// at a random distance around the radius, so that triangles land on both sides of every threshold.
void AddNearbyTriangle(std::mt19937& rng, const D3DXVECTOR3& centre, float radius, std::vector<D3DXVECTOR3>& out)
{
    std::uniform_int_distribution<int> kind(0, 2);
    std::uniform_real_distribution<float> unit(0, 1);
    const D3DXVECTOR3 a = centre + RandomVector(rng, 1.5f * radius);
    const D3DXVECTOR3 b = a + RandomVector(rng, radius);
    switch (kind(rng)) {
    case 0:
        out.insert(out.end(), {a, b, a + RandomVector(rng, radius)});
        break;
    case 1:
        out.insert(out.end(), {a, b, a + (b - a) * unit(rng) + RandomVector(rng, 1e-3f * radius)});
        break;
    default: {
        // Flat under the centre at a height close to the radius.
        const float height = radius * (0.9f + 0.2f * unit(rng));
        const D3DXVECTOR3 p(centre.x + RandomVector(rng, radius).x, centre.y - height,
                            centre.z + RandomVector(rng, radius).z);
        const D3DXVECTOR3 q = p + D3DXVECTOR3(0, 0, radius * unit(rng) + 0.01f);
        const D3DXVECTOR3 r = p + D3DXVECTOR3(radius * unit(rng) + 0.01f, 0, 0);
        out.insert(out.end(), {p, q, r});
        break;
    }
    }
}

// A patch of grid cells around centre, two triangles each, in the grid's own order: flat (many triangles
// share one plane and one cross product; some in terraces), bumpy (each its own plane) or a roof whose ridge runs under
// the centre (the ridge's edges, not the faces, push a sphere above it, several by nearly the same
// length). Fine cells put dozens of triangles within reach of one shape.
void AddGridPatch(std::mt19937& rng, const D3DXVECTOR3& centre, float below, std::vector<D3DXVECTOR3>& out)
{
    std::uniform_real_distribution<float> unit(0, 1);
    const float cell = 0.03f + 0.3f * unit(rng);
    const float shape = unit(rng);
    const float bump = shape < 0.33f ? 0.0f : 0.3f * cell;
    const float slope = shape > 0.66f ? 0.3f + unit(rng) : 0.0f;
    const float ridge = centre.x + (unit(rng) - 0.5f) * 0.2f * cell;
    const float phase = 10 * unit(rng);
    const int cells = 12;
    auto at = [&](int i, int j) {
        const float x = centre.x + (static_cast<float>(i) - cells / 2.0f) * cell;
        const float z = centre.z + (static_cast<float>(j) - cells / 2.0f) * cell;
        const float y = slope > 0 ? centre.y - below - slope * std::fabs(x - ridge)
                                  : centre.y - below + bump * std::sin(phase + 1.7f * static_cast<float>(i + 2 * j));
        return D3DXVECTOR3(x, y, z);
    };
    // Some flat patches are terraces: every other row of cells a little higher, so that neighbouring
    // triangles share their cross product but not their plane.
    const float step = shape < 0.15f ? (0.01f + 0.05f * unit(rng)) * cell : 0.0f;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const D3DXVECTOR3 up(0, j % 2 ? step : 0.0f, 0);
            out.insert(out.end(), {at(i, j) + up, at(i, j + 1) + up, at(i + 1, j) + up});
            out.insert(out.end(), {at(i + 1, j) + up, at(i, j + 1) + up, at(i + 1, j + 1) + up});
        }
    }
}

// Vertices three per triangle as the colliders' list: nine floats each and a spare one after the last.
std::vector<float> TriangleList(const std::vector<D3DXVECTOR3>& v)
{
    std::vector<float> list;
    for (const D3DXVECTOR3& p : v)
        list.insert(list.end(), {p.x, p.y, p.z});
    list.push_back(0);
    return list;
}

// The sphere's contact from the triangles v (three vertices each), with the quick rejections on and off:
// a failure unless both agree bit for bit. outHit: whether there was a contact.
testing::AssertionResult SameSphereContact(const D3DXVECTOR3& centre, float radius, const std::vector<D3DXVECTOR3>& v,
                                           bool& outHit)
{
    SphereTriangleAccumulator filtered(centre, radius);
    SphereTriangleAccumulator unfiltered(centre, radius, {.quickRejections = false});
    // The filtered one takes the list as the channel hands it over (four at a time), the other singly.
    const std::vector<float> list = TriangleList(v);
    filtered.AddTriangles(list.data(), v.size() / 3);
    for (size_t i = 0; i + 3 <= v.size(); i += 3)
        unfiltered.AddTriangle(v[i], v[i + 1], v[i + 2]);
    SphereContact got, want;
    outHit = filtered.GetContact(got);
    if (outHit != unfiltered.GetContact(want))
        return testing::AssertionFailure() << "one finds a contact, the other none";
    if (outHit && std::memcmp(&got, &want, sizeof got) != 0)
        return testing::AssertionFailure() << "the contacts differ";
    return testing::AssertionSuccess();
}

// The same for the box's contacts at the given limit. outCount: how many were written.
testing::AssertionResult SameBoxContacts(const BoxPose& box, unsigned long limit, const std::vector<D3DXVECTOR3>& v,
                                         unsigned long& outCount)
{
    dContactGeom got[16] = {}, want[16] = {};
    BoxTriangleCollector filtered(box, limit, got, sizeof got[0], nullptr, nullptr);
    BoxTriangleCollector unfiltered(box, limit, want, sizeof want[0], nullptr, nullptr, {.quickRejections = false});
    // The filtered one takes the triangles as a list, as the channel hands them over (so runs of a flat
    // patch go four at a time), the unfiltered one singly.
    const std::vector<float> list = TriangleList(v);
    filtered.AddTriangles(list.data(), v.size() / 3);
    for (size_t i = 0; i + 3 <= v.size(); i += 3)
        unfiltered.AddTriangle(v[i], v[i + 1], v[i + 2]);
    outCount = filtered.Finish();
    if (outCount != unfiltered.Finish())
        return testing::AssertionFailure() << "the contact counts differ";
    if (std::memcmp(got, want, sizeof got) != 0)
        return testing::AssertionFailure() << "the contacts differ";
    return testing::AssertionSuccess();
}

TEST(CollisionFilters, SphereContactIsTheSameWithAndWithoutTheQuickRejection)
{
    std::mt19937 rng(20261207);
    std::uniform_real_distribution<float> radii(0.05f, 2.0f);
    const float offsets[] = {0.0f, 37.0f, 1000.0f};
    int contacts = 0;
    for (int round = 0; round < 3000; ++round) {
        const float radius = radii(rng);
        const D3DXVECTOR3 centre = RandomVector(rng, 1) + D3DXVECTOR3(offsets[round % 3], -offsets[round % 3], 0);
        std::vector<D3DXVECTOR3> v;
        for (int t = 0; t < 12; ++t)
            AddNearbyTriangle(rng, centre, radius, v);
        bool hit = false;
        ASSERT_TRUE(SameSphereContact(centre, radius, v, hit)) << "round " << round;
        contacts += hit;
    }
    // Both outcomes occur often enough for the comparison to mean something.
    EXPECT_GT(contacts, 300);
    EXPECT_LT(contacts, 2700);
}

// Resting on a fine grid, far more triangles than the collider keeps waiting for their edges touch the
// sphere, so the waiting list is also worked off while faces still come.
TEST(CollisionFilters, SphereOnAFineGridGivesTheSameContactWithAndWithoutTheQuickRejection)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> radii(0.2f, 1.0f), depth(0.0f, 0.3f);
    const float offsets[] = {0.0f, 53.0f, 700.0f};
    int contacts = 0;
    for (int round = 0; round < 300; ++round) {
        const float radius = radii(rng);
        const D3DXVECTOR3 centre = RandomVector(rng, 1) + D3DXVECTOR3(offsets[round % 3], 0, -offsets[round % 3]);
        std::vector<D3DXVECTOR3> v;
        AddGridPatch(rng, centre, radius - depth(rng) * radius, v);
        bool hit = false;
        ASSERT_TRUE(SameSphereContact(centre, radius, v, hit)) << "round " << round;
        contacts += hit;
    }
    EXPECT_GT(contacts, 250);
}

TEST(CollisionFilters, BoxContactsAreTheSameWithAndWithoutTheQuickRejections)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(-1, 1), angle(0, 6.283185307179586), sizes(0.2, 2.0);
    const double offsets[] = {0.0, 41.0, 900.0};
    int touching = 0;
    for (int round = 0; round < 3000; ++round) {
        BoxPose box{};
        for (double& length : box.lengths)
            length = sizes(rng);
        dRFromAxisAndAngle(box.rotation, unit(rng), unit(rng) + 1.5, unit(rng), angle(rng));
        const double offset = offsets[round % 3];
        box.centre[0] = offset + unit(rng);
        box.centre[1] = unit(rng);
        box.centre[2] = -offset + unit(rng);
        const D3DXVECTOR3 centre = box.Centre();
        const float reach = static_cast<float>(0.5 * (box.lengths[0] + box.lengths[1] + box.lengths[2]));
        std::vector<D3DXVECTOR3> v;
        for (int t = 0; t < 16; ++t)
            AddNearbyTriangle(rng, centre, 0.6f * reach, v);
        unsigned long n = 0;
        ASSERT_TRUE(SameBoxContacts(box, round % 2 ? 4 : 16, v, n)) << "round " << round;
        touching += n > 0;
    }
    EXPECT_GT(touching, 300);
    EXPECT_LT(touching, 2700);
}

// A box resting on a fine grid, flat, bumpy or a roof: most triangles share their plane with the last one
// (or have a plane of their own), and the right-angled cells sit exactly where the slab changes form.
TEST(CollisionFilters, BoxOnAFineGridGivesTheSameContactsWithAndWithoutTheQuickRejections)
{
    std::mt19937 rng(13);
    std::uniform_real_distribution<double> unit(-1, 1), angle(0, 6.283185307179586), depth(0, 0.2);
    const double offsets[] = {0.0, 61.0, 800.0};
    int touching = 0;
    for (int round = 0; round < 300; ++round) {
        BoxPose box{};
        for (double& length : box.lengths)
            length = 0.5 + 0.5 * (unit(rng) + 1);
        dRFromAxisAndAngle(box.rotation, unit(rng), unit(rng), unit(rng), angle(rng));
        const double offset = offsets[round % 3];
        box.centre[0] = offset + unit(rng);
        box.centre[1] = unit(rng);
        box.centre[2] = -offset + unit(rng);
        double lowest = 0;
        for (int k = 0; k < 3; ++k)
            lowest += 0.5 * box.lengths[k] * std::fabs(box.rotation[4 + k]);
        // Half the boxes hover within the slab's half thickness above the grid: they touch the slabs only.
        const double sink = round % 4 < 2 ? depth(rng) : -0.025 * depth(rng);
        std::vector<D3DXVECTOR3> v;
        AddGridPatch(rng, box.Centre(), static_cast<float>(lowest - sink), v);
        unsigned long n = 0;
        ASSERT_TRUE(SameBoxContacts(box, round % 2 ? 4 : 16, v, n)) << "round " << round;
        touching += n > 0;
    }
    EXPECT_GT(touching, 200);
}

// Obtuse triangles: where the apex lies far beyond an end of the edge nearest the box, that edge's slab
// is the rectangle reaching from the nearer end to the apex, far outside the triangle's own bounds. Boxes
// are dropped all around, their lowest corner just in the plane.
TEST(CollisionFilters, BoxBesideAnObtuseTriangleGivesTheSameContactsWithAndWithoutTheQuickRejections)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> unit(-1, 1), angle(0, 6.283185307179586), sizes(0.5, 3.0);
    std::uniform_real_distribution<float> behind(1, 6), width(0.3f, 2), x(-4, 1.5f), z(-3, 1), sink(-0.004f, 0.05f);
    int touching = 0;
    for (int round = 0; round < 4000; ++round) {
        const D3DXVECTOR3 start(0, 0, 0), end(1, 0, 0), apex(-behind(rng), 0, width(rng));
        // A far triangle of the same plane comes first: the plane is then known, and the quick test runs on
        // the second. Listed start, apex, end, the triangles face up.
        const D3DXVECTOR3 far(-500, 0, 0);
        const std::vector<D3DXVECTOR3> v = {start + far, apex + far, end + far, start, apex, end};

        BoxPose box{};
        for (double& side : box.lengths)
            side = sizes(rng);
        dRFromAxisAndAngle(box.rotation, unit(rng), unit(rng), unit(rng), angle(rng));
        // The centre that puts the lowest corner at the chosen point.
        const double corner[3] = {x(rng), -sink(rng), z(rng)};
        for (int k = 0; k < 3; ++k) {
            box.centre[k] = corner[k];
            for (int axis = 0; axis < 3; ++axis) {
                const double r = box.rotation[4 * k + axis];
                box.centre[k] += 0.5 * box.lengths[axis] * (box.rotation[4 + axis] > 0 ? r : -r);
            }
        }
        unsigned long n = 0;
        ASSERT_TRUE(SameBoxContacts(box, round % 2 ? 4 : 16, v, n)) << "round " << round;
        touching += n > 0;
    }
    EXPECT_GT(touching, 300);
}

} // namespace
