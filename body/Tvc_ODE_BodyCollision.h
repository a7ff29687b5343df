#pragma once
// The rigid-body channel ("ODE Body"): a matrix channel whose matrix comes from an ODE body built from a
// list of shapes. Every method is virtual and the order below is the library's interface.

#include "body/ODE_GeometryItem.h"
#include "host/Tav_List.h"
#include "host/siblings/Tav_BodyContactInterface.h"
#include "host/siblings/Tav_BodySetupInterface.h"
#include "host/siblings/Tvc_MatrixChannel.h"

#include <ode/ode.h>

#include <memory>

class Tav_WorldInterface;
class Tav_ValueInterface;
namespace vex::body {
class RepeatedCollisions;
} // namespace vex::body

// The contact and setup interfaces are further bases, implemented by the slots of the same names: the
// matrix channel stays the primary base, so the slot order below is unchanged.
class Tvc_ODE_BodyCollision : public Tvc_MatrixChannel, public Tav_BodyContactInterface, public Tav_BodySetupInterface {
public:
    Tvc_ODE_BodyCollision();
    // Copies would free the same items and ODE objects twice.
    Tvc_ODE_BodyCollision(const Tvc_ODE_BodyCollision&) = delete;
    Tvc_ODE_BodyCollision& operator=(const Tvc_ODE_BodyCollision&) = delete;

    // Tav_Channel slots.
    ~Tvc_ODE_BodyCollision() override;
    void CallChannel() override;
    bool SaveChannel(TavFileSaver& saver) override;
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;
    void DoDependencyInit(Tav_List* list) override;

    // Tvc_MatrixChannel slots (SetMatrix inherited).
    D3DXMATRIX GetOldMatrix() override;
    D3DXMATRIX GetMatrix() override;
    void Release() override;

    // Own slots, in this order.
    virtual D3DXMATRIX GetODEMatrix();
    virtual D3DXMATRIX GetBodyMatrix(bool sized);
    virtual D3DXMATRIX GetNonSizedBodyMatrix();
    virtual void InitializeBody();
    virtual void SetBodyPositionFromMatrix();
    virtual int GetGeometryCount() override;
    virtual ODE_GeometryItem* GetGeometryItem(int index) override;
    virtual void SetGeometryItem(ODE_GeometryItem item, int index);
    virtual void AddGeometryItem() override;
    virtual void RemoveGeometryItem(int index) override;
    virtual dBodyID GetBodyID() override;
    virtual void SetIfUseDynamics(bool use) override;
    virtual bool GetIfUseDynamics();
    virtual void UpdateGeometryPositions();
    virtual D3DXMATRIX GetMatrixRotation(D3DXMATRIX m);
    virtual void GetODERotationMatrix(D3DXMATRIX m, dReal* R);
    virtual unsigned long CollideSphere(dGeomID sphere, unsigned long flags, dContactGeom* contacts,
                                        unsigned long skip) override;
    virtual unsigned long CollideBox(dGeomID box, unsigned long flags, dContactGeom* contacts, unsigned long skip,
                                     dGeomID meshGeom) override;
    virtual bool SphereTriangleCollision(D3DXVECTOR3& p0, D3DXVECTOR3& p1, D3DXVECTOR3& p2, D3DXVECTOR3& centre,
                                         D3DXVECTOR3& out);
    virtual bool SphereEdgeCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& centre, D3DXVECTOR3& out,
                                     float radius);
    virtual void CalculateSphereBounds(D3DXMATRIX objectMatrix, D3DXVECTOR3 centre, float radius);
    virtual bool GetIfPlaneContainsPoint(D3DXVECTOR3& planePoint, D3DXVECTOR3& planeNormal, D3DXVECTOR3 point,
                                         D3DXVECTOR3& out);
    virtual float GetPointEdgeDistance(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& point, D3DXVECTOR3& closest);
    virtual void CreateBoxFromPoly(D3DXVECTOR3& p0, D3DXVECTOR3& p1, D3DXVECTOR3& p2, dReal* position, dReal* rotation,
                                   dReal* sides, D3DXVECTOR3& normal);
    virtual void CalculateBoxBounds(D3DXMATRIX objectMatrix, D3DXMATRIX boxMatrix, const dReal* sides);
    virtual int dBoxBox(const dReal* p1, const dReal* R1, const dReal* side1, const dReal* p2, const dReal* R2,
                        const dReal* side2, dReal* normal, dReal* depth, int* code, int flags, dContactGeom* contact,
                        int skip);
    virtual void lineClosestApproach(const dReal* pa, const dReal* ua, const dReal* pb, const dReal* ub, dReal* alpha,
                                     dReal* beta);
    virtual void SetAngularVelocityDampenValue(float value) override;
    virtual float GetAngularVelocityDampenValue();
    virtual void SetIfDisableForces(bool disable) override;
    virtual bool GetIfDisableForces();
    virtual bool GetIfRunningDynamics();
    virtual D3DXVECTOR3 GetLinearVelocityVector() override;
    virtual D3DXVECTOR3 GetAngularVelocityVector();
    virtual D3DXVECTOR3 GetForceVector();
    virtual D3DXVECTOR3 GetTorqueVector();
    virtual D3DXVECTOR3 GetBodyGetRelPointVel(D3DXVECTOR3 point);
    virtual void SetPenetrationOfBody(float depth) override;
    virtual void SetBodyPositionFromOldMatrix();
    virtual void SetIfDynamicDisableForces(bool enable) override;
    virtual bool GetIfDynamicDisableForces();

    /// How often the body's motion overflowed and it was put back at its start matrix (not a listed slot:
    /// the runner's summary names such bodies, through Tav_BodySetupInterface).
    int GetStateResetCount() const override { return stateResets_; }

    // Members, in the order the channel declares them.
    Tav_WorldInterface* world;
    dBodyID bodyID;
    bool initialised;
    Tav_List geometryItems;
    D3DXMATRIX oldMatrix;
    bool useDynamics;
    D3DXVECTOR3 boundsMin;
    D3DXVECTOR3 boundsMax;
    float angularDampenValue;
    Tav_ValueInterface* dampingFactorChannel;
    bool disableForces;
    D3DXVECTOR3 bodyScale;
    bool dynamicDisableForces;
    float penetration;
    bool resting;
    unsigned long restTimer;

