#pragma once
// The frame loop of a run: simulated time drives the tick clock so that runs repeat exactly.

class Vexcore;

namespace vex::app {

class Trajectory;

struct RunOutcome {
    unsigned long frames = 0; ///< frames run
    double seconds = 0;       ///< simulated time
    bool interrupted = false; ///< stopped by Ctrl-C before the last frame
};

/// Sets the tick clock to the simulated time of the host's current frame.
void SetClockForFrame(unsigned long frame, double frameSeconds);

/// Runs `frames` host frames (continuing the host's frame count), recording each into trajectory (when
/// given) after the frame's channels have run; stops early when Ctrl-C was pressed.
RunOutcome RunFrames(Vexcore& host, int frames, double frameSeconds, Trajectory* trajectory);

} // namespace vex::app
