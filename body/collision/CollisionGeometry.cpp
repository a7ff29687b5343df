#include "body/collision/CollisionGeometry.h"

#include "body/collision/CollisionConstants.h"

#include <cmath>
#include <limits>

namespace vex::collision {
namespace {

QueryBox EmptyBox()
{
    const float inf = std::numeric_limits<float>::infinity();
    return {{inf, inf, inf}, {-inf, -inf, -inf}};
}

} // namespace

bool IsIdentity(const D3DXMATRIX& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m.m[r][c] != (r == c ? 1.0f : 0.0f))
                return false;
    return true;
}

QueryBox TransformedBounds(const D3DXVECTOR3& low, const D3DXVECTOR3& high, const D3DXMATRIX& t)
{
    // For an affine matrix and finite corners the homogeneous w is exactly 1 and dividing by it changes no
    // bit: the transform is then written out (the same operations in the same order), without the calls
    // and the divisions.
    const bool affine = t._14 == 0 && t._24 == 0 && t._34 == 0 && t._44 == 1 && std::isfinite(low.x) &&
                        std::isfinite(low.y) && std::isfinite(low.z) && std::isfinite(high.x) &&
                        std::isfinite(high.y) && std::isfinite(high.z);
    QueryBox box{};
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR3 corner((i & 1) ? high.x : low.x, (i & 2) ? high.y : low.y, (i & 4) ? high.z : low.z);
        D3DXVECTOR3 p;
        if (affine) {
            p.x = corner.x * t._11 + corner.y * t._21 + corner.z * t._31 + t._41;
            p.y = corner.x * t._12 + corner.y * t._22 + corner.z * t._32 + t._42;
            p.z = corner.x * t._13 + corner.y * t._23 + corner.z * t._33 + t._43;
        } else {
            D3DXVec3TransformCoord(&p, &corner, &t);
        }
        if (i == 0) {
            box.min = box.max = p;
            continue;
        }
        if (box.min.x > p.x) box.min.x = p.x;
        if (box.min.y > p.y) box.min.y = p.y;
        if (box.min.z > p.z) box.min.z = p.z;
        if (box.max.x < p.x) box.max.x = p.x;
        if (box.max.y < p.y) box.max.y = p.y;
        if (box.max.z < p.z) box.max.z = p.z;
    }
    return box;
}

QueryBox SphereQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXVECTOR3& centre, float halfSize)
{
    const D3DXVECTOR3 extent(halfSize, halfSize, halfSize);
    const QueryBox world{centre - extent, centre + extent};
    if (IsIdentity(objectMatrix))
        return world;
    D3DXMATRIX inverse;
    // A singular object matrix squashes the mesh flat: no local box corresponds to the query.
    if (!D3DXMatrixInverse(&inverse, nullptr, &objectMatrix))
        return EmptyBox();
    return TransformedBounds(world.min, world.max, inverse);
}

QueryBox BoxQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXMATRIX& boxMatrix, const double* lengths)
{
    const D3DXVECTOR3 high(static_cast<float>(lengths[0] * 0.5), static_cast<float>(lengths[1] * 0.5),
                           static_cast<float>(lengths[2] * 0.5));
    const D3DXVECTOR3 low(static_cast<float>(-lengths[0] * 0.5), static_cast<float>(-lengths[1] * 0.5),
                          static_cast<float>(-lengths[2] * 0.5));
    // Multiplying by the identity and its inverse changes no bit, so the common case skips both.
    if (IsIdentity(objectMatrix))
        return TransformedBounds(low, high, boxMatrix);
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &objectMatrix))
        return EmptyBox();
    D3DXMATRIX boxToLocal;
    D3DXMatrixMultiply(&boxToLocal, &boxMatrix, &inverse);
    return TransformedBounds(low, high, boxToLocal);
}

} // namespace vex::collision
