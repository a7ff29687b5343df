#pragma once
// A progress display that hands its text and fraction to the host instead of drawing them (a host that
// draws its own progress line). Implemented by the progress channel beside Tav_ProgressInterface; found
// with dynamic_cast.

#include <functional>
#include <string>

class Tav_ProgressListenerInterface {
public:
    using Listener = std::function<void(const std::string& text, float fraction)>;
    /// Receives the text and fraction after every change, in place of the display.
    virtual void SetListener(Listener listener) = 0;

protected:
    ~Tav_ProgressListenerInterface() = default;
};
