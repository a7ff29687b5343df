#include "body/BodyContacts.h"

#include "body/Tvc_ODE_BodyCollision.h"

namespace vex::body {

// Only the class's layout is needed (the offset of the second base), none of its code.
Tav_BodyContactInterface* ContactsOf(Tvc_ODE_BodyCollision* body) { return body; }

} // namespace vex::body
