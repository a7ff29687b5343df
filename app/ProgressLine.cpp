#include "app/ProgressLine.h"

#include <algorithm>
#include <unistd.h>

namespace vex::app {

namespace {
std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, s < 10 ? "%.1f s" : "%.0f s", s);
    return text;
}
} // namespace

std::string FormatProgress(const std::string& label, long long done, long long total, const std::string& unit,
                           const std::string& detail, double elapsedSeconds)
{
    const double fraction = total > 0 ? std::clamp(double(done) / double(total), 0.0, 1.0) : 1.0;
    std::string line = label + ": " + std::to_string(int(fraction * 100)) + "% " + std::to_string(done) + "/" +
                       std::to_string(total) + " " + unit;
    if (!detail.empty())
        line += ", " + detail;
    line += ", " + Seconds(elapsedSeconds) + " elapsed";
    if (done > 0 && done < total)
        line += ", about " + Seconds(elapsedSeconds * double(total - done) / double(done)) + " left";
    return line;
}

ProgressLine::ProgressLine(std::string label, long long total, std::string unit, bool plainLines)
    : label_(std::move(label)), total_(total), unit_(std::move(unit)), plainLines_(plainLines), out_(stderr),
      terminal_(isatty(fileno(stderr)) != 0)
{
}

ProgressLine::~ProgressLine()
{
    if (drewInPlace_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
}

void ProgressLine::SetOutput(std::FILE* out, bool terminal)
{
    out_ = out;
    terminal_ = terminal;
}

void ProgressLine::Update(long long done, const std::string& detail)
{
    if (!out_ || (!terminal_ && !plainLines_))
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool last = done >= total_;
    if (!terminal_) {
        const int quarter = total_ > 0 ? int(std::clamp(done * 4 / total_, 0LL, 4LL)) : 4;
        if (quarter <= lastQuarter_)
            return;
        lastQuarter_ = quarter;
    } else if (!last && drewInPlace_ && now - lastDraw_ < kRedrawInterval) {
        return;
    }
    lastDraw_ = now;
    std::string line =
        FormatProgress(label_, done, total_, unit_, detail, std::chrono::duration<double>(now - start_).count());
    if (!terminal_) {
        std::fprintf(out_, "%s\n", line.c_str());
    } else {
        const size_t length = line.size();
        if (length < lastLength_)
            line.append(lastLength_ - length, ' '); // blank out the rest of a longer previous line
        lastLength_ = length;
        std::fprintf(out_, "\r%s", line.c_str());
        drewInPlace_ = true;
    }
    std::fflush(out_);
}

} // namespace vex::app
