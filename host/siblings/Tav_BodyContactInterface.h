#pragma once
// What the world channel asks of a body channel during its collision pass: contacts of a sphere or box
// with the body's collision meshes, and the depth of each contact the body takes part in. The body
// channel implements it beside its matrix-channel base, so the world needs neither the body's class
// nor its library.

#include <ode/ode.h>

class Tav_BodyContactInterface {
public:
    /// Contacts of sphere with the body's meshes, written to contacts (records skip bytes apart; at most
    /// the count in the low 16 bits of flags). Returns how many were written.
    virtual unsigned long CollideSphere(dGeomID sphere, unsigned long flags, dContactGeom* contacts,
                                        unsigned long skip) = 0;
    /// The same for box; meshGeom is the body's own mesh geom.
    virtual unsigned long CollideBox(dGeomID box, unsigned long flags, dContactGeom* contacts, unsigned long skip,
                                     dGeomID meshGeom) = 0;
    /// The depth of a contact this frame, for the body's rest detection.
    virtual void SetPenetrationOfBody(float depth) = 0;

protected:
    // Never deleted through this interface: the host owns the channel.
    ~Tav_BodyContactInterface() = default;
};
