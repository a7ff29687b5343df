#pragma once
// Sphere against world-space triangles: one push-out vector for all triangles the sphere touches. Face
// pushes (centre over a triangle's interior) add up, so a sphere in a concave corner is pushed along the
// sum of the face normals; edge and vertex pushes do not add, only the longest counts, and only when it is
// longer than the summed face push.
//
// Per triangle, in order:
//   1. quick rejections: the triangle's bounding box out of reach, then the triangle itself surely out of
//      reach (SphereTriangleAccumulator.cpp; four triangles side by side);
//   2. exact tests (SpherePushes.cpp): facing and depth, the face push, else the edges it lies behind
//      (with the free tests, deferred until every face has pushed, and skipped when surely no longer);
//   3. choice, at GetContact: the faces' sum or the longest edge push.

#include "body/collision/SpherePrimitives.h"

namespace vex::collision {

/// The one contact of a sphere: normal from the sphere into the mesh, position on the sphere's surface in
/// the direction of the normal, depth the length of the combined push.
struct SphereContact {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    float depth = 0;
};

/// Collects the pushes of the triangles offered to it; GetContact combines them.
class SphereTriangleAccumulator {
public:
    SphereTriangleAccumulator(const D3DXVECTOR3& centre, float radius, const SphereColliderSettings& settings = {});

    /// One triangle in world space; its front side is (b - a) x (c - a).
    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c);
    /// `count` triangles as nine floats each (x, y, z of each vertex), followed by one more readable float.
    void AddTriangles(const float* triangles, size_t count);

    /// False when nothing pushes the sphere.
    bool GetContact(SphereContact& out);

private:
    /// What the second quick rejection judges a triangle a, b, c by (k = (b - a) x (c - a), edges e1 = b - a
    /// and e2 = c - a).
    struct Reach {
        float kk;    ///< k . k
        float e1e1;  ///< e1 . e1
        float e2e2;  ///< e2 . e2
        float h;     ///< k . (centre - a)
        float s[3];  ///< per edge from -> to (ab, bc, ca): m . (centre - from), m = (to - from) x k
        float mm[3]; ///< m . m
    };

    /// Up to four triangles' measures, a row of four lanes each: those of the bounds test and of Reach, and the
    /// edges and unit normal the pushes take.
    struct FourMeasures {
        float gapSquared[4], size[4], e1[3][4], e2[3][4], n[3][4], kk[4], e1e1[4], e2e2[4], h[4], s[3][4], mm[3][4];
    };

    void AddMeasured(const float* v, int count);
    void MeasureFour(const TriangleLanes& t, FourMeasures& out) const;
    bool BoundsTooFar(float gapSquared, float size) const;
    bool SurelyOutOfReach(const Reach& reach, float size) const;

    // The exact tests (SpherePushes.cpp).
    void AddPushes(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& e1,
                   const D3DXVECTOR3& e2, const D3DXVECTOR3& n, float gapSquared, float size);
    void TestPendingEdges(float faceLength);
    void TestEdge(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3& n, float faceLength);
    bool OutsideCube(float a, float b, float centre) const;
    bool SurelyNoLongerPush(const D3DXVECTOR3& from, const D3DXVECTOR3& to, float longest) const;

    /// Triangles whose edges wait, as a, b, c, the unit normal, the square of the centre's distance to the
    /// triangle's bounding box and the coordinates' largest magnitude (fourteen floats; left uninitialised).
    static constexpr int kMaxPending = 32;

    D3DXVECTOR3 centre_;
    float radius_;
    const SpherePrimitives* primitives_; ///< null: the free tests
    bool quickRejections_;
    D3DXVECTOR3 facePush_;
    D3DXVECTOR3 edgePush_;
    float edgePushLength_ = 0; ///< Length(edgePush_)
    float pending_[kMaxPending][14];
    int pendingCount_ = 0;
    simd::Float4 centreSize_;
};

} // namespace vex::collision
