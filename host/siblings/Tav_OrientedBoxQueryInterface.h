#pragma once
// An extension a collision object may offer besides Tav_CollisionObjectInterface: the axis-aligned box
// query narrowed by an oriented box, so that a tilted box gets the few polygons near it rather than all
// those under its much larger bounds. Callers find it with dynamic_cast on the collision object (the
// libraries share type data, see ChannelLibrary) and use GetPolygonsInBox when it is absent.

#include "host/Tav_List.h"
#include "platform/D3DXMath.h"

class Tav_OrientedBoxQueryInterface {
public:
    virtual ~Tav_OrientedBoxQueryInterface() = default;

    /// The polygons GetPolygonsInBox(list, low, high) appends, in the same order, less some that cannot
    /// touch the oriented box (local space: centre, three unit axes, half lengths along them). A triangle
    /// touches it as the body's box collider sees it: through any of its three edge slabs, each a
    /// rectangle in the triangle's plane on one edge, as long as the edge and as wide as the third vertex
    /// lies from the edge's line (or, when that vertex's foot falls beyond the edge, from the nearer end,
    /// centred half-way towards it); the slabs' thickness is in the box already. So every triangle of that
    /// list one of whose slabs meets the box is kept, and float rounding never drops one. Handles are those
    /// of GetPolygonVertices. False, like GetPolygonsInBox, for a null argument.
    virtual bool GetPolygonsInOrientedBox(Tav_List* list, const D3DXVECTOR3* low, const D3DXVECTOR3* high,
                                          const D3DXVECTOR3* centre, const D3DXVECTOR3 axes[3],
                                          const float halfLengths[3]) = 0;
};
