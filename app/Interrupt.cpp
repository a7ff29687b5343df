#include "app/Interrupt.h"

#include <csignal>

namespace vex::app {

namespace {
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) { gInterrupted = 1; }
} // namespace

void InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return gInterrupted != 0; }

void RequestInterrupt() { gInterrupted = 1; }

} // namespace vex::app
