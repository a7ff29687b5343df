#include "app/Demo.h"

#include "app/Scene.h"
#include "host/siblings/TypeGuids.h"

#include <string>

namespace vex::app {

namespace {

using Json = nlohmann::json;

Json Vec(float x, float y, float z) { return Json::array({x, y, z}); }

/// A matrix channel holding a start pose and a body linked to it at "Start position".
void AddBody(Json& channels, const std::string& name, Json position, Json rotation, Json items, bool dynamic = true)
{
    const std::string start = name + ".start";
    channels.push_back({{"name", start},
                        {"type", "Matrix"},
                        {"settings", {{"matrix", {{"position", position}, {"rotation", rotation}}}}}});
    Json settings = {{"items", items}};
    if (!dynamic)
        settings["dynamic"] = false;
    else
        settings["angularDamping"] = 0.98; // a little rolling resistance so spheres come to rest
    channels.push_back({{"name", name},
                        {"type", "ODE Body"},
                        {"settings", settings},
                        {"links", Json::array({{{"position", 0}, {"channel", start}}})}});
}

Json Box(Json size, float mass, Json offset = Vec(0, 0, 0), Json rotation = Vec(0, 0, 0))
{
    return {{"shape", "box"}, {"size", size}, {"mass", mass}, {"offset", offset}, {"rotation", rotation}};
}

Json Sphere(float radius, float mass, Json offset = Vec(0, 0, 0))
{
    return {{"shape", "sphere"}, {"radius", radius}, {"mass", mass}, {"offset", offset}};
}

} // namespace

Json DemoScene(const TypeCatalog& catalog)
{
    Json channels = Json::array();
    // The world's type name belongs to its library; the GUID is fixed.
    channels.push_back({{"name", "world"}, {"type", catalog.NameOf(Guid(guids::kWorld))}});

    AddBody(channels, "floor", Vec(0, 0, 0), Vec(0, 0, 0), Json::array({{{"shape", "plane"}, {"name", "ground"}}}),
            false);
    AddBody(channels, "crate", Vec(0, 3, 0), Vec(0, 0, 20), Json::array({Box(Vec(1, 1, 1), 5)}));
    AddBody(channels, "ball", Vec(1.6f, 4, 0.3f), Vec(0, 0, 0), Json::array({Sphere(0.5f, 3)}));
    AddBody(channels, "plank", Vec(0.2f, 6, 0), Vec(10, 35, 0), Json::array({Box(Vec(2, 0.25f, 0.8f), 4)}));
    AddBody(channels, "dumbbell", Vec(-1.8f, 5, 0.5f), Vec(45, 30, 0),
            Json::array({Sphere(0.35f, 2, Vec(-0.7f, 0, 0)), Sphere(0.35f, 2, Vec(0.7f, 0, 0)),
                         Box(Vec(1.2f, 0.2f, 0.2f), 1)}));
    // A cross of two turned bars and a small hub: several shapes with rotations, balanced about the origin.
    AddBody(channels, "cross", Vec(2.8f, 3.5f, -1), Vec(0, 0, 60),
            Json::array({Box(Vec(1.5f, 0.3f, 0.3f), 2, Vec(0, 0, 0), Vec(0, 0, 45)),
                         Box(Vec(1.5f, 0.3f, 0.3f), 2, Vec(0, 0, 0), Vec(0, 0, -45)),
                         Sphere(0.25f, 1, Vec(0, 0, 0))}));
    // A jack: three bars (two of them turned upright) with knobs at their ends, in mirrored pairs.
    AddBody(channels, "jack", Vec(-0.5f, 8, -2.5f), Vec(15, 15, 0),
            Json::array({Sphere(0.15f, 0.5f, Vec(0.6f, 0, 0)), Sphere(0.15f, 0.5f, Vec(-0.6f, 0, 0)),
                         Sphere(0.15f, 0.5f, Vec(0, 0.6f, 0)), Sphere(0.15f, 0.5f, Vec(0, -0.6f, 0)),
                         Sphere(0.15f, 0.5f, Vec(0, 0, 0.6f)), Sphere(0.15f, 0.5f, Vec(0, 0, -0.6f)),
                         Box(Vec(1.2f, 0.1f, 0.1f), 0.5f), Box(Vec(1.2f, 0.1f, 0.1f), 0.5f, Vec(0, 0, 0), Vec(0, 0, 90)),
                         Box(Vec(1.2f, 0.1f, 0.1f), 0.5f, Vec(0, 0, 0), Vec(0, 90, 0))}));
    AddBody(channels, "pebble", Vec(-3, 2, -1.2f), Vec(0, 0, 0), Json::array({Sphere(0.25f, 1)}));

    return {{"channels", channels}, {"frames", kDemoFrames}};
}

} // namespace vex::app
