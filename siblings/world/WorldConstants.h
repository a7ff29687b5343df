#pragma once
// Defaults and limits of the world channel's settings.

namespace vex::world {

/// Simulated time per host frame. In seconds: one frame of a 60 Hz display.
inline constexpr float kDefaultStepSize = 1.0f / 60.0f;
/// Longest step accepted, in seconds. A body turns by its angular speed times the step in one update;
/// with longer steps that product can overflow ODE's rotation, which stops the process.
inline constexpr float kMaxStepSize = 1.0f;
/// Iterations of ODE's iterative solver per step: ODE's own default, enough for stacks of a few bodies.
inline constexpr int kDefaultSolverIterations = 20;
/// In metres per second squared, along -y (the engine's up axis is +y).
inline constexpr float kDefaultGravityY = -9.81f;
/// Contacts kept per pair of touching geoms: four hold a box flat on a face.
inline constexpr int kDefaultContactsPerPair = 4;
/// Upper bound of contacts per pair (and of solver iterations per 1000): beyond it a setting is refused.
inline constexpr int kMaxContactsPerPair = 64;
inline constexpr int kMaxSolverIterations = 1000;
/// Depth that contacts may keep without being pushed apart. In metres: resting contacts stay alive at
/// this depth instead of losing contact every other step and jittering; it is also below the body
/// channel's rest threshold (0.001 at world factor 1), so resting bodies count as still.
inline constexpr double kContactSurfaceLayer = 0.0005;
/// Incoming speed below which contacts do not bounce. In metres per second: keeps resting bodies quiet.
inline constexpr double kBounceMinimumSpeed = 0.1;

/// Cell sizes of the hash space, as powers of two: from 1/8 to 1024 (ODE's own defaults, set explicitly
/// because the limits below depend on them).
inline constexpr int kSmallestCellLevel = -3;
inline constexpr int kLargestCellLevel = 10;
/// Geoms larger than the largest cell are kept in a list, never hashed.
inline constexpr double kLargestHashedGeom = 1024.0;
/// Largest coordinate of a hashed geom's bounds. Cell numbers are ints, so with cells 1/8 wide bounds
/// beyond 2^31 / 8 (about 2.7e8) stop the process; in metres 1e8 is 100,000 km, outside any scene.
inline constexpr double kSpaceLimit = 1e8;

} // namespace vex::world
