#pragma once
// A bounding-volume tree of axis-aligned boxes over a triangle list, built once; box queries visit only
// the branches whose bounds meet the query box. Each node holds the boxes of up to four children side by
// side, so one node read decides which of them to enter: a query far from the last one misses the cache
// about once per level, and four-way nodes halve the levels of a two-way tree.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <xmmintrin.h>

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
    template <class Visit>
    void Query(const float low[3], const float high[3], Visit visit) const;

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

template <class Visit>
void AabbTree::Query(const float low[3], const float high[3], Visit visit) const
{
    // NaN in the box meets nothing (every comparison with it fails the same way as a miss).
    for (int k = 0; k < 3; ++k)
        if (!(low[k] <= high[k]) || !(rootLow_[k] <= high[k] && rootHigh_[k] >= low[k]))
            return;
    if (rootFirst_ == kNoChild)
        return;
    // The box once per axis in all four lanes (node tests), and as x, y, z, - (triangle tests).
    const __m128 lowLanes[3] = {_mm_set1_ps(low[0]), _mm_set1_ps(low[1]), _mm_set1_ps(low[2])};
    const __m128 highLanes[3] = {_mm_set1_ps(high[0]), _mm_set1_ps(high[1]), _mm_set1_ps(high[2])};
    const __m128 lowXyz = _mm_setr_ps(low[0], low[1], low[2], 0.0f);
    const __m128 highXyz = _mm_setr_ps(high[0], high[1], high[2], 0.0f);
    auto leaf = [&](uint32_t first, uint32_t count) {
        // All the leaf's triangles are tested first and those met visited after, in order: one branch per
        // triangle met rather than one hard-to-guess branch per triangle.
        for (uint32_t block = first; block < first + count; block += 32) {
            const uint32_t end = std::min(first + count, block + 32);
            uint32_t met = 0;
            for (uint32_t i = block; i < end; ++i) {
                // Same test as TriangleMeets: apart when all three vertices lie beyond one face of the box.
                // Each load takes one float past the vertex; the array keeps a spare float at its end.
                const float* v = triangles_.data() + 9 * static_cast<size_t>(i);
                const __m128 a = _mm_loadu_ps(v), b = _mm_loadu_ps(v + 3), c = _mm_loadu_ps(v + 6);
                const __m128 below = _mm_and_ps(_mm_and_ps(_mm_cmplt_ps(a, lowXyz), _mm_cmplt_ps(b, lowXyz)),
                                                _mm_cmplt_ps(c, lowXyz));
                const __m128 above = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(a, highXyz), _mm_cmpgt_ps(b, highXyz)),
                                                _mm_cmpgt_ps(c, highXyz));
                met |= static_cast<uint32_t>((_mm_movemask_ps(_mm_or_ps(below, above)) & 7) == 0) << (i - block);
            }
            for (; met != 0; met &= met - 1)
                visit(static_cast<int>(block + static_cast<uint32_t>(__builtin_ctz(met))));
        }
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
        // The four children at once: apart when beyond the box on some axis (NaN bounds are never apart,
        // as in a scalar test). Empty slots have inverted infinite bounds and are always apart.
        __m128 apart = _mm_or_ps(_mm_cmpgt_ps(_mm_load_ps(node.low[0]), highLanes[0]),
                                 _mm_cmplt_ps(_mm_load_ps(node.high[0]), lowLanes[0]));
        apart = _mm_or_ps(apart, _mm_or_ps(_mm_cmpgt_ps(_mm_load_ps(node.low[1]), highLanes[1]),
                                           _mm_cmplt_ps(_mm_load_ps(node.high[1]), lowLanes[1])));
        apart = _mm_or_ps(apart, _mm_or_ps(_mm_cmpgt_ps(_mm_load_ps(node.low[2]), highLanes[2]),
                                           _mm_cmplt_ps(_mm_load_ps(node.high[2]), lowLanes[2])));
        unsigned met = ~static_cast<unsigned>(_mm_movemask_ps(apart)) & 0xfu;
        // Leaves met are tested after the scan of the node, in slot order (the order the caller sees is
        // that of a test during the scan): their triangles are fetched meanwhile, all at once.
        int leaves[kWidth];
        int leafCount = 0;
        for (; met != 0; met &= met - 1) {
            const int k = __builtin_ctz(met);
            if (node.first[k] == kNoChild)
                continue;
            if (node.count[k] > 0) {
                const char* begin = reinterpret_cast<const char*>(triangles_.data() + 9 * static_cast<size_t>(node.first[k]));
                const char* end = begin + 36 * static_cast<size_t>(node.count[k]);
                for (const char* line = begin; line < end; line += 64)
                    __builtin_prefetch(line);
                __builtin_prefetch(end - 1);
                leaves[leafCount++] = k;
            } else {
                // Start fetching the child while the siblings are tested: the misses of a query overlap.
                __builtin_prefetch(&nodes_[node.first[k]]);
                __builtin_prefetch(reinterpret_cast<const char*>(&nodes_[node.first[k]]) + 64);
                stack[top++] = node.first[k];
            }
        }
        for (int i = 0; i < leafCount; ++i)
            leaf(node.first[leaves[i]], node.count[leaves[i]]);
    }
}

} // namespace vex
