// The oriented-box query against what it stands in for: the tree's box query followed by the body's box
// collider. Whatever the collider would find touching must still be handed to it, in the same order.
#include "siblings/collisionobject/OrientedBoxQuery.h"
#include "body/CandidateQuery.h"
#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/CollisionConstants.h"
#include "siblings/collisionobject/AabbTree.h"
#include "siblings/collisionobject/MeshSources.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include <gtest/gtest.h>
#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using vex::collision::BoxPose;
using vex::collision::kSlabThickness;

// A box with random size and rotation sunk up to `deepest` into the surface under its centre.
BoxPose RandomBox(std::mt19937& rng, const vex::GridParameters& grid, double deepest)
{
    std::uniform_real_distribution<double> where(-0.45 * grid.sizeX, 0.45 * grid.sizeX), unit(-1, 1), side(0.2, 2),
        depth(0, deepest), angle(0, 2 * M_PI);
    BoxPose pose{};
    pose.centre[0] = where(rng);
    pose.centre[2] = where(rng);
    for (double& l : pose.lengths)
        l = side(rng);
    const double a[3] = {unit(rng), unit(rng) + 1e-3, unit(rng)};
    dRFromAxisAndAngle(pose.rotation, a[0], a[1], a[2], angle(rng));
    double lowest = 0;
    for (int i = 0; i < 3; ++i)
        lowest += 0.5 * pose.lengths[i] * std::fabs(pose.rotation[4 + i]);
    const double ground =
        grid.amplitude * std::sin(pose.centre[0] * grid.frequencyX) * std::cos(pose.centre[2] * grid.frequencyZ);
    pose.centre[1] = ground + lowest - depth(rng);
    return pose;
}

// How many contacts the box collider finds with this one triangle.
unsigned long ContactsWith(const BoxPose& pose, const float* triangle)
{
    dContactGeom contacts[16];
    vex::collision::BoxTriangleCollector collector(pose, 16, contacts, sizeof(dContactGeom), nullptr, nullptr);
    float v[10] = {};
    std::copy(triangle, triangle + 9, v);
    collector.AddTriangles(v, 1);
    return collector.Finish();
}

// A collision object from elsewhere: the box query only.
class BoxQueryOnlyObject : public Tav_CollisionObjectInterface {
public:
    D3DXMATRIX GetCollisionMatrix() override
    {
        D3DXMATRIX m;
        D3DXMatrixIdentity(&m);
        return m;
    }
    bool GetPolygonsInBox(Tav_List* list, D3DXVECTOR3* low, D3DXVECTOR3* high) override
    {
        asked.push_back({*low, *high});
        list->AddItem(reinterpret_cast<void*>(uintptr_t{7}));
        list->AddItem(reinterpret_cast<void*>(uintptr_t{3}));
        return true;
    }
    float* GetPolygonVertices(void*) override { return nullptr; }

    std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> asked;
};

std::vector<void*> Items(const Tav_List& list)
{
    std::vector<void*> items;
    for (int i = 0; i < list.GetItemCount(); ++i)
        items.push_back(list.GetItem(i));
    return items;
}

} // namespace

