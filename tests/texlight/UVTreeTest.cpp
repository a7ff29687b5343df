#include "texlight/UVTree.h"
#include "texlight/MeshSnapshot.h"
#include "texlight/SampleGrid.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>

using namespace vex::texlight;

namespace {

SnapshotTriangle UVTriangle(float u0, float v0, float u1, float v1, float u2, float v2)
{
    SnapshotTriangle t;
    t.u[0] = u0, t.v[0] = v0, t.u[1] = u1, t.v[1] = v1, t.u[2] = u2, t.v[2] = v2;
    return t;
}

MeshSnapshot Snapshot(std::vector<SnapshotTriangle> triangles)
{
    MeshSnapshot mesh;
    mesh.usable = true;
    mesh.triangles = std::move(triangles);
    return mesh;
}

/// Small triangles placed in the given cells of a 4 x 4 grid over the unit square.
MeshSnapshot CellTriangles(const std::vector<std::pair<int, int>>& cells)
{
    std::vector<SnapshotTriangle> tris;
    for (auto [cu, cv] : cells) {
        const float u = 0.25f * cu + 0.05f, v = 0.25f * cv + 0.05f;
        tris.push_back(UVTriangle(u, v, u + 0.1f, v, u, v + 0.1f));
    }
    return Snapshot(tris);
}

std::vector<intptr_t> Items(UVTreeNode* node)
{
    std::vector<intptr_t> items;
    for (int i = 0; i < node->GetItemCount(); ++i)
        items.push_back(node->GetItem(i));
    return items;
}

} // namespace

TEST(UVTree, SevenTrianglesStayInOneLeafAtTheRoot)
{
    const MeshSnapshot mesh = CellTriangles({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 3}, {1, 3}, {2, 3}});
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    EXPECT_TRUE(root->leaf);
    EXPECT_EQ(Items(root.get()), (std::vector<intptr_t>{0, 3, 6, 9, 12, 15, 18}));
    EXPECT_EQ(root->boxMin.x, 0.0f);
    EXPECT_EQ(root->boxMax.z, 1.0f);
}

