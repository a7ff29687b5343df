#pragma once
// Stand-in for the D3DX 8 vector types: plain floats with the arithmetic operators.

struct D3DXVECTOR2 {
    float x = 0, y = 0;
    constexpr D3DXVECTOR2() = default;
    constexpr D3DXVECTOR2(float inX, float inY) : x(inX), y(inY) {}
};

struct D3DXVECTOR3 {
    float x = 0, y = 0, z = 0;

    constexpr D3DXVECTOR3() = default;
    constexpr D3DXVECTOR3(float inX, float inY, float inZ) : x(inX), y(inY), z(inZ) {}

    constexpr D3DXVECTOR3 operator+(const D3DXVECTOR3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    constexpr D3DXVECTOR3 operator-(const D3DXVECTOR3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    constexpr D3DXVECTOR3 operator-() const { return {-x, -y, -z}; }
    constexpr D3DXVECTOR3 operator*(float s) const { return {x * s, y * s, z * s}; }
    constexpr D3DXVECTOR3 operator/(float s) const { return {x / s, y / s, z / s}; }
    constexpr D3DXVECTOR3& operator+=(const D3DXVECTOR3& v)
    {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    constexpr D3DXVECTOR3& operator-=(const D3DXVECTOR3& v)
    {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    constexpr D3DXVECTOR3& operator*=(float s)
    {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr D3DXVECTOR3& operator/=(float s)
    {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }
    constexpr bool operator==(const D3DXVECTOR3& v) const { return x == v.x && y == v.y && z == v.z; }
    constexpr bool operator!=(const D3DXVECTOR3& v) const { return !(*this == v); }
};

constexpr D3DXVECTOR3 operator*(float s, const D3DXVECTOR3& v) { return v * s; }

struct D3DXVECTOR4 {
    float x = 0, y = 0, z = 0, w = 0;
    constexpr D3DXVECTOR4() = default;
    constexpr D3DXVECTOR4(float inX, float inY, float inZ, float inW) : x(inX), y(inY), z(inZ), w(inW) {}
};
