#include "siblings/world/ContactMaterial.h"

#include "body/ODE_GeometryItem.h"

#include <algorithm>
#include <cmath>

namespace vex::world {

namespace {

// An item's own defaults, for geoms that carry none.
constexpr double kDefaultFriction = 0.5;
constexpr double kDefaultBounce = 0.1;

double NonNegative(double v) { return std::isfinite(v) && v > 0 ? v : 0; }

} // namespace

ContactMaterial CombineMaterials(const ODE_GeometryItem* a, const ODE_GeometryItem* b)
{
    const double f1 = a ? NonNegative(a->auxValue1) : kDefaultFriction;
    const double f2 = b ? NonNegative(b->auxValue1) : kDefaultFriction;
    const double r1 = a ? NonNegative(a->auxValue2) : kDefaultBounce;
    const double r2 = b ? NonNegative(b->auxValue2) : kDefaultBounce;
    ContactMaterial m;
    m.friction = std::sqrt(f1 * f2);
    m.bounce = std::min(1.0, std::max(r1, r2));
    return m;
}

} // namespace vex::world
