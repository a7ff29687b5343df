#pragma once
// An extension a collision object may offer besides Tav_CollisionObjectInterface: a number that stands
// for the polygons it answers queries with. A body resting on the object is pinned to the same pose
// every step and asks the same question each time; with this number it can tell that the answer cannot
// have changed and keep its last contacts. Callers find it with dynamic_cast on the collision object,
// like Tav_OrientedBoxQueryInterface; an object without it is asked every time.

#include <cstdint>

namespace vex {
/// A revision no polygon set of this process has had before (the host's counter, shared by every
/// library, so that an object freed and another made at its address never repeat one).
uint64_t NewPolygonRevision();
} // namespace vex

class Tav_PolygonRevisionInterface {
public:
    virtual ~Tav_PolygonRevisionInterface() = default;

    /// Changes, to a value from vex::NewPolygonRevision, whenever the polygons, their handles or their
    /// local vertices change. The collision matrix is not part of it.
    virtual uint64_t GetPolygonRevision() const = 0;
};
