#include "app/Commands.h"

#include "app/Demo.h"
#include "app/Images.h"
#include "app/InputError.h"
#include "app/Interrupt.h"
#include "app/LightMapChannel.h"
#include "app/LightMapChecks.h"
#include "app/Manifest.h"
#include "app/ProgressLine.h"
#include "app/RunnerHost.h"
#include "app/Scene.h"
#include "app/Simulation.h"
#include "app/Trajectory.h"
#include "app/Viewer.h"
#include "app/settings/Appliers.h"
#include "host/ProjectFile.h"
#include "host/TavFileLoader.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_WorldSetupInterface.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"
#include "texlight/TexLightConstants.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

namespace vex::app {

namespace {

/// Frames of `run` when neither the command line nor the scene says: ten simulated seconds.
constexpr int kDefaultRunFrames = 600;
/// Size of preview.png in pixels.
constexpr int kPreviewWidth = 640;
constexpr int kPreviewHeight = 480;

std::unique_ptr<RunnerHost> MakeHost(const CommandOptions& options)
{
    return MakeRunnerHost(options.pluginFolder, options.threads);
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

std::string Join(const std::string& folder, const char* name)
{
    return (std::filesystem::path(folder) / name).string();
}

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
        const LightMapChannel map = LightMapOf(*p.channel);
        if (options.mapSize) {
            map.texture.SetDesiredWidth(*options.mapSize);
            map.texture.SetDesiredHeight(*options.mapSize);
        }
        if (options.samples)
            map.map.SetAntiAliasMode(SamplesToAntiAliasMode(*options.samples));
    }
}

/// Writes one output file and lists it in the manifest.
void WriteOutput(RunManifest& manifest, const std::string& path, const std::string& text)
{
    WriteOutputFile(path, text);
    manifest.AddOutput(path);
}

/// Writes a light map's bitmap (as the channel's own saver writes it) and checks the file holds it.
void WriteLightMapBitmap(const LightMapChannel& map, const std::string& path)
{
    map.map.SaveTextureToFile(path.c_str());
    // The channel reports its own write failures; check that the file holds the bitmap.
    const unsigned char* buffer = map.texture.GetTextureBuffer();
    const std::vector<uint8_t> expected(buffer, buffer + std::max(0, map.texture.GetBufferSize()));
    std::vector<uint8_t> onDisk;
    std::string error;
    if (!ReadFileBytes(path, onDisk, &error) || onDisk != expected)
        throw RunError("cannot write " + path + (error.empty() ? "" : ": " + error));
}

/// One light map's computation with the runner's progress line. The objects and the shadow scene it reads
/// evaluate first, at the frame's simulated time; then the tick clock runs in real time while the texels
/// are computed, so that the progress text shows real seconds, and is set back afterwards.
bool ComputeLightMap(RunnerHost& host, const LightMapChannel& map, const std::string& name)
{
    using texlight::kDefaultLightMapSize;
    const int desiredWidth = map.texture.GetDesiredWidth(), desiredHeight = map.texture.GetDesiredHeight();
    const long long width = desiredWidth > 0 ? desiredWidth : kDefaultLightMapSize;
    const long long height = desiredHeight > 0 ? desiredHeight : kDefaultLightMapSize;
    ProgressLine line("light map \"" + name + "\"", width * height, "texels", true);
    host.SetLightMapProgress(&line, width * height);
    // In the order the computation asks them.
    if (auto* object = dynamic_cast<Tav_3DObjectInterface*>(map.channel.GetChild(0))) {
        D3DXMATRIX scratch;
        object->GetWorldMatrix(&scratch);
    }
    map.map.PrepareLightMapScene();
    const DWORD simulated = GetTickCount();
    UseSystemTickCount();
    const bool computed = map.map.CalculateShadowBuffer();
    SetManualTickCount(simulated);
    host.SetLightMapProgress(nullptr, 0);
    return computed;
}

/// Computes each light map once and writes its images; false when a stop signal ended a computation.
bool BakeLightMaps(RunnerHost& host, const Scene& scene, BuiltScene& built, const std::string& folder,
                   RunManifest& manifest)
{
    const std::vector<Tav_Channel*> maps = AddPendingChannels(host, scene, built);
    // The bake watches the input channel's stop request while its progress display is on.
    SetInterruptInput(host.GetChannelByGuid(Guid(guids::kInput), 0));
    host.AdvanceFrame(); // a new frame, so the channels the light maps read evaluate once more
    bool first = true;
    for (Tav_Channel* channel : maps) {
        const LightMapChannel map = LightMapOf(*channel);
        const std::string name = host.GetChannelName(channel);
        map.map.SetUseProgressBar(true);
        // The computation needs a texture; the placeholder at the desired size makes one (a light map that
        // was never shown has none yet, and the size may have changed since the channel was made).
        map.map.SetTestTexture();
        const auto start = std::chrono::steady_clock::now();
        const bool computed = ComputeLightMap(host, map, name);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (InterruptRequested())
            return false;
        if (!computed)
            throw RunError("light map \"" + name + "\" could not be computed (see the messages above)");
        map.map.SaveBMPInBuffer();
        map.texture.RestoreTexture();

        const std::string bmpPath = Join(folder, (name + ".bmp").c_str());
        WriteLightMapBitmap(map, bmpPath);
        manifest.AddOutput(bmpPath);
        const RgbImage image = LightMapImage(map.map);
        const std::vector<uint8_t> png = EncodePng(image);
        WriteOutput(manifest, Join(folder, (name + ".png").c_str()), std::string(png.begin(), png.end()));
        std::printf("baked light map \"%s\": %d x %d texels, %d samples per texel%s, %.2f s\n", name.c_str(),
                    image.width, image.height, 1 << (2 * map.map.GetAntiAliasMode()),
                    map.map.GetSoftUseShadows() ? ", soft shadows" : "", seconds);
        if (first) {
            const std::vector<uint8_t> preview = EncodePng(RenderPreview(host, map, kPreviewWidth, kPreviewHeight));
            WriteOutput(manifest, Join(folder, "preview.png"), std::string(preview.begin(), preview.end()));
            first = false;
        }
    }
    return true;
}

/// Runs a command's work on an output folder and finishes its manifest as the work ended: complete,
/// stopped by a signal, or failed (the error goes on to the caller).
int WithManifest(RunManifest& manifest, const std::function<int()>& work)
{
    manifest.Begin();
    int status = kStatusOk;
    try {
        status = work();
    } catch (const InputError& e) {
        manifest.Finish(false, kStatusBadInput, e.what());
        throw;
    } catch (const std::exception& e) {
        manifest.Finish(false, kStatusRunFailed, e.what());
        throw;
    }
    const bool completed = status == kStatusOk;
    if (!manifest.Finish(completed, status, completed ? "" : InterruptName()) && completed)
        throw RunError("cannot write the manifest run.json in the output folder");
    return status;
}

/// "; TEXT: N (a, b, ...)" for a non-empty list of body names, at most ten of them named.
std::string NamedBodies(const char* text, const std::vector<std::string>& names)
{
    if (names.empty())
        return "";
    constexpr size_t kNamed = 10;
    std::string line = "; " + std::string(text) + ": " + std::to_string(names.size()) + " (";
    for (size_t i = 0; i < names.size() && i < kNamed; ++i)
        line += (i ? ", " : "") + names[i];
    if (names.size() > kNamed)
        line += ", and " + std::to_string(names.size() - kNamed) + " more";
    return line + ")";
}

/// The summary of a run's frames: how many, the simulated time, the bodies at rest and those that blew
/// up or left the world, which are never counted as at rest.
void PrintFrameSummary(const Vexcore& host, const RunOutcome& outcome)
{
    const RestCount rest = CountBodiesAtRest(host);
    const std::string stopped = std::string("stopped by ") + InterruptName() + " after";
    std::printf("%s %lu frames, %.3f s simulated; dynamic bodies at rest: %d of %d%s%s\n",
                outcome.interrupted ? stopped.c_str() : "ran", outcome.frames, outcome.seconds, rest.atRest,
                rest.dynamic, NamedBodies("reset after their motion overflowed", rest.reset).c_str(),
                NamedBodies("beyond the world's bound of 1e8 m", rest.outside).c_str());
}

void PrintOutputs(const RunManifest& manifest, bool interrupted, const std::string& tail)
{
    std::printf("%s", interrupted ? "kept partial outputs:" : "wrote:");
    for (const std::string& path : manifest.Outputs())
        std::printf(" %s", path.c_str());
    std::printf("%s\n", tail.c_str());
}

/// A fresh host must get back exactly the matrices the run ended with.
void CheckReload(const CommandOptions& options, const Vexcore& host, const std::string& projectPath)
{
    auto fresh = MakeHost(options);
    std::string error;
    if (!fresh->LoadProject(projectPath, &error))
        throw RunError("cannot load back " + projectPath + ": " + error);
    const bool same = MatricesCsv(*fresh) == MatricesCsv(host);
    std::printf("loaded %s into a fresh host: %zu channels, final matrices %s\n", projectPath.c_str(),
                fresh->GetChannels().size(), same ? "identical" : "DIFFERENT");
    if (!same)
        throw RunError("the reloaded project does not reproduce the final matrices");
}

/// The frames, the light maps and the outputs of a built scene.
int RunBuilt(RunnerHost& host, const Scene& scene, BuiltScene& built, int frames, const std::string& folder,
             const CommandOptions& options, Mode mode, RunManifest& manifest)
{
    Trajectory trajectory(host, Join(folder, "trajectory.csv"), options.every);
    const RunOutcome outcome = RunFrames(host, frames, built.frameSeconds, &trajectory);
    trajectory.Finish();
    manifest.AddOutput(trajectory.Path());
    // Light maps are computed once, after the frames, on the final poses: under `run` as under `bake`.
    bool interrupted = outcome.interrupted;
    if (!interrupted && !built.pending.empty())
        interrupted = !BakeLightMaps(host, scene, built, folder, manifest);

    const std::string projectPath = Join(folder, "scene.vxp");
    WriteOutput(manifest, Join(folder, "matrices.csv"), MatricesCsv(host));
    SaveProject(host, projectPath);
    manifest.AddOutput(projectPath);

    PrintFrameSummary(host, outcome);
    char tail[96];
    std::snprintf(tail, sizeof tail, " (trajectory: %zu rows, %zu bodies)", trajectory.RowCount(),
                  trajectory.BodyCount());
    PrintOutputs(manifest, interrupted, tail);
    if (interrupted)
        return InterruptedStatus();
    if (mode == Mode::Demo)
        CheckReload(options, host, projectPath);
    // The page is the last output before the manifest, which names it.
    if (options.viewer) {
        const std::string page = WriteViewerAfterRun(host, folder, scene.file);
        if (!page.empty())
            manifest.AddOutput(page);
    }
    return kStatusOk;
}

/// Runs a scene into its output folder. demoText: the demo's scene, written to the folder as its input;
/// demoCensus: its channel types counted.
int RunScene(const Scene& scene, const CommandOptions& options, int defaultFrames, Mode mode,
             const std::string& demoText = "", const std::string& demoCensus = "")
{
    auto host = MakeHost(options);
    SetClockForFrame(0, 1.0 / 60.0);
    BuiltScene built = BuildScene(*host, scene, BuildOptions{true});
    if (mode == Mode::Bake && built.pending.empty())
        throw InputError(scene.file, "channels", "no \"DX8 TextureLighting\" channel to bake");
    CheckLightMapInputs(scene, built);
    ApplyMapOptions(built, options);
    const int frames = FramesFor(options, scene.frames, defaultFrames);
    const std::string folder = PrepareOutputFolder(options, scene.output);
    const std::string demoPath = Join(folder, "demo-scene.json");
    RunManifest manifest(folder, options.commandLine, "scene", mode == Mode::Demo ? demoPath : scene.file);
    return WithManifest(manifest, [&] {
        if (mode == Mode::Demo) {
            WriteOutput(manifest, demoPath, demoText + "\n");
            std::printf("demo scene (%s) written to %s\n", demoCensus.c_str(), demoPath.c_str());
        } else {
            // Name and type of each channel: one line that says what the scene file turned into.
            std::string list;
            for (size_t i = 0; i < scene.channels.size(); ++i)
                list +=
                    (i ? ", " : "") + scene.channels[i].name + " (" + built.channels[i]->GetChannelType().name + ")";
            std::printf("scene %s: %zu channels: %s\n", scene.file.c_str(), built.channels.size(), list.c_str());
        }
        return RunBuilt(*host, scene, built, frames, folder, options, mode, manifest);
    });
}

} // namespace

