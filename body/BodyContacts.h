#pragma once
// The body channel as the world's collision pass sees it. The world channel is handed body channels by
// their class (the world interface's CreateMeshGeom, an item's owner) but only asks them for contacts:
// this turns such a pointer into the contact interface without the world knowing the class.

#include "host/siblings/Tav_BodyContactInterface.h"

class Tvc_ODE_BodyCollision;

namespace vex::body {

/// The contact interface of body, or null for null.
Tav_BodyContactInterface* ContactsOf(Tvc_ODE_BodyCollision* body);

} // namespace vex::body
