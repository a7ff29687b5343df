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

/// The command line: its commands, and the values their options fill in.
struct CommandLine {
    CLI::App app{"vexhost: runs channel scenes (rigid bodies, light maps), saves and loads projects.\n"
                 "Exit status: 0 done, 1 failed while running, 2 bad input, 128 + the signal's number when\n"
                 "stopped by Ctrl-C (130), SIGTERM (143) or SIGHUP (129)."};
    std::string out;
    int frames = 0;
    int mapSize = 0;
    int samples = 0;
    int threads = 0;
    unsigned long every = 1;
    bool noViewer = false;
    std::string path;
    CLI::App* demo = nullptr;
    CLI::App* run = nullptr;
    CLI::App* bake = nullptr;
    CLI::App* load = nullptr;
    CLI::App* inspect = nullptr;
    CLI::App* validate = nullptr;
    CLI::App* view = nullptr;

    void AddOut(CLI::App* command)
    {
        command->add_option("--out", out, "Output folder (default: the scene's \"output\", else \"out\")");
    }
    void AddFrames(CLI::App* command, const std::string& help)
    {
        using vex::app::kMaxFrames;
        command->add_option("--frames", frames, help)->check(CLI::Range(0, kMaxFrames));
        command->add_option("--every", every, "Keep every Nth frame in trajectory.csv (default 1: all)")
            ->check(CLI::Range(1, kMaxFrames));
    }
    void AddThreads(CLI::App* command)
    {
        command
            ->add_option("--threads", threads,
                         "Threads of a light-map computation (default: every hardware thread; 1: on the "
                         "runner's own thread)")
            ->check(CLI::Range(1, vex::app::kMaxThreads));
    }
    void AddMapOptions(CLI::App* command)
    {
        command->add_option("--map-size", mapSize, "Light-map side in texels for every light map")
            ->check(CLI::Range(1, vex::app::kMaxLightMapSize));
        command->add_option("--samples", samples, "Samples per texel for every light map: 1, 4, 16 or 64")
            ->check(CLI::IsMember({1, 4, 16, 64}));
    }
    void AddNoViewer(CLI::App* command) { command->add_flag("--no-viewer", noViewer, "Do not write viewer.html"); }
    void AddScene(CLI::App* command)
    {
        command->add_option("SCENE", path, "Scene file (JSON, see docs/scene-format.md)")->required();
    }
};

/// demo, run and bake: the commands that run a scene.
void AddSceneCommands(CommandLine& line)
{
    using vex::app::kDemoFrames;
    line.demo = line.app.add_subcommand("demo", "Run the built-in demo scene, bake its light map, save the project "
                                                "and load it back");
    line.AddOut(line.demo);
    line.AddFrames(line.demo, "Frames to run (default " + std::to_string(kDemoFrames) + ", " +
                                  std::to_string(kDemoFrames / 60) + " simulated seconds)");
    line.AddMapOptions(line.demo);
    line.AddThreads(line.demo);
    line.AddNoViewer(line.demo);

    line.run = line.app.add_subcommand("run", "Run a scene file and write trajectory.csv, matrices.csv, scene.vxp; "
                                              "light maps are baked once, after the frames, as by bake");
    line.AddScene(line.run);
    line.AddOut(line.run);
    line.AddFrames(line.run, "Frames to run (default: the scene's \"frames\", else 600)");
    line.AddThreads(line.run);
    line.AddNoViewer(line.run);

    line.bake = line.app.add_subcommand("bake", "Run a scene file, then compute its light maps on the final poses "
                                                "and write them as .bmp and .png with a preview.png");
    line.AddScene(line.bake);
    line.AddOut(line.bake);
    line.AddFrames(line.bake, "Frames to simulate before the bake (default: the scene's \"frames\", else 600)");
    line.AddMapOptions(line.bake);
    line.AddThreads(line.bake);
    line.AddNoViewer(line.bake);
}

