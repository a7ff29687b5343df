#pragma once
// Four floats side by side, and the lane masks their comparisons give: the one place that knows how the
// machine does it. Two backends, chosen at configure time (CMake option VEX_SIMD, which defines
// VEX_SIMD_SSE2): SSE2 intrinsics, or plain arrays of four. The scalar backend does each lane's operation
// exactly as the vector instruction does (the minimum and maximum keep the instruction's rule for NaN and
// signed zeros; the transpose moves lanes as the instruction does), so both give the same bits: code
// written over these types gives the same contacts whichever backend it was built with. Build it with
// floating-point contraction off (-ffp-contract=off), or a fused multiply-add would round differently.
//
// The same operations are given for a plain float (with bool as its mask), so an algorithm written once
// as a template over its number type runs one value at a time or four lanes at once.

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#if VEX_SIMD_SSE2
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace vex::simd {

#if VEX_SIMD_SSE2

/// Four lane masks: each lane all ones (true) or all zeros (false).
struct Mask4 {
    __m128 v;
};

/// Four floats.
struct Float4 {
    __m128 v;

    static Float4 Splat(float x) { return {_mm_set1_ps(x)}; }
    static Float4 Set(float x, float y, float z, float w) { return {_mm_setr_ps(x, y, z, w)}; }
    static Float4 Zero() { return {_mm_setzero_ps()}; }
    /// p[0..3], unaligned.
    static Float4 Load(const float* p) { return {_mm_loadu_ps(p)}; }
    /// p[0..3], p aligned to 16 bytes.
    static Float4 LoadAligned(const float* p) { return {_mm_load_ps(p)}; }
    void Store(float* p) const { _mm_storeu_ps(p, v); }
    float First() const { return _mm_cvtss_f32(v); }
};

inline Float4 operator+(Float4 a, Float4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline Float4 operator-(Float4 a, Float4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline Float4 operator*(Float4 a, Float4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline Float4 operator/(Float4 a, Float4 b) { return {_mm_div_ps(a.v, b.v)}; }
inline Float4 Sqrt(Float4 a) { return {_mm_sqrt_ps(a.v)}; }
/// Lane-wise a < b ? a : b (so b where either is NaN).
inline Float4 Min(Float4 a, Float4 b) { return {_mm_min_ps(a.v, b.v)}; }
/// Lane-wise a > b ? a : b (so b where either is NaN).
inline Float4 Max(Float4 a, Float4 b) { return {_mm_max_ps(a.v, b.v)}; }
/// The sign bit cleared.
inline Float4 Abs(Float4 a) { return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)}; }

inline Mask4 operator<(Float4 a, Float4 b) { return {_mm_cmplt_ps(a.v, b.v)}; }
inline Mask4 operator>(Float4 a, Float4 b) { return {_mm_cmpgt_ps(a.v, b.v)}; }
inline Mask4 operator<=(Float4 a, Float4 b) { return {_mm_cmple_ps(a.v, b.v)}; }
inline Mask4 operator>=(Float4 a, Float4 b) { return {_mm_cmpge_ps(a.v, b.v)}; }
inline Mask4 operator==(Float4 a, Float4 b) { return {_mm_cmpeq_ps(a.v, b.v)}; }
/// Lanes equal bit for bit (unlike ==, which takes -0 for +0 and never NaN for itself).
inline Mask4 SameBits(Float4 a, Float4 b)
{
    return {_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_castps_si128(a.v), _mm_castps_si128(b.v)))};
}
inline Mask4 operator&(Mask4 a, Mask4 b) { return {_mm_and_ps(a.v, b.v)}; }
inline Mask4 operator|(Mask4 a, Mask4 b) { return {_mm_or_ps(a.v, b.v)}; }
/// !a && b, lane-wise.
inline Mask4 AndNot(Mask4 a, Mask4 b) { return {_mm_andnot_ps(a.v, b.v)}; }
inline Mask4 NoLanes() { return {_mm_setzero_ps()}; }
/// yes where the mask is set, else no (bit for bit).
inline Float4 Select(Mask4 m, Float4 yes, Float4 no)
{
    return {_mm_or_ps(_mm_and_ps(m.v, yes.v), _mm_andnot_ps(m.v, no.v))};
}
/// a where the mask is set, else +0.
inline Float4 KeepWhere(Mask4 m, Float4 a) { return {_mm_and_ps(m.v, a.v)}; }
/// Bit i set when lane i is.
inline int Bits(Mask4 m) { return _mm_movemask_ps(m.v); }

/// Rows become columns: lane j of a, b, c, d afterwards is lane 0, 1, 2, 3 of the old row j.
inline void Transpose(Float4& a, Float4& b, Float4& c, Float4& d) { _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v); }

#else

struct Mask4 {
    uint32_t v[4];
};

struct Float4 {
    float v[4];