TEST(UVTree, EightTrianglesSplitAlongVFirstThenAlongU)
{
    // Four in the lower v half, four in the upper; the lower half's four sit on both sides of u = 0.5.
    std::vector<std::pair<int, int>> cells = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 3}, {1, 3}, {2, 3}, {3, 3}};
    // Four more in the lower half make that child split again.
    cells.insert(cells.end(), {{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    const MeshSnapshot mesh = CellTriangles(cells);
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    ASSERT_FALSE(root->leaf);
    ASSERT_NE(root->left, nullptr);
    ASSERT_NE(root->right, nullptr);
    // Split along v at 0.5 (sides equal: ties go to v).
    EXPECT_EQ(root->left->boxMax.z, 0.5f);
    EXPECT_EQ(root->left->boxMax.x, 1.0f);
    EXPECT_EQ(root->right->boxMin.z, 0.5f);
    // The lower child [0,1] x [0,0.5] holds 8 triangles and splits along u at 0.5.
    UVTreeNode* lower = root->left;
    ASSERT_FALSE(lower->leaf);
    ASSERT_NE(lower->left, nullptr);
    EXPECT_EQ(lower->left->boxMax.x, 0.5f);
    EXPECT_EQ(lower->left->boxMax.z, 0.5f);
    EXPECT_EQ(lower->right->boxMin.x, 0.5f);
    // The upper child holds 4 and is a leaf, with the triangles in mesh order.
    EXPECT_TRUE(root->right->leaf);
    EXPECT_EQ(Items(root->right), (std::vector<intptr_t>{12, 15, 18, 21}));
}

TEST(UVTree, ClassifiesBySideAndByEpsilonBand)
{
    struct Case {
        float c[3];
        float m;
        int side;
    };
    const Case cases[] = {
        {{0.1f, 0.2f, 0.3f}, 0.5f, 0},     // all below
        {{0.6f, 0.7f, 0.9f}, 0.5f, 1},     // all above
        {{0.5f, 0.7f, 0.9f}, 0.5f, 2},     // a vertex on the line: both
        {{0.50005f, 0.9f, 0.9f}, 0.5f, 2}, // within 0.0001 above: both, wherever the others lie
        {{0.1f, 0.49995f, 0.2f}, 0.5f, 2}, // within 0.0001 below: both
        {{0.4f, 0.6f, 0.6f}, 0.5f, 2},     // spans the line
        {{0.5002f, 0.9f, 0.9f}, 0.5f, 1},  // outside the band: upper only
        {{-2.0f, -1.0f, -3.0f}, 0.5f, 0},  // outside the unit square: same rule
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyTriangle(c.c, c.m), c.side) << c.c[0] << " " << c.c[1] << " " << c.c[2];
}

TEST(UVTree, TriangleNearTheSplitLineGoesToBothChildren)
{
    auto mesh = CellTriangles({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 3}, {1, 3}, {2, 3}});
    // Vertex 0 lies 0.00005 below v = 0.5, the others far above.
    mesh.triangles.push_back(UVTriangle(0.4f, 0.49995f, 0.45f, 0.9f, 0.42f, 0.95f));
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    ASSERT_FALSE(root->leaf);
    const auto lower = Items(root->left);
    const auto upper = Items(root->right);
    EXPECT_NE(std::find(lower.begin(), lower.end(), 21), lower.end());
    EXPECT_NE(std::find(upper.begin(), upper.end(), 21), upper.end());
}

TEST(UVTree, FindPrefersTheLowerChildOnTheSplitLineAndMissesOutsideTheSquare)
{
    const MeshSnapshot mesh = CellTriangles({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 3}, {1, 3}, {2, 3}, {3, 3}});
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    EXPECT_EQ(root->Find(0.3f, 0.5f), root->left);
    EXPECT_EQ(root->Find(0.3f, 0.75f), root->right);
    EXPECT_EQ(root->Find(1.5f, 0.5f), nullptr);
    EXPECT_EQ(root->Find(0.5f, -0.01f), nullptr);
    EXPECT_TRUE(root->Contains(1.0f, 1.0f));
    EXPECT_FALSE(root->Contains(1.0f, 1.0001f));
}

TEST(UVTree, OverlappingTrianglesStopSplittingWhereNoSplitSeparatesThem)
{
    // Nine copies of one triangle over the whole square: no split separates them, so the root keeps them.
    std::vector<SnapshotTriangle> tris(9, UVTriangle(0, 0, 1, 0, 0, 1));
    std::unique_ptr<UVTreeNode> root(BuildUVTree(Snapshot(tris)));
    EXPECT_TRUE(root->leaf);
    EXPECT_EQ(root->GetItemCount(), 9);

    // A tiny triangle among them separates at every level: one path down to the depth limit (17 levels),
    // each of its siblings a leaf of the nine.
    tris.push_back(UVTriangle(0.3f, 0.3f, 0.3f + 1e-7f, 0.3f, 0.3f, 0.3f + 1e-7f));
    root.reset(BuildUVTree(Snapshot(tris)));
    EXPECT_EQ(UVTreeDepth(root.get()), 17);
    const std::function<int(const UVTreeNode*)> count = [&](const UVTreeNode* node) {
        return node ? 1 + count(node->left) + count(node->right) : 0;
    };
    EXPECT_EQ(count(root.get()), 2 * 17 + 1);
}

namespace {

/// Every query finds the same triangle through the tree, through the tree with the last leaf remembered,
/// and by testing all triangles in mesh order; returns how many found one.
int ExpectTreeAgreesWithExhaustiveSearch(const MeshSnapshot& mesh, const std::vector<std::array<float, 2>>& queries)
{
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    int found = 0;
    UVTreeNode* lastLeaf = nullptr;
    for (const auto& [u, v] : queries) {
        float b1, b2, c1, c2, d1, d2;
        const int viaTree = FindCoveringTriangle(mesh, root.get(), u, v, b1, b2);
        const int viaAll = FindCoveringTriangle(mesh, nullptr, u, v, c1, c2);
        const int viaLastLeaf = FindCoveringTriangle(mesh, root.get(), u, v, d1, d2, &lastLeaf);
        EXPECT_EQ(viaTree, viaAll) << u << " " << v;
        EXPECT_EQ(viaLastLeaf, viaAll) << u << " " << v;
        if (viaTree != viaAll || viaLastLeaf != viaAll)
            return -1;
        found += viaTree >= 0;
    }
    return found;
}

} // namespace

