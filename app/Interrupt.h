#pragma once
// Ctrl-C stops a run between two frames; the runner then keeps what it has and exits with status 130.

class Tav_Channel;

namespace vex::app {

/// Status after a stop by Ctrl-C (128 + SIGINT), as shells report it.
inline constexpr int kInterruptedStatus = 130;

/// Routes SIGINT to a flag instead of ending the process.
void InstallInterruptHandler();
bool InterruptRequested();
/// Sets the flag as Ctrl-C would (tests).
void RequestInterrupt();
/// An input channel ("Input") whose stop request Ctrl-C also raises, so that a long computation that
/// watches it (a light-map bake) stops early; null to forget it.
void SetInterruptInput(Tav_Channel* input);

} // namespace vex::app
