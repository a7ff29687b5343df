#include "body/collision/CollisionGeometry.h"

#include "body/collision/CollisionConstants.h"

#include <array>
#include <cmath>
#include <limits>

namespace vex::collision {
namespace {

QueryBox EmptyBox()
{
    const float inf = std::numeric_limits<float>::infinity();
    return {{inf, inf, inf}, {-inf, -inf, -inf}};
}

using Vector = std::array<double, 3>;

Vector CrossProduct(const Vector& a, const Vector& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double SquaredLength(const Vector& v) { return v[0] * v[0] + v[1] * v[1] + v[2] * v[2]; }

// The longest of the cross products of the three pairs of vectors, and its squared length.
Vector LongestCross(const Vector (&v)[3], double& squared)
{
    Vector best{};
    squared = 0;
    for (int i = 0; i < 3; ++i) {
        const Vector c = CrossProduct(v[i], v[(i + 1) % 3]);
        if (SquaredLength(c) > squared) {
            best = c;
            squared = SquaredLength(c);
        }
    }
    return best;
}

// The local box of an object whose affine matrix flattens it (rank 2: a zero scale along one direction)
// around every local point it carries into the world box. Such a point is p + s k for a point p square
// to the kernel direction k (the local direction the matrix squashes) and any s: p comes from inverting
// the matrix with k sent along the image plane's normal instead, and the box spans every coordinate that
// k moves. Rank 1 or 0 leaves no triangle any area (they would all be skipped), and a projective matrix
// has no such form: both give the empty box.
QueryBox FlattenedObjectBounds(const D3DXMATRIX& m, const QueryBox& world)
{
    if (m._14 != 0 || m._24 != 0 || m._34 != 0 || m._44 != 1)
        return EmptyBox();
    const Vector rows[3] = {{m._11, m._12, m._13}, {m._21, m._22, m._23}, {m._31, m._32, m._33}};
    const Vector columns[3] = {{m._11, m._21, m._31}, {m._12, m._22, m._32}, {m._13, m._23, m._33}};
    double normalSquared = 0, kernelSquared = 0;
    const Vector normal = LongestCross(rows, normalSquared);    // square to every image of a local axis
    const Vector kernel = LongestCross(columns, kernelSquared); // the local direction mapped to zero
    if (!(normalSquared > 0) || !(kernelSquared > 0) || !std::isfinite(normalSquared * kernelSquared))
        return EmptyBox();
    const double scale = 1 / std::sqrt(normalSquared * kernelSquared);
    D3DXMATRIX lifted = m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            lifted.m[r][c] = static_cast<float>(m.m[r][c] + kernel[r] * normal[c] * scale);
    D3DXMATRIX inverse;
    if (!D3DXMatrixInverse(&inverse, nullptr, &lifted))
        return EmptyBox();
    QueryBox box = TransformedBounds(world.min, world.max, inverse);
    const float far = std::numeric_limits<float>::max();
    float* low[3] = {&box.min.x, &box.min.y, &box.min.z};
    float* high[3] = {&box.max.x, &box.max.y, &box.max.z};
    for (int k = 0; k < 3; ++k) {
        if (kernel[k] != 0) {
            *low[k] = -far;
            *high[k] = far;
        }
    }
    return box;
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
        // Written as selections, which compile to min and max instructions: the corners of a tilted box
        // come in no order a branch could guess. p < m ? p : m keeps m for ties and NaN, as the test did.
        box.min.x = p.x < box.min.x ? p.x : box.min.x;
        box.min.y = p.y < box.min.y ? p.y : box.min.y;
        box.min.z = p.z < box.min.z ? p.z : box.min.z;
        box.max.x = p.x > box.max.x ? p.x : box.max.x;
        box.max.y = p.y > box.max.y ? p.y : box.max.y;
        box.max.z = p.z > box.max.z ? p.z : box.max.z;
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
    if (!D3DXMatrixInverse(&inverse, nullptr, &objectMatrix))
        return FlattenedObjectBounds(objectMatrix, world);
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
        return FlattenedObjectBounds(objectMatrix, TransformedBounds(low, high, boxMatrix));
    D3DXMATRIX boxToLocal;
    D3DXMatrixMultiply(&boxToLocal, &boxMatrix, &inverse);
    return TransformedBounds(low, high, boxToLocal);
}

} // namespace vex::collision
