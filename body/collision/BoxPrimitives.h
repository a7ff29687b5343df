#pragma once
// What the box collider is given: the box's pose, the primitive steps a derived body channel may
// override, and the settings that switch the quick rejections.

#include "body/collision/CollisionGeometry.h"

#include <ode/collision.h>

namespace vex::collision {

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

/// The collider's primitive steps, for a body channel whose derived class overrides them; each default
/// is the free function of this folder.
class BoxPrimitives {
public:
    virtual ~BoxPrimitives() = default;
    virtual float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point) const;
    virtual void CreateSlab(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                            const D3DXVECTOR3& normal, double* centre, double* rotation, double* sides) const;
    /// Writes at most kBoxBoxScratchContacts records into contact; returns how many.
    virtual int BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
                       const double* side2, double* normal, double* depth, int* code, dContactGeom* contact) const;
};

struct BoxColliderSettings {
    /// The rejections in front of the box test: the box clear of the triangle's plane, the slabs' bounds
    /// clear of the part of the box that can reach the plane. They change no contact (tests switch them
    /// off to show it); they are off whenever primitives are given.
    bool quickRejections = true;
    /// A channel's own primitive steps, each triangle's slab and box test through them; null: the free
    /// functions, with the three edges' slabs worked out side by side. With a derived channel's own
    /// steps the slab may be larger than the quick rejections assume, so they are not used.
    const BoxPrimitives* primitives = nullptr;
};

} // namespace vex::collision
