#include "app/InputError.h"
#include "app/Viewer.h"
#include "app/ViewerData.h"

#include <gtest/gtest.h>

#include <string>

namespace vex::app {
namespace {

/// `frames` frames of two bodies; body "b" rises 0.5 m per frame.
std::string Csv(int frames)
{
    std::string text = "frame,time,name,x,y,z,qw,qx,qy,qz\n";
    for (int f = 0; f < frames; ++f) {
        const std::string head = std::to_string(f + 1) + "," + std::to_string(f * 0.25) + ",";
        text += head + "a,1,2,3,1,0,0,0\n";
        text += head + "b,0," + std::to_string(f * 0.5) + ",0,1,0,0,0\n";
    }
    return text;
}

const char* kFinalAsLast = "frame,time,name,x,y,z,qw,qx,qy,qz\n0,0,a,1,2,3,1,0,0,0\n0,0,b,0,4.500000,0,1,0,0,0\n";

// Thinning keeps every Nth frame and always the last, whatever N does to the count.
TEST(ViewerFrames, KeepEveryNthFrameAndAlwaysTheLast)
{
    struct Case {
        size_t stride;
        std::vector<int> kept;
    };
    for (const Case& c : {Case{1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, Case{3, {1, 4, 7, 10}}, Case{4, {1, 5, 9, 10}},
                          Case{20, {1, 10}}}) {
        const nlohmann::json t = ViewerFrames(Csv(10), "t.csv", c.stride, kFinalAsLast);
        EXPECT_EQ(t["frames"].get<std::vector<int>>(), c.kept) << "stride " << c.stride;
        ASSERT_EQ(t["poses"].size(), c.kept.size() * 2 * 7);
        // Body b of the last kept frame: y = 0.5 per frame.
        EXPECT_DOUBLE_EQ(t["poses"][(c.kept.size() - 1) * 14 + 7 + 1].get<double>(), 4.5);
        EXPECT_EQ(t["recorded"], 10);
    }
}

// A bake evaluates one frame after the recorded ones; the page must end on the poses the run ended with.
TEST(ViewerFrames, FinalPosesThatDifferFollowAsOneMoreFrame)
{
    const std::string moved = "frame,time,name,x,y,z,qw,qx,qy,qz\n0,0,a,1,2,3,1,0,0,0\n0,0,b,0,4.75,0,1,0,0,0\n";
    const nlohmann::json t = ViewerFrames(Csv(10), "t.csv", 4, moved);
    EXPECT_EQ(t["frames"].get<std::vector<int>>(), (std::vector<int>{1, 5, 9, 11}));
    EXPECT_DOUBLE_EQ(t["times"].back().get<double>(), 2.5);
    EXPECT_DOUBLE_EQ(t["poses"][3 * 14 + 8].get<double>(), 4.75);
}

TEST(ViewerFrames, MalformedRowOrMissingBodyNamesTheFileAndLine)
{
    std::string bad = Csv(3);
    bad.insert(bad.find("2,0.250000,a"), "2,0.25,a,1,2\n");
    EXPECT_THROW(ViewerFrames(bad, "t.csv", 1, kFinalAsLast), InputError);
    std::string short3 = Csv(3);
    short3.erase(short3.rfind("3,0.500000,b"));
    EXPECT_THROW(ViewerFrames(short3, "t.csv", 1, kFinalAsLast), InputError);
}

// A name holding "</script>" must not end the element that carries the data.
TEST(ViewerPage, DataCannotCloseItsScriptElement)
{
    const std::string page = ComposeViewerPage(R"({"title":"</script><script>alert(1)</script>"})");
    EXPECT_EQ(page.find("</script><script>alert"), std::string::npos);
    EXPECT_NE(page.find(R"(\u003c/script>\u003cscript>alert(1))"), std::string::npos);
}

} // namespace
} // namespace vex::app
