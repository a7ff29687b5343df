#pragma once
// The runner's commands. Each returns the process exit status: 0 done, 1 a failure while running (a
// plug-in or an output file), 2 bad input, 128 + the signal's number when SIGINT (Ctrl-C), SIGTERM or
// SIGHUP stopped it (partial outputs kept, the manifest run.json marked incomplete).

#include <optional>
#include <string>
#include <vector>

namespace vex::app {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusRunFailed = 1;
inline constexpr int kStatusBadInput = 2;

struct CommandOptions {
    std::string pluginFolder;             ///< the runner's own folder
    std::optional<std::string> out;       ///< output folder; default the scene's "output", else "out"
    std::optional<int> frames;            ///< default the scene's "frames", else the command's own
    std::optional<int> mapSize;           ///< light-map side in texels, for every light map of a bake
    std::optional<int> samples;           ///< samples per texel (1, 4, 16, 64), for every light map of a bake
    unsigned long every = 1;              ///< trajectory.csv keeps the frames whose number is a multiple of it
    std::vector<std::string> commandLine; ///< the runner's arguments, for the manifest
    std::optional<int> threads;           ///< threads of a light-map computation; default the hardware's, 1 serial
    bool viewer = true;                   ///< write viewer.html as the last output of demo, run and bake
};

int CommandDemo(const CommandOptions& options);
int CommandRun(const std::string& scenePath, const CommandOptions& options);
/// Simulates the scene's frames, then computes each light map once on the final poses and writes
/// <name>.bmp, <name>.png and preview.png besides the outputs of `run`.
int CommandBake(const std::string& scenePath, const CommandOptions& options);
int CommandLoad(const std::string& projectPath, const CommandOptions& options);
int CommandInspect(const std::string& projectPath, const CommandOptions& options);
/// Writes viewer.html for an output folder (its scene.vxp and trajectory.csv) or a project file.
int CommandView(const std::string& path, const CommandOptions& options);

} // namespace vex::app
