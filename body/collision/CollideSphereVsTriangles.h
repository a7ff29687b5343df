#pragma once
// Sphere against a list of world-space triangles: the sphere collider (SphereTriangleAccumulator.h) on
// its own.

#include "body/collision/SphereTriangleAccumulator.h"

#include <span>

namespace vex::collision {

/// A sphere against a list of world-space triangles (nine floats each); false when nothing touches it.
bool CollideSphereVsTriangles(const D3DXVECTOR3& centre, float radius, std::span<const float> triangles,
                              SphereContact& out);

} // namespace vex::collision
