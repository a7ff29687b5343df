#pragma once
// Separating-axis test of two oriented boxes in double precision on ODE's layouts: box centres (three
// doubles), rotations (dMatrix3, column i is the box's axis i) and full side lengths.

#include <ode/collision.h>

namespace vex::collision {

/// 0 when the boxes are separated (outNormal, outDepth and contact untouched; outCode holds the last axis
/// chosen before the separating one). 1 when they overlap: outNormal (unit) points from box 1 to box 2,
/// outDepth is the penetration along it, outCode the axis (1-3 faces of box 1, 4-6 faces of box 2, 7-15
/// edge pairs) and contact->pos / contact->depth hold the single contact point: for a face axis the
/// other box's deepest corner, moved onto the face's rectangle; for an edge pair the midpoint of the
/// closest points of the two edge lines. Non-finite input, where
/// no axis can be chosen, gives 0.
int BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
           const double* side2, double* outNormal, double* outDepth, int* outCode, dContactGeom* contact);

/// Parameters of the mutually closest points of the lines pa + alpha ua and pb + beta ub (unit
/// directions); both 0 for exactly parallel lines.
void LineClosestApproach(const double* pa, const double* ua, const double* pb, const double* ub, double* outAlpha,
                         double* outBeta);

} // namespace vex::collision
