#pragma once
// Raising the user's stop request on an input channel, as the runner's interrupt handler does.
// Implemented by the input channel beside Tav_InputInterface; found with dynamic_cast.

class Tav_StopRequestInterface {
public:
    /// Safe to call from a signal handler.
    virtual void SetStopRequested(bool stop) = 0;

protected:
    ~Tav_StopRequestInterface() = default;
};
