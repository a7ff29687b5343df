#pragma once
// A bounding-volume tree of axis-aligned boxes over a triangle list, built once; box queries visit only
// the branches whose bounds meet the query box. Each node holds the boxes of up to four children side by
// side, so one node read decides which of them to enter: a query far from the last one misses the cache
// about once per level, and four-way nodes halve the levels of a two-way tree.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Simd4.h"

namespace vex {

class AabbTree {
public:
    /// Triangles as nine floats each (x, y, z of three vertices). The tree keeps its own copy, reordered
    /// so that the triangles of a leaf lie together; indices it reports refer to that order.
    void Build(const std::vector<float>& triangles);
    void Clear();

    int GetTriangleCount() const { return static_cast<int>(triangleCount_); }
    /// Nine floats of triangle index (tree order), or null when index is out of range.
    const float* GetTriangle(int index) const
    {
        return index >= 0 && index < GetTriangleCount() ? triangles_.data() + 9 * static_cast<size_t>(index) : nullptr;
    }

    /// Calls visit(index) for every triangle whose bounds meet the box [low, high] (touching counts). An
    /// empty or non-finite box meets nothing.
    template <class Visit> void Query(const float low[3], const float high[3], Visit visit) const;

    /// Number of tree nodes (for tests of the build).
    int GetNodeCount() const { return static_cast<int>(nodes_.size()); }

private:
    static constexpr int kWidth = 4;
    static constexpr uint32_t kNoChild = 0xffffffffu;

    /// Child slot k: bounds low[axis][k], high[axis][k]; a leaf (count > 0: triangles first .. first +
    /// count - 1), an inner node (count == 0: node index first) or empty (first == kNoChild).
    struct alignas(16) Node {
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

    /// The query box once per axis in all four lanes (node tests), and as x, y, z, - (triangle tests).
    struct QueryBox {
        simd::Float4 lowLanes[3], highLanes[3], lowXyz, highXyz;

        QueryBox(const float low[3], const float high[3])
            : lowLanes{simd::Float4::Splat(low[0]), simd::Float4::Splat(low[1]), simd::Float4::Splat(low[2])},
              highLanes{simd::Float4::Splat(high[0]), simd::Float4::Splat(high[1]), simd::Float4::Splat(high[2])},
              lowXyz(simd::Float4::Set(low[0], low[1], low[2], 0.0f)),
              highXyz(simd::Float4::Set(high[0], high[1], high[2], 0.0f))
        {
        }
    };

    /// Bit k set when child slot k's bounds meet the box: apart when beyond it on some axis (NaN bounds are
    /// never apart, as in a scalar test). Empty slots have inverted infinite bounds and are always apart.
    static unsigned ChildrenMet(const Node& node, const QueryBox& box)
    {
        using simd::Float4;
        auto beyond = [&](int k) {
            return (Float4::LoadAligned(node.low[k]) > box.highLanes[k]) |
                   (Float4::LoadAligned(node.high[k]) < box.lowLanes[k]);
        };
        const simd::Mask4 apart = beyond(0) | beyond(1) | beyond(2);
        return ~static_cast<unsigned>(simd::Bits(apart)) & 0xfu;
    }

    /// Starts fetching a leaf's triangles, so that a query's leaves arrive while the walk goes on.
    void PrefetchLeaf(uint32_t first, uint32_t count) const
    {
        const char* begin = reinterpret_cast<const char*>(triangles_.data() + 9 * static_cast<size_t>(first));
        const char* end = begin + 36 * static_cast<size_t>(count);
        for (const char* line = begin; line < end; line += 64)
            __builtin_prefetch(line);
        __builtin_prefetch(end - 1);
    }

    /// Visits, in order, the triangles first .. first + count - 1 whose bounds meet the box.
    template <class Visit> void VisitLeaf(const QueryBox& box, uint32_t first, uint32_t count, Visit& visit) const;

    uint32_t BuildBinary(uint32_t first, uint32_t count, std::vector<uint32_t>& order,
                         const std::vector<float>& centroids, const std::vector<float>& bounds,
                         std::vector<BinaryNode>& binary);
    uint32_t Collapse(const std::vector<BinaryNode>& binary, uint32_t index);

