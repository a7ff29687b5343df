#pragma once
// The body channel's primitive methods as the colliders' primitives: for a derived channel, whose
// overrides must decide its contacts. Each method gets copies (the methods take non-const references).

#include "body/Tvc_ODE_BodyCollision.h"
#include "body/collision/BoxPrimitives.h"
#include "body/collision/CollisionConstants.h"
#include "body/collision/SpherePrimitives.h"

namespace vex::collision {

class ChannelSpherePrimitives final : public SpherePrimitives {
public:
    explicit ChannelSpherePrimitives(Tvc_ODE_BodyCollision* body) : body_(body) {}

    bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                            const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0) const override
    {
        D3DXVECTOR3 p = deepPoint, o = centre, e1 = edge1, e2 = edge2, v0 = vertex0;
        return body_->SphereTriangleCollision(p, o, e1, e2, v0);
    }
    bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                          const D3DXVECTOR3& point) const override
    {
        D3DXVECTOR3 pa = a, pb = b, p = point;
        return body_->GetIfPlaneContainsPoint(pa, pb, c, p);
    }
    bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                           D3DXVECTOR3& ioPush) const override
    {
        D3DXVECTOR3 pa = a, pb = b, o = centre;
        return body_->SphereEdgeCollision(pa, pb, o, ioPush, radius);
    }

private:
    Tvc_ODE_BodyCollision* body_;
};

class ChannelBoxPrimitives final : public BoxPrimitives {
public:
    explicit ChannelBoxPrimitives(Tvc_ODE_BodyCollision* body) : body_(body) {}

    float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point) const override
    {
        D3DXVECTOR3 pa = a, pb = b, p = point, direction;
        return body_->GetPointEdgeDistance(pa, pb, p, direction);
    }
    void CreateSlab(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                    const D3DXVECTOR3& normal, double* centre, double* rotation, double* sides) const override
    {
        D3DXVECTOR3 s = edgeStart, e = edgeEnd, x = apex, n = normal;
        body_->CreateBoxFromPoly(s, e, x, centre, rotation, sides, n);
    }
    int BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
               const double* side2, double* normal, double* depth, int* code, dContactGeom* contact) const override
    {
        return body_->dBoxBox(p1, R1, side1, p2, R2, side2, normal, depth, code, kBoxBoxScratchContacts, contact,
                              static_cast<int>(sizeof(dContactGeom)));
    }

private:
    Tvc_ODE_BodyCollision* body_;
};

} // namespace vex::collision
