#pragma once
// `vexhost validate SCENE`: a dry run for editors and scripts.

#include "app/Commands.h"

#include <string>

namespace vex::app {

/// Reads the scene and builds its channel graph in a fresh host, without running a frame or writing a
/// file. Returns 0 when the scene builds, 2 with one line on standard error for the first problem (a
/// channel library that cannot be loaded or create its channel counts as one).
int CommandValidate(const std::string& scenePath, const CommandOptions& options);

} // namespace vex::app
