#include "body/BodySoundness.h"

#include "body/BodyConstants.h"

#include <cmath>

namespace vex::body {

namespace {

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool WithinLimit(const dReal* v, int count)
{
    for (int i = 0; i < count; ++i)
        // Written so that NaN fails.
        if (!(std::fabs(v[i]) <= kStateLimit))
            return false;
    return true;
}

float RowLength(const D3DXMATRIX& m, int row)
{
    const D3DXVECTOR3 v(m.m[row][0], m.m[row][1], m.m[row][2]);
    return D3DXVec3Length(&v);
}

} // namespace

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
    if (!std::isfinite(item.massValue) || !std::isfinite(item.radius) || !Finite(item.size) ||
        !Finite(item.offset) || !Finite(item.rotation))
        return false;
    const D3DXVECTOR3 scaled(item.size.x * scale.x, item.size.y * scale.y, item.size.z * scale.z);
    return Finite(scaled);
}

bool BodyStateIsSound(dBodyID body)
{
    if (!body)
        return false;
    if (!WithinLimit(dBodyGetPosition(body), 3) || !WithinLimit(dBodyGetLinearVel(body), 3) ||
        !WithinLimit(dBodyGetAngularVel(body), 3) || !WithinLimit(dBodyGetForce(body), 3) ||
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
