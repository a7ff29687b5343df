#include "app/RunnerHost.h"

#include "host/Vexcore.h"

#include <filesystem>
#include <iostream>

namespace vex::app {

std::vector<std::string> RunnerPluginFolders(const std::string& runnerFolder)
{
    if (runnerFolder.empty())
        return {};
    // VEX_INSTALLED_PLUGIN_DIR is the channel folder relative to the installed runner ("../lib/vex"), so
    // an installed tree works wherever its prefix was put.
    const std::filesystem::path installed =
        (std::filesystem::path(runnerFolder) / VEX_INSTALLED_PLUGIN_DIR).lexically_normal();
    return {runnerFolder, installed.string()};
}

std::unique_ptr<Vexcore> MakeRunnerHost(const std::string& runnerFolder)
{
    auto host = std::make_unique<Vexcore>(RunnerPluginFolders(runnerFolder));
    host->SetMessageSink([](const std::string& text) { std::cerr << "vexhost: " << text << "\n"; });
    return host;
}

} // namespace vex::app
