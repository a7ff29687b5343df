// The runner's progress line: its text, and the few plain lines it writes where standard error is a file.

#include "app/ProgressLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using vex::app::FormatProgress;
using vex::app::ProgressLine;

TEST(ProgressLine, TextGivesShareCountElapsedAndTimeLeft)
{
    EXPECT_EQ(FormatProgress("light map \"floor\"", 1024, 4096, "texels", "", 3.0),
              "light map \"floor\": 25% 1024/4096 texels, 3.0 s elapsed, about 9.0 s left");
    EXPECT_EQ(FormatProgress("frames", 600, 600, "frames", "10.000 s simulated", 42.4),
              "frames: 100% 600/600 frames, 10.000 s simulated, 42 s elapsed");
    // Nothing done yet: no estimate.
    EXPECT_EQ(FormatProgress("frames", 0, 10, "frames", "", 0.01), "frames: 0% 0/10 frames, 0.0 s elapsed");
}

TEST(ProgressLine, FileGetsALineAtTheStartAndAtEachQuarterOnly)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        ProgressLine line("map", 100, "texels", true);
        line.SetOutput(file, false);
        for (int done = 0; done <= 100; ++done)
            line.Update(done);
        ProgressLine terminalOnly("frames", 100, "frames", false);
        terminalOnly.SetOutput(file, false);
        terminalOnly.Update(100);
    }
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 5) << text;
    EXPECT_EQ(text.rfind("map: 0% 0/100 texels", 0), 0u) << text;
    EXPECT_NE(text.find("map: 50% 50/100 texels"), std::string::npos) << text;
    EXPECT_NE(text.find("map: 100% 100/100 texels"), std::string::npos) << text;
    EXPECT_EQ(text.find("frames"), std::string::npos) << text;
}
