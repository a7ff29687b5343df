#pragma once
// Checks that keep values ODE cannot take away from it. ODE stops the process (an internal assertion)
// when it meets a rotation or quaternion it cannot normalise or a mass it cannot invert, and a body whose
// state overflows in one step ends up there in the next one. So inputs are checked before they are turned
// into ODE objects, and a body's state is checked before it is stepped.

#include "body/ODE_GeometryItem.h"
#include "platform/D3DXMath.h"

#include <ode/ode.h>

namespace vex::body {

/// All sixteen values finite and the lengths of the three rows (the scale taken out of the matrix) finite.
bool MatrixIsUsable(const D3DXMATRIX& m);

/// Mass, radius, size, offset and rotation of the item finite, its offset within kOffsetLimit, and its box
/// edges scaled by `scale` finite.
/// Signs are not judged here: zero or negative sizes and masses are built as shapes without mass.
bool ItemIsFinite(const ODE_GeometryItem& item, const D3DXVECTOR3& scale);

/// Turns the ODE rotation R (three rows of four) into one ODE can take for a body. ODE orthogonalises a
/// body's rotation itself and stops the process when its first row, or its second row less the part along
/// the first, has no length: a matrix scaled to zero along an axis, or with two parallel axes. Such rows are
/// replaced by the cross product of the others, or by any perpendicular; rows ODE can use stay as they are.
void MakePlaceableRotation(dReal* R);

/// The checks ODE makes before it takes a body's mass (and stops the process when they fail): a positive
/// mass, a positive definite inertia, and an inertia consistent with the centre of mass. All finite, and
/// the inverses of mass and inertia that ODE steps with finite too.
bool MassIsUsable(const dMass& mass);

/// The ODE body's position, quaternion, velocities and accumulated force and torque are finite and within
/// kStateLimit, and its quaternion has a length ODE can normalise. Such a body survives one step.
bool BodyStateIsSound(dBodyID body);

} // namespace vex::body
