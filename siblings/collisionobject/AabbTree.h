#pragma once
// A bounding-volume tree of axis-aligned boxes over a triangle list, built once; box queries visit only
// the branches whose bounds meet the query box.

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
    struct Node {
        float low[3];
        float high[3];
        /// Leaf: first triangle and count (count > 0). Inner: index of the second child in `right`, the
        /// first child follows the node directly; count == 0.
        uint32_t first;
        uint32_t count;
    };

    static bool Overlaps(const float* aLow, const float* aHigh, const float* bLow, const float* bHigh)
    {
        return aLow[0] <= bHigh[0] && aHigh[0] >= bLow[0] && aLow[1] <= bHigh[1] && aHigh[1] >= bLow[1] &&
               aLow[2] <= bHigh[2] && aHigh[2] >= bLow[2];
    }

    uint32_t BuildNode(uint32_t first, uint32_t count, std::vector<uint32_t>& order,
                       const std::vector<float>& centroids, const std::vector<float>& bounds);

    std::vector<Node> nodes_;
    std::vector<float> triangles_;   ///< tree order, nine floats each
    std::vector<float> triangleBox_; ///< tree order, six floats each (low, high)
};

template <class Visit>
void AabbTree::Query(const float low[3], const float high[3], Visit visit) const
{
    if (nodes_.empty())
        return;
    // Depth stays below 64 for any list that fits memory: leaves split at the median.
    uint32_t stack[64];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        if (!Overlaps(node.low, node.high, low, high))
            continue;
        if (node.count > 0) {
            for (uint32_t i = node.first; i < node.first + node.count; ++i) {
                const float* box = triangleBox_.data() + 6 * static_cast<size_t>(i);
                if (Overlaps(box, box + 3, low, high))
                    visit(static_cast<int>(i));
            }
            continue;
        }
        const uint32_t self = static_cast<uint32_t>(&node - nodes_.data());
        stack[top++] = node.first;
        stack[top++] = self + 1;
    }
}

} // namespace vex
