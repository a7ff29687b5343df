// Top-down build: each node splits its triangles at the median centroid along the longest axis of the
// centroid bounds, down to leaves of a few triangles; the median split keeps the depth at log2(n). The
// two-way tree is then collapsed: each four-way node takes the children of a two-way node's children.
#include "siblings/collisionobject/AabbTree.h"

#include <algorithm>
#include <limits>

namespace vex {
namespace {
/// Triangles per leaf: small leaves mean more levels (each a likely cache miss for a query anywhere on a
/// large mesh), large ones more triangles tested per leaf.
constexpr uint32_t kLeafTriangles = 8;
} // namespace

void AabbTree::Clear()
{
    nodes_.clear();
    triangles_.clear();
    triangleCount_ = 0;
    rootFirst_ = kNoChild;
    rootCount_ = 0;
}

void AabbTree::Build(const std::vector<float>& triangles)
{
    Clear();
    const size_t count = triangles.size() / 9;
    if (count == 0)
        return;
    std::vector<float> centroids(count * 3);
    std::vector<float> bounds(count * 6);
    for (size_t t = 0; t < count; ++t) {
        const float* v = triangles.data() + 9 * t;
        for (int k = 0; k < 3; ++k) {
            bounds[6 * t + k] = std::min({v[k], v[3 + k], v[6 + k]});
            bounds[6 * t + 3 + k] = std::max({v[k], v[3 + k], v[6 + k]});
            centroids[3 * t + k] = (v[k] + v[3 + k] + v[6 + k]) / 3.0f;
        }
    }
    std::vector<uint32_t> order(count);
    for (size_t t = 0; t < count; ++t)
        order[t] = static_cast<uint32_t>(t);
    std::vector<BinaryNode> binary;
    binary.reserve(2 * count / kLeafTriangles + 1);
    BuildBinary(0, static_cast<uint32_t>(count), order, centroids, bounds, binary);

    triangles_.resize(count * 9 + 1);
    triangleCount_ = count;
    for (size_t i = 0; i < count; ++i)
        std::copy_n(triangles.data() + 9 * static_cast<size_t>(order[i]), 9, triangles_.data() + 9 * i);

    const BinaryNode& root = binary[0];
    std::copy_n(root.low, 3, rootLow_);
    std::copy_n(root.high, 3, rootHigh_);
    if (root.count > 0) {
        rootFirst_ = root.first;
        rootCount_ = root.count;
    } else {
        nodes_.reserve(binary.size() / 2 + 1);
        rootFirst_ = Collapse(binary, 0);
        rootCount_ = 0;
    }
}

uint32_t AabbTree::BuildBinary(uint32_t first, uint32_t count, std::vector<uint32_t>& order,
                               const std::vector<float>& centroids, const std::vector<float>& bounds,
                               std::vector<BinaryNode>& binary)
{
    const uint32_t index = static_cast<uint32_t>(binary.size());
    binary.push_back({});
    BinaryNode node{};
    const float inf = std::numeric_limits<float>::infinity();
    float centreLow[3] = {inf, inf, inf};
    float centreHigh[3] = {-inf, -inf, -inf};
    for (int k = 0; k < 3; ++k) {
        node.low[k] = inf;
        node.high[k] = -inf;
    }
    for (uint32_t i = first; i < first + count; ++i) {
        const uint32_t t = order[i];
        for (int k = 0; k < 3; ++k) {
            node.low[k] = std::min(node.low[k], bounds[6 * t + k]);
            node.high[k] = std::max(node.high[k], bounds[6 * t + 3 + k]);
            centreLow[k] = std::min(centreLow[k], centroids[3 * t + k]);
            centreHigh[k] = std::max(centreHigh[k], centroids[3 * t + k]);
        }
    }
    if (count <= kLeafTriangles) {
        // The split leaves a leaf's triangles in any order; the mesh's own order is the one a caller's
        // per-triangle work has the most regular pattern in (neighbours alternate the same way throughout
        // a grid), and its branches are then predicted far better.
        std::sort(order.begin() + first, order.begin() + first + count);
        node.first = first;
        node.count = count;
        binary[index] = node;
        return index;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (centreHigh[k] - centreLow[k] > centreHigh[axis] - centreLow[axis])
            axis = k;
    const uint32_t half = count / 2;
    std::nth_element(order.begin() + first, order.begin() + first + half, order.begin() + first + count,
                     [&](uint32_t a, uint32_t b) { return centroids[3 * a + axis] < centroids[3 * b + axis]; });
    BuildBinary(first, half, order, centroids, bounds, binary);
    node.first = BuildBinary(first + half, count - half, order, centroids, bounds, binary);
    node.count = 0;
    binary[index] = node;
    return index;
}

uint32_t AabbTree::Collapse(const std::vector<BinaryNode>& binary, uint32_t index)
{
    // The up to four grandchildren of an inner two-way node (a leaf child stands for itself).
    uint32_t slots[kWidth];
    int used = 0;
    for (const uint32_t child : {index + 1, binary[index].first}) {
        const BinaryNode& c = binary[child];
        if (c.count > 0) {
            slots[used++] = child;
        } else {
            slots[used++] = child + 1;
            slots[used++] = c.first;
        }
    }
    const uint32_t self = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node{};
    for (int k = 0; k < kWidth; ++k) {
        node.first[k] = kNoChild;
        node.count[k] = 0;
        for (int a = 0; a < 3; ++a) {
            node.low[a][k] = std::numeric_limits<float>::infinity();
            node.high[a][k] = -std::numeric_limits<float>::infinity();
        }
    }
    for (int k = 0; k < used; ++k) {
        const BinaryNode& c = binary[slots[k]];
        for (int a = 0; a < 3; ++a) {
            node.low[a][k] = c.low[a];
            node.high[a][k] = c.high[a];
        }
        if (c.count > 0) {
            node.first[k] = c.first;
            node.count[k] = c.count;
        } else {
            node.first[k] = Collapse(binary, slots[k]);
            node.count[k] = 0;
        }
    }
    nodes_[self] = node;
    return self;
}

} // namespace vex
