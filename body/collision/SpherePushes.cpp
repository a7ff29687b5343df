// The sphere collider's exact tests for one triangle: the face push, else the pushes of the edges the
// centre lies behind.
#include "body/collision/SphereTriangleAccumulator.h"

#include <algorithm>

namespace vex::collision {

inline bool SphereTriangleAccumulator::OutsideCube(float a, float b, float centre) const
{
    return (a < centre - radius_ && b < centre - radius_) || (a > centre + radius_ && b > centre + radius_);
}

// Only the longest edge push is kept, and it counts only when longer than the faces' sum: an edge surely
// no nearer to the centre than the radius less the longer of the two cannot change the contact, and is
// not tested (a push replaces the kept one only when longer). The distance is worked out without a root;
// the slack, as in the segment test's own quick rejection, is far above the rounding of either.
inline bool SphereTriangleAccumulator::SurelyNoLongerPush(const D3DXVECTOR3& from, const D3DXVECTOR3& to,
                                                          float longest) const
{
    if (!(longest > 0))
        return false;
    const RootlessDistance quick = SegmentDistanceSquared(from, to, centre_);
    const float needed = radius_ - longest + kSignCertainty * (radius_ + quick.reach);
    return needed <= 0 || quick.squared > needed * needed;
}

// faceLength: an edge push no longer than this cannot count (0 while faces may still push).
inline void SphereTriangleAccumulator::TestEdge(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3& n,
                                                float faceLength)
{
    if (OutsideCube(from.x, to.x, centre_.x) || OutsideCube(from.y, to.y, centre_.y) ||
        OutsideCube(from.z, to.z, centre_.z))
        return;
    if (quickRejections_ && SurelyNoLongerPush(from, to, std::max(edgePushLength_, faceLength)))
        return;
    const bool behind = primitives_ ? primitives_->PointBehindPlane(from, to, to - n, centre_)
                                    : PointBehindPlane(from, to, to - n, centre_);
    if (!behind)
        return;
    if (primitives_)
        primitives_->SphereSegmentPush(from, to, centre_, radius_, edgePush_);
    else
        SphereSegmentPush(from, to, centre_, radius_, edgePush_);
    edgePushLength_ = Length(edgePush_);
}

// gapSquared and size as the bounds test had them (MeasureFour).
void SphereTriangleAccumulator::AddPushes(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                          const D3DXVECTOR3& e1, const D3DXVECTOR3& e2, const D3DXVECTOR3& n,
                                          float gapSquared, float size)
{
    // One-sided: the centre must lie in front of the face; a degenerate triangle (n = 0) never does.
    const float distance = Dot(n, centre_) - Dot(n, a);
    if (!(distance >= kTriangleFrontEpsilon))
        return;
    const float penetration = radius_ - distance;
    if (penetration < 0)
        return;
    const D3DXVECTOR3 deepPoint = centre_ - n * radius_;
    if (primitives_ ? primitives_->RayThroughTriangle(deepPoint, centre_, e1, e2, a)
                    : RayThroughTriangle(deepPoint, centre_, e1, e2, a)) {
        facePush_ += n * penetration;
        // The centre projects into the triangle, so it lies behind none of the edge planes: the edge
        // tests below would all answer no.
        return;
    }
    // Outside the triangle across one or two edges: each edge it lies behind may push it. An edge whose
    // bounds stay farther than the radius from the centre cannot, and is not tested. With the quick
    // rejections the edges wait until every face has pushed: an edge push counts only when longer than
    // the faces' sum, and most edges can then be passed over.
    if (quickRejections_) {
        // A full list is worked off at once, before this triangle, so the order stays; faces still to come
        // may shorten the sum, so it cannot pass any edge over yet.
        if (pendingCount_ == kMaxPending)
            TestPendingEdges(0);
        float* slot = pending_[pendingCount_++];
        for (const D3DXVECTOR3* v : {&a, &b, &c, &n}) {
            *slot++ = v->x;
            *slot++ = v->y;
            *slot++ = v->z;
        }
        slot[0] = gapSquared;
        slot[1] = size;
        return;
    }
    TestEdge(a, b, n, 0);
    TestEdge(b, c, n, 0);
    TestEdge(c, a, n, 0);
}

// The edges of the triangles kept waiting, in the order they came; an edge whose push surely is no
// longer than faceLength (the faces' final sum, or 0) cannot be the one that counts and is not tested.
void SphereTriangleAccumulator::TestPendingEdges(float faceLength)
{
    for (int i = 0; i < pendingCount_; ++i) {
        const float* t = pending_[i];
        // Its edges lie in its bounding box: a box surely no nearer than the radius less the longest
        // push so far holds no edge that could count. The slack covers the rounding of the box's
        // distance (a few steps of the coordinates) and of the edge test.
        const float longest = std::max(edgePushLength_, faceLength);
        if (longest > 0) {
            const float needed = radius_ - longest + kSignCertainty * radius_ + 1e-5f * t[13];
            if (needed <= 0 || t[12] > needed * needed)
                continue;
        }
        const D3DXVECTOR3 a(t[0], t[1], t[2]), b(t[3], t[4], t[5]), c(t[6], t[7], t[8]), n(t[9], t[10], t[11]);
        TestEdge(a, b, n, faceLength);
        TestEdge(b, c, n, faceLength);
        TestEdge(c, a, n, faceLength);
    }
    pendingCount_ = 0;
}

} // namespace vex::collision
