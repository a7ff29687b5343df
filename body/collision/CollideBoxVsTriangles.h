#pragma once
// Box against world-space triangles. Each triangle that faces the box centre is replaced by a thin slab
// built on its edge nearest the centre, and the box is tested against the slab with the separating-axis
// test: at most one contact per triangle.

#include "body/collision/BoxBox.h"
#include "body/collision/CollisionConstants.h"
#include "body/collision/CollisionGeometry.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <span>
#include <type_traits>

namespace vex::collision {

/// The primitive steps as free functions; the body channel substitutes its own virtual methods.
struct FreeBoxPrimitives {
    float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point) const
    {
        return collision::PointSegmentDistanceOnly(a, b, point);
    }
    void CreateSlab(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                    const D3DXVECTOR3& normal, double* centre, double* rotation, double* sides) const
    {
        const Slab slab = SlabFromTriangle(edgeStart, edgeEnd, apex, normal);
        std::memcpy(centre, slab.centre, sizeof slab.centre);
        std::memcpy(sides, slab.sides, sizeof slab.sides);
        OdeRotationFromAxes(slab.axes[0], slab.axes[1], slab.axes[2], rotation);
    }
    int BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
               const double* side2, double* normal, double* depth, int* code, dContactGeom* contact) const
    {
        return collision::BoxBox(p1, R1, side1, p2, R2, side2, normal, depth, code, contact);
    }
};

/// The box as the collider sees it: centre, ODE rotation and full edge lengths (double), and its engine
/// matrix (rows = the box axes, fourth row = the centre) in single precision.
struct BoxPose {
    double centre[3];
    double rotation[12];
    double lengths[3];

    D3DXMATRIX Matrix() const;
    D3DXVECTOR3 Centre() const
    {
        return {static_cast<float>(centre[0]), static_cast<float>(centre[1]), static_cast<float>(centre[2])};
    }
};

/// Gathers the contacts of the triangles offered to it and writes at most `limit` of them into a caller's
/// ODE contact array, record m at byte offset m * stride. When there are more than the limit, the written
/// ones are spread over the box: the deepest first, then each time the one farthest from those already
/// chosen. (Keeping the first ones found would keep whichever triangles the mesh lists first, often all on
/// one side of a resting box, which then tips and rocks.) At most kMaxBoxCandidates are held at once; one
/// more thins them to a spread chosen the same way, so the deepest and the outermost are never lost.
template <class Primitives = FreeBoxPrimitives>
class BoxTriangleCollector {
public:
    BoxTriangleCollector(const BoxPose& box, unsigned long limit, dContactGeom* contacts, unsigned long stride,
                         dGeomID g1, dGeomID g2, Primitives primitives = {})
        : box_(box), centre_(box.Centre()), limit_(limit), contacts_(contacts), stride_(stride), g1_(g1), g2_(g2),
          primitives_(primitives)
    {
        // The corners, once: every plane's reach starts from them.
        const double* R = box_.rotation;
        const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
        for (int i = 0; i < 8; ++i) {
            for (int k = 0; k < 3; ++k) {
                corners_[i][k] = box_.centre[k];
                for (int axis = 0; axis < 3; ++axis)
                    corners_[i][k] += ((i >> axis) & 1 ? half[axis] : -half[axis]) * R[4 * k + axis];
            }
        }
    }

    /// One triangle in world space; its front side is (b - a) x (c - a). The quick rejections that most
    /// triangles meet stay inline in the caller's loop; the slab and the box test are called.
    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
    {
        const float v[10] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, 0};
        AddTriangle(v);
    }

    /// The same, as nine floats (x, y, z of each vertex) followed by one more readable float. Kept inline
    /// in the caller's loop even though it is long: called, it spills the collector's state every time.
    __attribute__((always_inline)) void AddTriangle(const float* v)
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
        // Whether the part of the box that can reach the plane is known (see ComputeReach).
        bool useReach = true;
        // Only with the free primitives: a derived channel's own slab may be larger than the bounds
        // assume, and its methods see every triangle as before.
        if constexpr (std::is_same_v<Primitives, FreeBoxPrimitives>) {
            // Working out the reach pays only when the plane comes again (a flat patch); on uneven ground
            // every triangle has a plane of its own, and the slab and box test cost less than the reach. A
            // plane met for the first time is only checked for the box touching it at all.
            const bool known = reachValid_ && n == reachNormal_ && planeOffset == reachOffset_;
            if (!known && !(n == lastNormal_ && planeOffset == lastOffset_)) {
                lastNormal_ = n;
                lastOffset_ = planeOffset;
                useReach = false;
                if (BoxMissesPlane(n, planeOffset))
                    return;
            } else {
                // No part of the box comes near the plane, or none near any of the triangle's slabs:
                // whatever slab is built, the box test finds it apart, so none is built.
                if (ReachEmpty(n, planeOffset))
                    return;
                if (WellShaped(e1, e2, cross) &&
                    SlabsSurelyOutOfReach(a, b, c, LoadVertex(v), LoadVertex(v + 3), LoadVertex(v + 6), reachingEdge))
                    return;
            }
        }
        AddSlabContact(a, b, c, n, planeOffset, reachingEdge, useReach);
    }

    /// Writes the chosen contacts; returns how many (at most the limit).
    unsigned long Finish()
    {
        if (found_ <= limit_) {
            for (unsigned long m = 0; m < found_; ++m)
                Write(m, candidates_[m]);
            return written_ = found_;
        }
        unsigned long order[kMaxBoxCandidates + 1];
        ChooseSpread(limit_, order);
        for (unsigned long out = 0; out < limit_; ++out)
            Write(out, candidates_[order[out]]);
        return written_ = limit_;
    }

    unsigned long Count() const { return written_; }
    /// True when no contact can be kept (a limit of 0): the caller may stop offering triangles.
    bool IsFull() const { return limit_ == 0; }

