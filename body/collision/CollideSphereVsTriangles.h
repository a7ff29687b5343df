#pragma once
// Sphere against world-space triangles: one push-out vector for all triangles the sphere touches. Face
// pushes (centre over a triangle's interior) add up, so a sphere in a concave corner is pushed along the
// sum of the face normals; edge and vertex pushes do not add, only the longest counts, and only when it is
// longer than the summed face push.

#include "body/collision/CollisionConstants.h"
#include "body/collision/CollisionGeometry.h"

#include <cmath>
#include <span>

namespace vex::collision {

/// The one contact of a sphere: normal from the sphere into the mesh, position on the sphere's surface in
/// the direction of the normal, depth the length of the combined push.
struct SphereContact {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    float depth = 0;
};

/// The primitive tests as free functions; the body channel substitutes its own virtual methods.
struct FreeSpherePrimitives {
    bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                            const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0) const
    {
        return collision::RayThroughTriangle(deepPoint, centre, edge1, edge2, vertex0);
    }
    bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                          const D3DXVECTOR3& point) const
    {
        return collision::PointBehindPlane(a, b, c, point);
    }
    bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                           D3DXVECTOR3& ioPush) const
    {
        return collision::SphereSegmentPush(a, b, centre, radius, ioPush);
    }
};

/// Collects the pushes of the triangles offered to it; GetContact combines them.
template <class Primitives = FreeSpherePrimitives>
class SphereTriangleAccumulator {
public:
    SphereTriangleAccumulator(const D3DXVECTOR3& centre, float radius, Primitives primitives = {})
        : centre_(centre), radius_(radius), primitives_(primitives)
    {
    }

    /// One triangle in world space; its front side is (b - a) x (c - a).
    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
    {
        const D3DXVECTOR3 e1 = b - a;
        const D3DXVECTOR3 e2 = c - a;
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        D3DXVec3Normalize(&n, &n);
        // One-sided: the centre must lie in front of the face; a degenerate triangle (n = 0) never does.
        const float distance = D3DXVec3Dot(&n, &centre_) - D3DXVec3Dot(&n, &a);
        if (!(distance >= kTriangleFrontEpsilon))
            return;
        const float penetration = radius_ - distance;
        if (penetration < 0)
            return;
        const D3DXVECTOR3 deepPoint = centre_ - n * radius_;
        if (primitives_.RayThroughTriangle(deepPoint, centre_, e1, e2, a))
            facePush_ += n * penetration;
        // Edges run whatever the face test gave: the centre may be over this face and still touch an edge.
        if (primitives_.PointBehindPlane(a, b, b - n, centre_))
            primitives_.SphereSegmentPush(a, b, centre_, radius_, edgePush_);
        if (primitives_.PointBehindPlane(b, c, c - n, centre_))
            primitives_.SphereSegmentPush(b, c, centre_, radius_, edgePush_);
        if (primitives_.PointBehindPlane(c, a, a - n, centre_))
            primitives_.SphereSegmentPush(c, a, centre_, radius_, edgePush_);
    }

    /// False when nothing pushes the sphere.
    bool GetContact(SphereContact& out) const
    {
        const float faceLength = D3DXVec3Length(&facePush_);
        const float edgeLength = D3DXVec3Length(&edgePush_);
        const D3DXVECTOR3& push = edgeLength > faceLength ? edgePush_ : facePush_;
        if (push.x == 0 && push.y == 0 && push.z == 0)
            return false;
        const float length = D3DXVec3Length(&push);
        // A push so short that its square underflows has no direction.
        if (!(length > 0) || !std::isfinite(length))
            return false;
        const D3DXVECTOR3 n = push * (1.0f / length);
        out.position = centre_ - n * radius_;
        out.normal = -n;
        out.depth = length;
        return true;
    }

private:
    D3DXVECTOR3 centre_;
    float radius_;
    Primitives primitives_;
    D3DXVECTOR3 facePush_;
    D3DXVECTOR3 edgePush_;
};

/// Half-size of the sphere's query cube: radius * sqrt(2), computed as sqrt(2 r^2) in single precision.
inline float SphereQueryHalfSize(float radius) { return std::sqrt(radius * radius * kSphereQueryScaleSquared); }

/// A sphere against a list of world-space triangles (nine floats each); false when nothing touches it.
bool CollideSphereVsTriangles(const D3DXVECTOR3& centre, float radius, std::span<const float> triangles,
                              SphereContact& out);

} // namespace vex::collision
