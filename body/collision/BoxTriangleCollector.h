#pragma once
// Box against world-space triangles. Each triangle that faces the box centre is replaced by a thin slab
// built on its edge nearest the centre, and the box is tested against the slab with the separating-axis
// test: at most one contact per triangle (and the corners that support the box with it on a face).
//
// Per triangle, in order:
//   1. facing: the box centre must lie in front of the triangle (AddTriangle);
//   2. quick rejections (BoxPlaneReach.h): the box clear of the plane, or the slabs clear of the part of
//      the box that can reach it;
//   3. exact test (BoxSlabContact.cpp): the nearest edge's slab (BoxEdgeSlabs.h) and the box test;
//   4. choice: repeats dropped, support corners added (BoxSupportCorners.h), and, at Finish, a spread of
//      the candidates written (BoxContactSpread.h).
// On a flat patch whose plane's reach is known, steps 1 and 2 run for four triangles side by side
// (AddFourOnReachPlane). The triangles that pass them wait, up to four, and take step 3's slabs side by
// side, then the box tests in order: nothing the first two steps decide depends on step 3, and the plane
// reach step 3 may use is never changed while a triangle that uses it waits.

#include "body/collision/BoxPlaneReach.h"
#include "body/collision/BoxPrimitives.h"
#include "body/collision/BoxSupportCorners.h"
#include "body/collision/CollisionConstants.h"

namespace vex::collision {

/// Gathers the contacts of the triangles offered to it and writes at most `limit` of them into a caller's
/// ODE contact array, record m at byte offset m * stride. When there are more than the limit, the written
/// ones are spread over the box (BoxContactSpread.h). At most kMaxBoxCandidates are held at once; one
/// more thins them to a spread chosen the same way, so the deepest and the outermost are never lost.
class BoxTriangleCollector {
public:
    BoxTriangleCollector(const BoxPose& box, unsigned long limit, dContactGeom* contacts, unsigned long stride,
                         dGeomID g1, dGeomID g2, const BoxColliderSettings& settings = {});
    BoxTriangleCollector(const BoxTriangleCollector&) = delete;
    BoxTriangleCollector& operator=(const BoxTriangleCollector&) = delete;

    /// One triangle in world space; its front side is (b - a) x (c - a).
    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c);
    /// `count` triangles as nine floats each (x, y, z of each vertex), followed by one more readable float.
    void AddTriangles(const float* triangles, size_t count);

    /// Writes the chosen contacts; returns how many (at most the limit).
    unsigned long Finish();

    unsigned long Count() const { return written_; }
    /// True when no contact can be kept (a limit of 0): the caller may stop offering triangles.
    bool IsFull() const { return limit_ == 0; }

private:
    void AddTriangle(const float* v);
    bool AddFourOnReachPlane(const float* v);
    bool QuicklyRejected(const float* v, const D3DXVECTOR3& e1, const D3DXVECTOR3& e2, const D3DXVECTOR3& cross,
                         const D3DXVECTOR3& n, float planeOffset, int& reachingEdge, bool& useReach);

    // The exact stage (BoxSlabContact.cpp).
    void Wait(const float* v, const D3DXVECTOR3& n, float planeOffset, int reachingEdge, bool useReach);
    void TestWaiting();
    void AddSlabContactThroughPrimitives(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                         const D3DXVECTOR3& n, float planeOffset);
    void BoxTest(const double* slabCentre, const double* slabRotation, const double* slabSides, const D3DXVECTOR3& a,
                 const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& n, float planeOffset);
    void BoxTestThroughPrimitives(const double* slabCentre, const double* slabRotation, const double* slabSides,
                                  const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                  const D3DXVECTOR3& n, float planeOffset);
    void AddSupportCorners(const dContactGeom& contact, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                           const D3DXVECTOR3& c, const D3DXVECTOR3& n, float planeOffset);
    void Complete(dContactGeom& record, const double* normal) const;

    // The candidates.
    bool Repeats(const dContactGeom& record) const;
    void Keep();
    void Thin();
    void Write(unsigned long m, const dContactGeom& record);

    BoxPose box_;
    D3DXVECTOR3 centre_;
    unsigned long limit_;
    dContactGeom* contacts_;
    unsigned long stride_;
    dGeomID g1_;
    dGeomID g2_;
    const BoxPrimitives* primitives_;
    bool quickRejections_;
    bool fourOnPlane_ = false; ///< the last plane came again: the next four triangles may lie in it
    NormalCache normals_;
    PlaneReach reach_;
    SupportCorners support_;
    /// A triangle past the quick stages, waiting for the exact one: its vertices (in the caller's list, which
    /// outlives the wait), its plane, the first edge whose slab may reach (or -1), and whether its slab may
    /// be checked against the plane's reach first.
    struct Waiting {
        const float* vertices;
        D3DXVECTOR3 normal;
        float planeOffset;
        int reachingEdge;
        bool useReach;
    };
    Waiting waiting_[4];
    int waitingCount_ = 0;
    dContactGeom candidates_[kMaxBoxCandidates + 1]; ///< one beyond the most held, for the record in the making
    unsigned long found_ = 0;
    unsigned long written_ = 0;
};

} // namespace vex::collision
