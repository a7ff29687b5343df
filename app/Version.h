#pragma once
// The version the runner reports (in run.json): the project's version from the build.

namespace vex::app {

inline const char* RunnerVersion() { return VEX_VERSION; }

} // namespace vex::app
