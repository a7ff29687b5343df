#include "body/collision/BoxPrimitives.h"

#include "body/collision/BoxBox.h"

#include <cstring>

namespace vex::collision {

D3DXMATRIX BoxPose::Matrix() const
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = static_cast<float>(rotation[r]);
        m.m[r][1] = static_cast<float>(rotation[4 + r]);
        m.m[r][2] = static_cast<float>(rotation[8 + r]);
        m.m[r][3] = 0;
    }
    m.m[3][0] = static_cast<float>(centre[0]);
    m.m[3][1] = static_cast<float>(centre[1]);
    m.m[3][2] = static_cast<float>(centre[2]);
    m.m[3][3] = 1;
    return m;
}

float BoxPrimitives::PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point) const
{
    return collision::PointSegmentDistanceOnly(a, b, point);
}

void BoxPrimitives::CreateSlab(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                               const D3DXVECTOR3& normal, double* centre, double* rotation, double* sides) const
{
    const Slab slab = SlabFromTriangle(edgeStart, edgeEnd, apex, normal);
    std::memcpy(centre, slab.centre, sizeof slab.centre);
    std::memcpy(sides, slab.sides, sizeof slab.sides);
    OdeRotationFromAxes(slab.axes[0], slab.axes[1], slab.axes[2], rotation);
}

int BoxPrimitives::BoxBox(const double* p1, const double* R1, const double* side1, const double* p2, const double* R2,
                          const double* side2, double* normal, double* depth, int* code, dContactGeom* contact) const
{
    return collision::BoxBox(p1, R1, side1, p2, R2, side2, normal, depth, code, contact);
}

} // namespace vex::collision
