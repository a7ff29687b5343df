#pragma once
// A progress line on standard error for long steps of a run (frames, light maps): on a terminal one line
// redrawn in place with percentage, count done, elapsed time and an estimate of the time left; otherwise a
// plain line at the start and at each quarter (or nothing, for steps that show only on a terminal).

#include <chrono>
#include <cstdio>
#include <string>

namespace vex::app {

/// "LABEL: P% DONE/TOTAL UNIT[, DETAIL], E s elapsed[, about L s left]". The time left is the elapsed time
/// scaled by what is still to do, shown once something is done.
std::string FormatProgress(const std::string& label, long long done, long long total, const std::string& unit,
                           const std::string& detail, double elapsedSeconds);

class ProgressLine {
public:
    /// Shortest time between two redraws on a terminal: looks live and costs nothing.
    static constexpr std::chrono::milliseconds kRedrawInterval{100};

    /// plainLines: whether a non-terminal gets plain lines. Draws nothing until the first Update.
    ProgressLine(std::string label, long long total, std::string unit, bool plainLines);
    /// Ends a line drawn in place.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    /// Where the line goes and whether that is a terminal (default: standard error as it is).
    void SetOutput(std::FILE* out, bool terminal);
    /// done of total; detail is shown after the count. The last update (done == total) always draws.
    void Update(long long done, const std::string& detail = {});

private:
    std::string label_;
    long long total_;
    std::string unit_;
    bool plainLines_;
    std::FILE* out_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw_{};
    bool drewInPlace_ = false;
    int lastQuarter_ = -1;
    size_t lastLength_ = 0;
};

} // namespace vex::app
