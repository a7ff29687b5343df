// The box collider's pipeline per triangle (facing, quick rejections, then the exact stage in
// BoxSlabContact.cpp) and its candidates.
#include "body/collision/BoxTriangleCollector.h"

#include "body/collision/BoxContactSpread.h"

#include <cstdint>
#include <cstring>

namespace vex::collision {

BoxTriangleCollector::BoxTriangleCollector(const BoxPose& box, unsigned long limit, dContactGeom* contacts,
                                           unsigned long stride, dGeomID g1, dGeomID g2,
                                           const BoxColliderSettings& settings)
    : box_(box), centre_(box.Centre()), limit_(limit), contacts_(contacts), stride_(stride), g1_(g1), g2_(g2),
      primitives_(settings.primitives), quickRejections_(settings.quickRejections && !settings.primitives), reach_(box),
      support_(reach_.Corners())
{
}

void BoxTriangleCollector::AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
{
    const float v[10] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, 0};
    AddTriangle(v);
    TestWaiting(); // v lives no longer than this call
}

void BoxTriangleCollector::AddTriangles(const float* triangles, size_t count)
{
    size_t i = 0;
    while (i < count && !IsFull()) {
        // On a flat patch whose reach is known, four triangles at a time take the first two stages.
        if (fourOnPlane_ && count - i >= 4 && AddFourOnReachPlane(triangles + 9 * i)) {
            i += 4;
            continue;
        }
        fourOnPlane_ = false;
        AddTriangle(triangles + 9 * i);
        ++i;
    }
    TestWaiting();
}

// Four triangles side by side, when each one facing the box lies in the plane whose reach is known and
// has its normal in the cache: then the one-at-a-time steps would change no state until the exact stage,
// so the quick decisions of all four come first and the exact stage follows in order, with the very
// values the one-at-a-time steps give. False, with nothing done, when any does not.
bool BoxTriangleCollector::AddFourOnReachPlane(const float* v)
{
    using simd::Float4;
    const TriangleLanes t = TriangleLanes::Load(v, 4);
    const Vec3<Float4> e1 = t.b - t.a, e2 = t.c - t.a, cross = Cross(e1, e2);
    Vec3<Float4> n;
    if (!normals_.KnownNormals(cross, n))
        return false;
    const Vec3<Float4> centre = {Float4::Splat(centre_.x), Float4::Splat(centre_.y), Float4::Splat(centre_.z)};
    const Float4 planeOffset = Dot(n, t.a);
    const simd::Mask4 facing = Dot(n, centre) - planeOffset >= Float4::Splat(kTriangleFrontEpsilon);
    if (simd::Bits(simd::AndNot(reach_.AreReachPlane(n, planeOffset), facing)) != 0)
        return false;
    const int live = simd::Bits(facing);
    if (live == 0 || reach_.ReachEmpty())
        return true;

    // Per lane: the squared lengths of the cross product, e1 and e2; the normal's x, y, z; the plane's offset.
    float lanes[7][4];
    Dot(cross, cross).Store(lanes[0]);
    Dot(e1, e1).Store(lanes[1]);
    Dot(e2, e2).Store(lanes[2]);
    n.x.Store(lanes[3]);
    n.y.Store(lanes[4]);
    n.z.Store(lanes[5]);
    planeOffset.Store(lanes[6]);
    int reaching[4];
    reach_.FirstReachingEdges(t, reaching);
    for (int lane = 0; lane < 4 && !IsFull(); ++lane) {
        if (!((live >> lane) & 1))
            continue;
        const bool wellShaped = PlaneReach::WellShaped(lanes[0][lane], lanes[1][lane], lanes[2][lane]);
        if (wellShaped && reaching[lane] == 3)
            continue;
        const D3DXVECTOR3 normal(lanes[3][lane], lanes[4][lane], lanes[5][lane]);
        Wait(v + 9 * lane, normal, lanes[6][lane], wellShaped ? reaching[lane] : -1, true);
    }
    return true;
}

