#pragma once
// What the sphere collider is given besides the sphere: the primitive tests a derived body channel may
// override, and the settings that switch the quick rejections.

#include "body/collision/CollisionGeometry.h"

namespace vex::collision {

/// The collider's primitive tests, for a body channel whose derived class overrides them; each default
/// is the free function of this folder.
class SpherePrimitives {
public:
    virtual ~SpherePrimitives() = default;
    virtual bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                                    const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0) const
    {
        return collision::RayThroughTriangle(deepPoint, centre, edge1, edge2, vertex0);
    }
    virtual bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                  const D3DXVECTOR3& point) const
    {
        return collision::PointBehindPlane(a, b, c, point);
    }
    virtual bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                                   D3DXVECTOR3& ioPush) const
    {
        return collision::SphereSegmentPush(a, b, centre, radius, ioPush);
    }
};

struct SphereColliderSettings {
    /// The rejections that rest on the free tests' exact behaviour: a triangle surely out of reach, an
    /// edge surely no longer than the push already found (its test deferred until every face has pushed).
    /// They change no contact (tests switch them off to show it); they are off whenever primitives are
    /// given. The bounding-box rejection holds for any tests and is always on.
    bool quickRejections = true;
    /// A channel's own primitive tests, called for each triangle's face and edges; null: the free ones.
    const SpherePrimitives* primitives = nullptr;
};

} // namespace vex::collision