// Watertightness: on a jittered grid mesh, every point of the square finds the same triangle through the
// tree as by testing all triangles in order, and every point inside the grid finds one.
TEST(UVTree, TreeLookupAgreesWithExhaustiveSearchOnAJitteredGrid)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    const int n = 16;
    std::vector<std::array<float, 2>> grid((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const bool border = i == 0 || j == 0 || i == n || j == n;
            grid[j * (n + 1) + i] = {(i + (border ? 0 : jitter(random))) / n, (j + (border ? 0 : jitter(random))) / n};
        }
    std::vector<SnapshotTriangle> tris;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const auto& a = grid[j * (n + 1) + i];
            const auto& b = grid[j * (n + 1) + i + 1];
            const auto& c = grid[(j + 1) * (n + 1) + i + 1];
            const auto& d = grid[(j + 1) * (n + 1) + i];
            tris.push_back(UVTriangle(a[0], a[1], b[0], b[1], c[0], c[1]));
            tris.push_back(UVTriangle(a[0], a[1], c[0], c[1], d[0], d[1]));
        }
    const MeshSnapshot mesh = Snapshot(tris);
    std::unique_ptr<UVTreeNode> root(BuildUVTree(mesh));
    EXPECT_GT(UVTreeDepth(root.get()), 5);

    // Samples on a 64 x 64 map with 2 x 2 samples a texel; the texel corners (multiples of 1/64, on the
    // split lines) are visited too, where two leaves contain the point.
    std::vector<std::array<float, 2>> queries;
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 64; ++y)
            for (int s = 0; s < 5; ++s) {
                float u, v;
                if (s < 4)
                    SamplePosition(x, y, 64, 64, 1, s, u, v);
                else
                    u = x / 64.0f, v = y / 64.0f;
                queries.push_back({u, v});
            }
    EXPECT_EQ(ExpectTreeAgreesWithExhaustiveSearch(mesh, queries), 64 * 64 * 5);
}

// Layouts that overlap: whole-square copies, random triangles of every size, slivers along the split
// lines; random queries and points on the split lines find the first covering triangle in mesh order.
TEST(UVTree, TreeLookupAgreesWithExhaustiveSearchOnOverlappingLayouts)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> around(-0.2f, 1.2f);
    for (int layout = 0; layout < 5; ++layout) {
        std::vector<SnapshotTriangle> tris;
        for (int i = 0; i < 40 * layout; ++i) {
            const float u = around(random), v = around(random), size = std::pow(unit(random), 3.0f);
            tris.push_back(UVTriangle(u, v, u + size * around(random), v + size * around(random),
                                      u - size * unit(random), v + size * around(random)));
        }
        for (int i = 0; i < 10 + 5 * layout; ++i) {
            const float m = 0.5f / float(1 << (i % 4)); // on a split line, or within its band
            tris.insert(tris.begin() + random() % (tris.size() + 1),
                        i % 3 == 0 ? UVTriangle(0, 0, 1, 0, 0, 1)
                                   : UVTriangle(m + 0.00005f * (i % 2), unit(random), m + 0.01f, unit(random), m,
                                                unit(random)));
        }
        std::vector<std::array<float, 2>> queries;
        for (int i = 0; i < 4000; ++i)
            queries.push_back({unit(random), unit(random)});
        for (int i = 0; i <= 64; ++i)
            queries.push_back({i / 64.0f, unit(random)}), queries.push_back({unit(random), i / 64.0f});
        EXPECT_GT(ExpectTreeAgreesWithExhaustiveSearch(Snapshot(tris), queries), 0) << layout;
    }
}
