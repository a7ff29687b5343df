#pragma once
// The world channel's settings as the runner sets them. Setters refuse out-of-range values and return
// false. Implemented by the world channel beside Tav_WorldInterface; found with dynamic_cast.

#include "platform/D3DXMath.h"

class Tav_WorldSetupInterface {
public:
    /// Simulated seconds per step.
    virtual bool SetStepSize(float seconds) = 0;
    virtual float GetStepSize() = 0;
    virtual bool SetSolverIterations(int iterations) = 0;
    virtual bool SetGravity(D3DXVECTOR3 gravity) = 0;
    virtual bool SetWorldFactor(float factor) = 0;
    virtual void SetIfFrozen(bool frozen) = 0;
    virtual bool SetContactsPerPair(int contacts) = 0;

protected:
    ~Tav_WorldSetupInterface() = default;
};
