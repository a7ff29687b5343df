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
}

void BoxTriangleCollector::AddTriangles(const float* triangles, size_t count)
{
    // The per-triangle steps are inlined into this loop, so the collector's state stays in registers.
    for (size_t i = 0; i < count && !IsFull(); ++i)
        AddTriangle(triangles + 9 * i);
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
    AddSlabContact(a, b, c, n, planeOffset, reachingEdge, useReach);
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
    if (reach_.Empty(n, planeOffset))
        return true;
    const D3DXVECTOR3 a(v[0], v[1], v[2]), b(v[3], v[4], v[5]), c(v[6], v[7], v[8]);
    return PlaneReach::WellShaped(e1, e2, cross) && reach_.SlabsSurelyOutOfReach(a, b, c, v, reachingEdge);
}

unsigned long BoxTriangleCollector::Finish()
{
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
