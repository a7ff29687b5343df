#pragma once
// The mesh geom: a custom ODE geom class standing for a body channel's collision meshes. ODE calls its
// colliders for spheres and boxes (also when they sit inside a geom transform: ODE's transform collider
// hands over the wrapped geom at its world pose), and they ask the body channel's CollideSphere and
// CollideBox through its contact interface.

#include "host/siblings/Tav_BodyContactInterface.h"

#include <ode/ode.h>

namespace vex::world {

/// Registers the class with ODE once per process (ODE must be initialised) and returns its number.
int MeshGeomClass();

/// A new mesh geom for body, not in any space. Its bounding box is infinite: the body's meshes can be
/// anywhere, and the space then offers it every geom.
dGeomID CreateMeshGeom(Tav_BodyContactInterface* body);

/// The body of a mesh geom, or null for any other geom.
Tav_BodyContactInterface* MeshGeomBody(dGeomID geom);

/// Initialises ODE for this process once (thread data for the calling thread included).
void EnsureOdeInitialised();

} // namespace vex::world
