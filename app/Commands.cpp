#include "app/Commands.h"

#include "app/Demo.h"
#include "app/Images.h"
#include "app/InputError.h"
#include "app/Interrupt.h"
#include "app/Scene.h"
#include "app/Simulation.h"
#include "app/Trajectory.h"
#include "app/Viewer.h"
#include "app/settings/Appliers.h"
#include "host/ProjectFile.h"
#include "host/TavFileLoader.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/world/Tvc_ODE_World.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

namespace vex::app {

namespace {

/// Frames of `run` when neither the command line nor the scene says: ten simulated seconds.
constexpr int kDefaultRunFrames = 600;
/// Size of preview.png in pixels.
constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 480;

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

enum class Mode { Run, Bake, Demo };

/// Applies the command line's light-map options to every light map waiting to be baked.
void ApplyMapOptions(const BuiltScene& built, const CommandOptions& options)
{
    for (const PendingChannel& p : built.pending) {
        auto* map = static_cast<Tvc_DX8_TextureShadow*>(p.channel.get());
        if (options.mapSize) {
            map->SetDesiredWidth(*options.mapSize);
            map->SetDesiredHeight(*options.mapSize);
        }
        if (options.samples)
            map->SetAntiAliasMode(SamplesToAntiAliasMode(*options.samples));
    }
}

/// Computes each light map once and writes its images; false when Ctrl-C stopped a computation.
bool BakeLightMaps(Vexcore& host, const Scene& scene, BuiltScene& built, const std::string& folder,
                   std::vector<std::string>& written)
{
    const std::vector<Tav_Channel*> maps = AddPendingChannels(host, scene, built);
    // The bake watches the input channel's stop request while its progress display is on.
    SetInterruptInput(host.GetChannelByGuid(Guid(guids::kInput), 0));
    host.AdvanceFrame(); // a new frame, so the channels the light maps read evaluate once more
    bool first = true;
    for (Tav_Channel* channel : maps) {
        auto* map = static_cast<Tvc_DX8_TextureShadow*>(channel);
        const std::string name = host.GetChannelName(channel);
        map->SetUseProgressBar(true);
        // The computation needs a texture; the placeholder at the desired size makes one (a light map that
        // was never shown has none yet, and the size may have changed since the channel was made).
        map->SetTestTexture();
        const auto start = std::chrono::steady_clock::now();
        const bool computed = map->CalculateShadowBuffer();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (InterruptRequested())
            return false;
        if (!computed)
            throw RunError("light map \"" + name + "\" could not be computed (see the messages above)");
        map->SaveBMPInBuffer();
        map->RestoreTexture();

        const std::string bmpPath = Join(folder, (name + ".bmp").c_str());
        map->SaveTextureToFile(bmpPath.c_str());
        // The channel reports its own write failures; check that the file holds the bitmap.
        const unsigned char* buffer = map->GetTextureBuffer();
        const std::vector<uint8_t> expected(buffer, buffer + std::max(0, map->GetBufferSize()));
        std::vector<uint8_t> onDisk;
        std::string error;
        if (!ReadFileBytes(bmpPath, onDisk, &error) || onDisk != expected)
            throw RunError("cannot write " + bmpPath + (error.empty() ? "" : ": " + error));
        written.push_back(bmpPath);

        const RgbImage image = LightMapImage(*map);
        const std::vector<uint8_t> png = EncodePng(image);
        const std::string pngPath = Join(folder, (name + ".png").c_str());
        WriteOutputFile(pngPath, std::string(png.begin(), png.end()));
        written.push_back(pngPath);
        std::printf("baked light map \"%s\": %d x %d texels, %d samples per texel%s, %.2f s\n", name.c_str(),
                    image.width, image.height, 1 << (2 * map->GetAntiAliasMode()),
                    map->GetSoftUseShadows() ? ", soft shadows" : "", seconds);
        if (first) {
            const std::vector<uint8_t> preview = EncodePng(RenderPreview(host, *map, kPreviewWidth, kPreviewHeight));
            const std::string previewPath = Join(folder, "preview.png");
            WriteOutputFile(previewPath, std::string(preview.begin(), preview.end()));
            written.push_back(previewPath);
            first = false;
        }
    }
    return true;
}

int RunScene(const Scene& scene, const CommandOptions& options, int defaultFrames, Mode mode)
{
    auto host = MakeHost(options);
    SetClockForFrame(0, 1.0 / 60.0);
    const bool bake = mode != Mode::Run;
    BuiltScene built = BuildScene(*host, scene, BuildOptions{bake});
    if (mode == Mode::Bake && built.pending.empty())
        throw InputError(scene.file, "channels", "no \"DX8 TextureLighting\" channel to bake");
    ApplyMapOptions(built, options);
    const int frames = FramesFor(options, scene.frames, defaultFrames);
    const std::string folder = PrepareOutputFolder(options, scene.output);
    if (mode == Mode::Demo) {
        std::printf("scene %s: %zu channels\n", scene.file.c_str(), built.channels.size());
    } else {
        // Name and type of each channel: one line that says what the scene file turned into.
        std::string list;
        for (size_t i = 0; i < scene.channels.size(); ++i)
            list += (i ? ", " : "") + scene.channels[i].name + " (" + built.channels[i]->GetChannelType().name + ")";
        std::printf("scene %s: %zu channels: %s\n", scene.file.c_str(), built.channels.size(), list.c_str());
    }

    Trajectory trajectory(*host);
    const RunOutcome outcome = RunFrames(*host, frames, built.frameSeconds, &trajectory);
    std::vector<std::string> written;
    bool interrupted = outcome.interrupted;
    if (!interrupted && !built.pending.empty())
        interrupted = !BakeLightMaps(*host, scene, built, folder, written);

    const std::string trajectoryPath = Join(folder, "trajectory.csv");
    const std::string matricesPath = Join(folder, "matrices.csv");
    const std::string projectPath = Join(folder, "scene.vxp");
    WriteOutputFile(trajectoryPath, trajectory.Text());
    WriteOutputFile(matricesPath, MatricesCsv(*host));
    SaveProject(*host, projectPath);
    written.insert(written.begin(), {trajectoryPath, matricesPath, projectPath});

    const RestCount rest = CountBodiesAtRest(*host);
    std::printf("%s %lu frames, %.3f s simulated; dynamic bodies at rest: %d of %d\n",
                outcome.interrupted ? "stopped by Ctrl-C after" : "ran", outcome.frames, outcome.seconds, rest.atRest,
                rest.dynamic);
    std::printf("%s", interrupted ? "kept partial outputs:" : "wrote:");
    for (const std::string& path : written)
        std::printf(" %s", path.c_str());
    std::printf(" (trajectory: %zu rows, %zu bodies)\n", trajectory.RowCount(), trajectory.BodyCount());
    if (interrupted)
        return kInterruptedStatus;

    if (mode == Mode::Demo) {
        // A fresh host must get back exactly the matrices the run ended with.
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
    if (options.viewer)
        WriteViewerAfterRun(*host, folder, scene.file);
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
        std::map<std::string, int> types;
        for (const SceneChannel& channel : scene.channels)
            ++types[channel.type];
        std::string census;
        for (const auto& [type, count] : types)
            census += (census.empty() ? "" : ", ") + std::to_string(count) + " " + type;
        std::printf("demo scene (%s) written to %s\n", census.c_str(), Join(folder, "demo-scene.json").c_str());
        return RunScene(scene, options, kDemoFrames, Mode::Demo);
    });
}

int CommandRun(const std::string& scenePath, const CommandOptions& options)
{
    return Guarded([&] { return RunScene(ReadSceneFile(scenePath), options, kDefaultRunFrames, Mode::Run); });
}

int CommandBake(const std::string& scenePath, const CommandOptions& options)
{
    return Guarded([&] { return RunScene(ReadSceneFile(scenePath), options, kDefaultRunFrames, Mode::Bake); });
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
        std::string written = matricesPath;
        // Each light map as the project stored it, so a loaded project shows the very bitmap that was baked.
        for (Tav_Channel* channel : host->GetChannels()) {
            if (channel->GetChannelType().typeGuid != Guid(guids::kTextureLighting))
                continue;
            auto* map = static_cast<Tvc_DX8_TextureShadow*>(channel);
            if (map->GetBufferSize() <= 0)
                continue;
            const unsigned char* buffer = map->GetTextureBuffer();
            const std::string bmpPath = Join(folder, (host->GetChannelName(channel) + ".bmp").c_str());
            WriteOutputFile(bmpPath, std::string(buffer, buffer + map->GetBufferSize()));
            written += " " + bmpPath;
        }
        std::printf("loaded %s: %zu channels; wrote %s\n", projectPath.c_str(), host->GetChannels().size(),
                    written.c_str());
        const int frames = FramesFor(options, std::nullopt, 0);
        if (frames == 0)
            return kStatusOk;
        Trajectory trajectory(*host);
        // Simulated time follows the loaded world's step, as it did when the project was run.
        double frameSeconds = 1.0 / 60.0;
        if (Tav_Channel* world = host->GetChannelByGuid(Guid(guids::kWorld), 0))
            frameSeconds = static_cast<Tvc_ODE_World*>(world)->GetStepSize();
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

int CommandView(const std::string& path, const CommandOptions& options)
{
    return Guarded([&] {
        const ViewerTarget target = ResolveViewerTarget(path);
        auto host = MakeHost(options);
        std::string error;
        if (!host->LoadProject(target.project, &error))
            throw InputError(target.project, "", error);
        // Frames and light-map images are read from the run's folder; the page goes to --out if given.
        const std::string folder = PrepareOutputFolder(options, target.folder);
        std::printf("wrote %s\n", WriteViewerPage(*host, target.folder, folder, target.project).c_str());
        return kStatusOk;
    });
}

} // namespace vex::app
