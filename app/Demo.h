#pragma once
// The built-in demo scene of `vexhost demo`.

#include <nlohmann/json.hpp>

namespace vex::app {

class TypeCatalog;

/// Frames the demo runs unless told otherwise: fifteen simulated seconds, time for every body to settle.
inline constexpr int kDemoFrames = 900;

/// The demo scene in the scene-file format; it uses the channel types that the catalog offers.
nlohmann::json DemoScene(const TypeCatalog& catalog);

} // namespace vex::app