    std::vector<Node> nodes_;
    std::vector<float> triangles_; ///< tree order, nine floats each, and one spare (the query's last load)
    size_t triangleCount_ = 0;
    /// The root's own bounds (tested first) and whether it is a leaf.
    float rootLow_[3] = {};
    float rootHigh_[3] = {};
    uint32_t rootFirst_ = kNoChild;
    uint32_t rootCount_ = 0;
};

template <class Visit> void AabbTree::VisitLeaf(const QueryBox& box, uint32_t first, uint32_t count, Visit& visit) const
{
    using simd::Float4;
    // All the leaf's triangles are tested first and those met visited after, in order: one branch per
    // triangle met rather than one hard-to-guess branch per triangle.
    for (uint32_t block = first; block < first + count; block += 32) {
        const uint32_t end = std::min(first + count, block + 32);
        uint32_t met = 0;
        for (uint32_t i = block; i < end; ++i) {
            // Same test as TriangleMeets: apart when all three vertices lie beyond one face of the box.
            // Each load takes one float past the vertex; the array keeps a spare float at its end.
            const float* v = triangles_.data() + 9 * static_cast<size_t>(i);
            const Float4 a = Float4::Load(v), b = Float4::Load(v + 3), c = Float4::Load(v + 6);
            const simd::Mask4 below = (a < box.lowXyz) & (b < box.lowXyz) & (c < box.lowXyz);
            const simd::Mask4 above = (a > box.highXyz) & (b > box.highXyz) & (c > box.highXyz);
            met |= static_cast<uint32_t>((simd::Bits(below | above) & 7) == 0) << (i - block);
        }
        for (; met != 0; met &= met - 1)
            visit(static_cast<int>(block + static_cast<uint32_t>(__builtin_ctz(met))));
    }
}

template <class Visit> void AabbTree::Query(const float low[3], const float high[3], Visit visit) const
{
    // NaN in the box meets nothing (every comparison with it fails the same way as a miss).
    for (int k = 0; k < 3; ++k)
        if (!(low[k] <= high[k]) || !(rootLow_[k] <= high[k] && rootHigh_[k] >= low[k]))
            return;
    if (rootFirst_ == kNoChild)
        return;
    const QueryBox box(low, high);
    if (rootCount_ > 0) {
        VisitLeaf(box, rootFirst_, rootCount_, visit);
        return;
    }
    // Leaves met are queued, their triangles fetched meanwhile, and tested after the walk (or when the
    // queue is full), in the order they were met: the fetches of all of a query's leaves overlap, and the
    // caller sees the triangles in the same order as when each leaf is tested at once.
    constexpr int kQueued = 32;
    uint32_t queuedFirst[kQueued], queuedCount[kQueued];
    int queued = 0;
    auto flush = [&] {
        for (int i = 0; i < queued; ++i)
            VisitLeaf(box, queuedFirst[i], queuedCount[i], visit);
        queued = 0;
    };
    // Depth stays far below 64 for any list that fits memory: the build splits at the median.
    uint32_t stack[64];
    int top = 0;
    stack[top++] = rootFirst_;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        for (unsigned met = ChildrenMet(node, box); met != 0; met &= met - 1) {
            const int k = __builtin_ctz(met);
            if (node.first[k] == kNoChild)
                continue;
            if (node.count[k] > 0) {
                PrefetchLeaf(node.first[k], node.count[k]);
                if (queued == kQueued)
                    flush();
                queuedFirst[queued] = node.first[k];
                queuedCount[queued++] = node.count[k];
            } else {
                // Start fetching the child while the siblings are tested: the misses of a query overlap.
                __builtin_prefetch(&nodes_[node.first[k]]);
                __builtin_prefetch(reinterpret_cast<const char*>(&nodes_[node.first[k]]) + 64);
                stack[top++] = node.first[k];
            }
        }
    }
    flush();
}

} // namespace vex
