#pragma once
// A box lying on a triangle's face meets it along a whole face, yet the box test gives one point: the
// deepest corner, which for a nearly flat box flips between opposite corners with the slightest tilt.
// Every triangle under the box then supports it on the same side, it tips the other way, and the next
// step's contacts all jump there: the box rocks and creeps. So when the contact pushes straight out of
// the triangle's face, every other corner of the box that also sinks into the slab and stands over the
// triangle itself is a contact too, with its own depth: the support stays the face, whatever the tilt.

#include "body/collision/CollisionGeometry.h"

#include <ode/collision.h>

namespace vex::collision {

class SupportCorners {
public:
    explicit SupportCorners(const double (&corners)[8][3]) : corners_(corners) {}

    /// The corners, other than the contact's own, that support the box on the triangle a, b, c (unit
    /// normal n, plane n.x = d) along with the contact, and their depths; returns how many (none unless
    /// the contact pushes straight out of the face).
    int Find(const dContactGeom& contact, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
             const D3DXVECTOR3& n, float d, const double* (&outCorner)[8], double (&outDepth)[8]);

private:
    void FindSunk(const D3DXVECTOR3& n, float d);

    const double (&corners_)[8][3];
    D3DXVECTOR3 sunkNormal_{NAN, NAN, NAN}; ///< the plane of the sunk corners below (NaN: none yet)
    float sunkOffset_ = NAN;
    int sunkCount_ = 0;
    int sunkCorner_[8];
    double sunkDepth_[8];
};

} // namespace vex::collision
