#pragma once
// Which of the box collider's candidate contacts to keep when there are more than it may write: a
// spread over the box rather than the first ones found (those would be whichever triangles the mesh lists
// first, often all on one side of a resting box, which then tips and rocks).

#include <ode/collision.h>

namespace vex::collision {

inline double ContactDistanceSquared(const dContactGeom& a, const dContactGeom& b)
{
    double sum = 0;
    for (int k = 0; k < 3; ++k)
        sum += (a.pos[k] - b.pos[k]) * (a.pos[k] - b.pos[k]);
    return sum;
}

/// The first `count` (at most `found`, which is at most kMaxBoxCandidates + 1) of the candidates in the
/// order of choice, as indices into order: the deepest (the first of equals), then the one farthest from
/// it, then the one farthest from the line through those two, then the one farthest beyond that line on
/// the other side, then each time the one farthest from those already chosen (again the first of
/// equals). The first four span the widest support they can: on a box lying on a face, its corners,
/// whichever of them happens to lie deepest by a hair.
void ChooseSpread(const dContactGeom* candidates, unsigned long found, unsigned long count, unsigned long* order);

} // namespace vex::collision
