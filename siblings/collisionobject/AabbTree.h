#pragma once
// A bounding-volume tree of axis-aligned boxes over a triangle list, built once; box queries visit only
// the branches whose bounds meet the query box. Each node holds the boxes of up to four children side by
// side, so one node read decides which of them to enter: a query far from the last one misses the cache
// about once per level, and four-way nodes halve the levels of a two-way tree.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vex {

class AabbTree {
public:
    /// Triangles as nine floats each (x, y, z of three vertices). The tree keeps its own copy, reordered
    /// so that the triangles of a leaf lie together; indices it reports refer to that order.
    void Build(const std::vector<float>& triangles);
    void Clear();

    int GetTriangleCount() const { return static_cast<int>(triangles_.size() / 9); }
    /// Nine floats of triangle index (tree order), or null when index is out of range.
    const float* GetTriangle(int index) const
    {
        return index >= 0 && index < GetTriangleCount() ? triangles_.data() + 9 * static_cast<size_t>(index) : nullptr;
    }

    /// Calls visit(index) for every triangle whose bounds meet the box [low, high] (touching counts). An
    /// empty or non-finite box meets nothing.
    template <class Visit>
    void Query(const float low[3], const float high[3], Visit visit) const;

    /// Number of tree nodes (for tests of the build).
    int GetNodeCount() const { return static_cast<int>(nodes_.size()); }

private:
    static constexpr int kWidth = 4;
    static constexpr uint32_t kNoChild = 0xffffffffu;

    /// Child slot k: bounds low[axis][k], high[axis][k]; a leaf (count > 0: triangles first .. first +
    /// count - 1), an inner node (count == 0: node index first) or empty (first == kNoChild).
    struct Node {
        float low[3][kWidth];
        float high[3][kWidth];
        uint32_t first[kWidth];
        uint32_t count[kWidth];
    };

    /// The two-way tree of the build, collapsed into four-way nodes afterwards.
    struct BinaryNode {
        float low[3];
        float high[3];
        uint32_t first; ///< leaf: first triangle; inner: second child (the first follows directly)
        uint32_t count; ///< leaf: triangles; inner: 0
    };

    static bool TriangleMeets(const float* v, const float* low, const float* high)
    {
        for (int k = 0; k < 3; ++k) {
            if (v[k] < low[k] && v[3 + k] < low[k] && v[6 + k] < low[k])
                return false;
            if (v[k] > high[k] && v[3 + k] > high[k] && v[6 + k] > high[k])
                return false;
        }
        return true;
    }

    uint32_t BuildBinary(uint32_t first, uint32_t count, std::vector<uint32_t>& order,
                         const std::vector<float>& centroids, const std::vector<float>& bounds,
                         std::vector<BinaryNode>& binary);
    uint32_t Collapse(const std::vector<BinaryNode>& binary, uint32_t index);

    std::vector<Node> nodes_;
    std::vector<float> triangles_; ///< tree order, nine floats each
    /// The root's own bounds (tested first) and whether it is a leaf.
    float rootLow_[3] = {};
    float rootHigh_[3] = {};
    uint32_t rootFirst_ = kNoChild;
    uint32_t rootCount_ = 0;
};

template <class Visit>
void AabbTree::Query(const float low[3], const float high[3], Visit visit) const
{
    // NaN in the box meets nothing (every comparison with it fails the same way as a miss).
    for (int k = 0; k < 3; ++k)
        if (!(low[k] <= high[k]) || !(rootLow_[k] <= high[k] && rootHigh_[k] >= low[k]))
            return;
    if (rootFirst_ == kNoChild)
        return;
    auto leaf = [&](uint32_t first, uint32_t count) {
        for (uint32_t i = first; i < first + count; ++i)
            if (TriangleMeets(triangles_.data() + 9 * static_cast<size_t>(i), low, high))
                visit(static_cast<int>(i));
    };
    if (rootCount_ > 0) {
        leaf(rootFirst_, rootCount_);
        return;
    }
    // Depth stays far below 64 for any list that fits memory: the build splits at the median.
    uint32_t stack[64];
    int top = 0;
    stack[top++] = rootFirst_;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        for (int k = 0; k < kWidth; ++k) {
            if (node.first[k] == kNoChild)
                continue;
            if (node.low[0][k] > high[0] || node.high[0][k] < low[0] || node.low[1][k] > high[1] ||
                node.high[1][k] < low[1] || node.low[2][k] > high[2] || node.high[2][k] < low[2])
                continue;
            if (node.count[k] > 0) {
                leaf(node.first[k], node.count[k]);
            } else {
                // Start fetching the child while the siblings are tested: the misses of a query overlap.
                __builtin_prefetch(&nodes_[node.first[k]]);
                __builtin_prefetch(reinterpret_cast<const char*>(&nodes_[node.first[k]]) + 64);
                stack[top++] = node.first[k];
            }
        }
    }
}

} // namespace vex
