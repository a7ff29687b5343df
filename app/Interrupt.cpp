#include "app/Interrupt.h"

#include "siblings/input/Tvc_Input.h"

#include <atomic>
#include <csignal>

namespace vex::app {

namespace {
volatile std::sig_atomic_t gInterrupted = 0;
std::atomic<Tvc_Input*> gInput{nullptr};
static_assert(std::atomic<Tvc_Input*>::is_always_lock_free, "read from a signal handler");

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
    if (Tvc_Input* input = gInput.load(std::memory_order_relaxed))
        input->SetStopRequested(true);
}
} // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return gInterrupted != 0; }

void RequestInterrupt() { OnInterrupt(SIGINT); }

void SetInterruptInput(Tav_Channel* input)
{
    // The input stand-in is the only channel of the input type; the host created it from that type.
    gInput.store(static_cast<Tvc_Input*>(input), std::memory_order_relaxed);
    if (input && gInterrupted)
        static_cast<Tvc_Input*>(input)->SetStopRequested(true);
}

} // namespace vex::app