    static Float4 Splat(float x) { return {{x, x, x, x}}; }
    static Float4 Set(float x, float y, float z, float w) { return {{x, y, z, w}}; }
    static Float4 Zero() { return {{0.0f, 0.0f, 0.0f, 0.0f}}; }
    static Float4 Load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
    static Float4 LoadAligned(const float* p) { return Load(p); }
    void Store(float* p) const
    {
        for (int i = 0; i < 4; ++i)
            p[i] = v[i];
    }
    float First() const { return v[0]; }
};

namespace detail {
template <class F> inline Float4 Lanes(Float4 a, Float4 b, F f)
{
    return {{f(a.v[0], b.v[0]), f(a.v[1], b.v[1]), f(a.v[2], b.v[2]), f(a.v[3], b.v[3])}};
}
template <class F> inline Mask4 Compare(Float4 a, Float4 b, F f)
{
    Mask4 m;
    for (int i = 0; i < 4; ++i)
        m.v[i] = f(a.v[i], b.v[i]) ? 0xffffffffu : 0u;
    return m;
}
inline Float4 Bitwise(Mask4 m, Float4 a, Float4 b) // (m & a) | (~m & b)
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = std::bit_cast<float>((m.v[i] & std::bit_cast<uint32_t>(a.v[i])) |
                                      (~m.v[i] & std::bit_cast<uint32_t>(b.v[i])));
    return r;
}
} // namespace detail

inline Float4 operator+(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x + y; });
}
inline Float4 operator-(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x - y; });
}
inline Float4 operator*(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x * y; });
}
inline Float4 operator/(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x / y; });
}
inline Float4 Sqrt(Float4 a) { return {{std::sqrt(a.v[0]), std::sqrt(a.v[1]), std::sqrt(a.v[2]), std::sqrt(a.v[3])}}; }
inline Float4 Min(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x < y ? x : y; });
}
inline Float4 Max(Float4 a, Float4 b)
{
    return detail::Lanes(a, b, [](float x, float y) { return x > y ? x : y; });
}
inline Float4 Abs(Float4 a)
{
    Float4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = std::bit_cast<float>(std::bit_cast<uint32_t>(a.v[i]) & 0x7fffffffu);
    return r;
}

inline Mask4 operator<(Float4 a, Float4 b)
{
    return detail::Compare(a, b, [](float x, float y) { return x < y; });
}
inline Mask4 operator>(Float4 a, Float4 b)
{
    return detail::Compare(a, b, [](float x, float y) { return x > y; });
}
inline Mask4 operator<=(Float4 a, Float4 b)
{
    return detail::Compare(a, b, [](float x, float y) { return x <= y; });
}
inline Mask4 operator>=(Float4 a, Float4 b)
{
    return detail::Compare(a, b, [](float x, float y) { return x >= y; });
}
inline Mask4 operator==(Float4 a, Float4 b)
{
    return detail::Compare(a, b, [](float x, float y) { return x == y; });
}
inline Mask4 SameBits(Float4 a, Float4 b)
{
    return detail::Compare(a, b,
                           [](float x, float y) { return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y); });
}
inline Mask4 operator&(Mask4 a, Mask4 b)
{
    return {{a.v[0] & b.v[0], a.v[1] & b.v[1], a.v[2] & b.v[2], a.v[3] & b.v[3]}};
}
inline Mask4 operator|(Mask4 a, Mask4 b)
{
    return {{a.v[0] | b.v[0], a.v[1] | b.v[1], a.v[2] | b.v[2], a.v[3] | b.v[3]}};
}
inline Mask4 AndNot(Mask4 a, Mask4 b)
{
    return {{~a.v[0] & b.v[0], ~a.v[1] & b.v[1], ~a.v[2] & b.v[2], ~a.v[3] & b.v[3]}};
}
inline Mask4 NoLanes() { return {{0u, 0u, 0u, 0u}}; }
inline Float4 Select(Mask4 m, Float4 yes, Float4 no) { return detail::Bitwise(m, yes, no); }
inline Float4 KeepWhere(Mask4 m, Float4 a) { return detail::Bitwise(m, a, Float4::Zero()); }
inline int Bits(Mask4 m)
{
    return static_cast<int>((m.v[0] >> 31) | (m.v[1] >> 31 << 1) | (m.v[2] >> 31 << 2) | (m.v[3] >> 31 << 3));
}

inline void Transpose(Float4& a, Float4& b, Float4& c, Float4& d)
{
    Float4* rows[4] = {&a, &b, &c, &d};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            std::swap(rows[i]->v[j], rows[j]->v[i]);
}

#endif

// The same operations for one value at a time: a float with a bool for its mask.
template <class T> T Splat(float x);
template <> inline float Splat<float>(float x) { return x; }
template <> inline Float4 Splat<Float4>(float x) { return Float4::Splat(x); }
inline float Sqrt(float a) { return std::sqrt(a); }
inline float Min(float a, float b) { return a < b ? a : b; }
inline float Max(float a, float b) { return a > b ? a : b; }
inline float Abs(float a) { return std::fabs(a); }
inline float Select(bool m, float yes, float no) { return m ? yes : no; }
inline float KeepWhere(bool m, float a) { return m ? a : 0.0f; }
inline bool AndNot(bool a, bool b) { return !a && b; }

} // namespace vex::simd
