#include "app/RunnerHost.h"

#include "app/ProgressLine.h"
#include "host/siblings/Tav_ProgressListenerInterface.h"
#include "host/siblings/TypeGuids.h"

#include <cmath>
#include <filesystem>
#include <iostream>
#include <set>

namespace vex::app {
namespace {

/// Channel messages go to standard error, each text once: a message a channel shows on every frame would
/// otherwise bury everything else. How many repeats were held back is said when the host goes.
class MessagePrinter {
public:
    ~MessagePrinter()
    {
        if (repeats_ > 0)
            std::cerr << "vexhost: " << repeats_ << " repeats of the messages above not shown\n";
    }
    void Show(const std::string& text)
    {
        if (seen_.count(text)) {
            ++repeats_;
            return;
        }
        if (seen_.size() < kRemembered)
            seen_.insert(text);
        std::cerr << "vexhost: " << text << "\n";
    }

private:
    static constexpr size_t kRemembered = 1000; ///< distinct texts remembered; later ones always show
    std::set<std::string> seen_;
    unsigned long repeats_ = 0;
};

} // namespace

Tav_Channel* RunnerHost::CreateChannelByGuid(_GUID type, int reserved1, int reserved2)
{
    Tav_Channel* channel = Vexcore::CreateChannelByGuid(type, reserved1, reserved2);
    if (!lightMapLine_ || type != Guid(guids::kProgress))
        return channel;
    if (auto* progress = dynamic_cast<Tav_ProgressListenerInterface*>(channel)) {
        // The light map's display is the one whose text starts "Surf: "; the shadow scene's (built at the
        // start of the computation) stays silent.
        auto isLightMap = std::make_shared<bool>(false);
        ProgressLine* line = lightMapLine_;
        const long long texels = lightMapTexels_;
        progress->SetListener([isLightMap, line, texels](const std::string& text, float fraction) {
            if (text.rfind("Surf: ", 0) == 0)
                *isLightMap = true;
            if (*isLightMap)
                line->Update(std::llround(static_cast<double>(fraction) * static_cast<double>(texels)));
        });
    }
    return channel;
}

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

std::unique_ptr<RunnerHost> MakeRunnerHost(const std::string& runnerFolder, std::optional<int> threads)
{
    auto host = std::make_unique<RunnerHost>(RunnerPluginFolders(runnerFolder));
    if (threads)
        host->SetWorkerThreadCount(*threads);
    auto printer = std::make_shared<MessagePrinter>();
    host->SetMessageSink([printer](const std::string& text) { printer->Show(text); });
    return host;
}

} // namespace vex::app
