#pragma once
// Ctrl-C stops a run between two frames; the runner then keeps what it has and exits with status 130.

namespace vex::app {

/// Status after a stop by Ctrl-C (128 + SIGINT), as shells report it.
inline constexpr int kInterruptedStatus = 130;

/// Routes SIGINT to a flag instead of ending the process.
void InstallInterruptHandler();
bool InterruptRequested();
/// Sets the flag as Ctrl-C would (tests).
void RequestInterrupt();

} // namespace vex::app
