#include "app/Interrupt.h"

#include "siblings/input/Tvc_Input.h"

#include <atomic>
#include <csignal>

namespace vex::app {

namespace {
volatile std::sig_atomic_t gSignal = 0;
std::atomic<Tvc_Input*> gInput{nullptr};
static_assert(std::atomic<Tvc_Input*>::is_always_lock_free, "read from a signal handler");

extern "C" void OnInterrupt(int signal)
{
    // The first signal decides the status; a second one while stopping changes nothing.
    if (gSignal == 0)
        gSignal = signal;
    if (Tvc_Input* input = gInput.load(std::memory_order_relaxed))
        input->SetStopRequested(true);
}
} // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool InterruptRequested() { return gSignal != 0; }

int InterruptSignal() { return gSignal; }

int InterruptedStatus() { return 128 + (gSignal ? gSignal : SIGINT); }

const char* InterruptName()
{
    switch (gSignal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "Ctrl-C";
    }
}

void RequestInterrupt() { OnInterrupt(SIGINT); }

void SetInterruptInput(Tav_Channel* input)
{
    // The input stand-in is the only channel of the input type; the host created it from that type.
    gInput.store(static_cast<Tvc_Input*>(input), std::memory_order_relaxed);
    if (input && gSignal)
        static_cast<Tvc_Input*>(input)->SetStopRequested(true);
}

} // namespace vex::app
