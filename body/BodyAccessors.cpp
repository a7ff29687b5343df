// Small accessors of the body channel: settings, motion state and reported penetration.
#include "body/Tvc_ODE_BodyCollision.h"

namespace {

D3DXVECTOR3 Narrow(const dReal* v)
{
    return D3DXVECTOR3(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
}

} // namespace

dBodyID Tvc_ODE_BodyCollision::GetBodyID() { return bodyID; }

void Tvc_ODE_BodyCollision::SetAngularVelocityDampenValue(float value) { angularDampenValue = value; }
float Tvc_ODE_BodyCollision::GetAngularVelocityDampenValue() { return angularDampenValue; }
void Tvc_ODE_BodyCollision::SetIfDisableForces(bool disable) { disableForces = disable; }
bool Tvc_ODE_BodyCollision::GetIfDisableForces() { return disableForces; }
void Tvc_ODE_BodyCollision::SetIfDynamicDisableForces(bool enable) { dynamicDisableForces = enable; }
bool Tvc_ODE_BodyCollision::GetIfDynamicDisableForces() { return dynamicDisableForces; }

D3DXVECTOR3 Tvc_ODE_BodyCollision::GetLinearVelocityVector()
{
    return bodyID ? Narrow(dBodyGetLinearVel(bodyID)) : D3DXVECTOR3(0, 0, 0);
}

D3DXVECTOR3 Tvc_ODE_BodyCollision::GetAngularVelocityVector()
{
    return bodyID ? Narrow(dBodyGetAngularVel(bodyID)) : D3DXVECTOR3(0, 0, 0);
}

D3DXVECTOR3 Tvc_ODE_BodyCollision::GetForceVector()
{
    return bodyID ? Narrow(dBodyGetForce(bodyID)) : D3DXVECTOR3(0, 0, 0);
}

D3DXVECTOR3 Tvc_ODE_BodyCollision::GetTorqueVector()
{
    return bodyID ? Narrow(dBodyGetTorque(bodyID)) : D3DXVECTOR3(0, 0, 0);
}

D3DXVECTOR3 Tvc_ODE_BodyCollision::GetBodyGetRelPointVel(D3DXVECTOR3 point)
{
    if (!bodyID)
        return D3DXVECTOR3(0, 0, 0);
    dVector3 out;
    // The ODE body sits at the centre of mass; the point is given in the channel's body frame.
    dBodyGetRelPointVel(bodyID, point.x - massCentre_[0], point.y - massCentre_[1], point.z - massCentre_[2], out);
    return Narrow(out);
}

void Tvc_ODE_BodyCollision::SetPenetrationOfBody(float depth)
{
    // Keeps the deepest report since the last frame; NaN compares false and is ignored.
    if (depth > penetration)
        penetration = depth;
}
