#pragma once
// The host every runner command works in: it finds channel libraries beside the runner (the build tree),
// then in the installed channel folder relative to the runner, then in VEX_PLUGIN_PATH.

#include <memory>
#include <string>
#include <vector>

class Vexcore;

namespace vex::app {

/// The folders searched for channel libraries, in order, for a runner that lives in `runnerFolder`.
std::vector<std::string> RunnerPluginFolders(const std::string& runnerFolder);

/// A host searching RunnerPluginFolders(runnerFolder) that prints channel messages on standard error.
std::unique_ptr<Vexcore> MakeRunnerHost(const std::string& runnerFolder);

} // namespace vex::app
