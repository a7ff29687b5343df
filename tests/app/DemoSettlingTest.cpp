#include "app/Demo.h"
#include "app/Scene.h"
#include "app/Simulation.h"
#include "app/Trajectory.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Vexcore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

namespace vex::app {
namespace {

/// The body's origin and the tips of its three axes one metre out: a turn in place moves the tips.
struct Marks {
    D3DXVECTOR3 point[4];
};

Marks MarksOf(Tav_Channel* body)
{
    const D3DXMATRIX m = StoredMatrix(body);
    Marks marks;
    marks.point[0] = {m._41, m._42, m._43};
    for (int row = 0; row < 3; ++row) {
        const D3DXVECTOR3 axis(m.m[row][0], m.m[row][1], m.m[row][2]);
        marks.point[row + 1] = marks.point[0] + axis / D3DXVec3Length(&axis);
    }
    return marks;
}

float Distance(const Marks& a, const Marks& b)
{
    float largest = 0;
    for (int i = 0; i < 4; ++i) {
        const D3DXVECTOR3 d = a.point[i] - b.point[i];
        largest = std::max(largest, D3DXVec3Length(&d));
    }
    return largest;
}

// The demo's bodies fall onto a mesh floor and a mesh ramp and must come to rest there: each one
// below the runner's rest speed at the end, and none moving (or turning a metre-long lever) by more than
// a millimetre over the last simulated second. A box whose mesh contacts flicker between frames creeps
// a few millimetres a second and fails this, though it may well be slower than the rest speed.
TEST(DemoScene, EveryBodyComesToRestAndStaysStill)
{
    Vexcore host({VEX_PLUGIN_DIR});
    host.SetMessageSink([](const std::string&) {});
    const Scene scene = ParseScene(DemoScene(TypeCatalog(host)).dump(), "demo-scene.json");
    // The light map stays out of the graph: only the bodies matter here.
    const BuiltScene built = BuildScene(host, scene, BuildOptions{true});
    const int lastSecond = static_cast<int>(std::lround(1.0 / built.frameSeconds));
    RunFrames(host, kDemoFrames - lastSecond, built.frameSeconds, nullptr);

    std::map<std::string, Marks> start;
    std::map<std::string, float> moved;
    for (Tav_Channel* body : FindBodies(host))
        if (static_cast<Tvc_ODE_BodyCollision*>(body)->GetBodyID())
            start[host.GetChannelName(body)] = MarksOf(body);
    for (int frame = 0; frame < lastSecond; ++frame) {
        RunFrames(host, 1, built.frameSeconds, nullptr);
        for (Tav_Channel* body : FindBodies(host)) {
            const auto it = start.find(host.GetChannelName(body));
            if (it != start.end())
                moved[it->first] = std::max(moved[it->first], Distance(MarksOf(body), it->second));
        }
    }

    ASSERT_EQ(start.size(), 12u);
    for (const auto& [name, distance] : moved)
        EXPECT_LE(distance, 0.001f) << name << " moved " << distance * 1000 << " mm in the last second";
    const RestCount rest = CountBodiesAtRest(host);
    EXPECT_EQ(rest.atRest, rest.dynamic);
}

} // namespace
} // namespace vex::app
