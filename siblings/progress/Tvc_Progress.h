#pragma once
// A progress display ("Progress") on standard error: on a terminal one line redrawn in place (at most
// every kRedrawIntervalMs), otherwise a plain line each time another tenth of the work is done.

#include "host/siblings/Tav_ProgressInterface.h"
#include "host/siblings/Tav_ProgressListenerInterface.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

class Tvc_Progress : public Tav_ProgressInterface, public Tav_ProgressListenerInterface {
public:
    /// Shortest time between two redraws on a terminal, in milliseconds: fast enough to look live,
    /// slow enough not to cost the computation anything.
    static constexpr int kRedrawIntervalMs = 100;
    /// Characters of the bar drawn on a terminal.
    static constexpr int kBarWidth = 30;

    Tvc_Progress();
    Tvc_Progress(const Tvc_Progress& other) = default;
    Tvc_Progress& operator=(const Tvc_Progress& other) = default;
    /// Ends the terminal line if one was drawn.
    ~Tvc_Progress() override;

    void SetText(const char* text) override;
    /// Makes the display visible and draws it.
    void Show() override;
    /// Fraction done, clamped to 0..1 (not a number counts as 0).
    void SetProgress(float fraction) override;

    /// Where the display goes and whether that is a terminal (tests write to a file).
    void SetOutput(std::FILE* out, bool isTerminal);
    /// Receives the text and fraction after every change, in place of the display (a host that draws its
    /// own progress line).
    using Listener = Tav_ProgressListenerInterface::Listener;
    void SetListener(Listener listener) override { listener_ = std::move(listener); }
    const std::string& GetText() const { return text_; }
    float GetProgress() const { return fraction_; }

private:
    void Draw(bool force);

    std::FILE* out_;
    bool terminal_;
    bool visible_ = false;
    bool drewLine_ = false;
    std::string text_;
    float fraction_ = 0.0f;
    int lastTenth_ = -1;
    size_t lastLength_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
    Listener listener_;
};