TEST(BoxCandidates, UseTheOrientedQueryWhereOfferedAndTheBoxQueryElsewhere)
{
    const double centre[3] = {0.3, 0.4, -0.2};
    double rotation[12];
    dRFromAxisAndAngle(rotation, 1, 1, 0, 0.7);
    const vex::body::CandidateBox box{centre, rotation, {0.5, 0.5, 0.5}};
    D3DXVECTOR3 low(-0.5f, -0.4f, -1.0f), high(1.1f, 1.2f, 0.6f);
    D3DXMATRIX identity, moved;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixTranslation(&moved, 0, 0.1f, 0);

    // Without the extension: the box query, asked once with the bounds as they are.
    BoxQueryOnlyObject plain;
    Tav_List list;
    ASSERT_TRUE(vex::body::GetBoxCandidates(plain, identity, list, low, high, box));
    EXPECT_EQ(Items(list),
              (std::vector<void*>{reinterpret_cast<void*>(uintptr_t{7}), reinterpret_cast<void*>(uintptr_t{3})}));
    ASSERT_EQ(plain.asked.size(), 1u);
    EXPECT_TRUE(plain.asked[0].first == low && plain.asked[0].second == high);

    // With it: fewer polygons than the box query on a floor; with a matrix other than the identity (the box
    // is then not in the object's space) the box query's own list.
    Tvc_DX8_CollisionObject object;
    ASSERT_TRUE(object.SetGridSource(20, 20, 10.0f, 10.0f));
    Tav_List all, narrowed, fallback, off;
    object.GetPolygonsInBox(&all, &low, &high);
    const bool wasEnabled = vex::body::OrientedBoxQueryEnabled();
    vex::body::SetOrientedBoxQueryEnabled(true);
    vex::body::GetBoxCandidates(object, identity, narrowed, low, high, box);
    vex::body::GetBoxCandidates(object, moved, fallback, low, high, box);
    // Switched off, the box query's own list even for an object that offers the oriented one.
    vex::body::SetOrientedBoxQueryEnabled(false);
    vex::body::GetBoxCandidates(object, identity, off, low, high, box);
    vex::body::SetOrientedBoxQueryEnabled(wasEnabled);
    EXPECT_EQ(Items(off), Items(all));
    EXPECT_LT(narrowed.GetItemCount(), all.GetItemCount());
    EXPECT_GT(narrowed.GetItemCount(), 0);
    EXPECT_EQ(Items(fallback), Items(all));
}

TEST(OrientedBoxQuery, KeepsEveryTriangleTheBoxColliderTouchesInTheBoxQuerysOrder)
{
    const vex::GridParameters floor{40, 40, 20.0f, 20.0f, 0.0f, 1.0f, 1.0f};
    const vex::GridParameters bumpy{40, 40, 20.0f, 20.0f, 0.5f, 1.0f, 1.3f};
    std::mt19937 rng(20261208);
    long kept = 0, offered = 0;
    for (const vex::GridParameters& grid : {floor, bumpy}) {
        vex::AabbTree tree;
        tree.Build(vex::GenerateGridTriangles(grid));
        const float scale = vex::CoordinateScale(tree);
        for (int n = 0; n < 3000; ++n) {
            // Shallow and deep, as a box resting and a box falling in.
            const BoxPose pose = RandomBox(rng, grid, n % 2 ? 0.01 : 0.3);
            D3DXMATRIX identity;
            D3DXMatrixIdentity(&identity);
            const double lengths[3] = {pose.lengths[0] + kSlabThickness, pose.lengths[1] + kSlabThickness,
                                       pose.lengths[2] + kSlabThickness};
            const vex::collision::QueryBox bounds = vex::collision::BoxQueryBounds(identity, pose.Matrix(), lengths);
            const float low[3] = {bounds.min.x, bounds.min.y, bounds.min.z};
            const float high[3] = {bounds.max.x, bounds.max.y, bounds.max.z};
            vex::OrientedBox box{};
            for (int i = 0; i < 3; ++i) {
                box.centre[i] = static_cast<float>(pose.centre[i]);
                box.half[i] = static_cast<float>(0.5 * lengths[i]);
                for (int k = 0; k < 3; ++k)
                    box.axes[i][k] = static_cast<float>(pose.rotation[4 * k + i]);
            }
            std::vector<uint32_t> all, narrowed;
            tree.Query(low, high, [&](int t) { all.push_back(static_cast<uint32_t>(t)); });
            vex::QueryOrientedBox(tree, scale, low, high, box, narrowed);
            offered += static_cast<long>(all.size());
            kept += static_cast<long>(narrowed.size());
            // An ordered part of the box query's list...
            size_t next = 0;
            for (const uint32_t t : all)
                if (next < narrowed.size() && narrowed[next] == t)
                    ++next;
            ASSERT_EQ(next, narrowed.size()) << "box " << n << ": a triangle out of order or not in the box query";
            // ... that leaves out no triangle the collider finds a contact with.
            for (const uint32_t t : all) {
                if (std::find(narrowed.begin(), narrowed.end(), t) == narrowed.end()) {
                    ASSERT_EQ(ContactsWith(pose, tree.GetTriangle(static_cast<int>(t))), 0u)
                        << "box " << n << " (amplitude " << grid.amplitude << ") lost triangle " << t;
                }
            }
        }
    }
    // The point of it: far fewer triangles than the box query hands over.
    EXPECT_LT(2 * kept, offered);
}
