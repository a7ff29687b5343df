#include "siblings/collisionobject/OrientedBoxQuery.h"

#include <algorithm>
#include <cmath>

namespace vex {

namespace {

/// Slack, relative to the magnitudes of box and triangle (at least 1), by which "apart" must be clear:
/// far above the rounding of the few float operations here and of the box collider's own tests, so that
/// nothing the collider would find touching is left out.
constexpr float kApartMargin = 1e-5f;

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

float MaxAbs(const float* v, int count)
{
    float m = 0;
    for (int i = 0; i < count; ++i)
        m = std::max(m, std::fabs(v[i]));
    return m;
}

/// Magnitude of the box's own numbers: its farthest coordinate from the origin along a world axis, at most.
float BoxScale(const OrientedBox& box)
{
    return MaxAbs(box.centre, 3) + box.half[0] + box.half[1] + box.half[2];
}

bool InsideAabb(const float* v, const float* low, const float* high)
{
    for (int k = 0; k < 3; ++k) {
        if (v[k] < low[k] && v[3 + k] < low[k] && v[6 + k] < low[k])
            return false;
        if (v[k] > high[k] && v[3 + k] > high[k] && v[6 + k] > high[k])
            return false;
    }
    return true;
}

bool SlotMeetsAabb(const AabbTree::Slot& slot, const float* low, const float* high)
{
    for (int k = 0; k < 3; ++k)
        if (slot.low[k] > high[k] || slot.high[k] < low[k])
            return false;
    return true;
}

// What the body's box collider may test a box against for one triangle: a thin slab on whichever edge
// lies nearest the box, as long as the edge and as wide as the apex lies from it, which reaches past the
// triangle. Bounds of all three slabs along any direction, the thickness aside.
struct TriangleSlabs {
    explicit TriangleSlabs(const float* v);
    /// The projections onto axis of the vertices and of all three slabs lie in [low, high].
    void Project(const float* v, const float* axis, float& low, float& high) const;

    float lambda[3]; ///< per edge i -> i + 1: where the apex's foot lies along it (0 at its start, 1 at its end)
    int fromEnd[3];  ///< apex beyond the edge's ends: the nearer end
    float radius[3]; ///< apex beyond the edge's ends: the slab's half diagonal; else -1
};

} // namespace

bool BoundsMayMeetOrientedBox(const OrientedBox& box, const float low[3], const float high[3], const float overhang[3])
{
    const float slack = kApartMargin * (1 + BoxScale(box) + std::max(MaxAbs(low, 3), MaxAbs(high, 3)));
    float middle[3], extent[3];
    for (int k = 0; k < 3; ++k) {
        middle[k] = 0.5f * (low[k] + high[k]) - box.centre[k];
        extent[k] = 0.5f * (high[k] - low[k]) + overhang[k];
    }
    for (int i = 0; i < 3; ++i) {
        const float* a = box.axes[i];
        const float reach = box.half[i] + std::fabs(a[0]) * extent[0] + std::fabs(a[1]) * extent[1] +
                            std::fabs(a[2]) * extent[2];
        if (std::fabs(Dot(a, middle)) > reach + slack)
            return false;
    }
    return true;
}

TriangleSlabs::TriangleSlabs(const float* v)
{
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        float e[3], toApex[3];
        for (int c = 0; c < 3; ++c) {
            e[c] = v[3 * j + c] - v[3 * i + c];
            toApex[c] = v[3 * k + c] - v[3 * i + c];
        }
        const float ee = Dot(e, e);
        lambda[i] = Dot(toApex, e) / ee;
        // Apex beyond an end of the edge: the slab reaches from that end to the apex, across the edge
        // direction by as much as along the line to the apex (a NaN lambda, a zero edge, lands here too).
        fromEnd[i] = lambda[i] < 0 ? i : j;
        if (!(lambda[i] >= 0 && lambda[i] <= 1)) {
            float h[3];
            for (int c = 0; c < 3; ++c)
                h[c] = v[3 * k + c] - v[3 * fromEnd[i] + c];
            radius[i] = 0.5f * std::sqrt(ee + Dot(h, h));
        } else {
            radius[i] = -1;
        }
    }
}

void TriangleSlabs::Project(const float* v, const float* axis, float& low, float& high) const
{
    const float p[3] = {Dot(axis, v), Dot(axis, v + 3), Dot(axis, v + 6)};
    low = std::min({p[0], p[1], p[2]});
    high = std::max({p[0], p[1], p[2]});
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        const float along = p[j] - p[i];
        if (radius[i] < 0) {
            // The rectangle on the edge as high as the apex: its far corners are the edge ends moved by
            // the apex's offset from its foot on the edge.
            const float first = p[k] - lambda[i] * along;
            low = std::min({low, first, first + along});
            high = std::max({high, first, first + along});
        } else {
            // Centred half-way between the edge's middle and the apex's offset from the nearer end; its
            // half diagonal bounds how far it reaches along any direction.
            const float middle = 0.5f * (p[i] + p[j]) + 0.5f * (p[k] - p[fromEnd[i]]);
            low = std::min(low, middle - radius[i]);
            high = std::max(high, middle + radius[i]);
        }
    }
}

