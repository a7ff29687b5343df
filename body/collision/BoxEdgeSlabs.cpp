#include "body/collision/BoxEdgeSlabs.h"

#include "body/collision/EdgeSlab.h"

#include <cmath>

namespace vex::collision {
namespace {

using simd::Float4;

void Store(const Vec3<Float4>& v, float (&out)[3][4])
{
    v.x.Store(out[0]);
    v.y.Store(out[1]);
    v.z.Store(out[2]);
}

// The lanes whose slab's bounds (half its sides along each of its axes, projected) miss the reach, in
// single precision with a slack of a few float steps of the magnitudes: far inside the reach's margin.
int ApartFromReach(const Edge<Float4>& edge, const EdgeSlabShape<Float4>& slab, const Vec3<Float4>& normal,
                   const PlaneReach& reach)
{
    using simd::Abs;
    const Float4 half = Float4::Splat(0.5f), thickness = Float4::Splat(kSlabThickness);
    const Float4 along[3] = {edge.unit.x, edge.unit.y, edge.unit.z};
    const Float4 normalLanes[3] = {normal.x, normal.y, normal.z};
    const Float4 across[3] = {slab.across.x, slab.across.y, slab.across.z};
    const Float4 centre[3] = {slab.centre.x, slab.centre.y, slab.centre.z};
    simd::Mask4 apart = simd::NoLanes();
    for (int k = 0; k < 3; ++k) {
        const Float4 extent =
            half * (Abs(along[k]) * edge.length + Abs(normalLanes[k]) * thickness + Abs(across[k]) * slab.width);
        const Float4 grown = extent + Float4::Splat(1e-6f) * (Abs(centre[k]) + extent);
        apart = apart | (centre[k] + grown < reach.LowLanes(k)) | (centre[k] - grown > reach.HighLanes(k));
    }
    return simd::Bits(apart) & 7;
}

} // namespace

void EdgeSlabs::Take(int lane, const D3DXVECTOR3& normal, double* outCentre, double* outRotation,
                     double* outSides) const
{
    for (int r = 0; r < 3; ++r)
        outCentre[r] = centre[r][lane];
    OdeRotationFromAxes({along[0][lane], along[1][lane], along[2][lane]}, normal,
                        {across[0][lane], across[1][lane], across[2][lane]}, outRotation);
    outSides[0] = length[lane];
    outSides[1] = kSlabThickness;
    outSides[2] = std::fabs(width[lane]);
}

void ComputeEdgeSlabs(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point,
                      const D3DXVECTOR3& normal, const PlaneReach* reach, EdgeSlabs& out)
{
    // Lane e holds edge e: its start, its end and the apex opposite.
    const Vec3<Float4> start = {Float4::Set(a.x, b.x, c.x, 0), Float4::Set(a.y, b.y, c.y, 0),
                                Float4::Set(a.z, b.z, c.z, 0)};
    const Vec3<Float4> end = {Float4::Set(b.x, c.x, a.x, 0), Float4::Set(b.y, c.y, a.y, 0),
                              Float4::Set(b.z, c.z, a.z, 0)};
    const Vec3<Float4> apex = {Float4::Set(c.x, a.x, b.x, 0), Float4::Set(c.y, a.y, b.y, 0),
                               Float4::Set(c.z, a.z, b.z, 0)};
    const Vec3<Float4> p = {Float4::Splat(point.x), Float4::Splat(point.y), Float4::Splat(point.z)};
    const Vec3<Float4> n = {Float4::Splat(normal.x), Float4::Splat(normal.y), Float4::Splat(normal.z)};

    const Edge<Float4> edge = MakeEdge(start, end);
    Length(p - ClosestOnEdge(edge, p)).Store(out.distance);
    const EdgeSlabShape<Float4> slab = SlabOnEdge(edge, apex, n);
    edge.length.Store(out.length);
    slab.width.Store(out.width);
    Store(slab.centre, out.centre);
    Store(edge.unit, out.along);
    Store(slab.across, out.across);
    out.apart = reach ? ApartFromReach(edge, slab, n, *reach) : 0;
}

} // namespace vex::collision
