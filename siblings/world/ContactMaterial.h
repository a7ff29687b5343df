#pragma once
// Surface values of a contact from the two items that meet. The body channel keeps auxValue1 and
// auxValue2 of its items without reading them; the world reads them as friction and bounce.

class ODE_GeometryItem;

namespace vex::world {

struct ContactMaterial {
    double friction; ///< Coulomb coefficient (ODE's friction-pyramid approximation)
    double bounce;   ///< restitution, 0 to 1
};

/// Friction: the geometric mean sqrt(f1 * f2) of the two items' auxValue1 (a slippery side makes the
/// contact slippery; equal values give that value); negative and non-finite values count as 0. Bounce: the larger
/// auxValue2, limited to 0..1. A geom without an item takes the item defaults (0.5, 0.1).
ContactMaterial CombineMaterials(const ODE_GeometryItem* a, const ODE_GeometryItem* b);

} // namespace vex::world
