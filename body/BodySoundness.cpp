#include "body/BodySoundness.h"

#include "body/BodyConstants.h"

#include <cmath>

namespace vex::body {

namespace {

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool WithinLimit(const dReal* v, int count, double limit = kStateLimit)
{
    for (int i = 0; i < count; ++i)
        // Written so that NaN fails.
        if (!(std::fabs(v[i]) <= limit))
            return false;
    return true;
}

float RowLength(const D3DXMATRIX& m, int row)
{
    const D3DXVECTOR3 v(m.m[row][0], m.m[row][1], m.m[row][2]);
    return D3DXVec3Length(&v);
}

/// Squared length below which a row of a (row-normalised) rotation counts as no direction at all.
constexpr dReal kDegenerateRowSquared = 1e-12;

dReal Dot(const dReal* a, const dReal* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const dReal* a, const dReal* b, dReal* out)
{
    const dReal x = a[1] * b[2] - a[2] * b[1];
    const dReal y = a[2] * b[0] - a[0] * b[2];
    const dReal z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

bool Normalise(dReal* v)
{
    const dReal lengthSquared = Dot(v, v);
    if (!(lengthSquared > kDegenerateRowSquared))
        return false;
    const dReal scale = 1.0 / std::sqrt(lengthSquared);
    for (int i = 0; i < 3; ++i)
        v[i] *= scale;
    return true;
}

/// b less its part along the unit vector a.
void RemoveAlong(const dReal* a, dReal* b)
{
    const dReal along = Dot(a, b);
    for (int i = 0; i < 3; ++i)
        b[i] -= along * a[i];
}

} // namespace

void MakePlaceableRotation(dReal* R)
{
    dReal* a = R;
    dReal* b = R + 4;
    dReal* c = R + 8;
    dReal spare[3];
    if (!Normalise(a)) {
        // For a rotation the first row is the cross product of the other two.
        Cross(b, c, a);
        if (!Normalise(a)) {
            for (int i = 0; i < 12; ++i)
                R[i] = (i % 5 == 0) ? 1 : 0;
            return;
        }
    }
    RemoveAlong(a, b);
    if (!Normalise(b)) {
        Cross(c, a, b);
        RemoveAlong(a, b);
        if (!Normalise(b)) {
            // Any direction perpendicular to a: a crossed with the axis it is least aligned with.
            const int k = std::fabs(a[0]) <= std::fabs(a[1]) && std::fabs(a[0]) <= std::fabs(a[2]) ? 0
                          : std::fabs(a[1]) <= std::fabs(a[2])                                     ? 1
                                                                                                   : 2;
            spare[0] = spare[1] = spare[2] = 0;
            spare[k] = 1;
            Cross(a, spare, b);
            Normalise(b);
        }
    }
    Cross(a, b, c);
    R[3] = R[7] = R[11] = 0;
}

bool MatrixIsUsable(const D3DXMATRIX& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m.m[r][c]))
                return false;
    // Finite rows can still have a length beyond float range; that length becomes the body scale.
    for (int r = 0; r < 3; ++r)
        if (!std::isfinite(RowLength(m, r)))
            return false;
    return true;
}

bool ItemIsFinite(const ODE_GeometryItem& item, const D3DXVECTOR3& scale)
{
    if (!std::isfinite(item.massValue) || !std::isfinite(item.radius) || !Finite(item.size) || !Finite(item.offset) ||
        !Finite(item.rotation))
        return false;
    // The ODE body sits at the centre of mass and its shapes are placed back from it: offsets of 1e20 would
    // leave them where rounding puts them (ODE's own colliders stop the process on some such contacts).
    if (!(std::fabs(item.offset.x) <= kOffsetLimit && std::fabs(item.offset.y) <= kOffsetLimit &&
          std::fabs(item.offset.z) <= kOffsetLimit))
        return false;
    // Likewise shapes larger than that: their inertia next to an ordinary shape's leaves ODE's solver with
    // numbers it cannot resolve.
    if (!(std::fabs(item.radius) <= kOffsetLimit && std::fabs(item.size.x * scale.x) <= kOffsetLimit &&
          std::fabs(item.size.y * scale.y) <= kOffsetLimit && std::fabs(item.size.z * scale.z) <= kOffsetLimit))
        return false;
    const D3DXVECTOR3 scaled(item.size.x * scale.x, item.size.y * scale.y, item.size.z * scale.z);
    return Finite(scaled);
}

bool MassIsUsable(const dMass& mass)
{
    if (!(mass.mass > 0) || !std::isfinite(mass.mass))
        return false;
    for (dReal v : mass.c)
        if (!std::isfinite(v))
            return false;
    for (dReal v : mass.I)
        if (!std::isfinite(v))
            return false;
    if (!dIsPositiveDefinite(mass.I, 3))
        return false;
    // The inertia about the body's origin: I + m * [c]x [c]x, as ODE checks it.
    const dReal* c = mass.c;
    const dReal cross[3][3] = {{0, -c[2], c[1]}, {c[2], 0, -c[0]}, {-c[1], c[0], 0}};
    dReal shifted[12] = {};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) {
            dReal product = 0;
            for (int j = 0; j < 3; ++j)
                product += cross[r][j] * cross[j][k];
            shifted[4 * r + k] = mass.I[4 * r + k] + mass.mass * product;
        }
    if (!dIsPositiveDefinite(shifted, 3))
        return false;
    // ODE steps with the inverse inertia: a determinant that underflows (shapes of 1e-30) makes it
    // infinite, and the first step turns the body's rotation into NaN.
    const dReal* I = mass.I;
    const dReal cofactors[3] = {I[5] * I[10] - I[6] * I[9], I[6] * I[8] - I[4] * I[10], I[4] * I[9] - I[5] * I[8]};
    const dReal determinant = I[0] * cofactors[0] + I[1] * cofactors[1] + I[2] * cofactors[2];
    const dReal inverse = 1.0 / determinant;
    if (!(determinant > 0) || !std::isfinite(inverse))
        return false;
    auto at = [I](int r, int k) { return I[4 * (r % 3) + k % 3]; };
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) {
            const dReal cofactor = at(r + 1, k + 1) * at(r + 2, k + 2) - at(r + 1, k + 2) * at(r + 2, k + 1);
            if (!std::isfinite(cofactor * inverse))
                return false;
        }
    return std::isfinite(1.0 / mass.mass);
}

bool BodyStateIsSound(dBodyID body)
{
    if (!body)
        return false;
    if (!WithinLimit(dBodyGetPosition(body), 3) || !WithinLimit(dBodyGetLinearVel(body), 3) ||
        !WithinLimit(dBodyGetAngularVel(body), 3, kAngularSpeedLimit) || !WithinLimit(dBodyGetForce(body), 3) ||
        !WithinLimit(dBodyGetTorque(body), 3))
        return false;
    const dReal* q = dBodyGetQuaternion(body);
    if (!WithinLimit(q, 4))
        return false;
    // ODE keeps the quaternion at unit length; zero (an overflowed rotation) cannot be normalised.
    const dReal lengthSquared = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    return lengthSquared > 0.5 && lengthSquared < 2.0;
}

} // namespace vex::body
