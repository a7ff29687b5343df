#include "body/collision/CollisionGeometry.h"

#include "body/collision/CollisionConstants.h"

#include <limits>

namespace vex::collision {
namespace {

QueryBox EmptyBox()
{
    const float inf = std::numeric_limits<float>::infinity();
    return {{inf, inf, inf}, {-inf, -inf, -inf}};
}

// Closest point of the segment a-b to point: a before the start, b beyond the end, else the foot.
D3DXVECTOR3 ClosestOnSegment(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point)
{
    const D3DXVECTOR3 edge = b - a;
    // The length once, for both the unit direction and the range (Normalised would compute it again).
    const float length = Length(edge);
    const D3DXVECTOR3 u = length > 0 ? edge / length : D3DXVECTOR3();
    const float t = Dot(u, point - a);
    if (t < 0)
        return a;
    if (t > length)
        return b;
    return a + u * t;
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
    QueryBox box{};
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR3 corner((i & 1) ? high.x : low.x, (i & 2) ? high.y : low.y, (i & 4) ? high.z : low.z);
        D3DXVECTOR3 p;
        D3DXVec3TransformCoord(&p, &corner, &t);
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

bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point)
{
    D3DXVECTOR3 n = Cross(b - a, c - a);
    // Scaling n does not change the sign of the distance; only where rounding could flip it (the point
    // within a few ulps of the plane) is the normalised distance worked out as below.
    const float raw = Dot(n, point) - Dot(n, a);
    const float scale = std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z);
    const float reach = std::fabs(point.x) + std::fabs(point.y) + std::fabs(point.z) + std::fabs(a.x) +
                        std::fabs(a.y) + std::fabs(a.z);
    if (std::fabs(raw) > kSignCertainty * scale * reach)
        return raw < 0;
    n *= 1.0f / Length(n);
    const float distance = Dot(n, point) - Dot(n, a);
    // A zero normal gives NaN here, and NaN < 0 is false: a degenerate plane contains nothing.
    return distance < 0;
}

float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point,
                           D3DXVECTOR3& outDirection)
{
    const D3DXVECTOR3 v = point - ClosestOnSegment(a, b, point);
    const float d = Length(v);
    outDirection = Normalised(v) * d;
    return d;
}

bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                        const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0)
{
    const D3DXVECTOR3 d = deepPoint - centre;
    const D3DXVECTOR3 p = Cross(d, edge2);
    float det = Dot(p, edge1);
    D3DXVECTOR3 s;
    // Flipping s with the determinant's sign accepts both windings.
    if (det > 0) {
        s = centre - vertex0;
    } else {
        s = vertex0 - centre;
        det = -det;
    }
    if (det < kRayParallelEpsilon)
        return false;
    const float u = Dot(s, p);
    if (u < 0 || u > det)
        return false;
    const float v = Dot(d, Cross(s, edge1));
    if (v < 0 || u + v > det)
        return false;
    return true;
}

bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                       D3DXVECTOR3& ioPush)
{
    // Without square roots: a segment clearly farther than the radius gives no contact, whatever rounding
    // the exact computation below would do.
    {
        const D3DXVECTOR3 e = b - a;
        const D3DXVECTOR3 w = centre - a;
        const float ee = Dot(e, e);
        float t = ee > 0 ? Dot(w, e) / ee : 0.0f;
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        const D3DXVECTOR3 v = w - e * t;
        const float reach = std::fabs(w.x) + std::fabs(w.y) + std::fabs(w.z) + std::fabs(e.x) + std::fabs(e.y) +
                            std::fabs(e.z);
        const float margin = radius * (1 + kSignCertainty) + kSignCertainty * reach;
        if (Dot(v, v) > margin * margin)
            return false;
    }
    const D3DXVECTOR3 v = centre - ClosestOnSegment(a, b, centre);
    const float d = Length(v);
    if (radius < d)
        return false;
    const float penetration = radius - d;
    if (Length(ioPush) < penetration)
        ioPush = Normalised(v) * penetration;
    return true;
}

Slab SlabFromTriangle(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                      const D3DXVECTOR3& normal)
{
    Slab slab{};
    const D3DXVECTOR3 e = edgeEnd - edgeStart;
    const float edgeLength = Length(e);
    const D3DXVECTOR3 u = edgeLength > 0 ? e / edgeLength : D3DXVECTOR3();
    const float t = Dot(apex - edgeStart, u);
    slab.sides[0] = edgeLength;
    slab.sides[1] = kSlabThickness;

    // Far side of the slab: the apex's height over the edge, or, for an obtuse triangle whose apex projects
    // outside the edge, the vector from the nearer edge end to the apex.
    float width;
    D3DXVECTOR3 c;
    const D3DXVECTOR3 edgeMiddle = edgeStart + e * 0.5f;
    if (t < 0) {
        const D3DXVECTOR3 h = apex - edgeStart;
        width = Length(h);
        c = edgeMiddle + h * 0.5f;
    } else if (t > edgeLength) {
        const D3DXVECTOR3 h = apex - edgeEnd;
        width = Length(h);
        c = edgeMiddle + h * 0.5f;
    } else {
        const D3DXVECTOR3 h = apex - (edgeStart + u * t);
        width = Length(h);
        c = edgeMiddle + h * 0.5f;
    }
    slab.sides[2] = std::fabs(width);
    slab.centre[0] = c.x;
    slab.centre[1] = c.y;
    slab.centre[2] = c.z;
    slab.axes[0] = u;
    slab.axes[1] = normal;
    slab.axes[2] = Normalised(Cross(normal, u));
    return slab;
}

D3DXMATRIX SlabAxesMatrix(const Slab& slab)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = slab.axes[r].x;
        m.m[r][1] = slab.axes[r].y;
        m.m[r][2] = slab.axes[r].z;
    }
    return m;
}

void OdeRotationFromMatrix(const D3DXMATRIX& m, double* outR)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            outR[4 * r + c] = m.m[c][r];
        outR[4 * r + 3] = 0;
    }
}

} // namespace vex::collision