/// load, inspect, validate and view: the commands that read a project, a scene or an output folder.
void AddReadingCommands(CommandLine& line)
{
    line.load = line.app.add_subcommand("load", "Load a project, write its matrices.csv, optionally run frames");
    line.load->add_option("PROJECT", line.path, "Project file (.vxp)")->required();
    line.AddOut(line.load);
    line.AddFrames(line.load, "Frames to run after loading (default 0)");
    line.AddThreads(line.load);

    line.inspect = line.app.add_subcommand("inspect", "List a project's channels, links and saved chunks");
    line.inspect->add_option("PROJECT", line.path, "Project file (.vxp)")->required();

    line.validate = line.app.add_subcommand("validate", "Read a scene and build its channel graph without running "
                                                        "frames or writing files (exit 0 or 2)");
    line.AddScene(line.validate);
    line.view = line.app.add_subcommand("view", "Write viewer.html, the run's interactive 3D page, for an output "
                                                "folder or a project");
    line.view
        ->add_option("PROJECT_OR_OUTPUT_FOLDER", line.path, "Output folder of demo, run or bake, or a project file")
        ->required();
    line.AddOut(line.view);
}

/// The one line a command line that does not parse gets, and its status. A first word that is no command
/// is the likeliest mistake: it is named rather than asked for.
int ReportParseError(CLI::App& app, const CLI::ParseError& e, int argc, char** argv)
{
    const std::string first = argc > 1 ? argv[1] : "";
    auto named = [&](CLI::App* command) { return command->check_name(first); };
    if (!first.empty() && first[0] != '-' && app.get_subcommands(named).empty()) {
        std::string commands;
        for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
            commands += (commands.empty() ? "" : ", ") + command->get_name();
        std::cerr << "vexhost: command line: unknown command \"" << first << "\" (commands: " << commands
                  << "; see vexhost --help)\n";
        return vex::app::kStatusBadInput;
    }
    std::cerr << "vexhost: command line: " << e.what() << " (see vexhost --help)\n";
    return vex::app::kStatusBadInput;
}

/// The options of the chosen command; those not given stay unset, so the scene's own values apply.
vex::app::CommandOptions ChosenOptions(const CommandLine& line, CLI::App* chosen, int argc, char** argv)
{
    vex::app::CommandOptions options;
    options.pluginFolder = ExecutableFolder(argv[0]);
    options.commandLine.assign(argv, argv + argc);
    options.every = line.every;
    auto given = [chosen](const char* name) {
        const CLI::Option* option = chosen->get_option_no_throw(name);
        return option && option->count() > 0;
    };
    if (given("--out"))
        options.out = line.out;
    if (given("--frames"))
        options.frames = line.frames;
    if (given("--map-size"))
        options.mapSize = line.mapSize;
    if (given("--samples"))
        options.samples = line.samples;
    if (given("--threads"))
        options.threads = line.threads;
    options.viewer = !line.noViewer;
    return options;
}

int RunChosen(const CommandLine& line, CLI::App* chosen, const vex::app::CommandOptions& options)
{
    using namespace vex::app;
    if (chosen == line.demo)
        return CommandDemo(options);
    if (chosen == line.run)
        return CommandRun(line.path, options);
    if (chosen == line.bake)
        return CommandBake(line.path, options);
    if (chosen == line.validate)
        return CommandValidate(line.path, options);
    if (chosen == line.load)
        return CommandLoad(line.path, options);
    if (chosen == line.view)
        return CommandView(line.path, options);
    return CommandInspect(line.path, options);
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    line.app.require_subcommand(1);
    line.app.set_version_flag("--version", vex::VersionLine(),
                              "Print the version (and the git commit of the build) and exit");
    AddSceneCommands(line);
    AddReadingCommands(line);
    try {
        line.app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return line.app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return line.app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return line.app.exit(e);
    } catch (const CLI::ParseError& e) {
        return ReportParseError(line.app, e, argc, argv);
    }
    CLI::App* chosen = line.app.get_subcommands().front();
    const vex::app::CommandOptions options = ChosenOptions(line, chosen, argc, argv);
    vex::app::InstallInterruptHandler();
    return RunChosen(line, chosen, options);
}
