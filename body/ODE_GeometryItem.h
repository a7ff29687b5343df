#pragma once
// One shape of a body (box, sphere, mesh or plane) and the older record layout that old projects hold.

#include "platform/D3DXMath.h"

#include <ode/ode.h>

#include <cstdint>

class Tvc_ODE_BodyCollision;

enum ShapeKind : uint8_t {
    kShapeBox = 0,
    kShapeSphere = 1,
    kShapeMesh = 2,
    kShapePlane = 3,
};

class ODE_GeometryItem {
public:
    ODE_GeometryItem();
    ODE_GeometryItem(const ODE_GeometryItem& other);
    ODE_GeometryItem& operator=(const ODE_GeometryItem& other);
    /// Destroys the top-level geom (a transform destroys its wrapped shape itself).
    virtual ~ODE_GeometryItem();

    /// Zc * Xb * Ya for rotation (a, b, c): turn about Z by c, then X by b, then Y by a (row vectors).
    virtual D3DXMATRIX GetRotationMatrix();

    dGeomID geom;         ///< top-level geom: the transform (dynamic) or the shape itself (static)
    dGeomID innerGeom;    ///< shape wrapped by the transform on a dynamic body
    dMass mass;           ///< computed by InitializeBody
    uint8_t kind;         ///< ShapeKind
    float massValue;      ///< total mass of the shape
    float radius;         ///< sphere radius
    D3DXVECTOR3 size;     ///< box edge lengths
    D3DXVECTOR3 offset;   ///< position in body space
    D3DXVECTOR3 rotation; ///< angles about Y, X, Z in radians
    bool auxFlag;         ///< kept for other libraries, never interpreted here
    float auxValue1;      ///< kept; the world channel reads it as contact friction
    float auxValue2;      ///< kept; the world channel reads it as contact bounce
    float auxValue3;      ///< kept
    float auxValue4;      ///< kept
    char name[40];        ///< display name, zero-terminated
    Tvc_ODE_BodyCollision* owner;
};

/// The record layout of older projects ("BDIG"); read and converted, never written.
class ODE_OLD2GeometryItem {
public:
    ODE_OLD2GeometryItem();
    ODE_OLD2GeometryItem(const ODE_OLD2GeometryItem& other);
    ODE_OLD2GeometryItem& operator=(const ODE_OLD2GeometryItem& other);
    virtual ~ODE_OLD2GeometryItem();

    virtual D3DXMATRIX GetRotationMatrix();

    dGeomID geom;
    dGeomID innerGeom;
    dMass mass;
    uint8_t kind;
    float massValue;
    float radius;
    D3DXVECTOR3 size;
    float legacyLength;
    uint8_t legacyAxis;
    D3DXVECTOR3 offset;
    D3DXVECTOR3 rotation;
    int32_t legacyFlag;
    float auxValue1;
    float auxValue2;
    float legacyPlane[4];
    float auxValue3;
    float auxValue4;
    char name[40];
};
