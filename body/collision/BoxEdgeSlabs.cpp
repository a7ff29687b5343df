#include "body/collision/BoxEdgeSlabs.h"

#include "body/collision/EdgeSlab.h"

#include <cmath>

namespace vex::collision {
namespace {

using simd::Float4;
using simd::Mask4;

void Store(const Vec3<Float4>& v, float (&out)[3][4])
{
    v.x.Store(out[0]);
    v.y.Store(out[1]);
    v.z.Store(out[2]);
}

Edge<Float4> PickEdge(Mask4 m, const Edge<Float4>& yes, const Edge<Float4>& no)
{
    return {Pick(m, yes.start, no.start), Pick(m, yes.end, no.end), Pick(m, yes.vector, no.vector),
            Pick(m, yes.unit, no.unit), simd::Select(m, yes.length, no.length)};
}

// The lanes whose slab lies apart from the reach's bounds, which hold every part of the box that can
// touch a slab in the plane: then the box test would find the slab apart too. Tested along the world axes
// (the slab's bounds, half its sides along each of its axes, projected) and along the slab's own two axes
// in the plane (the reach's bounds projected), in single precision with a slack of a few float steps of
// the magnitudes: far inside the reach's margin.
int ApartFromReach(const Edge<Float4>& edge, const EdgeSlabShape<Float4>& slab, const Vec3<Float4>& normal,
                   const PlaneReach& reach)
{
    using simd::Abs;
    const Float4 half = Float4::Splat(0.5f), thickness = Float4::Splat(kSlabThickness);
    const Float4 along[3] = {edge.unit.x, edge.unit.y, edge.unit.z};
    const Float4 normalLanes[3] = {normal.x, normal.y, normal.z};
    const Float4 across[3] = {slab.across.x, slab.across.y, slab.across.z};
    const Float4 centre[3] = {slab.centre.x, slab.centre.y, slab.centre.z};
    Mask4 apart = simd::NoLanes();
    Float4 reachMiddle[3], reachHalf[3];
    for (int k = 0; k < 3; ++k) {
        const Float4 extent =
            half * (Abs(along[k]) * edge.length + Abs(normalLanes[k]) * thickness + Abs(across[k]) * slab.width);
        const Float4 grown = extent + Float4::Splat(1e-6f) * (Abs(centre[k]) + extent);
        apart = apart | (centre[k] + grown < reach.LowLanes(k)) | (centre[k] - grown > reach.HighLanes(k));
        reachMiddle[k] = half * (reach.LowLanes(k) + reach.HighLanes(k));
        reachHalf[k] = half * (reach.HighLanes(k) - reach.LowLanes(k));
    }
    // The slab's own axes in the plane, along the edge and across it: the reach's bounds projected onto
    // each against the slab's half side there. The axes are unit and square to the normal and to each
    // other to a few float steps, which the slack (a few millionths of the magnitudes) covers many times.
    auto apartOn = [&](const Float4(&u)[3], Float4 slabHalf) {
        const Float4 slabAt = u[0] * centre[0] + u[1] * centre[1] + u[2] * centre[2];
        const Float4 reachAt = u[0] * reachMiddle[0] + u[1] * reachMiddle[1] + u[2] * reachMiddle[2];
        const Float4 reachSpan = Abs(u[0]) * reachHalf[0] + Abs(u[1]) * reachHalf[1] + Abs(u[2]) * reachHalf[2];
        const Float4 reachable = reachSpan + slabHalf;
        const Float4 slack = Float4::Splat(4e-6f) * (Abs(slabAt) + Abs(reachAt) + reachable);
        return Abs(slabAt - reachAt) > reachable + slack;
    };
    apart = apart | apartOn(along, half * edge.length) | apartOn(across, half * Abs(slab.width));
    return simd::Bits(apart);
}

} // namespace

void NearestSlabs::Take(int lane, const D3DXVECTOR3& normal, double* outCentre, double* outRotation,
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

void ComputeNearestSlabs(const TriangleLanes& t, const Vec3<Float4>& normal, const D3DXVECTOR3& point,
                         const PlaneReach* reach, NearestSlabs& out)
{
    const Vec3<Float4> p = {Float4::Splat(point.x), Float4::Splat(point.y), Float4::Splat(point.z)};
    const Edge<Float4> edges[3] = {MakeEdge(t.a, t.b), MakeEdge(t.b, t.c), MakeEdge(t.c, t.a)};
    Float4 distance[3];
    for (int e = 0; e < 3; ++e)
        distance[e] = Length(p - ClosestOnEdge(edges[e], p));

    // AB when nearer than both others; else BC when AB is not nearer than it and it is nearer than CA;
    // else CA.
    const Mask4 firstAB = distance[0] < distance[1];
    const Mask4 isAB = firstAB & (distance[0] < distance[2]);
    const Mask4 isBC = simd::AndNot(firstAB, distance[1] < distance[2]);
    const int ab = simd::Bits(isAB), bc = simd::Bits(isBC);
    for (int lane = 0; lane < 4; ++lane)
        out.edge[lane] = (ab >> lane) & 1 ? 0 : ((bc >> lane) & 1 ? 1 : 2);

    const Edge<Float4> edge = PickEdge(isAB, edges[0], PickEdge(isBC, edges[1], edges[2]));
    const Vec3<Float4> apex = Pick(isAB, t.c, Pick(isBC, t.a, t.b));
    const EdgeSlabShape<Float4> slab = SlabOnEdge(edge, apex, normal);
    edge.length.Store(out.length);
    slab.width.Store(out.width);
    Store(slab.centre, out.centre);
    Store(edge.unit, out.along);
    Store(slab.across, out.across);
    out.apart = reach ? ApartFromReach(edge, slab, normal, *reach) : 0;
}

} // namespace vex::collision