bool TriangleMayMeetOrientedBox(const OrientedBox& box, const float* v)
{
    const float scale = 1 + BoxScale(box) + MaxAbs(v, 9);
    const float slack = kApartMargin * scale;
    float p[9]; // the vertices relative to the box centre
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            p[3 * j + k] = v[3 * j + k] - box.centre[k];
    // The normal: the box reaches the triangle's plane, or the triangle (and its slabs, as thin as the
    // margin the box was grown by) is apart. A degenerate triangle has no normal (zero): never apart here.
    const float e1[3] = {p[3] - p[0], p[4] - p[1], p[5] - p[2]};
    const float e2[3] = {p[6] - p[0], p[7] - p[1], p[8] - p[2]};
    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    const float reach = box.half[0] * std::fabs(Dot(n, box.axes[0])) + box.half[1] * std::fabs(Dot(n, box.axes[1])) +
                        box.half[2] * std::fabs(Dot(n, box.axes[2]));
    const float edges = (std::fabs(e1[0]) + std::fabs(e1[1]) + std::fabs(e1[2])) *
                        (std::fabs(e2[0]) + std::fabs(e2[1]) + std::fabs(e2[2]));
    if (std::fabs(Dot(n, p)) > reach + slack * edges)
        return false;
    // The box's own axes, against everything the triangle's slabs cover.
    const TriangleSlabs slabs(p);
    for (int i = 0; i < 3; ++i) {
        float low, high;
        slabs.Project(p, box.axes[i], low, high);
        if (low > box.half[i] + slack || high < -box.half[i] - slack)
            return false;
    }
    return true;
}

void SlabOverhang(const AabbTree& tree, float out[3])
{
    out[0] = out[1] = out[2] = 0;
    static constexpr float kWorldAxes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int t = 0; t < tree.GetTriangleCount(); ++t) {
        const float* v = tree.GetTriangle(t);
        const TriangleSlabs slabs(v);
        for (int k = 0; k < 3; ++k) {
            float low, high;
            slabs.Project(v, kWorldAxes[k], low, high);
            const float overhang = std::max(std::min({v[k], v[3 + k], v[6 + k]}) - low,
                                            high - std::max({v[k], v[3 + k], v[6 + k]}));
            // A slab of NaN or infinite reach leaves no bound: no node is then culled on the box axes.
            out[k] = std::isfinite(overhang) ? std::max(out[k], overhang) : INFINITY;
        }
    }
}

void QueryOrientedBox(const AabbTree& tree, const float overhang[3], const float low[3], const float high[3],
                      const OrientedBox& box, std::vector<uint32_t>& out)
{
    AabbTree::Slot root;
    // An empty or non-finite box meets nothing, as in Query.
    for (int k = 0; k < 3; ++k)
        if (!(low[k] <= high[k]))
            return;
    if (!tree.GetRootSlot(root) || !SlotMeetsAabb(root, low, high))
        return;
    auto leaf = [&](const AabbTree::Slot& slot) {
        for (uint32_t i = slot.first; i < slot.first + slot.count; ++i) {
            const float* v = tree.GetTriangle(static_cast<int>(i));
            if (InsideAabb(v, low, high) && TriangleMayMeetOrientedBox(box, v))
                out.push_back(i);
        }
    };
    if (root.count > 0) {
        leaf(root);
        return;
    }
    // Query's order: a node's leaves after its scan, in slot order; its inner children on a stack.
    uint32_t stack[64];
    int top = 0;
    stack[top++] = root.first;
    while (top > 0) {
        const uint32_t node = stack[--top];
        AabbTree::Slot leaves[AabbTree::kChildSlots];
        int leafCount = 0;
        for (int k = 0; k < AabbTree::kChildSlots; ++k) {
            AabbTree::Slot slot;
            if (!tree.GetChildSlot(node, k, slot) || !SlotMeetsAabb(slot, low, high) ||
                !BoundsMayMeetOrientedBox(box, slot.low, slot.high, overhang))
                continue;
            if (slot.count > 0)
                leaves[leafCount++] = slot;
            else
                stack[top++] = slot.first;
        }
        for (int i = 0; i < leafCount; ++i)
            leaf(leaves[i]);
    }
}

} // namespace vex
