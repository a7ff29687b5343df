#pragma once
// What the runner sets and reads on a rigid-body channel: its flags, its shapes, and what the run
// summary reports. The body channel implements it beside its matrix-channel base (the host finds it with
// dynamic_cast), so the runner needs neither the body's class nor its library.

#include "platform/D3DXMath.h"

#include <ode/common.h>

class ODE_GeometryItem;

class Tav_BodySetupInterface {
public:
    virtual void SetIfUseDynamics(bool use) = 0;
    virtual void SetIfDisableForces(bool disable) = 0;
    virtual void SetIfDynamicDisableForces(bool enable) = 0;
    virtual void SetAngularVelocityDampenValue(float value) = 0;
    virtual int GetGeometryCount() = 0;
    /// The stored shape, changed in place; null for an index out of range.
    virtual ODE_GeometryItem* GetGeometryItem(int index) = 0;
    virtual void AddGeometryItem() = 0;
    virtual void RemoveGeometryItem(int index) = 0;
    /// Null while the body is not dynamic (or not built).
    virtual dBodyID GetBodyID() = 0;
    virtual D3DXVECTOR3 GetLinearVelocityVector() = 0;
    /// How often the body's motion overflowed and it was put back at its start matrix.
    virtual int GetStateResetCount() const = 0;

protected:
    // Never deleted through this interface: the host owns the channel.
    ~Tav_BodySetupInterface() = default;
};
