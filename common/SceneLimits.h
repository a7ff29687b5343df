#pragma once
// What a scene in metres can mean: the ranges the runner's scene reader accepts and the channels' own
// setters enforce, so that anything a scene may say can also be run. Documented in docs/scene-format.md.

namespace vex::limits {

/// Largest coordinate of a position, in metres (1000 km): a light, a matrix's translation, an offset.
/// ODE's hash space stops the process beyond about 1e8 and the ray tracer loses all precision long before.
inline constexpr float kMaxCoordinate = 1.0e6f;
/// Largest entry of a matrix given as sixteen numbers (rotation and scale entries included).
inline constexpr float kMaxMatrixEntry = 1.0e6f;
/// Largest and smallest size of one shape or mesh, in metres.
inline constexpr float kMaxExtent = 1.0e5f;
inline constexpr float kMinExtent = 1.0e-6f;
/// Heaviest shape, in kilograms; lighter than this is a typing error or beyond the solver's precision.
inline constexpr float kMaxMass = 1.0e7f;
inline constexpr float kMinMass = 1.0e-6f;
/// Largest gravity component, in metres per second squared (a thousand times the Earth's).
inline constexpr float kMaxGravity = 1.0e4f;
/// Largest magnitude of a damping value (angular damping, damping factor).
inline constexpr float kMaxDamping = 1.0e3f;
/// Light settings: reach in metres, attenuation coefficients, colour components.
inline constexpr float kMaxLightRange = 1.0e6f;
inline constexpr float kMaxAttenuation = 1.0e6f;
inline constexpr float kMaxLightColour = 1.0e4f;
/// The ray tracer answers a shadow segment with an end beyond this coordinate as unblocked (the scene
/// reader never lets a position that far in; only a runaway body or a hand-made matrix gets there).
inline constexpr float kMaxTraceCoordinate = 1.0e8f;

} // namespace vex::limits
