#pragma once
// How the body's box collider asks a collision object for candidate polygons: through the oriented-box
// extension when the object offers it, else through the axis-aligned query every object has.

#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "platform/D3DXMath.h"

namespace vex::body {

/// The box as the colliders hold it: ODE centre and rotation (three rows of four; column i is axis i),
/// and the half lengths to query with (already grown by whatever margin the collider needs).
struct CandidateBox {
    const double* centre;
    const double* rotation;
    double halfLengths[3];
};

/// Whether GetBoxCandidates uses the oriented-box query. Off by default: on the body's box collider it
/// costs more than the triangles it drops save (docs/body-channel.md). It starts from the environment
/// (VEX_OBB=1 turns it on); the collider bench turns it on and off to time both in one run.
bool OrientedBoxQueryEnabled();
void SetOrientedBoxQueryEnabled(bool enabled);

/// Appends to polygons the candidates of object for the box, whose bounds in the object's space are
/// [low, high]. The oriented-box query is used when enabled, offered and the object's matrix is the identity (the
/// box is then already in the object's space); either way the list is the axis-aligned query's or an
/// ordered part of it that still holds every polygon the box meets.
bool GetBoxCandidates(Tav_CollisionObjectInterface& object, const D3DXMATRIX& objectMatrix, Tav_List& polygons,
                      D3DXVECTOR3& low, D3DXVECTOR3& high, const CandidateBox& box);

} // namespace vex::body