// v: nine floats and a readable tenth (the quick rejections load the vertices four floats at a time).
inline void BoxTriangleCollector::AddTriangle(const float* v)
{
    if (IsFull())
        return;
    const D3DXVECTOR3 a(v[0], v[1], v[2]), b(v[3], v[4], v[5]), c(v[6], v[7], v[8]);
    const D3DXVECTOR3 e1 = b - a;
    const D3DXVECTOR3 e2 = c - a;
    const D3DXVECTOR3 cross = Cross(e1, e2);
    const D3DXVECTOR3 n = normals_.Normal(cross);
    if (!(Dot(n, centre_) - Dot(n, a) >= kTriangleFrontEpsilon))
        return;
    const float planeOffset = Dot(n, a);
    // The first edge whose slab may reach, once the quick test has found one (edges before it cannot).
    int reachingEdge = -1;
    // Whether the part of the box that can reach the plane is known, for the exact stage to use.
    bool useReach = false;
    if (quickRejections_ && QuicklyRejected(v, e1, e2, cross, n, planeOffset, reachingEdge, useReach))
        return;
    if (primitives_)
        AddSlabContactThroughPrimitives(a, b, c, n, planeOffset);
    else
        Wait(v, n, planeOffset, reachingEdge, useReach);
}

// Working out the reach pays only when the plane comes again (a flat patch); a plane met for the first
// time is only checked for the box touching it at all. Otherwise: no part of the box comes near the
// plane, or none near any of the triangle's slabs: whatever slab is built, the box test finds it apart.
inline bool BoxTriangleCollector::QuicklyRejected(const float* v, const D3DXVECTOR3& e1, const D3DXVECTOR3& e2,
                                                  const D3DXVECTOR3& cross, const D3DXVECTOR3& n, float planeOffset,
                                                  int& reachingEdge, bool& useReach)
{
    if (!reach_.PlaneComesAgain(n, planeOffset))
        return reach_.BoxMissesPlane(n, planeOffset);
    useReach = true;
    // The plane came again: the triangles after this one may lie in it too.
    fourOnPlane_ = true;
    // A waiting triangle may use the reach of the plane it lies in, which a new plane would replace.
    if (!reach_.IsReachPlane(n, planeOffset))
        TestWaiting();
    if (reach_.Empty(n, planeOffset))
        return true;
    if (!PlaneReach::WellShaped(Dot(cross, cross), Dot(e1, e1), Dot(e2, e2)))
        return false;
    int reaching[4];
    reach_.FirstReachingEdges(TriangleLanes::Load(v, 1), reaching);
    if (reaching[0] == 3)
        return true;
    reachingEdge = reaching[0];
    return false;
}

unsigned long BoxTriangleCollector::Finish()
{
    TestWaiting();
    if (found_ <= limit_) {
        for (unsigned long m = 0; m < found_; ++m)
            Write(m, candidates_[m]);
        return written_ = found_;
    }
    unsigned long order[kMaxBoxCandidates + 1];
    ChooseSpread(candidates_, found_, limit_, order);
    for (unsigned long out = 0; out < limit_; ++out)
        Write(out, candidates_[order[out]]);
    return written_ = limit_;
}

// A contact that repeats one already found (same point, same normal: neighbouring triangles of a flat
// patch often give the same corner of the box) adds nothing.
bool BoxTriangleCollector::Repeats(const dContactGeom& record) const
{
    for (unsigned long m = 0; m < found_; ++m) {
        const dContactGeom& c = candidates_[m];
        // Most candidates lie elsewhere: the normals are compared only for one at the same point.
        if (!(ContactDistanceSquared(c, record) <= kRepeatedContactDistance * kRepeatedContactDistance))
            continue;
        double turn = 0;
        for (int k = 0; k < 3; ++k)
            turn += (c.normal[k] - record.normal[k]) * (c.normal[k] - record.normal[k]);
        if (turn <= kRepeatedContactTurn * kRepeatedContactTurn)
            return true;
    }
    return false;
}

// Counts a contact just stored at candidates_[found_], thinning the candidates when they overflow.
void BoxTriangleCollector::Keep()
{
    if (++found_ > kMaxBoxCandidates)
        Thin();
}

// Keeps kThinnedBoxCandidates of the candidates, chosen as the written ones are (so the deepest and a
// spread around it survive), in the order they were found.
void BoxTriangleCollector::Thin()
{
    unsigned long order[kMaxBoxCandidates + 1];
    ChooseSpread(candidates_, found_, kThinnedBoxCandidates, order);
    bool keep[kMaxBoxCandidates + 1] = {};
    for (unsigned long k = 0; k < kThinnedBoxCandidates; ++k)
        keep[order[k]] = true;
    unsigned long kept = 0;
    for (unsigned long m = 0; m < found_; ++m)
        if (keep[m])
            candidates_[kept++] = candidates_[m];
    found_ = kept;
}

void BoxTriangleCollector::Write(unsigned long m, const dContactGeom& record)
{
    std::memcpy(reinterpret_cast<uint8_t*>(contacts_) + m * stride_, &record, sizeof record);
}

} // namespace vex::collision
