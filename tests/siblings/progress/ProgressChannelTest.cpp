#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/progress/Tvc_Progress.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vex::test::VirtualSlot;

/// A progress display writing into a temporary file, and what it wrote.
class ProgressChannelTest : public ::testing::Test {
protected:
    ProgressChannelTest() : out(std::tmpfile()) {}
    ~ProgressChannelTest() override
    {
        if (out)
            std::fclose(out);
    }

    std::unique_ptr<Tvc_Progress> Create(bool terminal)
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kProgress), 0, 0);
        auto* progress = dynamic_cast<Tvc_Progress*>(channel);
        EXPECT_NE(progress, nullptr);
        if (progress)
            progress->SetOutput(out, terminal);
        return std::unique_ptr<Tvc_Progress>(progress);
    }

    std::string Written()
    {
        std::fflush(out);
        std::rewind(out);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
            text.append(buffer, n);
        return text;
    }

    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::FILE* out;
};

TEST(ProgressSlots, TextShowAndProgressFollowTavChannelInOrder)
{
    using P = Tav_ProgressInterface;
    EXPECT_EQ(VirtualSlot(&P::SetText), vex::test::kFirstDerivedSlot);
    EXPECT_EQ(VirtualSlot(&P::Show), vex::test::kFirstDerivedSlot + 1);
    EXPECT_EQ(VirtualSlot(&P::SetProgress), vex::test::kFirstDerivedSlot + 2);
}

TEST_F(ProgressChannelTest, LogOutputHasOneLinePerTenth)
{
    auto progress = Create(false);
    ASSERT_TRUE(progress);
    progress->SetText("Surf: 0/1  Rendertime: ");
    progress->Show();
    for (int i = 1; i <= 1000; ++i) {
        progress->SetText(("Surf: 0/1  Rendertime: " + std::to_string(i) + " seconds").c_str());
        progress->SetProgress(static_cast<float>(i) / 1000.0f);
    }
    progress.reset();
    const std::string text = Written();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 11u) << text;
    EXPECT_EQ(lines.front(), "Surf: 0/1  Rendertime:  0%");
    for (size_t k = 1; k < lines.size(); ++k) {
        EXPECT_EQ(lines[k].rfind("Surf: 0/1  Rendertime: ", 0), 0u) << lines[k];
        std::ostringstream percent;
        percent << ' ' << 10 * k << '%';
        EXPECT_NE(lines[k].find(percent.str()), std::string::npos) << lines[k];
    }
}

TEST_F(ProgressChannelTest, NothingIsShownBeforeShow)
{
    auto progress = Create(false);
    progress->SetText("hidden");
    progress->SetProgress(0.5f);
    EXPECT_TRUE(Written().empty());
    progress->Show();
    EXPECT_EQ(Written(), "hidden 50%\n");
}

TEST_F(ProgressChannelTest, FractionIsClampedAndNotANumberCountsAsZero)
{
    auto progress = Create(false);
    progress->SetProgress(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(progress->GetProgress(), 0.0f);
    progress->SetProgress(-3.0f);
    EXPECT_EQ(progress->GetProgress(), 0.0f);
    progress->SetProgress(2.5f);
    EXPECT_EQ(progress->GetProgress(), 1.0f);
}

TEST_F(ProgressChannelTest, TerminalRedrawsInPlaceAtMostOncePerInterval)
{
    auto progress = Create(true);
    progress->SetText("Working");
    const auto start = std::chrono::steady_clock::now();
    progress->Show();
    const int updates = 5000;
    for (int i = 1; i < updates; ++i)
        progress->SetProgress(static_cast<float>(i) / updates);
    const auto elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    progress->SetProgress(1.0f); // completion is always drawn
    progress.reset();            // ends the line
    const std::string text = Written();
    const auto redraws = std::count(text.begin(), text.end(), '\r');
    // Show, completion, and one per interval that passed.
    EXPECT_LE(redraws, 2 + elapsedMs / Tvc_Progress::kRedrawIntervalMs + 1);
    EXPECT_GE(redraws, 2);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    const std::string last = text.substr(text.rfind('\r') + 1);
    EXPECT_EQ(last, "Working [" + std::string(Tvc_Progress::kBarWidth, '#') + "] 100%\n");
}

TEST_F(ProgressChannelTest, ShorterTerminalLineBlanksTheRestOfTheLongerOne)
{
    auto progress = Create(true);
    progress->SetText("a much longer text");
    progress->Show();
    progress->SetText("short");
    progress->SetProgress(1.0f);
    // What a terminal shows: each carriage return writes over the start of the line.
    std::string screen;
    std::istringstream in(Written());
    for (std::string draw; std::getline(in, draw, '\r');)
        if (draw.size() >= screen.size())
            screen = draw;
        else
            screen.replace(0, draw.size(), draw);
    screen.erase(screen.find_last_not_of(' ') + 1);
    EXPECT_EQ(screen, "short [" + std::string(Tvc_Progress::kBarWidth, '#') + "] 100%");
}

} // namespace
