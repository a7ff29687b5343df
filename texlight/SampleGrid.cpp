#include "texlight/SampleGrid.h"

#include "platform/VectorOps.h"
#include "texlight/MeshSnapshot.h"
#include "texlight/UVTree.h"

#include <cmath>

namespace vex::texlight {

int SampleGridSide(int mode)
{
    if (mode < 0)
        return 1;
    return mode < 31 ? 1 << mode : static_cast<int>(std::pow(2.0, mode));
}

int SampleCount(int mode)
{
    if (mode < 0)
        return 0;
    return mode < 15 ? 1 << (2 * mode) : static_cast<int>(std::pow(4.0, mode));
}

void SamplePosition(int x, int y, int width, int height, int mode, int s, float& u, float& v)
{
    const int n = SampleGridSide(mode);
    const int sx = s % n;
    const int sy = s / n;
    const float fn = static_cast<float>(n);
    u = ((static_cast<float>(sx) + 0.5f) / fn) * (1.0f / static_cast<float>(width)) +
        static_cast<float>(x) / static_cast<float>(width);
    v = ((static_cast<float>(sy) + 0.5f) / fn) * (1.0f / static_cast<float>(height)) +
        static_cast<float>(y) / static_cast<float>(height);
}

namespace {
/// v times 1 / |v|, or nothing usable when v has no finite non-zero length. Not vex::Normalised: the
/// reciprocal product rounds differently from the quotient, and the baked maps are kept bit for bit.
bool UnitVector(const D3DXVECTOR3& v, D3DXVECTOR3& out)
{
    const float length = Length(v);
    if (!(length > 0.0f) || !std::isfinite(length))
        return false;
    out = v * (1.0f / length);
    return true;
}
} // namespace

int IntersectTriangle(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, const D3DXVECTOR3* T0,
                      const D3DXVECTOR3* T1, const D3DXVECTOR3* T2, float* t, float* b1, float* b2)
{
    const D3DXVECTOR3 e1 = *T1 - *T0;
    const D3DXVECTOR3 e2 = *T2 - *T0;
    const D3DXVECTOR3 p = Cross(*direction, e2);
    float det = Dot(e1, p);
    // A triangle of no area covers nothing: its barycentrics would be 0 / 0.
    if (!(det > 0) && !(det < 0))
        return 0;
    D3DXVECTOR3 q0;
    if (det > 0) {
        q0 = *origin - *T0;
    } else {
        q0 = *T0 - *origin;
        det = -det;
    }
    *b1 = Dot(q0, p);
    if (*b1 < 0 || *b1 > det)
        return 0;
    const D3DXVECTOR3 q = Cross(q0, e1);
    *b2 = Dot(*direction, q);
    if (*b2 < 0 || *b1 + *b2 > det)
        return 0;
    const float inverse = 1.0f / det;
    *t = Dot(e2, q) * inverse;
    *b1 *= inverse;
    *b2 *= inverse;
    return 1;
}

float GetPlaneRatio(D3DXVECTOR3 n, D3DXVECTOR3 point, D3DXVECTOR3 p0, D3DXVECTOR3 p1)
{
    return Dot(n, point - p0) / Dot(n, p1 - p0);
}

D3DXVECTOR3 InterpolateLine(D3DXVECTOR3 from, D3DXVECTOR3 to, float ratio) { return from + (to - from) * ratio; }

bool EdgePerpendicular(const D3DXVECTOR3 positions[3], D3DXVECTOR3& out)
{
    const D3DXVECTOR3& P0 = positions[0];
    const D3DXVECTOR3& P1 = positions[1];
    const D3DXVECTOR3& P2 = positions[2];
    return UnitVector(Cross(Cross(P0 - P1, P0 - P2), P1 - P2), out);
}

D3DXVECTOR3 InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3], D3DXVECTOR3 point)
{
    D3DXVECTOR3 n;
    return InterpolateNormal(positions, normals, point, EdgePerpendicular(positions, n) ? &n : nullptr);
}

