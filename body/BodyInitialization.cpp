// Building the ODE body and geoms from the geometry items, and placing a static body's geoms.
#include "body/Tvc_ODE_BodyCollision.h"

#include "body/BodySoundness.h"
#include "host/siblings/Tav_WorldInterface.h"

#include <cmath>

namespace {

bool IsBuildableKind(uint8_t kind) { return kind <= kShapePlane; }

bool Positive(float v) { return std::isfinite(v) && v > 0; }

} // namespace

// Release everything; decide static or dynamic; for a dynamic body create it at the start pose and wrap
// each shape in a transform whose inner geom carries the shape's offset and rotation, summing the masses in
// body space; for a static body create free geoms and place them at the start matrix.
void Tvc_ODE_BodyCollision::InitializeBody()
{
    Release();
    massCentre_[0] = massCentre_[1] = massCentre_[2] = 0;
    if (geometryItems.GetItemCount() == 0 || !world)
        return;
    // Nothing is built from values ODE cannot take; the frame evaluation tries again once they are finite.
    if (!CheckInput(StartMatrix()))
        return;

    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (item && (item->kind == kShapeMesh || item->kind == kShapePlane))
            useDynamics = false;
    }

    dMass total;
    dMassSetZero(&total);
    if (useDynamics) {
        bodyID = dBodyCreate(world->GetWorld());
        SetBodyPositionFromMatrix();
    }

    bool meshCreated = false;
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item)
            continue;
        if (useDynamics)
            BuildDynamicShape(*item, total);
        else
            BuildStaticShape(*item, meshCreated);
    }

    if (useDynamics) {
        AttachShapesAtMassCentre(total);
        SetBodyPositionFromMatrix();
    } else {
        UpdateGeometryPositions();
    }
    SetTimeStamp();
    initialised = true;
}

D3DXVECTOR3 Tvc_ODE_BodyCollision::ScaledSize(const ODE_GeometryItem& item) const
{
    return D3DXVECTOR3(item.size.x * bodyScale.x, item.size.y * bodyScale.y, item.size.z * bodyScale.z);
}

void Tvc_ODE_BodyCollision::BuildStaticShape(ODE_GeometryItem& item, bool& meshCreated)
{
    const D3DXVECTOR3 l = ScaledSize(item);
    switch (item.kind) {
    case kShapeBox:
        item.geom = world->CreateBox(l.x, l.y, l.z, 1);
        break;
    case kShapeSphere:
        item.geom = world->CreateSphere(item.radius, 1);
        break;
    case kShapeMesh:
        // One mesh geom stands for all collision objects of the body.
        if (!meshCreated) {
            item.geom = world->CreateMeshGeom(this);
            meshCreated = true;
        }
        break;
    case kShapePlane:
        item.geom = world->CreatePlane(0, 1, 0, 0);
        break;
    default:
        break; // unknown kinds get no geom
    }
    if (item.geom)
        dGeomSetData(item.geom, &item);
}

// Transform geom -> inner shape with the unit-density mass -> inner pose at offset and rotation -> the
// shape's own mass moved into body space and added to total.
void Tvc_ODE_BodyCollision::BuildDynamicShape(ODE_GeometryItem& item, dMass& total)
{
    // A dynamic body holds boxes and spheres only; anything else stays unbuilt.
    if (item.kind != kShapeBox && item.kind != kShapeSphere)
        return;
    item.geom = world->CreateGeomTransform();
    dGeomSetData(item.geom, &item);
    // ODE marks geom transforms deprecated, but they are how a body's shapes and their user data reach
    // the world channel, which other libraries rely on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    dGeomTransformSetCleanup(item.geom, 1);
    dGeomTransformSetInfo(item.geom, 1);
    const bool massUsable = CreateInnerShape(item);
    dGeomTransformSetGeom(item.geom, item.innerGeom);
#pragma GCC diagnostic pop
    dGeomSetPosition(item.innerGeom, item.offset.x, item.offset.y, item.offset.z);
    dMatrix3 R;
    GetODERotationMatrix(item.GetRotationMatrix(), R);
    dGeomSetRotation(item.innerGeom, R);
    if (!massUsable) {
        dMassSetZero(&item.mass);
        return;
    }
    AddShapeMass(item, R, total);
}

bool Tvc_ODE_BodyCollision::CreateInnerShape(ODE_GeometryItem& item)
{
    const D3DXVECTOR3 l = ScaledSize(item);
    // A shape without volume or mass collides but adds no mass: ODE cannot distribute it.
    bool massUsable = Positive(item.massValue);
    if (item.kind == kShapeBox) {
        item.innerGeom = world->CreateBox(l.x, l.y, l.z, 0);
        massUsable = massUsable && Positive(l.x) && Positive(l.y) && Positive(l.z);
        if (massUsable)
            dMassSetBox(&item.mass, 1.0, l.x, l.y, l.z);
    } else {
        item.innerGeom = world->CreateSphere(item.radius, 0);
        massUsable = massUsable && Positive(item.radius);
        if (massUsable)
            dMassSetSphere(&item.mass, 1.0, item.radius);
    }
    return massUsable;
}

