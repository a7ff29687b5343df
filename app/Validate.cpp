#include "app/Validate.h"

#include "app/InputError.h"
#include "app/RunnerHost.h"
#include "app/Scene.h"
#include "host/Vexcore.h"

#include <cstdio>
#include <iostream>

namespace vex::app {

int CommandValidate(const std::string& scenePath, const CommandOptions& options)
{
    try {
        const Scene scene = ReadSceneFile(scenePath);
        auto host = MakeRunnerHost(options.pluginFolder);
        // Light maps stay out of the graph, as for a bake: nothing computes, yet every setting and link
        // is checked.
        const BuiltScene built = BuildScene(*host, scene, BuildOptions{true});
        std::printf("scene %s: %zu channels, %zu in the graph; no problems found\n", scene.file.c_str(),
                    built.channels.size(), host->GetChannels().size());
        return kStatusOk;
    } catch (const std::exception& e) {
        // Whatever stops the graph from being built is a problem of the scene for its author.
        std::cerr << "vexhost: " << e.what() << "\n";
        return kStatusBadInput;
    }
}

} // namespace vex::app
