#include "app/Simulation.h"

#include "app/Interrupt.h"
#include "app/ProgressLine.h"
#include "app/Trajectory.h"
#include "host/Vexcore.h"
#include "platform/Win32.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vex::app {

namespace {
std::string FrameDetail(double simulatedSeconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.3f s simulated", simulatedSeconds);
    return text;
}
} // namespace

void SetClockForFrame(unsigned long frame, double frameSeconds)
{
    // Whole milliseconds from the frame number, never accumulated, so no rounding drift between runs.
    vex::SetManualTickCount(static_cast<DWORD>(std::llround(static_cast<double>(frame) * frameSeconds * 1000.0)));
}

RunOutcome RunFrames(Vexcore& host, int frames, double frameSeconds, Trajectory* trajectory)
{
    RunOutcome outcome;
    ProgressLine progress("frames", frames, "frames", false); // on a terminal only
    for (int i = 0; i < frames; ++i) {
        if (InterruptRequested()) {
            outcome.interrupted = true;
            break;
        }
        const unsigned long frame = host.GetFrameCount() + 1;
        SetClockForFrame(frame, frameSeconds);
        host.RunFrame();
        ++outcome.frames;
        outcome.seconds = static_cast<double>(outcome.frames) * frameSeconds;
        if (trajectory)
            trajectory->Record(frame, static_cast<double>(frame) * frameSeconds);
        progress.Update(i + 1, FrameDetail(static_cast<double>(frame) * frameSeconds));
    }
    return outcome;
}

} // namespace vex::app
