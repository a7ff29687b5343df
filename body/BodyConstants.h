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

/// Saved sizes of the item records, in bytes.
inline constexpr int kItemRecordSize = 264;
inline constexpr int kOldItemRecordSize = 288;

} // namespace vex::body
