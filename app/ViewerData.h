#pragma once
// What the viewer page shows, gathered as JSON: the scene's geometry and lamps from a host holding the
// run's final state, and the recorded frames from the text of trajectory.csv.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <istream>
#include <string>

class Vexcore;

namespace vex::app {

/// "bodies" (name and shapes in body space), "meshes" (3D objects in world space, with the light map
/// they show), "collision" (collision objects' triangles in world space), "planes" and "lamps".
/// 3D objects placed by a body are left out: the body's own shapes stand for them.
nlohmann::json ViewerSceneData(const Vexcore& host);

/// The frames to show: every `stride`-th recorded frame and always the last, as
/// {"names", "frames", "times", "poses" (x, y, z, qw, qx, qy, qz per body per kept frame), "stride",
/// "recorded"}. `finalPosesCsv` (one frame in the same form) is the state the run ended in; when it is
/// not the last recorded frame it follows as one more. The trajectory is read row by row, so memory follows
/// the kept frames. Throws InputError naming `file` for a malformed row or a frame missing a body.
nlohmann::json ViewerFrames(std::istream& trajectoryCsv, const std::string& file, size_t stride,
                            const std::string& finalPosesCsv);

/// The smallest stride that keeps the frames' share of the page within `budgetBytes`.
size_t StrideForBudget(size_t recordedFrames, size_t bodies, size_t budgetBytes);

} // namespace vex::app
