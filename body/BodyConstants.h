#pragma once
// Thresholds of the body channel's frame rules, in one place with their units.

#include <cstdint>

namespace vex::body {

/// World factor x penetration below this counts as "no real overlap" for the rest test. In world units
/// (metres at factor 1): a resting contact settles at a depth of about a millimetre.
inline constexpr float kRestPenetration = 0.001f;
/// World factor x angular speed at or below this counts as "not turning" for the rest test. In radians
/// per second: slow enough that pinning the body is not visible.
inline constexpr float kRestAngularSpeed = 0.01f;
/// A body must stay still in contact for longer than this before it is pinned. In milliseconds of
/// GetTickCount: long enough that a bounce or a roll through a still point does not freeze it.
inline constexpr uint32_t kRestDelayMs = 1000;

/// The enable value at or above which a body runs (the "Enable Body" link).
inline constexpr float kEnableThreshold = 1.0f;

/// Largest magnitude of any component of a body's position, velocities, force and torque that the
/// channel lets ODE step. Far beyond any scene (the output matrix is single precision), and small enough
/// that one step of any mass and step size cannot overflow the quaternion, which ODE would not survive.
inline constexpr double kStateLimit = 1e30;
/// Largest offset of a shape from its body frame, in world units (metres at factor 1): 100,000 km, far
/// beyond any body, and small enough that placing shapes back from the centre of mass stays exact to
/// about 1e-8.
inline constexpr float kOffsetLimit = 1e8f;
/// Largest component of a body's angular velocity it is stepped with, in radians per second: a hundred
/// thousand turns a second is no motion a frame can show, and ODE's rotation update (with its gyroscopic
/// term) must stay far from overflowing within one step.
inline constexpr double kAngularSpeedLimit = 1e6;
/// After a reset of a body whose state was not finite, another fault is reported again only once the body
/// has run this many evaluations without one: a body that keeps blowing up says so once.
inline constexpr int kStateFaultRearmEvaluations = 60;

/// Saved sizes of the item records, in bytes.
inline constexpr int kItemRecordSize = 264;
inline constexpr int kOldItemRecordSize = 288;

} // namespace vex::body
