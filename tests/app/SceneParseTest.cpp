#include "app/InputError.h"
#include "app/Scene.h"

#include <gtest/gtest.h>

#include <string>

namespace vex::app {
namespace {

struct BadScene {
    const char* label;
    const char* text;
    const char* field;   ///< expected field, exactly
    const char* problem; ///< expected to appear in the problem text
};

std::ostream& operator<<(std::ostream& out, const BadScene& c) { return out << c.label; }

class SceneParseRejects : public ::testing::TestWithParam<BadScene> {};

// Every bad input gives one line that names the file, the field and the problem.
TEST_P(SceneParseRejects, WithOneLineNamingFileFieldAndProblem)
{
    const BadScene& c = GetParam();
    try {
        ParseScene(c.text, "scenes/bad.json");
        FAIL() << "accepted: " << c.text;
    } catch (const InputError& e) {
        EXPECT_EQ(e.File(), "scenes/bad.json");
        EXPECT_EQ(e.Field(), c.field);
        EXPECT_NE(e.Problem().find(c.problem), std::string::npos) << e.Problem();
        const std::string line = e.what();
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_EQ(line.rfind("scenes/bad.json: " + std::string(c.field) + ": ", 0), 0u) << line;
    }
}

const BadScene kBadScenes[] = {
    {"CutJson", "{\"channels\": [", "line 1, column 15", "bad JSON"},
    {"SyntaxOnLineTwo", "{\n  \"channels\": [}\n", "line 2, column 16", "bad JSON"},
    {"NumberTooLarge", "7777777777E7708", "(top level)", "bad JSON"},
    {"TopLevelArray", "[]", "(top level)", "expected an object"},
    {"NoChannels", "{}", "channels", "missing"},
    {"ChannelsNotArray", "{\"channels\": {}}", "channels", "expected an array, found an object"},
    {"UnknownTopField", "{\"channels\": [], \"frame\": 3}", "frame", "unknown field"},
    {"ChannelNotObject", "{\"channels\": [3]}", "channels[0]", "expected a channel object, found a number"},
    {"MissingName", "{\"channels\": [{\"type\": \"Matrix\"}]}", "channels[0].name", "missing"},
    {"NameNotString", "{\"channels\": [{\"name\": 7, \"type\": \"Matrix\"}]}", "channels[0].name",
     "expected a string, found a number"},
    {"EmptyType", "{\"channels\": [{\"name\": \"a\", \"type\": \"\"}]}", "channels[0].type", "empty"},
    {"DuplicateName",
     "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\"}, {\"name\": \"a\", \"type\": \"Value\"}]}",
     "channels[1].name", "used by an earlier channel"},
    {"UnknownChannelField", "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\", \"setting\": {}}]}",
     "channels[0].setting", "unknown field"},
    {"SettingsNotObject", "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\", \"settings\": [1]}]}",
     "channels[0].settings", "expected an object, found an array"},
    {"LinksNotArray", "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\", \"links\": {}}]}", "channels[0].links",
     "expected an array"},
    {"LinkToUnknownChannel",
     "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\", \"links\": [{\"position\": 0, \"channel\": \"b\"}]}]}",
     "channels[0].links[0].channel", "no channel named \"b\""},
    {"LinkToItself", "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\", \"links\": [{\"channel\": \"a\"}]}]}",
     "channels[0].links[0].channel", "itself"},
    {"LinkPositionFraction",
     "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\"}, {\"name\": \"b\", \"type\": \"Matrix\", "
     "\"links\": [{\"position\": 0.5, \"channel\": \"a\"}]}]}",
     "channels[1].links[0].position", "a fraction"},
    {"LinkPositionBelowMinusOne",
     "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\"}, {\"name\": \"b\", \"type\": \"Matrix\", "
     "\"links\": [{\"position\": -2, \"channel\": \"a\"}]}]}",
     "channels[1].links[0].position", "not a link position"},
    {"LinkUnknownField",
     "{\"channels\": [{\"name\": \"a\", \"type\": \"Matrix\"}, {\"name\": \"b\", \"type\": \"Matrix\", "
     "\"links\": [{\"slot\": 0, \"channel\": \"a\"}]}]}",
     "channels[1].links[0].slot", "unknown field"},
    {"FramesNegative", "{\"channels\": [], \"frames\": -1}", "frames", "outside"},
    {"FramesHuge", "{\"channels\": [], \"frames\": 18446744073709551615}", "frames", "outside"},
    {"FramesText", "{\"channels\": [], \"frames\": \"ten\"}", "frames", "expected a whole number, found a string"},
    {"OutputEmpty", "{\"channels\": [], \"output\": \"\"}", "output", "expected a folder name"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SceneParseRejects, ::testing::ValuesIn(kBadScenes),
                         [](const ::testing::TestParamInfo<BadScene>& info) { return std::string(info.param.label); });

TEST(SceneParse, ReadsChannelsLinksFramesAndOutput)
{
    const Scene scene = ParseScene(R"({
        "frames": 90, "output": "results",
        "channels": [
            {"name": "body", "type": "ODE Body", "links": [{"position": 0, "channel": "start"}, {"channel": "start"}]},
            {"name": "start", "type": "Matrix", "settings": {"matrix": {"position": [0, 2, 0]}}}
        ]})",
                                   "s.json");
    ASSERT_EQ(scene.channels.size(), 2u);
    EXPECT_EQ(scene.channels[0].name, "body");
    EXPECT_EQ(scene.channels[0].type, "ODE Body");
    ASSERT_EQ(scene.channels[0].links.size(), 2u);
    EXPECT_EQ(scene.channels[0].links[0].position, 0);
    EXPECT_EQ(scene.channels[0].links[0].channel, "start");
    EXPECT_EQ(scene.channels[0].links[1].position, -1); // by type
    EXPECT_TRUE(scene.channels[0].settings.is_object());
    EXPECT_EQ(scene.channels[1].settings["matrix"]["position"][1], 2);
    EXPECT_EQ(scene.frames, 90);
    EXPECT_EQ(scene.output, "results");
}

TEST(SceneParse, MissingFileNamesTheFile)
{
    try {
        ReadSceneFile("/nonexistent/scene.json");
        FAIL();
    } catch (const InputError& e) {
        EXPECT_EQ(e.File(), "/nonexistent/scene.json");
        EXPECT_NE(e.Problem().find("cannot open"), std::string::npos);
    }
}

} // namespace
} // namespace vex::app
