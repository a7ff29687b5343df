#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP stop a run between two frames (a bake also inside the light-map
// computation); the runner then keeps what it has, marks its manifest incomplete and exits with status
// 128 + the signal's number, as shells report a process ended by that signal.

class Tav_Channel;

namespace vex::app {

/// Routes SIGINT, SIGTERM and SIGHUP to a flag instead of ending the process.
void InstallInterruptHandler();
bool InterruptRequested();
/// The signal that asked for the stop (0 when none did).
int InterruptSignal();
/// 128 + InterruptSignal().
int InterruptedStatus();
/// What stopped the run, for the summary: "Ctrl-C", "SIGTERM" or "SIGHUP".
const char* InterruptName();
/// Sets the flag as Ctrl-C would (tests).
void RequestInterrupt();
/// An input channel ("Input") whose stop request a stop signal also raises, so that a long computation
/// that watches it (a light-map bake) stops early; null to forget it.
void SetInterruptInput(Tav_Channel* input);

} // namespace vex::app
