#include "siblings/progress/Tvc_Progress.h"

#include "common/PluginEntry.h"
#include "host/siblings/TypeGuids.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

Tvc_Progress::Tvc_Progress() : out_(stderr), terminal_(isatty(fileno(stderr)) != 0) { SetChannelName("Progress"); }

Tvc_Progress::~Tvc_Progress()
{
    if (terminal_ && drewLine_ && out_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
}

void Tvc_Progress::SetOutput(std::FILE* out, bool isTerminal)
{
    out_ = out;
    terminal_ = isTerminal;
}

void Tvc_Progress::SetText(const char* text)
{
    text_ = text ? text : "";
    Draw(false);
}

void Tvc_Progress::Show()
{
    visible_ = true;
    Draw(true);
}

void Tvc_Progress::SetProgress(float fraction)
{
    fraction_ = std::isnan(fraction) ? 0.0f : std::clamp(fraction, 0.0f, 1.0f);
    Draw(fraction_ >= 1.0f);
}

void Tvc_Progress::Draw(bool force)
{
    if (listener_) {
        listener_(text_, fraction_);
        return;
    }
    if (!visible_ || !out_)
        return;
    const int percent = static_cast<int>(fraction_ * 100.0f);
    if (!terminal_) {
        // A log file gets a line for each tenth reached, whatever the text does in between.
        const int tenth = percent / 10;
        if (tenth <= lastTenth_)
            return;
        lastTenth_ = tenth;
        std::fprintf(out_, "%s %d%%\n", text_.c_str(), percent);
        std::fflush(out_);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && drewLine_ && now - lastDraw_ < std::chrono::milliseconds(kRedrawIntervalMs))
        return;
    lastDraw_ = now;
    const int filled = static_cast<int>(fraction_ * kBarWidth);
    std::string line = text_ + " [" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] " + std::to_string(percent) + "%";
    const size_t length = line.size();
    // Blank out what is left of a longer previous line.
    if (length < lastLength_)
        line.append(lastLength_ - length, ' ');
    lastLength_ = length;
    std::fprintf(out_, "\r%s", line.c_str());
    std::fflush(out_);
    drewLine_ = true;
}

VEX_CHANNEL_PLUGIN(Tvc_Progress, "Progress", vex::guids::kProgress, vex::guids::kProgress)
