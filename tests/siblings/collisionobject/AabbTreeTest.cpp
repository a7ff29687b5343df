#include "siblings/collisionobject/AabbTree.h"
#include "platform/D3DXMath.h"
#include "siblings/collisionobject/MeshSources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

using vex::AabbTree;

namespace {

bool BoundsMeet(const float* t, const float low[3], const float high[3])
{
    for (int k = 0; k < 3; ++k) {
        const float lo = std::min({t[k], t[3 + k], t[6 + k]});
        const float hi = std::max({t[k], t[3 + k], t[6 + k]});
        if (lo > high[k] || hi < low[k])
            return false;
    }
    return true;
}

// The triangles (as their nine floats) whose bounds meet the box, found by visiting every one.
std::multiset<std::vector<float>> BruteForce(const std::vector<float>& triangles, const float low[3],
                                             const float high[3])
{
    std::multiset<std::vector<float>> found;
    for (size_t i = 0; i + 9 <= triangles.size(); i += 9)
        if (BoundsMeet(triangles.data() + i, low, high))
            found.insert(std::vector<float>(triangles.begin() + i, triangles.begin() + i + 9));
    return found;
}

std::multiset<std::vector<float>> FromTree(const AabbTree& tree, const float low[3], const float high[3])
{
    std::multiset<std::vector<float>> found;
    tree.Query(low, high, [&](int index) {
        const float* t = tree.GetTriangle(index);
        found.insert(std::vector<float>(t, t + 9));
    });
    return found;
}

} // namespace

class AabbTreeAgainstBruteForce : public testing::TestWithParam<int> {};

// Random soups of all sizes (including ones below a leaf) against random boxes of all sizes.
TEST_P(AabbTreeAgainstBruteForce, ReturnsExactlyTheTrianglesWhoseBoundsMeetTheBox)
{
    const int count = GetParam();
    std::mt19937 rng(static_cast<unsigned>(count) * 31 + 1);
    std::uniform_real_distribution<float> position(-20, 20), extent(0, 3);
    std::vector<float> triangles;
    for (int t = 0; t < count; ++t) {
        const float cx = position(rng), cy = position(rng) * 0.2f, cz = position(rng);
        for (int v = 0; v < 3; ++v) {
            triangles.push_back(cx + extent(rng) - 1.5f);
            triangles.push_back(cy + extent(rng) - 1.5f);
            triangles.push_back(cz + extent(rng) - 1.5f);
        }
    }
    AabbTree tree;
    tree.Build(triangles);
    ASSERT_EQ(tree.GetTriangleCount(), count);
    std::uniform_real_distribution<float> size(0, 8);
    for (int q = 0; q < 200; ++q) {
        float low[3], high[3];
        for (int k = 0; k < 3; ++k) {
            low[k] = position(rng);
            high[k] = low[k] + size(rng) * (q % 10 == 0 ? 0 : 1); // some boxes are points
            // and some hold the whole soup: more leaves met than the query queues at once
            if (q % 50 == 1) {
                low[k] = -25;
                high[k] = 25;
            }
        }
        ASSERT_EQ(FromTree(tree, low, high), BruteForce(triangles, low, high)) << "query " << q;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AabbTreeAgainstBruteForce, testing::Values(0, 1, 3, 4, 5, 17, 256, 3000));

TEST(AabbTree, GridQueriesTouchingACellEdgeFindTheNeighbours)
{
    vex::GridParameters grid;
    grid.cellsX = grid.cellsZ = 10;
    grid.sizeX = grid.sizeZ = 10;
    const std::vector<float> triangles = vex::GenerateGridTriangles(grid);
    AabbTree tree;
    tree.Build(triangles);
    // A box exactly touching the line x = 0 from the right, over one row of cells.
    const float low[3] = {0, -1, 0.25f}, high[3] = {0.5f, 1, 0.75f};
    EXPECT_EQ(FromTree(tree, low, high), BruteForce(triangles, low, high));
    EXPECT_EQ(FromTree(tree, low, high).size(), 4u);
}

TEST(AabbTree, EmptyAndNonFiniteBoxesMeetNothing)
{
    vex::GridParameters grid;
    AabbTree tree;
    tree.Build(vex::GenerateGridTriangles(grid));
    const float inf = INFINITY;
    const float emptyLow[3] = {inf, inf, inf}, emptyHigh[3] = {-inf, -inf, -inf};
    const float nanLow[3] = {NAN, 0, 0}, nanHigh[3] = {NAN, 1, 1};
    int visits = 0;
    tree.Query(emptyLow, emptyHigh, [&](int) { ++visits; });
    tree.Query(nanLow, nanHigh, [&](int) { ++visits; });
    EXPECT_EQ(visits, 0);
}

TEST(AabbTree, OutOfRangeIndicesGiveNoTriangle)
{
    AabbTree tree;
    tree.Build({0, 0, 0, 1, 0, 0, 0, 0, 1});
    EXPECT_NE(tree.GetTriangle(0), nullptr);
    EXPECT_EQ(tree.GetTriangle(1), nullptr);
    EXPECT_EQ(tree.GetTriangle(-1), nullptr);
}

TEST(MeshSources, GridTrianglesFaceUpAndCoverTheSize)
{
    vex::GridParameters grid;
    grid.cellsX = 3;
    grid.cellsZ = 2;
    grid.sizeX = 6;
    grid.sizeZ = 4;
    const std::vector<float> t = vex::GenerateGridTriangles(grid);
    ASSERT_EQ(t.size(), 3u * 2 * 2 * 9);
    float area = 0;
    for (size_t i = 0; i < t.size(); i += 9) {
        const D3DXVECTOR3 a(t[i], t[i + 1], t[i + 2]), b(t[i + 3], t[i + 4], t[i + 5]), c(t[i + 6], t[i + 7], t[i + 8]);
        const D3DXVECTOR3 e1 = b - a, e2 = c - a;
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        EXPECT_GT(n.y, 0);
        area += n.y * 0.5f;
        for (const D3DXVECTOR3& p : {a, b, c}) {
            EXPECT_GE(p.x, -3);
            EXPECT_LE(p.x, 3);
            EXPECT_GE(p.z, -2);
            EXPECT_LE(p.z, 2);
        }
    }
    EXPECT_NEAR(area, 24, 1e-4);
}

TEST(MeshSources, HeightFieldFollowsItsFormula)
{
    vex::GridParameters grid{8, 8, 8, 8, 0.5f, 1.0f, 1.0f};
    const std::vector<float> t = vex::GenerateGridTriangles(grid);
    ASSERT_FALSE(t.empty());
    for (size_t i = 0; i < t.size(); i += 3)
        EXPECT_NEAR(t[i + 1], 0.5f * std::sin(t[i]) * std::cos(t[i + 2]), 1e-6f);
}

TEST(MeshSources, UnusableGridParametersAreNamedAndGiveNoTriangles)
{
    for (const vex::GridParameters& grid :
         {vex::GridParameters{0, 4, 1, 1, 0, 1, 1}, vex::GridParameters{4, 4, -1, 1, 0, 1, 1},
          vex::GridParameters{4, 4, 1, NAN, 0, 1, 1}, vex::GridParameters{1 << 16, 1 << 16, 1, 1, 0, 1, 1},
          vex::GridParameters{4, 4, 1, 1, INFINITY, 1, 1}}) {
        EXPECT_FALSE(vex::CheckGridParameters(grid).empty());
        EXPECT_TRUE(vex::GenerateGridTriangles(grid).empty());
    }
}
