#pragma once
// The user's input ("Input"): a 256-byte state block whose byte 44 has bit 7 set while the user asks
// to stop. The runner raises the request from its interrupt handler.

#include "host/siblings/Tav_InputInterface.h"
#include "host/siblings/Tav_StopRequestInterface.h"

#include <atomic>

class Tvc_Input : public Tav_InputInterface, public Tav_StopRequestInterface {
public:
    Tvc_Input();
    Tvc_Input(const Tvc_Input& other);
    Tvc_Input& operator=(const Tvc_Input& other);
    ~Tvc_Input() override = default;

    /// The block with the stop bit as requested at the moment of the call.
    unsigned char* GetInputState() override;

    /// Safe to call from a signal handler: it only stores to a lock-free atomic.
    void SetStopRequested(bool stop) override { stopRequested_.store(stop, std::memory_order_relaxed); }
    bool GetStopRequested() const { return stopRequested_.load(std::memory_order_relaxed); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

    std::atomic<bool> stopRequested_{false};
    unsigned char state_[kStateSize] = {};
};
