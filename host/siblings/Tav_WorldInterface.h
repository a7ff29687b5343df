#pragma once
// The world channel: owns the ODE world, the collision space and the contacts; steps the simulation once
// per host frame after the body channels have evaluated.

#include "host/Tav_Channel.h"

#include <ode/common.h>

class Tvc_ODE_BodyCollision;

class Tav_WorldInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    virtual dWorldID GetWorld() = 0;
    /// A new geom transform in the collision space.
    virtual dGeomID CreateGeomTransform() = 0;
    /// inSpace 1: a free box in the collision space; 0: a box to be wrapped by a transform.
    virtual dGeomID CreateBox(float x, float y, float z, int inSpace) = 0;
    virtual dGeomID CreateSphere(float radius, int inSpace) = 0;
    /// Plane a*x + b*y + c*z = d in the collision space.
    virtual dGeomID CreatePlane(float a, float b, float c, float d) = 0;
    /// A geom in the collision space whose collisions are computed by body's CollideSphere / CollideBox.
    virtual dGeomID CreateMeshGeom(Tvc_ODE_BodyCollision* body) = 0;
    /// Scales the penetration and angular-speed tests of the rest detection.
    virtual float GetWorldFactor() = 0;
    virtual void RegisterBody() = 0;
    virtual void UnregisterBody() = 0;
    /// True: every body channel returns its previous matrix unchanged this frame.
    virtual bool GetIfFrozen() = 0;
};