void Tvc_ODE_BodyCollision::AddShapeMass(ODE_GeometryItem& item, const dReal* R, dMass& total)
{
    // Density 1 only sets the distribution; the shape's mass is what the item says.
    dMassAdjust(&item.mass, item.massValue);
    // Extreme sizes and masses can leave an inertia that rounding made singular.
    if (!vex::body::MassIsUsable(item.mass)) {
        dMassSetZero(&item.mass);
        return;
    }
    // Turn the shape's mass about its own centre, then move it to the offset: turning after the move
    // would swing the centre of mass away from the geom, which sits at the offset.
    dMassRotate(&item.mass, R);
    dMassTranslate(&item.mass, item.offset.x, item.offset.y, item.offset.z);
    dMassAdd(&total, &item.mass);
}

// ODE insists on the centre of mass at the body's origin: move the ODE body there and the shapes back by
// as much, so that shapes and output stay where the items put them.
void Tvc_ODE_BodyCollision::AttachShapesAtMassCentre(dMass& total)
{
    bool massUsable = total.mass > 0;
    if (massUsable) {
        dMass centred = total;
        dMassTranslate(&centred, -total.c[0], -total.c[1], -total.c[2]);
        // ODE stops the process on a mass it cannot invert, which shapes far apart (their inertia
        // swamping the rounding) can give; such a body keeps ODE's default mass like one without mass.
        massUsable = vex::body::MassIsUsable(centred);
        if (massUsable) {
            for (int k = 0; k < 3; ++k)
                massCentre_[k] = total.c[k];
            total = centred;
        }
    }
    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item || !item->geom)
            continue;
        if (item->innerGeom)
            dGeomSetPosition(item->innerGeom, item->offset.x - massCentre_[0], item->offset.y - massCentre_[1],
                             item->offset.z - massCentre_[2]);
        dGeomSetBody(item->geom, bodyID);
    }
    // Without any shape that has a mass (ODE refuses a zero mass) the body keeps ODE's default mass.
    if (massUsable)
        dBodySetMass(bodyID, &total);
}

void Tvc_ODE_BodyCollision::UpdateGeometryPositions()
{
    if (useDynamics)
        return;
    const D3DXMATRIX w = StartMatrix();
    if (!vex::body::MatrixIsUsable(w))
        return;

    for (int i = 0; i < geometryItems.GetItemCount(); ++i) {
        auto* item = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(i));
        if (!item || !item->geom || !IsBuildableKind(item->kind))
            continue;
        D3DXMATRIX t;
        D3DXMatrixTranslation(&t, item->offset.x, item->offset.y, item->offset.z);
        D3DXMATRIX sc;
        D3DXMatrixIdentity(&sc);
        if (item->kind == kShapeBox)
            D3DXMatrixScaling(&sc, item->size.x * bodyScale.x, item->size.y * bodyScale.y, item->size.z * bodyScale.z);
        else if (item->kind == kShapeSphere)
            D3DXMatrixScaling(&sc, item->radius, item->radius, item->radius);
        const D3DXMATRIX rotation = item->GetRotationMatrix();
        D3DXMATRIX rt;
        D3DXMatrixMultiply(&rt, &rotation, &t);
        D3DXMATRIX srt;
        D3DXMatrixMultiply(&srt, &sc, &rt);
        D3DXMatrixMultiply(&t, &srt, &w);
        // Finite factors can still overflow in the product.
        if (!vex::body::MatrixIsUsable(t))
            continue;

        // Decided by the geom itself: an item edited after the build must not send a box to the plane call.
        if (dGeomGetClass(item->geom) != dPlaneClass) {
            dGeomSetPosition(item->geom, t._41, t._42, t._43);
            dMatrix3 R;
            GetODERotationMatrix(GetMatrixRotation(t), R);
            dGeomSetRotation(item->geom, R);
        } else {
            const D3DXVECTOR3 n(t._21, t._22, t._23);
            const D3DXVECTOR3 p(t._41, t._42, t._43);
            dGeomPlaneSetParams(item->geom, n.x, n.y, n.z, D3DXVec3Dot(&n, &p));
        }
    }
    oldMatrix = w;
}

void Tvc_ODE_BodyCollision::SetIfUseDynamics(bool use) { useDynamics = use; }
bool Tvc_ODE_BodyCollision::GetIfUseDynamics() { return useDynamics; }
