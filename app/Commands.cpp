#include "app/Commands.h"

#include "app/Demo.h"
#include "app/InputError.h"
#include "app/Interrupt.h"
#include "app/Scene.h"
#include "app/Simulation.h"
#include "app/Trajectory.h"
#include "host/ProjectFile.h"
#include "host/TavFileLoader.h"
#include "host/Vexcore.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>

namespace vex::app {

namespace {

/// Frames of `run` when neither the command line nor the scene says: ten simulated seconds.
constexpr int kDefaultRunFrames = 600;

std::unique_ptr<Vexcore> MakeHost(const CommandOptions& options)
{
    std::vector<std::string> folders;
    if (!options.pluginFolder.empty())
        folders.push_back(options.pluginFolder);
    auto host = std::make_unique<Vexcore>(folders);
    host->SetMessageSink([](const std::string& text) { std::cerr << "vexhost: " << text << "\n"; });
    return host;
}

std::string PrepareOutputFolder(const CommandOptions& options, const std::optional<std::string>& sceneOutput)
{
    const std::string folder = options.out ? *options.out : sceneOutput ? *sceneOutput : "out";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw RunError("cannot create the output folder " + folder + ": " + error.message());
    return folder;
}

std::string Join(const std::string& folder, const char* name) { return (std::filesystem::path(folder) / name).string(); }

void SaveProject(Vexcore& host, const std::string& path)
{
    std::string error;
    if (!host.SaveProject(path, &error))
        throw RunError("cannot save " + path + ": " + error);
}

/// Runs the frames of a built scene and writes trajectory.csv, matrices.csv and scene.vxp. Returns the
/// outcome; partial outputs are written as well when Ctrl-C stopped the run.
RunOutcome RunAndWrite(Vexcore& host, int frames, double frameSeconds, const std::string& folder)
{
    Trajectory trajectory(host);
    const RunOutcome outcome = RunFrames(host, frames, frameSeconds, &trajectory);
    const std::string trajectoryPath = Join(folder, "trajectory.csv");
    const std::string matricesPath = Join(folder, "matrices.csv");
    const std::string projectPath = Join(folder, "scene.vxp");
    WriteOutputFile(trajectoryPath, trajectory.Text());
    WriteOutputFile(matricesPath, MatricesCsv(host));
    SaveProject(host, projectPath);

    const RestCount rest = CountBodiesAtRest(host);
    std::printf("%s %lu frames, %.3f s simulated; dynamic bodies at rest: %d of %d\n",
                outcome.interrupted ? "stopped by Ctrl-C after" : "ran", outcome.frames, outcome.seconds,
                rest.atRest, rest.dynamic);
    std::printf("%s %s (%zu rows, %zu bodies), %s, %s\n", outcome.interrupted ? "kept partial outputs:" : "wrote",
                trajectoryPath.c_str(), trajectory.RowCount(), trajectory.BodyCount(), matricesPath.c_str(),
                projectPath.c_str());
    return outcome;
}

int FramesFor(const CommandOptions& options, const std::optional<int>& sceneFrames, int fallback)
{
    return options.frames ? *options.frames : sceneFrames ? *sceneFrames : fallback;
}

/// Runs a command body and turns its exceptions into one line and an exit status.
int Guarded(const std::function<int()>& body)
{
    try {
        return body();
    } catch (const InputError& e) {
        std::cerr << "vexhost: " << e.what() << "\n";
        return kStatusBadInput;
    } catch (const RunError& e) {
        std::cerr << "vexhost: " << e.what() << "\n";
        return kStatusRunFailed;
    } catch (const std::exception& e) {
        std::cerr << "vexhost: unexpected failure: " << e.what() << "\n";
        return kStatusRunFailed;
    }
}

int RunScene(const Scene& scene, const CommandOptions& options, int defaultFrames, bool reloadCheck)
{
    auto host = MakeHost(options);
    SetClockForFrame(0, 1.0 / 60.0);
    const BuiltScene built = BuildScene(*host, scene);
    const int frames = FramesFor(options, scene.frames, defaultFrames);
    const std::string folder = PrepareOutputFolder(options, scene.output);
    std::printf("scene %s: %zu channels in the graph\n", scene.file.c_str(), host->GetChannels().size());

    const RunOutcome outcome = RunAndWrite(*host, frames, built.frameSeconds, folder);
    if (outcome.interrupted)
        return kInterruptedStatus;

    if (reloadCheck) {
        // A fresh host must get back exactly the matrices the run ended with.
        const std::string projectPath = Join(folder, "scene.vxp");
        auto fresh = MakeHost(options);
        std::string error;
        if (!fresh->LoadProject(projectPath, &error))
            throw RunError("cannot load back " + projectPath + ": " + error);
        const bool same = MatricesCsv(*fresh) == MatricesCsv(*host);
        std::printf("loaded %s into a fresh host: %zu channels, final matrices %s\n", projectPath.c_str(),
                    fresh->GetChannels().size(), same ? "identical" : "DIFFERENT");
        if (!same)
            throw RunError("the reloaded project does not reproduce the final matrices");
    }
    return kStatusOk;
}

} // namespace

int CommandDemo(const CommandOptions& options)
{
    return Guarded([&] {
        auto catalogHost = MakeHost(options);
        TypeCatalog catalog(*catalogHost);
        const std::string text = DemoScene(catalog).dump(2);
        const Scene scene = ParseScene(text, "(built-in demo scene)");
        const std::string folder = PrepareOutputFolder(options, scene.output);
        WriteOutputFile(Join(folder, "demo-scene.json"), text + "\n");
        std::printf("demo scene written to %s\n", Join(folder, "demo-scene.json").c_str());
        return RunScene(scene, options, kDemoFrames, true);
    });
}

int CommandRun(const std::string& scenePath, const CommandOptions& options)
{
    return Guarded([&] { return RunScene(ReadSceneFile(scenePath), options, kDefaultRunFrames, false); });
}

int CommandLoad(const std::string& projectPath, const CommandOptions& options)
{
    return Guarded([&] {
        if (!std::filesystem::exists(projectPath))
            throw InputError(projectPath, "", "no such project file");
        auto host = MakeHost(options);
        std::string error;
        if (!host->LoadProject(projectPath, &error))
            throw InputError(projectPath, "", error);
        const std::string folder = PrepareOutputFolder(options, std::nullopt);
        const std::string matricesPath = Join(folder, "matrices.csv");
        WriteOutputFile(matricesPath, MatricesCsv(*host));
        std::printf("loaded %s: %zu channels; wrote %s\n", projectPath.c_str(), host->GetChannels().size(),
                    matricesPath.c_str());
        const int frames = FramesFor(options, std::nullopt, 0);
        if (frames == 0)
            return kStatusOk;
        Trajectory trajectory(*host);
        const double frameSeconds = 1.0 / 60.0;
        const RunOutcome outcome = RunFrames(*host, frames, frameSeconds, &trajectory);
        const std::string trajectoryPath = Join(folder, "trajectory.csv");
        WriteOutputFile(trajectoryPath, trajectory.Text());
        const RestCount rest = CountBodiesAtRest(*host);
        std::printf("%s %lu frames, %.3f s simulated; dynamic bodies at rest: %d of %d; wrote %s\n",
                    outcome.interrupted ? "stopped by Ctrl-C after" : "ran", outcome.frames, outcome.seconds,
                    rest.atRest, rest.dynamic, trajectoryPath.c_str());
        return outcome.interrupted ? kInterruptedStatus : kStatusOk;
    });
}

int CommandInspect(const std::string& projectPath, const CommandOptions& options)
{
    return Guarded([&] {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!ReadFileBytes(projectPath, bytes, &error))
            throw InputError(projectPath, "", error);
        ProjectData project;
        if (!DecodeProject(bytes, project, &error))
            throw InputError(projectPath, "", error);

        auto host = MakeHost(options);
        TypeCatalog catalog(*host);
        std::printf("project %s: %zu bytes, %zu channels, %zu links\n", projectPath.c_str(), bytes.size(),
                    project.channels.size(), project.links.size());
        for (size_t i = 0; i < project.channels.size(); ++i) {
            const ProjectChannelRecord& c = project.channels[i];
            std::printf("channel %zu \"%s\": type \"%s\" %s, section %zu bytes\n", i, c.name.c_str(),
                        catalog.NameOf(c.type).c_str(), GuidToString(c.type).c_str(), c.section.size());
            std::vector<TavFileLoader::ChunkInfo> chunks;
            std::string chunkError;
            if (!TavFileLoader::ParseChunks(c.section, chunks, &chunkError)) {
                std::printf("  malformed section: %s\n", chunkError.c_str());
                continue;
            }
            for (const TavFileLoader::ChunkInfo& chunk : chunks) {
                std::string tag;
                for (char ch : chunk.tag)
                    tag += (ch >= 0x20 && ch < 0x7f) ? ch : '?';
                std::printf("  chunk %s %u bytes\n", tag.c_str(), chunk.size);
            }
        }
        for (const ProjectLinkRecord& link : project.links) {
            // DecodeProject has checked that both ends name channels of the project.
            std::printf("link \"%s\" position %d <- \"%s\"\n", project.channels[link.parent].name.c_str(),
                        link.position, project.channels[link.child].name.c_str());
        }
        return kStatusOk;
    });
}

} // namespace vex::app
