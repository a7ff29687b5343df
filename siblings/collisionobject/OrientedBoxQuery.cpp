#include "siblings/collisionobject/OrientedBoxQuery.h"

#include <limits>

namespace vex {

namespace {

/// Slack, relative to the magnitudes of box and mesh (at least 1), by which "apart" must be clear: far
/// above the rounding of the few float operations of the test and of the box collider's own (about 1e-7
/// each), so that nothing the collider would find touching is left out.
constexpr float kApartMargin = 1e-5f;

} // namespace

SlabShape::SlabShape(const float* v)
{
    for (int i = 0; i < 3; ++i) {
        const int j = i == 2 ? 0 : i + 1, k = i == 0 ? 2 : i - 1;
        const float e[3] = {v[3 * j] - v[3 * i], v[3 * j + 1] - v[3 * i + 1], v[3 * j + 2] - v[3 * i + 2]};
        const float toApex[3] = {v[3 * k] - v[3 * i], v[3 * k + 1] - v[3 * i + 1], v[3 * k + 2] - v[3 * i + 2]};
        const float ee = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
        const float t = (toApex[0] * e[0] + toApex[1] * e[1] + toApex[2] * e[2]) / ee;
        if (t >= 0 && t <= 1) {
            lambda[i] = t;
            radius[i] = -1;
            continue;
        }
        // Beyond an end (or a zero edge, NaN): half the diagonal of the slab's face, as long as the edge and
        // as wide as the apex lies from that end, bounds how far the face reaches from its centre.
        lambda[i] = t < 0 ? 0.0f : 1.0f;
        const float h[3] = {toApex[0] - lambda[i] * e[0], toApex[1] - lambda[i] * e[1], toApex[2] - lambda[i] * e[2]};
        radius[i] = 0.5f * std::sqrt(ee + h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    }
}

float CoordinateScale(const AabbTree& tree)
{
    float scale = 0;
    for (int i = 0; i < tree.GetTriangleCount(); ++i) {
        const float* v = tree.GetTriangle(i);
        for (int k = 0; k < 9; ++k)
            scale = std::max(scale, std::fabs(v[k]));
    }
    return scale;
}

OrientedBoxTest::OrientedBoxTest(const OrientedBox& box, float meshScale) : box_(box)
{
    float boxScale = box.half[0] + box.half[1] + box.half[2];
    for (int i = 0; i < 3; ++i) {
        const float* a = box.axes[i];
        along_[i] = a[0] * box.centre[0] + a[1] * box.centre[1] + a[2] * box.centre[2];
        boxScale += std::fabs(box.centre[i]);
    }
    slack_ = kApartMargin * (1 + boxScale + meshScale);
}

bool OrientedBoxTest::MayMeetPlane(const float* v) const
{
    const float e1[3] = {v[3] - v[0], v[4] - v[1], v[5] - v[2]};
    const float e2[3] = {v[6] - v[0], v[7] - v[1], v[8] - v[2]};
    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    float reach = 0;
    for (int i = 0; i < 3; ++i) {
        const float* a = box_.axes[i];
        reach += box_.half[i] * std::fabs(n[0] * a[0] + n[1] * a[1] + n[2] * a[2]);
    }
    const float* c = box_.centre;
    const float distance = n[0] * (c[0] - v[0]) + n[1] * (c[1] - v[1]) + n[2] * (c[2] - v[2]);
    // The normal is as long as the two edges' product at most: the slack scales with it.
    const float edges = (std::fabs(e1[0]) + std::fabs(e1[1]) + std::fabs(e1[2])) *
                        (std::fabs(e2[0]) + std::fabs(e2[1]) + std::fabs(e2[2]));
    return !(std::fabs(distance) > reach + slack_ * edges);
}

void QueryOrientedBox(const AabbTree& tree, float meshScale, const float low[3], const float high[3],
                      const OrientedBox& box, std::vector<uint32_t>& out)
{
    const OrientedBoxTest test(box, meshScale);
    tree.Query(low, high, [&](int t) {
        if (test.MayMeet(tree.GetTriangle(t)))
            out.push_back(static_cast<uint32_t>(t));
    });
}

} // namespace vex
