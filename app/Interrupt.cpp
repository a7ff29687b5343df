#include "app/Interrupt.h"

#include "host/Tav_Channel.h"
#include "host/siblings/Tav_StopRequestInterface.h"

#include <atomic>
#include <csignal>

namespace vex::app {

namespace {
volatile std::sig_atomic_t gSignal = 0;
std::atomic<Tav_StopRequestInterface*> gInput{nullptr};
static_assert(std::atomic<Tav_StopRequestInterface*>::is_always_lock_free, "read from a signal handler");

extern "C" void OnInterrupt(int signal)
{
    // The first signal decides the status; a second one while stopping changes nothing.
    if (gSignal == 0)
        gSignal = signal;
    if (Tav_StopRequestInterface* input = gInput.load(std::memory_order_relaxed))
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
    // Looked up here, not in the handler: dynamic_cast is no business of a signal handler.
    auto* stop = dynamic_cast<Tav_StopRequestInterface*>(input);
    gInput.store(stop, std::memory_order_relaxed);
    if (stop && gSignal)
        stop->SetStopRequested(true);
}

} // namespace vex::app
