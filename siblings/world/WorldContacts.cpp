// The collision pass: which pairs collide, how their contacts become ODE contact joints, and the reports of
// penetration depth to the body channels.
#include "siblings/world/Tvc_ODE_World.h"

#include "body/BodyContacts.h"
#include "body/ODE_GeometryItem.h"
#include "siblings/world/ContactMaterial.h"
#include "siblings/world/WorldConstants.h"

#include <algorithm>

namespace {

const ODE_GeometryItem* ItemOf(dGeomID geom)
{
    return geom ? static_cast<const ODE_GeometryItem*>(dGeomGetData(geom)) : nullptr;
}

// The item of a contact's geom. Top-level geoms carry their item; a shape wrapped by a transform carries
// none, so it is found through the transform of the pair that wraps it.
const ODE_GeometryItem* ContactItem(dGeomID geom, dGeomID o1, dGeomID o2)
{
    if (const ODE_GeometryItem* item = ItemOf(geom))
        return item;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    for (dGeomID top : {o1, o2})
        if (top && dGeomGetClass(top) == dGeomTransformClass && dGeomTransformGetGeom(top) == geom)
            return ItemOf(top);
#pragma GCC diagnostic pop
    return nullptr;
}

} // namespace

void Tvc_ODE_World::NearCallback(void* data, dGeomID o1, dGeomID o2)
{
    static_cast<Tvc_ODE_World*>(data)->Collide(o1, o2);
}

void Tvc_ODE_World::Collide(dGeomID o1, dGeomID o2)
{
    dBodyID b1 = dGeomGetBody(o1);
    dBodyID b2 = dGeomGetBody(o2);
    // Two static geoms have nothing to move; the shapes of one body never push each other apart.
    if (!b1 && !b2)
        return;
    if (b1 == b2)
        return;
    if (b1 && b2 && dAreConnectedExcluding(b1, b2, dJointTypeContact))
        return;
    // A body set aside for this step gets no contacts: a contact would wake it and step it after all.
    for (dBodyID body : setAside_)
        if (body == b1 || body == b2)
            return;

    // On the stack: this runs for every touching pair of every step, and a heap buffer per pair costs a
    // few per cent of a large scene's frame. The setting never exceeds kMaxContactsPerPair.
    dContact contacts[vex::world::kMaxContactsPerPair];
    const int room = std::clamp(contactsPerPair_, 1, vex::world::kMaxContactsPerPair);
    const int count = dCollide(o1, o2, room, &contacts[0].geom, sizeof(dContact));
    // The records of one pair usually name the same two geoms: their items and surface are looked up
    // again only when the geoms change.
    dGeomID lastG1 = nullptr, lastG2 = nullptr;
    const ODE_GeometryItem* item1 = nullptr;
    const ODE_GeometryItem* item2 = nullptr;
    vex::world::ContactMaterial material{};
    for (int i = 0; i < count; ++i) {
        dContact& contact = contacts[i];
        // Only the geom part came from the collider; the rest is set here (ODE reads fdir1 only with
        // dContactFDir1, but the joint copies the whole record).
        contact.surface = dSurfaceParameters{};
        for (dReal& v : contact.fdir1)
            v = 0;
        if (i == 0 || contact.geom.g1 != lastG1 || contact.geom.g2 != lastG2) {
            lastG1 = contact.geom.g1;
            lastG2 = contact.geom.g2;
            item1 = ContactItem(lastG1, o1, o2);
            item2 = ContactItem(lastG2, o1, o2);
            material = vex::world::CombineMaterials(item1, item2);
        }
        contact.surface.mode = dContactApprox1 | dContactBounce;
        contact.surface.mu = material.friction;
        contact.surface.bounce = material.bounce;
        contact.surface.bounce_vel = vex::world::kBounceMinimumSpeed;

        // The contact joint acts on the bodies of its own g1 and g2, in that order.
        dJointID joint = dJointCreateContact(world_, contacts_, &contact);
        dJointAttach(joint, dGeomGetBody(contact.geom.g1), dGeomGetBody(contact.geom.g2));

        const float depth = static_cast<float>(contact.geom.depth);
        for (const ODE_GeometryItem* item : {item1, item2})
            if (item && item->owner)
                vex::body::ContactsOf(item->owner)->SetPenetrationOfBody(depth);
    }
}
