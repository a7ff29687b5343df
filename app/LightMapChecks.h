#pragma once
// What a light map needs before it can be computed, checked when the scene is built so that a scene
// missing a part is bad input (status 2, naming the scene file and the channel) instead of a failure
// after all its frames have run.

#include "app/Scene.h"

namespace vex::app {

/// Throws InputError for the first pending light map without a 3D object at link 0, without the surface
/// it computes (its "surface" number among the object's surfaces) or whose surface has no mesh.
void CheckLightMapInputs(const Scene& scene, const BuiltScene& built);

} // namespace vex::app
