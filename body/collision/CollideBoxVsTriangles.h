#pragma once
// Box against a list of world-space triangles: the box collider (BoxTriangleCollector.h) on its own.

#include "body/collision/BoxTriangleCollector.h"

#include <span>

namespace vex::collision {

/// A box against a list of world-space triangles (nine floats each); returns the contacts written.
unsigned long CollideBoxVsTriangles(const BoxPose& box, std::span<const float> triangles, unsigned long limit,
                                    dContactGeom* contacts, unsigned long stride);

} // namespace vex::collision
