#pragma once
// The vector helpers every library shares, as free functions over D3DXVECTOR3. Each is written once, with
// one fixed order of operations, so that every caller gets the same bits (the D3DX wrappers included).

#include "platform/D3DXVector.h"

#include <cmath>

namespace vex {

/// a.x b.x + a.y b.y + a.z b.z, summed left to right.
inline float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline float LengthSquared(const D3DXVECTOR3& v) { return Dot(v, v); }

inline float Length(const D3DXVECTOR3& v) { return std::sqrt(Dot(v, v)); }

/// v divided by its length; the zero vector (and one whose length is NaN) gives the zero vector.
inline D3DXVECTOR3 Normalised(const D3DXVECTOR3& v)
{
    const float length = Length(v);
    return length > 0 ? v / length : D3DXVECTOR3();
}

} // namespace vex
