#pragma once
// Small walks over a host's channel graph that several outputs share (trajectory, preview, viewer).

#include "platform/D3DXMath.h"

#include <functional>

class Tav_Channel;
class Tav_MeshInterface;

namespace vex::app {

/// Whether a channel (null: no) is of the type with this GUID text.
bool IsType(Tav_Channel* channel, const char* guid);

/// Calls visit(surface number, mesh, the object's world matrix) for each surface of a 3D object channel
/// whose mesh link holds a mesh channel, in surface order.
void ForEachSurfaceMesh(Tav_Channel* object,
                        const std::function<void(int, Tav_MeshInterface&, const D3DXMATRIX&)>& visit);

} // namespace vex::app
