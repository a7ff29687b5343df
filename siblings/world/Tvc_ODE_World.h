#pragma once
// The world channel ("ODE World"): owns the ODE world, the collision space and the contact joints that
// all body channels share, creates their geoms, and steps the simulation once per host frame after the
// body channels have evaluated (on the host's frame-end event).

#include "host/siblings/Tav_WorldInterface.h"
#include "host/siblings/Tav_WorldSetupInterface.h"
#include "platform/D3DXMath.h"

#include <ode/ode.h>

#include <vector>

class Tvc_ODE_World : public Tav_WorldInterface, public Tav_WorldSetupInterface {
public:
    Tvc_ODE_World();
    Tvc_ODE_World(const Tvc_ODE_World&) = delete;
    Tvc_ODE_World& operator=(const Tvc_ODE_World&) = delete;
    ~Tvc_ODE_World() override;

    // Tav_Channel slots.
    /// Steps the world on kTavEventFrameEnd, at most once per frame number, unless frozen.
    void DoEvent(int event, unsigned long value) override;
    /// Saves the settings as chunks "WDST", "WDIT", "WDGR", "WDWF", "WDFZ", "WDCP".
    bool SaveChannel(TavFileSaver& saver) override;
    /// Missing chunks keep the current value; a bad value (too short, out of range) is refused with a message.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    // Tav_WorldInterface slots.
    dWorldID GetWorld() override;
    dGeomID CreateGeomTransform() override;
    dGeomID CreateBox(float x, float y, float z, int inSpace) override;
    dGeomID CreateSphere(float radius, int inSpace) override;
    dGeomID CreatePlane(float a, float b, float c, float d) override;
    dGeomID CreateMeshGeom(Tvc_ODE_BodyCollision* body) override;
    float GetWorldFactor() override;
    void RegisterBody() override;
    void UnregisterBody() override;
    bool GetIfFrozen() override;

    // Settings (stored at once, used by the next step). Setters refuse out-of-range values and return false.
    /// Simulated seconds per step; above zero and at most kMaxStepSize (one second).
    virtual bool SetStepSize(float seconds) override;
    virtual float GetStepSize() override;
    /// Iterations of the quick-step solver, 1 to kMaxSolverIterations.
    virtual bool SetSolverIterations(int iterations) override;
    virtual int GetSolverIterations();
    /// Finite components.
    virtual bool SetGravity(D3DXVECTOR3 gravity) override;
    virtual D3DXVECTOR3 GetGravity();
    /// Finite and not negative.
    virtual bool SetWorldFactor(float factor) override;
    virtual void SetIfFrozen(bool frozen) override;
    /// 1 to kMaxContactsPerPair.
    virtual bool SetContactsPerPair(int contacts) override;
    virtual int GetContactsPerPair();

    // State, for tools and tests.
    virtual dSpaceID GetSpace();
    virtual int GetRegisteredBodyCount();
    /// Steps simulated so far.
    virtual unsigned long GetStepCount();
    /// Runs one collision pass and one step now (what the frame-end event does).
    virtual void Step();

private:
    static void NearCallback(void* data, dGeomID o1, dGeomID o2);
    void Collide(dGeomID o1, dGeomID o2);

    dWorldID world_ = nullptr;
    dSpaceID space_ = nullptr;
    dJointGroupID contacts_ = nullptr;
    float stepSize_;
    int solverIterations_;
    D3DXVECTOR3 gravity_;
    float worldFactor_ = 1.0f;
    bool frozen_ = false;
    int contactsPerPair_;
    int registeredBodies_ = 0;
    unsigned long stepCount_ = 0;
    unsigned long lastSteppedFrame_ = ~0ul;
    /// Bodies left out of the current step because ODE could not step their state (see Step).
    std::vector<dBodyID> setAside_;
    /// Geoms left out of the current collision pass (see Step).
    std::vector<dGeomID> geomsSetAside_;
    bool setAsideShown_ = false;
};
