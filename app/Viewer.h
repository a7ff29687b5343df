#pragma once
// The viewer page: one self-contained HTML file (the 3D library, the page's code and the run's data
// inlined) that shows a run's scene, frames, light maps and lamps when opened from the file system.

#include <cstddef>
#include <string>

class Vexcore;

namespace vex::app {

/// Most bytes the page may take; frames are thinned (every Nth kept) to stay within it.
inline constexpr size_t kViewerPageLimit = 20'000'000;

/// Where `vexhost view` reads a run from and writes its page.
struct ViewerTarget {
    std::string project; ///< the saved project holding the run's final state
    std::string folder;  ///< the output folder: trajectory.csv and light-map images are read from it
};

/// A project file (its folder is the run's), or an output folder holding scene.vxp. Throws InputError
/// when neither exists.
ViewerTarget ResolveViewerTarget(const std::string& path);

/// Writes pageFolder/viewer.html for the run whose final state `host` holds; its frames come from
/// runFolder/trajectory.csv (only the final poses when there is none). Returns the page's path.
std::string WriteViewerPage(const Vexcore& host, const std::string& runFolder, const std::string& pageFolder,
                            const std::string& title);

/// The last step of demo, run and bake: writes the page, prints its path and returns it, or, in a runner
/// built without the page, prints a note instead and returns "" (a run does not fail for it).
std::string WriteViewerAfterRun(const Vexcore& host, const std::string& folder, const std::string& title);

/// The page for already gathered data: the template with the script and the data (JSON text) inlined.
std::string ComposeViewerPage(const std::string& dataJson);

} // namespace vex::app