private:
    // The first `count` (below found_) of the candidates in the order of choice: the deepest (the first of
    // equals), then the one farthest from it, then the one farthest from the line through those two, then
    // the one farthest beyond that line on the other side, then each time the one farthest from those
    // already chosen (again the first of equals). The first four span the widest support they can: on a box
    // lying on a face, its corners, whichever of them happens to lie deepest by a hair. (Farthest from the
    // chosen ones took a point half-way along a long edge before the corner beside the first, and which
    // corner came next flipped from step to step.)
    void ChooseSpread(unsigned long count, unsigned long* order) const
    {
        unsigned long deepest = 0;
        for (unsigned long m = 1; m < found_; ++m)
            if (candidates_[m].depth > candidates_[deepest].depth)
                deepest = m;
        order[0] = deepest;
        // Squared distance to the nearest contact chosen so far; a chosen one is marked -1, below any.
        double nearest[kMaxBoxCandidates + 1];
        for (unsigned long m = 0; m < found_; ++m)
            nearest[m] = DistanceSquared(candidates_[m], candidates_[deepest]);
        nearest[deepest] = -1;
        for (unsigned long out = 1; out < count; ++out) {
            unsigned long best = 0;
            if (out < 3 || !AcrossTheLine(order, nearest, best))
                best = Farthest(out == 2 ? order : nullptr, nearest);
            order[out] = best;
            nearest[best] = -1;
            for (unsigned long m = 0; m < found_; ++m)
                if (nearest[m] != -1)
                    nearest[m] = std::min(nearest[m], DistanceSquared(candidates_[m], candidates_[best]));
        }
    }

    // The unchosen candidate (nearest[m] != -1) with the largest nearest[m], or, given the first two
    // chosen, the one farthest from the line through them (the first of equals).
    unsigned long Farthest(const unsigned long* line, const double* nearest) const
    {
        unsigned long best = 0;
        double bestValue = -1;
        for (unsigned long m = 0; m < found_; ++m) {
            if (nearest[m] == -1)
                continue;
            double across[3];
            const double value = line && Across(line, m, across) ? Dot3(across, across) : nearest[m];
            if (value > bestValue) {
                best = m;
                bestValue = value;
            }
        }
        return best;
    }

    // The part of candidate m's offset from the first chosen that is square to the line through the first
    // two chosen; false when those two coincide.
    bool Across(const unsigned long* line, unsigned long m, double* out) const
    {
        const double* p0 = candidates_[line[0]].pos;
        const double* p1 = candidates_[line[1]].pos;
        const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double uu = Dot3(u, u);
        if (!(uu > 0))
            return false;
        const double* p = candidates_[m].pos;
        const double d[3] = {p[0] - p0[0], p[1] - p0[1], p[2] - p0[2]};
        const double t = Dot3(d, u) / uu;
        for (int k = 0; k < 3; ++k)
            out[k] = d[k] - u[k] * t;
        return true;
    }

    // The fourth choice: the unchosen candidate farthest beyond the line through the first two, on the
    // side away from the third. False when none lies beyond it.
    bool AcrossTheLine(const unsigned long* order, const double* nearest, unsigned long& outBest) const
    {
        if (order[2] == order[0] || order[2] == order[1])
            return false;
        double third[3];
        if (!Across(order, order[2], third))
            return false;
        double bestValue = 0;
        bool found = false;
        for (unsigned long m = 0; m < found_; ++m) {
            double across[3];
            if (nearest[m] == -1 || !Across(order, m, across))
                continue;
            const double value = -Dot3(across, third);
            if (value > bestValue) {
                outBest = m;
                bestValue = value;
                found = true;
            }
        }
        return found;
    }

    static double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

    // Called when a contact beyond kMaxBoxCandidates was kept: keeps kThinnedBoxCandidates of them, chosen
    // as the written ones are (so the deepest and a spread around it survive), in the order they were found.
    __attribute__((noinline)) void Thin()
    {
        unsigned long order[kMaxBoxCandidates + 1];
        ChooseSpread(kThinnedBoxCandidates, order);
        bool keep[kMaxBoxCandidates + 1] = {};
        for (unsigned long k = 0; k < kThinnedBoxCandidates; ++k)
            keep[order[k]] = true;
        unsigned long kept = 0;
        for (unsigned long m = 0; m < found_; ++m)
            if (keep[m])
                candidates_[kept++] = candidates_[m];
        found_ = kept;
    }

    // Counts a contact just stored at candidates_[found_], thinning the candidates when they overflow.
    void Keep()
    {
        if (++found_ > kMaxBoxCandidates)
            Thin();
    }

    // The triangle's slab on its edge nearest the box centre, and the box test against it. reachingEdge:
    // the first edge the quick test found may reach (those before it cannot), or -1; useReach: whether
    // the slab may be checked against the plane's reach first.
    __attribute__((noinline)) void AddSlabContact(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                                  const D3DXVECTOR3& n, float planeOffset, int reachingEdge, bool useReach)
    {
        // Build the slab on the edge nearest the box centre; ties go to C->A, and to B->C over A->B. With
        // the free primitives the three edges' distances and slabs are worked out side by side, and the
        // nearest one's taken: the slab no longer waits for the choice.
        float dAB, dBC, dCA;
        EdgeSlabs slabs;
        if constexpr (std::is_same_v<Primitives, FreeBoxPrimitives>) {
            ComputeEdgeSlabs(a, b, c, centre_, n, useReach, slabs);
            dAB = slabs.distance[0];
            dBC = slabs.distance[1];
            dCA = slabs.distance[2];
        } else {
            dAB = primitives_.PointSegmentDistance(a, b, centre_);
            dBC = primitives_.PointSegmentDistance(b, c, centre_);
            dCA = primitives_.PointSegmentDistance(c, a, centre_);
        }
        // The edge as the indices of its start, its end and the apex (edge AB starts at vertex 0, BC at 1,
        // CA at 2).
        int first, second, third;
        if (dAB < dBC) {
            if (dAB < dCA) { first = 0; second = 1; third = 2; }
            else { first = 2; second = 0; third = 1; }
        } else {
            if (dBC < dCA) { first = 1; second = 2; third = 0; }
            else { first = 2; second = 0; third = 1; }
        }
        double slabCentre[3], slabRotation[12], slabSides[3];
        if constexpr (std::is_same_v<Primitives, FreeBoxPrimitives>) {
            // The quick test already found this edge's slab apart, or its bounds miss the reach.
            if (first < reachingEdge || (slabs.apart >> first) & 1)
                return;
            slabs.Take(first, n, slabCentre, slabRotation, slabSides);
        } else {
            const D3DXVECTOR3* const vertices[3] = {&a, &b, &c};
            primitives_.CreateSlab(*vertices[first], *vertices[second], *vertices[third], n, slabCentre, slabRotation,
                                   slabSides);
            if (useReach && SlabOutOfReach(n, planeOffset, slabCentre, slabRotation, slabSides))
                return;
        }

        double normal[3];
        double depth = 0;
        int code = 0;
        if constexpr (std::is_same_v<Primitives, FreeBoxPrimitives>) {
            // The free box test writes one record: straight into the next free candidate (Keep leaves
            // one free), kept only when it does not repeat one already found. It writes the position and
            // depth and Complete the rest, so only the vectors' unused fourth elements are cleared here
            // (clearing the whole record cost more than a tenth of the box test).
            dContactGeom& record = candidates_[found_];
            record.pos[3] = 0;
            record.normal[3] = 0;
            if (collision::BoxBox(box_.centre, box_.rotation, box_.lengths, slabCentre, slabRotation, slabSides,
                                  normal, &depth, &code, &record) > 0) {
                Complete(record, normal);
                const dContactGeom kept = record;
                if (!Repeats(record))
                    Keep();
                AddSupportCorners(kept, a, b, c, n, planeOffset);
            }
            return;
        }
        // The box test writes one record; the scratch holds a few so a test written for more stays inside.
        dContactGeom scratch[kBoxBoxScratchContacts] = {};
        const int k = primitives_.BoxBox(box_.centre, box_.rotation, box_.lengths, slabCentre, slabRotation,
                                         slabSides, normal, &depth, &code, scratch);
        const int count = k < kBoxBoxScratchContacts ? k : kBoxBoxScratchContacts;
        for (int m = 0; m < count; ++m) {
            dContactGeom record = scratch[m];
            Complete(record, normal);
            // A contact that repeats one already found (same point, same normal: neighbouring triangles of
            // a flat patch often give the same corner of the box) adds nothing.
            if (!Repeats(record)) {
                candidates_[found_] = record;
                Keep();
            }
            AddSupportCorners(record, a, b, c, n, planeOffset);
        }
    }

    // A box lying on a triangle's face meets it along a whole face, yet the box test gives one point: the
    // deepest corner, which for a nearly flat box flips between opposite corners with the slightest tilt.
    // Every triangle under the box then supports it on the same side, it tips the other way, and the next
    // step's contacts all jump there: the box rocks and creeps. So when the contact pushes straight out of
    // the triangle's face, every other corner of the box that also sinks into the slab and stands over the
    // triangle itself is a contact too, with its own depth: the support stays the face, whatever the tilt.
    void AddSupportCorners(const dContactGeom& contact, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                           const D3DXVECTOR3& c, const D3DXVECTOR3& n, float planeOffset)
    {
        const double facing = contact.normal[0] * n.x + contact.normal[1] * n.y + contact.normal[2] * n.z;
        if (!(facing <= -kSupportFaceAlignment))
            return;
        if (!(n == sunkNormal_ && planeOffset == sunkOffset_))
            FindSunkCorners(n, planeOffset);
        // A sunk corner lies within the slab's thickness of the plane, so one outside the triangle's bounds
        // grown by that much cannot stand over it: most corners of a box on a fine grid leave here.
        const double grow = kSlabThickness + contact.depth;
        const double low[3] = {std::min({a.x, b.x, c.x}) - grow, std::min({a.y, b.y, c.y}) - grow,
                               std::min({a.z, b.z, c.z}) - grow};
        const double high[3] = {std::max({a.x, b.x, c.x}) + grow, std::max({a.y, b.y, c.y}) + grow,
                                std::max({a.z, b.z, c.z}) + grow};
        for (int s = 0; s < sunkCount_; ++s) {
            const double* corner = corners_[sunkCorner_[s]];
            const double depth = sunkDepth_[s];
            if (!(depth <= contact.depth))
                continue;
            if (corner[0] < low[0] || corner[0] > high[0] || corner[1] < low[1] || corner[1] > high[1] ||
                corner[2] < low[2] || corner[2] > high[2] || !OverTriangle(corner, a, b, c, n))
                continue;
            dContactGeom& record = candidates_[found_];
            record = contact;
            for (int k = 0; k < 3; ++k)
                record.pos[k] = corner[k];
            record.depth = depth;
            if (!Repeats(record))
                Keep();
        }
    }

    // The corners of the box below the top of the slabs in the plane n.x = d, with their depths. The
    // triangles of a flat patch share one plane, so this is worked out once for them all.
    void FindSunkCorners(const D3DXVECTOR3& n, float d)
    {
        sunkNormal_ = n;
        sunkOffset_ = d;
        sunkCount_ = 0;
        const double top = static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness);
        for (int i = 0; i < 8; ++i) {
            const double* corner = corners_[i];
            const double depth = top - (n.x * corner[0] + n.y * corner[1] + n.z * corner[2]);
            if (depth > 0) {
                sunkCorner_[sunkCount_] = i;
                sunkDepth_[sunkCount_++] = depth;
            }
        }
    }

    // Whether the point, dropped along n onto the triangle's plane, lands inside the triangle (edges included).
    static bool OverTriangle(const double* p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                             const D3DXVECTOR3& n)
    {
        const D3DXVECTOR3* const v[3] = {&a, &b, &c};
        for (int i = 0; i < 3; ++i) {
            const D3DXVECTOR3& s = *v[i];
            const D3DXVECTOR3& e = *v[(i + 1) % 3];
            const double edge[3] = {double(e.x) - s.x, double(e.y) - s.y, double(e.z) - s.z};
            const double to[3] = {p[0] - s.x, p[1] - s.y, p[2] - s.z};
            const double side = n.x * (edge[1] * to[2] - edge[2] * to[1]) + n.y * (edge[2] * to[0] - edge[0] * to[2]) +
                                n.z * (edge[0] * to[1] - edge[1] * to[0]);
            if (side < 0)
                return false;
        }
        return true;
    }

    // The fields of a contact record the box test leaves to its caller.
    void Complete(dContactGeom& record, const double* normal) const
    {
        record.normal[0] = normal[0];
        record.normal[1] = normal[1];
        record.normal[2] = normal[2];
        record.g1 = g1_;
        record.g2 = g2_;
        record.side1 = -1;
        record.side2 = -1;
    }

    // The part of the box that can reach a slab lying in the plane n.x = d: the box cut by the half-space
    // n.x <= d + (half the slab, and a little for rounding). Its bounds are worked out once per plane (the
    // triangles of a flat patch share one). A slab whose bounds miss them is apart from the box, and the
    // box test, which would find a separating axis, is not run. Most triangles under a tilted box are
    // rejected so: only those under its lowest corner or edge remain.
    // True when the whole box lies above the top of every slab in the plane n.x = d (by more than the
    // rounding slack of the reach): its lowest point along n, the centre's height less the half sides'.
    bool BoxMissesPlane(const D3DXVECTOR3& n, float d) const
    {
        const double* R = box_.rotation;
        const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
        const double size = half[0] + half[1] + half[2];
        double lowest = n.x * box_.centre[0] + n.y * box_.centre[1] + n.z * box_.centre[2];
        for (int axis = 0; axis < 3; ++axis)
            lowest -= half[axis] * std::fabs(n.x * R[axis] + n.y * R[4 + axis] + n.z * R[8 + axis]);
        return lowest > static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness) + 2 * kReachMargin * (1 + size);
    }

    bool ReachEmpty(const D3DXVECTOR3& n, float d)
    {
        if (!(n == reachNormal_ && d == reachOffset_) || !reachValid_) {
            reachNormal_ = n;
            reachOffset_ = d;
            reachValid_ = true;
            ComputeReach(n, d);
        }
        return reachEmpty_;
    }

    bool SlabOutOfReach(const D3DXVECTOR3& n, float d, const double* centre, const double* R, const double* sides)
    {
        if (ReachEmpty(n, d))
            return true;
        for (int k = 0; k < 3; ++k) {
            const double extent = 0.5 * (std::fabs(R[4 * k]) * sides[0] + std::fabs(R[4 * k + 1]) * sides[1] +
                                         std::fabs(R[4 * k + 2]) * sides[2]);
            if (centre[k] - extent > reachHigh_[k] || centre[k] + extent < reachLow_[k])
                return true;
        }
        return false;
    }

    // Before the nearest edge is known: bounds that hold the slab of each of the three edges, worked out
    // without roots and with a margin far above the rounding of either computation. When they miss the
    // reachable part of the box, so does the slab that would be built, and SlabOutOfReach would reject
    // it; most triangles under a box resting on a mesh are rejected here at a fraction of the cost.
    // The slab's axis across the edge comes from the triangle's normal; the bounds below take it to be
    // square to the edge in the triangle's plane, which holds to a few 1e-6 once the angle at the first
    // vertex has a sine of at least 0.1. Thinner triangles are left to the exact test.
    static bool WellShaped(const D3DXVECTOR3& e1, const D3DXVECTOR3& e2, const D3DXVECTOR3& cross)
    {
        return static_cast<double>(Dot(cross, cross)) >
               1e-2 * static_cast<double>(Dot(e1, e1)) * static_cast<double>(Dot(e2, e2));
    }

    // The margin of the quick slab tests for a triangle: far above the rounding of the bounds below and of
    // the slab itself, and of the additions in the test. Zero for coordinates too large to bound safely.
    static simd::Float4 SlabMargin(simd::Float4 a, simd::Float4 b, simd::Float4 c)
    {
        using simd::Abs, simd::Max;
        const float size = simd::HorizontalMax(Max(Max(Abs(a), Abs(b)), Max(Abs(c), simd::Float4::Splat(1.0f)))).First();
        // Coordinates this small cannot overflow below, so no NaN can slip through the vector minimum and
        // maximum (which would drop it); NaN coordinates fail the comparison and are not filtered either.
        if (!(size < 1e18f))
            return simd::Float4::Zero();
        return simd::Float4::Splat(0.5f * kSlabThickness + static_cast<float>(kSlabBoundsMargin) * size);
    }

    // |x| + |y| + |z| of a vector whose fourth lane is zero, in every lane.
    static simd::Float4 OneNorm(simd::Float4 v) { return simd::HorizontalSum(simd::Abs(v)); }

    // Whether the slab that edge s -> e (apex opposite) would give is surely apart from the reach. Where
    // the apex projects onto the edge the slab is the rectangle on the edge reaching to the apex; where it
    // projects outside, the rectangle centred half way to the apex from the nearer end, as wide as that
    // distance (bounded here by its 1-norm). Near the switch the two shapes nearly agree: the first,
    // grown a little, holds either.
    bool SlabSurelyOutOfReach(const D3DXVECTOR3& s3, const D3DXVECTOR3& e3, const D3DXVECTOR3& apex3, simd::Float4 s,
                              simd::Float4 e, simd::Float4 apex, simd::Float4 margin) const
    {
        using simd::Float4, simd::Min, simd::Max;
        // A zero margin marks coordinates too large to bound; a degenerate edge (t not finite) tells
        // nothing about its slab.
        if (margin.First() == 0)
            return false;
        const D3DXVECTOR3 d3 = e3 - s3;
        const float t = Dot(apex3 - s3, d3) / Dot(d3, d3);
        if (!std::isfinite(t))
            return false;
        const Float4 half = Float4::Splat(0.5f);
        auto apart = [&](Float4 low, Float4 high) {
            return (simd::Bits((high + margin < reachLowF_) | (low - margin > reachHighF_)) & 7) != 0;
        };
        constexpr float kSwitch = 1e-3f;
        const Float4 d = e - s;
        if (t >= -kSwitch && t <= 1 + kSwitch) {
            // Whether or not the apex projects just outside the edge, the slab lies within kSwitch times
            // the edge's length of this rectangle (the two shapes agree where the projection meets an end).
            const Float4 h = apex - (s + d * Float4::Splat(t));
            const Float4 sh = s + h, eh = e + h;
            const Float4 shift = OneNorm(d) * Float4::Splat(kSwitch);
            return apart(Min(Min(s, e), Min(sh, eh)) - shift, Max(Max(s, e), Max(sh, eh)) + shift);
        }
        const Float4 h = apex - (t < 0 ? s : e);
        const Float4 middle = s + (d + h) * half;
        const Float4 grow = simd::Abs(d) * half + OneNorm(h) * half;
        return apart(middle - grow, middle + grow);
    }

    // Whichever edge turns out nearest to the box centre, its slab is apart. When not, outReaching is the
    // first edge (0: AB, 1: BC, 2: CA) whose slab may reach; the ones before it cannot.
    bool SlabsSurelyOutOfReach(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, simd::Float4 va,
                               simd::Float4 vb, simd::Float4 vc, int& outReaching) const
    {
        const simd::Float4 margin = SlabMargin(va, vb, vc);
        if (!SlabSurelyOutOfReach(a, b, c, va, vb, vc, margin))
            outReaching = 0;
        else if (!SlabSurelyOutOfReach(b, c, a, vb, vc, va, margin))
            outReaching = 1;
        else if (!SlabSurelyOutOfReach(c, a, b, vc, va, vb, margin))
            outReaching = 2;
        else
            return true;
        return false;
    }

    /// The three edges' distances to the box centre and slabs, one edge per lane (AB, BC, CA).
    struct EdgeSlabs {
        float distance[4];
        float length[4];
        float width[4];
        float centre[3][4];
        float along[3][4];  ///< unit edge direction
        float across[3][4]; ///< unit normal x along
        int apart = 0;      ///< bit e: edge e's slab lies beyond the reach (when checked)

        /// The slab of edge `lane`, as CreateSlab gives it.
        void Take(int lane, const D3DXVECTOR3& normal, double* outCentre, double* outRotation, double* outSides) const
        {
            for (int r = 0; r < 3; ++r)
                outCentre[r] = centre[r][lane];
            OdeRotationFromAxes({along[0][lane], along[1][lane], along[2][lane]}, normal,
                                {across[0][lane], across[1][lane], across[2][lane]}, outRotation);
            outSides[0] = length[lane];
            outSides[1] = kSlabThickness;
            outSides[2] = std::fabs(width[lane]);
        }
    };

    // PointSegmentDistanceOnly from point to each edge and SlabFromTriangle on each edge, the three at once,
    // with the same operations in the same order (so the same bits). againstReach: also mark the slabs
    // whose bounds miss the plane's reach (which must be known and not empty).
    void ComputeEdgeSlabs(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point,
                          const D3DXVECTOR3& normal, bool againstReach, EdgeSlabs& out) const
    {
        using simd::Float4, simd::Mask4, simd::Select, simd::KeepWhere, simd::AndNot;
        const Float4 sx = Float4::Set(a.x, b.x, c.x, 0), sy = Float4::Set(a.y, b.y, c.y, 0),
                     sz = Float4::Set(a.z, b.z, c.z, 0);
        const Float4 ex = Float4::Set(b.x, c.x, a.x, 0), ey = Float4::Set(b.y, c.y, a.y, 0),
                     ez = Float4::Set(b.z, c.z, a.z, 0);
        const Float4 ax = Float4::Set(c.x, a.x, b.x, 0), ay = Float4::Set(c.y, a.y, b.y, 0),
                     az = Float4::Set(c.z, a.z, b.z, 0);
        const Float4 zero = Float4::Zero(), half = Float4::Splat(0.5f);
        auto length = [](Float4 x, Float4 y, Float4 z) { return simd::Sqrt(x * x + y * y + z * z); };
        auto dot = [](Float4 x1, Float4 y1, Float4 z1, Float4 x2, Float4 y2, Float4 z2) {
            return x1 * x2 + y1 * y2 + z1 * z2;
        };
        const Float4 edgeX = ex - sx, edgeY = ey - sy, edgeZ = ez - sz;
        const Float4 edgeLength = length(edgeX, edgeY, edgeZ);
        const Mask4 positive = edgeLength > zero;
        const Float4 ux = KeepWhere(positive, edgeX / edgeLength);
        const Float4 uy = KeepWhere(positive, edgeY / edgeLength);
        const Float4 uz = KeepWhere(positive, edgeZ / edgeLength);

        // Distance from point: the closest point is the start before it, the end past it, else the foot.
        {
            const Float4 px = Float4::Splat(point.x), py = Float4::Splat(point.y), pz = Float4::Splat(point.z);
            const Float4 t = dot(ux, uy, uz, px - sx, py - sy, pz - sz);
            const Mask4 beforeStart = t < zero;
            const Mask4 pastEnd = AndNot(beforeStart, t > edgeLength);
            auto closest = [&](Float4 s, Float4 e, Float4 u) {
                return Select(beforeStart, s, Select(pastEnd, e, s + u * t));
            };
            length(px - closest(sx, ex, ux), py - closest(sy, ey, uy), pz - closest(sz, ez, uz)).Store(out.distance);
        }

        // The slab: reaching from the edge to the apex's height over it, or, where the apex projects
        // outside the edge, to the apex from the nearer end.
        const Float4 t = dot(ax - sx, ay - sy, az - sz, ux, uy, uz);
        const Mask4 before = t < zero;
        const Mask4 after = AndNot(before, t > edgeLength);
        auto far = [&](Float4 s, Float4 e, Float4 apex, Float4 u) {
            return apex - Select(before, s, Select(after, e, s + u * t));
        };
        const Float4 hx = far(sx, ex, ax, ux), hy = far(sy, ey, ay, uy), hz = far(sz, ez, az, uz);
        const Float4 width = length(hx, hy, hz);
        const Float4 centre[3] = {sx + edgeX * half + hx * half, sy + edgeY * half + hy * half,
                                  sz + edgeZ * half + hz * half};
        edgeLength.Store(out.length);
        width.Store(out.width);
        for (int k = 0; k < 3; ++k)
            centre[k].Store(out.centre[k]);
        ux.Store(out.along[0]);
        uy.Store(out.along[1]);
        uz.Store(out.along[2]);
        const Float4 nx = Float4::Splat(normal.x), ny = Float4::Splat(normal.y), nz = Float4::Splat(normal.z);
        const Float4 cx = ny * uz - nz * uy;
        const Float4 cy = nz * ux - nx * uz;
        const Float4 cz = nx * uy - ny * ux;
        const Float4 crossLength = length(cx, cy, cz);
        const Mask4 crossPositive = crossLength > zero;
        const Float4 across[3] = {KeepWhere(crossPositive, cx / crossLength), KeepWhere(crossPositive, cy / crossLength),
                                  KeepWhere(crossPositive, cz / crossLength)};
        for (int k = 0; k < 3; ++k)
            across[k].Store(out.across[k]);
        if (!againstReach)
            return;
        // Each slab's bounds (half its sides along each of its axes, projected), in single precision with a
        // slack of a few float steps of the magnitudes: far inside the rounding margin of the reach.
        using simd::Abs;
        const Float4 along[3] = {ux, uy, uz};
        const Float4 normalLanes[3] = {nx, ny, nz};
        const Float4 thickness = Float4::Splat(kSlabThickness);
        Mask4 apart = simd::NoLanes();
        for (int k = 0; k < 3; ++k) {
            const Float4 extent = half * (Abs(along[k]) * edgeLength + Abs(normalLanes[k]) * thickness +
                                          Abs(across[k]) * width);
            const Float4 reach = extent + Float4::Splat(1e-6f) * (Abs(centre[k]) + extent);
            apart = apart | (centre[k] + reach < reachLowLanes_[k]) | (centre[k] - reach > reachHighLanes_[k]);
        }
        out.apart = simd::Bits(apart) & 7;
    }

    __attribute__((noinline)) void ComputeReach(const D3DXVECTOR3& n, float d)
    {
        const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
        const double size = half[0] + half[1] + half[2];
        const double level = static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness) + kReachMargin * (1 + size);
        const double (&corner)[8][3] = corners_;
        double above[8];
        for (int i = 0; i < 8; ++i)
            above[i] = n.x * corner[i][0] + n.y * corner[i][1] + n.z * corner[i][2] - level;
        reachEmpty_ = true;
        for (int k = 0; k < 3; ++k) {
            reachLow_[k] = INFINITY;
            reachHigh_[k] = -INFINITY;
        }
        auto include = [&](const double* p) {
            reachEmpty_ = false;
            for (int k = 0; k < 3; ++k) {
                reachLow_[k] = std::min(reachLow_[k], p[k]);
                reachHigh_[k] = std::max(reachHigh_[k], p[k]);
            }
        };
        for (int i = 0; i < 8; ++i) {
            if (above[i] <= 0)
                include(corner[i]);
            // Each of the twelve edges once: from corner i along an axis whose bit i lacks.
            for (int axis = 0; axis < 3; ++axis) {
                const int j = i | (1 << axis);
                if (j == i || (above[i] <= 0) == (above[j] <= 0))
                    continue;
                const double t = above[i] / (above[i] - above[j]);
                double p[3];
                for (int k = 0; k < 3; ++k)
                    p[k] = corner[i][k] + (corner[j][k] - corner[i][k]) * t;
                include(p);
            }
        }
        if (reachEmpty_)
            return;
        const double grow = kReachMargin * (1 + size);
        float low[4], high[4];
        for (int k = 0; k < 3; ++k) {
            reachLow_[k] -= grow;
            reachHigh_[k] += grow;
            // In single precision for the quick test on a triangle's slabs, each bound moved outwards by more
            // than the rounding of the conversion (half a float step, 6e-8 of the value).
            low[k] = static_cast<float>(reachLow_[k] - std::fabs(reachLow_[k]) * 1e-7 - 1e-30);
            high[k] = static_cast<float>(reachHigh_[k] + std::fabs(reachHigh_[k]) * 1e-7 + 1e-30);
        }
        low[3] = -INFINITY; // the unused lane is never apart
        high[3] = INFINITY;
        reachLowF_ = simd::Float4::Load(low);
        reachHighF_ = simd::Float4::Load(high);
        for (int k = 0; k < 3; ++k) {
            reachLowLanes_[k] = simd::Float4::Splat(low[k]);
            reachHighLanes_[k] = simd::Float4::Splat(high[k]);
        }
    }

    static double DistanceSquared(const dContactGeom& a, const dContactGeom& b)
    {
        double sum = 0;
        for (int k = 0; k < 3; ++k)
            sum += (a.pos[k] - b.pos[k]) * (a.pos[k] - b.pos[k]);
        return sum;
    }

    bool Repeats(const dContactGeom& record) const
    {
        for (unsigned long m = 0; m < found_; ++m) {
            const dContactGeom& c = candidates_[m];
            // Most candidates lie elsewhere: the normals are compared only for one at the same point.
            if (!(DistanceSquared(c, record) <= kRepeatedContactDistance * kRepeatedContactDistance))
                continue;
            double turn = 0;
            for (int k = 0; k < 3; ++k)
                turn += (c.normal[k] - record.normal[k]) * (c.normal[k] - record.normal[k]);
            if (turn <= kRepeatedContactTurn * kRepeatedContactTurn)
                return true;
        }
        return false;
    }

    void Write(unsigned long m, const dContactGeom& record)
    {
        std::memcpy(reinterpret_cast<uint8_t*>(contacts_) + m * stride_, &record, sizeof record);
    }

    BoxPose box_;
    D3DXVECTOR3 centre_;
    unsigned long limit_;
    dContactGeom* contacts_;
    unsigned long stride_;
    dGeomID g1_;
    dGeomID g2_;
    Primitives primitives_;
    NormalCache normals_;
    D3DXVECTOR3 reachNormal_;
    D3DXVECTOR3 lastNormal_{NAN, NAN, NAN}; ///< the plane of the previous triangle (NaN: none)
    float lastOffset_ = NAN;
    float reachOffset_ = 0;
    bool reachValid_ = false;
    bool reachEmpty_ = true;
    double reachLow_[3] = {};
    double reachHigh_[3] = {};
    double corners_[8][3];
    simd::Float4 reachLowF_ = simd::Float4::Splat(-INFINITY);
    simd::Float4 reachHighF_ = simd::Float4::Splat(INFINITY);
    simd::Float4 reachLowLanes_[3];  ///< the same bounds, one coordinate in all four lanes
    simd::Float4 reachHighLanes_[3];
    dContactGeom candidates_[kMaxBoxCandidates + 1]; ///< one beyond the most held, for the record in the making
    unsigned long found_ = 0;
    unsigned long written_ = 0;
    D3DXVECTOR3 sunkNormal_{NAN, NAN, NAN}; ///< the plane of the sunk corners below (NaN: none yet)
    float sunkOffset_ = NAN;
    int sunkCount_ = 0;
    int sunkCorner_[8];
    double sunkDepth_[8];
};

/// A box against a list of world-space triangles (nine floats each); returns the contacts written.
unsigned long CollideBoxVsTriangles(const BoxPose& box, std::span<const float> triangles, unsigned long limit,
                                    dContactGeom* contacts, unsigned long stride);

} // namespace vex::collision
