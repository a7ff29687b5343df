// vexhost: builds channel graphs from scene files, runs frames, saves and loads projects.

#include "app/Commands.h"
#include "app/Demo.h"
#include "app/Interrupt.h"
#include "app/Scene.h"
#include "app/Validate.h"
#include "app/settings/Appliers.h"
#include "host/Version.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>

namespace {

/// The folder of the running executable: plug-ins are built next to it.
std::string ExecutableFolder(const char* argv0)
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        self = std::filesystem::absolute(argv0, error);
    return self.parent_path().string();
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vex::app;

    CLI::App app{"vexhost: runs channel scenes (rigid bodies, light maps), saves and loads projects.\n"
                 "Exit status: 0 done, 1 failed while running, 2 bad input, 128 + the signal's number when\n"
                 "stopped by Ctrl-C (130), SIGTERM (143) or SIGHUP (129)."};
    app.require_subcommand(1);
    app.set_version_flag("--version", vex::VersionLine(), "Print the version (and the git commit of the build) and exit");

    CommandOptions options;
    std::string out;
    int frames = 0;
    int mapSize = 0;
    int samples = 0;
    unsigned long every = 1;
    std::string path;

    auto addOut = [&](CLI::App* command) {
        command->add_option("--out", out, "Output folder (default: the scene's \"output\", else \"out\")");
    };
    auto addFrames = [&](CLI::App* command, const std::string& help) {
        command->add_option("--frames", frames, help)->check(CLI::Range(0, kMaxFrames));
        command->add_option("--every", every, "Keep every Nth frame in trajectory.csv (default 1: all)")
            ->check(CLI::Range(1, kMaxFrames));
    };

    int threads = 0;
    auto addThreads = [&](CLI::App* command) {
        command->add_option("--threads", threads,
                            "Threads of a light-map computation (default: every hardware thread; 1: on the "
                            "runner's own thread)")
            ->check(CLI::Range(1, kMaxThreads));
    };

    auto addMapOptions = [&](CLI::App* command) {
        command->add_option("--map-size", mapSize, "Light-map side in texels for every light map")
            ->check(CLI::Range(1, kMaxLightMapSize));
        command->add_option("--samples", samples, "Samples per texel for every light map: 1, 4, 16 or 64")
            ->check(CLI::IsMember({1, 4, 16, 64}));
    };

    CLI::App* demo = app.add_subcommand("demo", "Run the built-in demo scene, bake its light map, save the project "
                                                "and load it back");
    addOut(demo);
    addFrames(demo, "Frames to run (default " + std::to_string(kDemoFrames) + ", " +
                        std::to_string(kDemoFrames / 60) + " simulated seconds)");
    addMapOptions(demo);
    addThreads(demo);
    bool noViewer = false;
    auto addNoViewer = [&](CLI::App* command) {
        command->add_flag("--no-viewer", noViewer, "Do not write viewer.html");
    };
    addNoViewer(demo);

    CLI::App* run = app.add_subcommand("run", "Run a scene file and write trajectory.csv, matrices.csv, scene.vxp; "
                                              "light maps are baked once, after the frames, as by bake");
    run->add_option("SCENE", path, "Scene file (JSON, see docs/scene-format.md)")->required();
    addOut(run);
    addFrames(run, "Frames to run (default: the scene's \"frames\", else 600)");
    addThreads(run);
    addNoViewer(run);

    CLI::App* bake = app.add_subcommand("bake", "Run a scene file, then compute its light maps on the final poses "
                                                "and write them as .bmp and .png with a preview.png");
    bake->add_option("SCENE", path, "Scene file (JSON, see docs/scene-format.md)")->required();
    addOut(bake);
    addFrames(bake, "Frames to simulate before the bake (default: the scene's \"frames\", else 600)");
    addMapOptions(bake);
    addThreads(bake);
    addNoViewer(bake);

    CLI::App* load = app.add_subcommand("load", "Load a project, write its matrices.csv, optionally run frames");
    load->add_option("PROJECT", path, "Project file (.vxp)")->required();
    addOut(load);
    addFrames(load, "Frames to run after loading (default 0)");
    addThreads(load);

    CLI::App* inspect = app.add_subcommand("inspect", "List a project's channels, links and saved chunks");
    inspect->add_option("PROJECT", path, "Project file (.vxp)")->required();

    CLI::App* validate = app.add_subcommand("validate", "Read a scene and build its channel graph without running "
                                                        "frames or writing files (exit 0 or 2)");
    validate->add_option("SCENE", path, "Scene file (JSON, see docs/scene-format.md)")->required();
    CLI::App* view = app.add_subcommand("view", "Write viewer.html, the run's interactive 3D page, for an output "
                                                "folder or a project");
    view->add_option("PROJECT_OR_OUTPUT_FOLDER", path, "Output folder of demo, run or bake, or a project file")
        ->required();
    addOut(view);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // A first word that is no command is the likeliest mistake: name it rather than ask for one.
        const std::string first = argc > 1 ? argv[1] : "";
        auto named = [&](CLI::App* command) { return command->check_name(first); };
        if (!first.empty() && first[0] != '-' && app.get_subcommands(named).empty()) {
            std::string commands;
            for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
                commands += (commands.empty() ? "" : ", ") + command->get_name();
            std::cerr << "vexhost: command line: unknown command \"" << first << "\" (commands: " << commands
                      << "; see vexhost --help)\n";
            return kStatusBadInput;
        }
        std::cerr << "vexhost: command line: " << e.what() << " (see vexhost --help)\n";
        return kStatusBadInput;
    }

    options.pluginFolder = ExecutableFolder(argv[0]);
    options.commandLine.assign(argv, argv + argc);
    options.every = every;
    CLI::App* chosen = app.get_subcommands().front();
    if (const CLI::Option* given = chosen->get_option_no_throw("--out"); given && given->count())
        options.out = out;
    if (const CLI::Option* given = chosen->get_option_no_throw("--frames"); given && given->count())
        options.frames = frames;
    if (const CLI::Option* given = chosen->get_option_no_throw("--map-size"); given && given->count())
        options.mapSize = mapSize;
    if (const CLI::Option* given = chosen->get_option_no_throw("--samples"); given && given->count())
        options.samples = samples;
    if (const CLI::Option* given = chosen->get_option_no_throw("--threads"); given && given->count())
        options.threads = threads;

    options.viewer = !noViewer;

    InstallInterruptHandler();
    if (chosen == demo)
        return CommandDemo(options);
    if (chosen == run)
        return CommandRun(path, options);
    if (chosen == bake)
        return CommandBake(path, options);
    if (chosen == validate)
        return CommandValidate(path, options);
    if (chosen == load)
        return CommandLoad(path, options);
    if (chosen == view)
        return CommandView(path, options);
    return CommandInspect(path, options);
}
