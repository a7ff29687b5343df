#include "platform/Win32.h"

#include <atomic>
#include <chrono>

namespace {
std::atomic<bool> gManual{false};
std::atomic<DWORD> gManualTicks{0};
} // namespace

DWORD GetTickCount()
{
    if (gManual.load(std::memory_order_acquire))
        return gManualTicks.load(std::memory_order_acquire);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

namespace vex {

void SetManualTickCount(DWORD milliseconds)
{
    gManualTicks.store(milliseconds, std::memory_order_release);
    gManual.store(true, std::memory_order_release);
}

void AdvanceManualTickCount(DWORD milliseconds)
{
    if (!gManual.load(std::memory_order_acquire))
        SetManualTickCount(0);
    gManualTicks.fetch_add(milliseconds, std::memory_order_acq_rel);
}

void UseSystemTickCount() { gManual.store(false, std::memory_order_release); }

} // namespace vex