D3DXVECTOR3 InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3], D3DXVECTOR3 point,
                              const D3DXVECTOR3* edgePerpendicular)
{
    const D3DXVECTOR3& P0 = positions[0];
    const D3DXVECTOR3& P1 = positions[1];
    const D3DXVECTOR3& P2 = positions[2];

    // A flat-shaded triangle: every blend of equal normals is that normal.
    D3DXVECTOR3 flat;
    if (normals[0] == normals[1] && normals[0] == normals[2] && UnitVector(normals[0], flat))
        return flat;

    if (edgePerpendicular) {
        const D3DXVECTOR3& n = *edgePerpendicular;
        const float s1 = GetPlaneRatio(n, point, P0, P1);
        const float s2 = GetPlaneRatio(n, point, P0, P2);
        const D3DXVECTOR3 A = InterpolateLine(P0, P1, s1);
        const D3DXVECTOR3 B = InterpolateLine(P0, P2, s2);
        const D3DXVECTOR3 NA = normals[0] * (1 - s1) + normals[1] * s1;
        const D3DXVECTOR3 NB = normals[0] * (1 - s2) + normals[2] * s2;
        const float w = Length(B - point) / Length(A - B);
        D3DXVECTOR3 result;
        if (std::isfinite(w) && UnitVector(NA * w + NB * (1 - w), result))
            return result;
    }
    // On the apex |A - B| is 0, and a degenerate triangle has no in-plane direction: the apex normal is
    // the right answer at the apex and the only defined one on a degenerate triangle.
    D3DXVECTOR3 fallback;
    if (UnitVector(normals[0], fallback))
        return fallback;
    if (UnitVector(Cross(P1 - P0, P2 - P0), fallback))
        return fallback;
    return D3DXVECTOR3(0, 0, 0);
}

int FindCoveringTriangle(const MeshSnapshot& mesh, UVTreeNode* root, float u, float v, float& b1, float& b2,
                         UVTreeNode** lastLeaf)
{
    // The uv square is lifted into the plane y = 0 and shot at from above.
    const D3DXVECTOR3 origin(u, 1, v);
    const D3DXVECTOR3 direction(0, -1, 0);
    const auto test = [&](int tri) {
        const SnapshotTriangle& t = mesh.triangles[static_cast<size_t>(tri)];
        const D3DXVECTOR3 T0(t.u[0], 0, t.v[0]);
        const D3DXVECTOR3 T1(t.u[1], 0, t.v[1]);
        const D3DXVECTOR3 T2(t.u[2], 0, t.v[2]);
        float distance;
        return IntersectTriangle(&origin, &direction, &T0, &T1, &T2, &distance, &b1, &b2) != 0;
    };

    if (root) {
        UVTreeNode* leaf = lastLeaf ? *lastLeaf : nullptr;
        if (!leaf || !(leaf->boxMin.x <= u && u <= leaf->boxMax.x && leaf->boxMin.z <= v && v <= leaf->boxMax.z)) {
            leaf = FindLeaf(root, u, v);
            if (lastLeaf)
                *lastLeaf = leaf;
        }
        if (!leaf)
            return -1;
        for (const int tri : leaf->triangleIndexes)
            if (static_cast<size_t>(tri) < mesh.triangles.size() && test(tri))
                return tri;
        return -1;
    }
    for (size_t tri = 0; tri < mesh.triangles.size(); ++tri)
        if (test(static_cast<int>(tri)))
            return static_cast<int>(tri);
    return -1;
}

LightSample ComputeSample(const MeshSnapshot& mesh, UVTreeNode* root, const D3DXMATRIX& world, int x, int y, int width,
                          int height, int mode, int s, UVTreeNode** lastLeaf)
{
    LightSample sample;
    if (!mesh.usable || width <= 0 || height <= 0)
        return sample;
    float u;
    float v;
    SamplePosition(x, y, width, height, mode, s, u, v);
    float b1;
    float b2;
    const int tri = FindCoveringTriangle(mesh, root, u, v, b1, b2, lastLeaf);
    if (tri < 0)
        return sample;

    const SnapshotTriangle& t = mesh.triangles[static_cast<size_t>(tri)];
    const D3DXVECTOR3 X = t.position[0] + (t.position[1] - t.position[0]) * b1 + (t.position[2] - t.position[0]) * b2;
    const D3DXVECTOR3 N = InterpolateNormal(t.position, t.normal, X, t.edgeNormalValid ? &t.edgeNormal : nullptr);
    D3DXVec3TransformCoord(&sample.position, &X, &world);
    D3DXVECTOR3 worldNormal;
    D3DXVec3TransformNormal(&worldNormal, &N, &world);
    D3DXVec3Normalize(&sample.normal, &worldNormal);
    sample.missed = false;
    return sample;
}

} // namespace vex::texlight
