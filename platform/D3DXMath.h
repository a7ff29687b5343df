#pragma once
// Stand-in for the D3DX 8 math types and functions that the channel libraries use.
// Row vectors: a point v transforms as v * M, translation lives in row 4 (_41, _42, _43).

#include "platform/D3DXVector.h"
#include "platform/VectorOps.h"

#include <cmath>

/// 4x4 single-precision matrix; _ij is row i, column j (both from 1).
struct D3DXMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };

    /// Zero matrix; use D3DXMatrixIdentity for the identity.
    constexpr D3DXMATRIX() : m{} {}
    constexpr D3DXMATRIX(float a11, float a12, float a13, float a14, float a21, float a22, float a23, float a24,
                         float a31, float a32, float a33, float a34, float a41, float a42, float a43, float a44)
        : m{{a11, a12, a13, a14}, {a21, a22, a23, a24}, {a31, a32, a33, a34}, {a41, a42, a43, a44}}
    {
    }

    float& operator()(int row, int col) { return m[row][col]; }
    float operator()(int row, int col) const { return m[row][col]; }

    D3DXMATRIX operator*(const D3DXMATRIX& b) const;
    bool operator==(const D3DXMATRIX& b) const;
    bool operator!=(const D3DXMATRIX& b) const { return !(*this == b); }
};

/// out = a * b (a applied first to row vectors). Safe when out aliases a or b.
D3DXMATRIX* D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
/// General inverse; returns null (and leaves out untouched) when the matrix is singular.
D3DXMATRIX* D3DXMatrixInverse(D3DXMATRIX* out, float* determinant, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* D3DXMatrixTranspose(D3DXMATRIX* out, const D3DXMATRIX* m);
D3DXMATRIX* D3DXMatrixScaling(D3DXMATRIX* out, float sx, float sy, float sz);
D3DXMATRIX* D3DXMatrixTranslation(D3DXMATRIX* out, float x, float y, float z);
/// Rotations are left-handed as in D3DX: positive angles turn Y towards Z (X axis), Z towards X (Y), X towards Y (Z).
D3DXMATRIX* D3DXMatrixRotationX(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationY(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationZ(D3DXMATRIX* out, float angle);
D3DXMATRIX* D3DXMatrixRotationYawPitchRoll(D3DXMATRIX* out, float yaw, float pitch, float roll);
float D3DXMatrixDeterminant(const D3DXMATRIX* m);

/// (v, 1) * M, divided by the resulting w.
D3DXVECTOR3* D3DXVec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// (v, 0) * M: direction only, no translation.
D3DXVECTOR3* D3DXVec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v, const D3DXMATRIX* m);
/// Unit vector; a zero vector stays zero.
D3DXVECTOR3* D3DXVec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v);
D3DXVECTOR3* D3DXVec3Cross(D3DXVECTOR3* out, const D3DXVECTOR3* a, const D3DXVECTOR3* b);

inline float D3DXVec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b) { return vex::Dot(*a, *b); }
inline float D3DXVec3LengthSq(const D3DXVECTOR3* v) { return vex::LengthSquared(*v); }
inline float D3DXVec3Length(const D3DXVECTOR3* v) { return vex::Length(*v); }
