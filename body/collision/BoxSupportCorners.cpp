#include "body/collision/BoxSupportCorners.h"

#include "body/collision/CollisionConstants.h"

#include <algorithm>

namespace vex::collision {
namespace {

// Whether the point, dropped along n onto the triangle's plane, lands inside the triangle (edges included).
bool OverTriangle(const double* p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                  const D3DXVECTOR3& n)
{
    const D3DXVECTOR3* const v[3] = {&a, &b, &c};
    for (int i = 0; i < 3; ++i) {
        const D3DXVECTOR3& s = *v[i];
        const D3DXVECTOR3& e = *v[(i + 1) % 3];
        const double edge[3] = {double(e.x) - s.x, double(e.y) - s.y, double(e.z) - s.z};
        const double to[3] = {p[0] - s.x, p[1] - s.y, p[2] - s.z};
        const double side = n.x * (edge[1] * to[2] - edge[2] * to[1]) + n.y * (edge[2] * to[0] - edge[0] * to[2]) +
                            n.z * (edge[0] * to[1] - edge[1] * to[0]);
        if (side < 0)
            return false;
    }
    return true;
}

} // namespace

int SupportCorners::Find(const dContactGeom& contact, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                         const D3DXVECTOR3& n, float d, const double* (&outCorner)[8], double (&outDepth)[8])
{
    const double facing = contact.normal[0] * n.x + contact.normal[1] * n.y + contact.normal[2] * n.z;
    if (!(facing <= -kSupportFaceAlignment))
        return 0;
    if (!(n == sunkNormal_ && d == sunkOffset_))
        FindSunk(n, d);
    // A sunk corner lies within the slab's thickness of the plane, so one outside the triangle's bounds
    // grown by that much cannot stand over it: most corners of a box on a fine grid leave here.
    const double grow = kSlabThickness + contact.depth;
    const double low[3] = {std::min({a.x, b.x, c.x}) - grow, std::min({a.y, b.y, c.y}) - grow,
                           std::min({a.z, b.z, c.z}) - grow};
    const double high[3] = {std::max({a.x, b.x, c.x}) + grow, std::max({a.y, b.y, c.y}) + grow,
                            std::max({a.z, b.z, c.z}) + grow};
    int count = 0;
    for (int s = 0; s < sunkCount_; ++s) {
        const double* corner = corners_[sunkCorner_[s]];
        const double depth = sunkDepth_[s];
        if (!(depth <= contact.depth))
            continue;
        if (corner[0] < low[0] || corner[0] > high[0] || corner[1] < low[1] || corner[1] > high[1] ||
            corner[2] < low[2] || corner[2] > high[2] || !OverTriangle(corner, a, b, c, n))
            continue;
        outCorner[count] = corner;
        outDepth[count++] = depth;
    }
    return count;
}

// The corners of the box below the top of the slabs in the plane n.x = d, with their depths. The
// triangles of a flat patch share one plane, so this is worked out once for them all.
void SupportCorners::FindSunk(const D3DXVECTOR3& n, float d)
{
    sunkNormal_ = n;
    sunkOffset_ = d;
    sunkCount_ = 0;
    const double top = static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness);
    for (int i = 0; i < 8; ++i) {
        const double* corner = corners_[i];
        const double depth = top - (n.x * corner[0] + n.y * corner[1] + n.z * corner[2]);
        if (depth > 0) {
            sunkCorner_[sunkCount_] = i;
            sunkDepth_[sunkCount_++] = depth;
        }
    }
}

} // namespace vex::collision