private:
    static D3DXMATRIX Identity();
    /// The start link's matrix, or the identity without a start link.
    D3DXMATRIX StartMatrix();

    // Steps of InitializeBody.
    /// The item's box sides: its size times the body's scale.
    D3DXVECTOR3 ScaledSize(const ODE_GeometryItem& item) const;
    /// A free geom for a static body's item; one mesh geom (meshCreated) stands for all mesh items.
    void BuildStaticShape(ODE_GeometryItem& item, bool& meshCreated);
    /// A transform-wrapped shape for a dynamic body's box or sphere item; its mass is added to total.
    void BuildDynamicShape(ODE_GeometryItem& item, dMass& total);
    /// Creates the item's inner box or sphere and, when the shape can carry one, its unit-density mass;
    /// returns whether it can.
    bool CreateInnerShape(ODE_GeometryItem& item);
    /// Scales the item's mass to its value, turns it by R, moves it to the offset and adds it to total;
    /// a mass ODE could not invert is zeroed instead.
    void AddShapeMass(ODE_GeometryItem& item, const dReal* R, dMass& total);
    /// Moves the body frame's origin to the centre of total, attaches every geom to the body and gives the
    /// body the mass when it is usable.
    void AttachShapesAtMassCentre(dMass& total);

    // Steps of GetODEMatrix.
    /// Releases the body while the enable value is below the threshold (false: it follows its start
    /// matrix); builds it once it is enabled.
    bool ApplyEnable(Tav_ValueInterface& enable);
    /// Puts back a body whose state is no longer finite; rearms the message after a sound run.
    void KeepStateSound();
    /// Pins a body that stayed still in shallow contact for longer than the rest delay.
    void ApplyRestRule();
    /// Scales the angular velocity towards angularDampenValue times itself by the damping factor.
    void ApplyAngularDamping();
    /// A static body's output: its start matrix; the geoms follow when it changed.
    D3DXMATRIX StaticOutput(Tvc_MatrixChannel* start);

    /// Places the ODE body so that the channel's body frame lies at the pose of m (scale taken out).
    void PlaceBodyAtMatrix(const D3DXMATRIX& m);

    /// Where the shapes put the centre of mass, in body-frame coordinates. ODE wants a body's centre of
    /// mass at its origin, so the ODE body sits this far from the channel's body frame and its shapes are
    /// shifted back by it; placing and reading the body account for the difference.
    dReal massCentre_[3] = {0, 0, 0};

    /// True when the start matrix, every item and the damping values are finite. Shows one message when
    /// they stop being so; once they recover, a later fault is shown again.
    bool CheckInput(const D3DXMATRIX& start);
    /// Stops the body, clears its force and torque and puts it back at its start matrix; says so once for
    /// a run of faults.
    void ResetUnsoundBody();

    bool inputFaultShown_ = false;
    bool stateFaultShown_ = false;
    int soundEvaluations_ = 0;
    int stateResets_ = 0;

    /// Answers the mesh colliders gave, kept per shape geom: a resting body asks the same each step.
    std::unique_ptr<vex::body::RepeatedCollisions> repeatedCollisions_;
    vex::body::RepeatedCollisions& RepeatedAnswers();
};
