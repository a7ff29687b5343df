// Top-down build: each node splits its triangles at the median centroid along the longest axis of the
// centroid bounds, down to leaves of a few triangles. The median split keeps the depth at log2(n).
#include "siblings/collisionobject/AabbTree.h"

#include <algorithm>
#include <limits>

namespace vex {
namespace {
constexpr uint32_t kLeafTriangles = 4;
}

void AabbTree::Clear()
{
    nodes_.clear();
    triangles_.clear();
    triangleBox_.clear();
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
    nodes_.reserve(2 * count / kLeafTriangles + 1);
    BuildNode(0, static_cast<uint32_t>(count), order, centroids, bounds);

    triangles_.resize(count * 9);
    triangleBox_.resize(count * 6);
    for (size_t i = 0; i < count; ++i) {
        std::copy_n(triangles.data() + 9 * static_cast<size_t>(order[i]), 9, triangles_.data() + 9 * i);
        std::copy_n(bounds.data() + 6 * static_cast<size_t>(order[i]), 6, triangleBox_.data() + 6 * i);
    }
}

uint32_t AabbTree::BuildNode(uint32_t first, uint32_t count, std::vector<uint32_t>& order,
                             const std::vector<float>& centroids, const std::vector<float>& bounds)
{
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node{};
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
        node.first = first;
        node.count = count;
        nodes_[index] = node;
        return index;
    }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (centreHigh[k] - centreLow[k] > centreHigh[axis] - centreLow[axis])
            axis = k;
    const uint32_t half = count / 2;
    std::nth_element(order.begin() + first, order.begin() + first + half, order.begin() + first + count,
                     [&](uint32_t a, uint32_t b) { return centroids[3 * a + axis] < centroids[3 * b + axis]; });
    BuildNode(first, half, order, centroids, bounds);
    node.first = BuildNode(first + half, count - half, order, centroids, bounds);
    node.count = 0;
    nodes_[index] = node;
    return index;
}

} // namespace vex
