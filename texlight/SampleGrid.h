#pragma once
// Texture-space sampling: where the samples of a texel lie, which triangle covers a sample, and the
// surface point and normal there.

#include "platform/D3DXMath.h"
#include "texlight/LightSample.h"

class UVTreeNode;

namespace vex::texlight {

struct MeshSnapshot;

/// Samples a side of a texel for a sample-grid mode: 2 ^ mode (1 for a negative mode, which has no samples).
int SampleGridSide(int mode);
/// Samples a texel for a sample-grid mode: 4 ^ mode.
int SampleCount(int mode);

/// Texture-space position of sample s of texel (x, y) on a width x height map: the centre of sub-square
/// (s mod n, s div n) of the texel's n x n grid, in single precision in the established operation order.
void SamplePosition(int x, int y, int width, int height, int mode, int s, float& u, float& v);

/// Möller–Trumbore ray/triangle test, both windings accepted and no epsilon, so points on an edge or a
/// vertex count as inside; a triangle of zero area (determinant 0) covers nothing. Returns 1 on a hit with t, b1, b2 (barycentrics of T1 and T2); b1 and b2 may be
/// written on a miss.
int IntersectTriangle(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, const D3DXVECTOR3* T0,
                      const D3DXVECTOR3* T1, const D3DXVECTOR3* T2, float* t, float* b1, float* b2);

/// n.(point - p0) / n.(p1 - p0): how far point lies from p0 towards p1 along n.
float GetPlaneRatio(D3DXVECTOR3 n, D3DXVECTOR3 point, D3DXVECTOR3 p0, D3DXVECTOR3 p1);

/// from + ratio (to - from).
D3DXVECTOR3 InterpolateLine(D3DXVECTOR3 from, D3DXVECTOR3 to, float ratio);

/// The unit vector in the triangle's plane perpendicular to the edge positions[1] positions[2]; false
/// when the triangle is degenerate.
bool EdgePerpendicular(const D3DXVECTOR3 positions[3], D3DXVECTOR3& out);

/// Unit normal at point of the triangle, scan-line style with positions[0] as apex: linear along the two
/// edges leaving it, then linear across. Where that construction divides by zero (point on the apex, a
/// degenerate triangle) or yields no direction, the apex normal is used, or else the face normal; the
/// result is never NaN.
D3DXVECTOR3 InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3], D3DXVECTOR3 point);
/// The same with the triangle's edge perpendicular already known (null: degenerate triangle).
D3DXVECTOR3 InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3], D3DXVECTOR3 point,
                              const D3DXVECTOR3* edgePerpendicular);

/// The first triangle that covers (u, v): among the tree leaf's triangles when there is a tree, else among
/// all. Returns the triangle index (start position / 3) or -1, with the hit's barycentrics.
///
/// lastLeaf (may be null) carries the leaf of the previous lookup: when it contains (u, v) it is used
/// without a search. Every leaf whose box contains a point holds every triangle that covers the point (a
/// triangle covering a point has a vertex on the point's side of every split, or within the split band),
/// and leaves keep mesh order, so any containing leaf gives the same first covering triangle.
int FindCoveringTriangle(const MeshSnapshot& mesh, UVTreeNode* root, float u, float v, float& b1, float& b2,
                         UVTreeNode** lastLeaf = nullptr);

/// Sample s of texel (x, y): covered position and normal in world space, or missed. lastLeaf as above.
LightSample ComputeSample(const MeshSnapshot& mesh, UVTreeNode* root, const D3DXMATRIX& world, int x, int y, int width,
                          int height, int mode, int s, UVTreeNode** lastLeaf = nullptr);

} // namespace vex::texlight