int CommandDemo(const CommandOptions& options)
{
    return Guarded([&] {
        auto catalogHost = MakeHost(options);
        TypeCatalog catalog(*catalogHost);
        const std::string text = DemoScene(catalog).dump(2);
        const Scene scene = ParseScene(text, "(built-in demo scene)");
        std::map<std::string, int> types;
        for (const SceneChannel& channel : scene.channels)
            ++types[channel.type];
        std::string census;
        for (const auto& [type, count] : types)
            census += (census.empty() ? "" : ", ") + std::to_string(count) + " " + type;
        return RunScene(scene, options, kDemoFrames, Mode::Demo, text, census);
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

namespace {

/// Writes each light map as the project stored it, so a loaded project shows the very bitmap that was
/// baked; a light map whose image is only the placeholder is named and not written.
void WriteLoadedLightMaps(Vexcore& host, const std::string& folder, RunManifest& manifest)
{
    for (Tav_Channel* channel : host.GetChannels()) {
        if (channel->GetChannelType().typeGuid != Guid(guids::kTextureLighting))
            continue;
        const LightMapChannel map = LightMapOf(*channel);
        const std::string name = host.GetChannelName(channel);
        if (map.map.GetIfPlaceholderBitmap()) {
            std::printf("light map \"%s\" was not baked (the project holds the placeholder image); not written\n",
                        name.c_str());
            continue;
        }
        if (map.texture.GetBufferSize() <= 0)
            continue;
        const unsigned char* buffer = map.texture.GetTextureBuffer();
        WriteOutput(manifest, Join(folder, (name + ".bmp").c_str()),
                    std::string(buffer, buffer + map.texture.GetBufferSize()));
    }
}

/// Simulated seconds per frame of a loaded project: its world's step, as when the project was run.
double LoadedFrameSeconds(Vexcore& host)
{
    if (Tav_Channel* world = host.GetChannelByGuid(Guid(guids::kWorld), 0))
        return RequireInterface<Tav_WorldSetupInterface>(*world, "a world's step").GetStepSize();
    return 1.0 / 60.0;
}

/// Runs frames of a loaded project, writing its trajectory; the status of the run.
int RunLoadedFrames(Vexcore& host, int frames, const std::string& folder, const CommandOptions& options,
                    RunManifest& manifest)
{
    Trajectory trajectory(host, Join(folder, "trajectory.csv"), options.every);
    const RunOutcome outcome = RunFrames(host, frames, LoadedFrameSeconds(host), &trajectory);
    trajectory.Finish();
    manifest.AddOutput(trajectory.Path());
    PrintFrameSummary(host, outcome);
    PrintOutputs(manifest, outcome.interrupted, "");
    return outcome.interrupted ? InterruptedStatus() : kStatusOk;
}

int LoadIntoFolder(Vexcore& host, const std::string& projectPath, const std::string& folder,
                   const CommandOptions& options, RunManifest& manifest)
{
    WriteOutput(manifest, Join(folder, "matrices.csv"), MatricesCsv(host));
    WriteLoadedLightMaps(host, folder, manifest);
    std::printf("loaded %s: %zu channels\n", projectPath.c_str(), host.GetChannels().size());
    const int frames = FramesFor(options, std::nullopt, 0);
    if (frames == 0) {
        PrintOutputs(manifest, false, "");
        return kStatusOk;
    }
    return RunLoadedFrames(host, frames, folder, options, manifest);
}

/// A runner host holding the project; a project it cannot load is bad input, said in one line.
std::unique_ptr<RunnerHost> LoadProjectHost(const std::string& projectPath, const CommandOptions& options)
{
    auto host = MakeHost(options);
    std::string error;
    if (!host->LoadProject(projectPath, &error)) {
        // The host's message starts with the file; the line names it once.
        if (error.rfind(projectPath + ": ", 0) == 0)
            error.erase(0, projectPath.size() + 2);
        throw InputError(projectPath, "", error);
    }
    return host;
}

} // namespace

int CommandLoad(const std::string& projectPath, const CommandOptions& options)
{
    return Guarded([&] {
        auto host = LoadProjectHost(projectPath, options);
        const std::string folder = PrepareOutputFolder(options, std::nullopt);
        RunManifest manifest(folder, options.commandLine, "project", projectPath);
        return WithManifest(manifest, [&] { return LoadIntoFolder(*host, projectPath, folder, options, manifest); });
    });
}

namespace {

/// What a saved light map's section says about its image (the "TLBK" chunk its channel writes last).
const char* LightMapStateText(const std::vector<uint8_t>& section, const std::vector<TavFileLoader::ChunkInfo>& chunks)
{
    for (auto chunk = chunks.rbegin(); chunk != chunks.rend(); ++chunk) {
        if (std::string(chunk->tag, 4) != "TLBK" || chunk->size < 1)
            continue;
        // ParseChunks has checked that every payload lies inside the section.
        return section[chunk->offset] ? "baked" : "not baked (the image is the placeholder)";
    }
    return "the project does not record whether it was baked (written by an older version)";
}

} // namespace

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
        std::printf("layout version %u, written by %s\n", project.version,
                    project.writer.empty() ? "an unrecorded version (layout 1 has no writer)" : project.writer.c_str());
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
            if (c.type == Guid(guids::kTextureLighting))
                std::printf("  light map: %s\n", LightMapStateText(c.section, chunks));
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
