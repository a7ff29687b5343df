#pragma once
// The host every runner command works in: it finds channel libraries beside the runner (the build tree),
// then in the installed channel folder relative to the runner, then in VEX_PLUGIN_PATH; the command line
// sets its worker-thread count, and it hands the progress displays of a light-map bake to the runner's own
// progress line.

#include "host/Vexcore.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vex::app {

class ProgressLine;

class RunnerHost : public Vexcore {
public:
    using Vexcore::Vexcore;

    Tav_Channel* CreateChannelByGuid(_GUID type, int reserved1 = 0, int reserved2 = 0) override;

    /// While set (not null), progress displays created through the host draw nothing themselves; those of
    /// a light-map computation report their fraction to line, scaled to its total.
    void SetLightMapProgress(ProgressLine* line, long long texels)
    {
        lightMapLine_ = line;
        lightMapTexels_ = texels;
    }

private:
    ProgressLine* lightMapLine_ = nullptr;
    long long lightMapTexels_ = 0;
};

/// The folders searched for channel libraries, in order, for a runner that lives in `runnerFolder`.
std::vector<std::string> RunnerPluginFolders(const std::string& runnerFolder);

/// A host searching RunnerPluginFolders(runnerFolder) that prints each distinct channel message once on
/// standard error; `threads` sets its worker-thread count (default: every hardware thread).
std::unique_ptr<RunnerHost> MakeRunnerHost(const std::string& runnerFolder, std::optional<int> threads = {});

} // namespace vex::app
