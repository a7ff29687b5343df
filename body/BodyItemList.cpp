// The body channel's list of geometry items.
#include "body/Tvc_ODE_BodyCollision.h"

#include <cstring>
#include <string>

int Tvc_ODE_BodyCollision::GetGeometryCount() { return geometryItems.GetItemCount(); }

ODE_GeometryItem* Tvc_ODE_BodyCollision::GetGeometryItem(int index)
{
    return static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
}

void Tvc_ODE_BodyCollision::SetGeometryItem(ODE_GeometryItem item, int index)
{
    auto* stored = static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
    if (!stored) {
        const int count = geometryItems.GetItemCount();
        // Only an empty slot inside the list or the slot just past its end can take an item.
        if (index < 0 || index > count)
            return;
        stored = new ODE_GeometryItem;
        geometryItems.SetItem(stored, index);
    }
    // The passed value destroys its geom when the call returns; that geom may well be another item's (a
    // record copied from the list). So the stored item keeps its own geoms, takes everything else, and the
    // passed value lets go of its handles instead of freeing them.
    const dGeomID keepGeom = stored->geom;
    const dGeomID keepInner = stored->innerGeom;
    *stored = item;
    stored->geom = keepGeom;
    stored->innerGeom = keepInner;
    stored->owner = this;
    item.geom = nullptr;
    item.innerGeom = nullptr;
}

void Tvc_ODE_BodyCollision::AddGeometryItem()
{
    const int count = GetGeometryCount();
    ODE_GeometryItem item;
    const std::string name = "New shape (" + std::to_string(count) + ")";
    std::memset(item.name, 0, sizeof item.name);
    std::strncpy(item.name, name.c_str(), sizeof item.name - 1);
    SetGeometryItem(item, count);
}

void Tvc_ODE_BodyCollision::RemoveGeometryItem(int index)
{
    if (geometryItems.GetItemCount() == 0)
        return;
    if (index < 0 || index >= geometryItems.GetItemCount())
        return;
    // Deleting the item destroys its top-level geom at once.
    delete static_cast<ODE_GeometryItem*>(geometryItems.GetItem(index));
    geometryItems.RemoveItem(index);
}
