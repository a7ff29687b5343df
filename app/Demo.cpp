#include "app/Demo.h"

#include "app/Scene.h"
#include "host/siblings/TypeGuids.h"

#include <string>

namespace vex::app {

namespace {

using Json = nlohmann::json;

Json Vec(float x, float y, float z) { return Json::array({x, y, z}); }

Json Link(int position, const std::string& channel) { return {{"position", position}, {"channel", channel}}; }

/// Builds the demo's channels; each helper appends what one part of the scene needs.
class DemoBuilder {
public:
    Json channels = Json::array();
    Json casters = Json::array(); ///< links of the shadow scene to every object that casts a shadow

    void Add(const std::string& name, const char* type, Json settings = Json::object(), Json links = Json::array())
    {
        Json channel = {{"name", name}, {"type", type}};
        if (!settings.empty())
            channel["settings"] = std::move(settings);
        if (!links.empty())
            channel["links"] = std::move(links);
        channels.push_back(std::move(channel));
    }

    /// A visible object: mesh, surface and 3D object placed by the matrix channel `pose` (none: identity).
    void AddVisual(const std::string& name, Json meshSettings, const std::string& pose, bool castsShadow)
    {
        Add(name + ".mesh", "DX8 Mesh", std::move(meshSettings));
        Add(name + ".surface", "DX8 Surface", Json::object(), Json::array({Link(0, name + ".mesh")}));
        Json links = Json::array({Link(1, name + ".surface")});
        if (!pose.empty())
            links.push_back(Link(0, pose));
        Add(name + ".object", "DX8 3D Object", Json::object(), links);
        if (castsShadow)
            casters.push_back(Link(0, name + ".object"));
    }

    /// A dynamic body at a start pose, with a visible form made of the same shapes.
    void AddBody(const std::string& name, Json position, Json rotation, const Json& items, double angularDamping = 0.98)
    {
        const std::string start = name + ".start";
        Add(start, "Matrix", {{"matrix", {{"position", position}, {"rotation", rotation}}}});
        // Angular damping stands in for rolling resistance, which ODE lacks: spheres come to rest instead of
        // rolling on. Bodies that roll take more of it (rolling, the damping reaches only their spin).
        Add(name, "ODE Body", {{"items", items}, {"angularDamping", angularDamping}}, Json::array({Link(0, start)}));
        Json shapes = Json::array();
        for (const Json& item : items) {
            Json shape = {{"offset", item.value("offset", Vec(0, 0, 0))},
                          {"rotation", item.value("rotation", Vec(0, 0, 0))}};
            if (item["shape"] == "box")
                shape["box"] = item["size"];
            else
                shape["sphere"] = {{"radius", item["radius"]}, {"slices", 16}, {"stacks", 8}};
            shapes.push_back(shape);
        }
        AddVisual(name, {{"shapes", shapes}}, name, true);
    }

    /// A static body whose shape is a collision object's grid, shown by a grid mesh of the same size.
    void AddGround(const std::string& name, Json cells, Json size, const std::string& pose, bool castsShadow)
    {
        Json collision = {{"grid", {{"cells", cells}, {"size", size}}}};
        Add(name + ".collision", "DX8 CollisionObject", collision,
            pose.empty() ? Json::array() : Json::array({Link(0, pose)}));
        Add(name, "ODE Body", {{"items", Json::array({{{"shape", "mesh"}, {"name", name}}})}},
            Json::array({Link(2, name + ".collision")}));
        AddVisual(name, {{"grid", {{"cells", Json::array({24, 24})}, {"size", size}}}}, pose, castsShadow);
    }
};

/// Angular damping of the bodies that roll on round shapes: enough to stop them within a few seconds.
constexpr double kRollerDamping = 0.9;

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
    DemoBuilder b;
    // The world's type name belongs to its library; its GUID is fixed.
    b.Add("world", catalog.NameOf(Guid(guids::kWorld)).c_str());

    // A mesh floor, and a ramp rising towards +x (20 degrees, its low edge on the floor).
    b.AddGround("floor", Json::array({12, 12}), Json::array({24, 24}), "", false);
    b.Add("ramp.pose", "Matrix", {{"matrix", {{"position", Vec(5, 1.05f, 3)}, {"rotation", Vec(0, 0, 20)}}}});
    b.AddGround("ramp", Json::array({6, 4}), Json::array({6, 4}), "ramp.pose", true);

    // A dozen bodies: boxes and spheres, some made of several shapes with offsets and rotations.
    b.AddBody("crate", Vec(0, 3, 0), Vec(0, 0, 20), Json::array({Box(Vec(1, 1, 1), 5)}));
    b.AddBody("ball", Vec(1.6f, 4, 0.3f), Vec(0, 0, 0), Json::array({Sphere(0.5f, 3)}), kRollerDamping);
    b.AddBody("plank", Vec(0.2f, 6, 0), Vec(10, 35, 0), Json::array({Box(Vec(2, 0.25f, 0.8f), 4)}));
    b.AddBody("dumbbell", Vec(-1.8f, 5, 0.5f), Vec(45, 30, 0),
              Json::array({Sphere(0.35f, 2, Vec(-0.7f, 0, 0)), Sphere(0.35f, 2, Vec(0.7f, 0, 0)),
                           Box(Vec(1.2f, 0.2f, 0.2f), 1)}),
              kRollerDamping);
    b.AddBody("cross", Vec(-3, 3.5f, -2.5f), Vec(0, 0, 60),
              Json::array({Box(Vec(1.5f, 0.3f, 0.3f), 2, Vec(0, 0, 0), Vec(0, 0, 45)),
                           Box(Vec(1.5f, 0.3f, 0.3f), 2, Vec(0, 0, 0), Vec(0, 0, -45)), Sphere(0.25f, 1)}));
    b.AddBody(
        "jack", Vec(-0.5f, 8, -2.5f), Vec(15, 15, 0),
        Json::array({Sphere(0.15f, 0.5f, Vec(0.6f, 0, 0)), Sphere(0.15f, 0.5f, Vec(-0.6f, 0, 0)),
                     Sphere(0.15f, 0.5f, Vec(0, 0.6f, 0)), Sphere(0.15f, 0.5f, Vec(0, -0.6f, 0)),
                     Sphere(0.15f, 0.5f, Vec(0, 0, 0.6f)), Sphere(0.15f, 0.5f, Vec(0, 0, -0.6f)),
                     Box(Vec(1.2f, 0.1f, 0.1f), 0.5f), Box(Vec(1.2f, 0.1f, 0.1f), 0.5f, Vec(0, 0, 0), Vec(0, 0, 90)),
                     Box(Vec(1.2f, 0.1f, 0.1f), 0.5f, Vec(0, 0, 0), Vec(0, 90, 0))}));
    b.AddBody("pebble", Vec(-3, 2, 1.5f), Vec(0, 0, 0), Json::array({Sphere(0.25f, 1)}), kRollerDamping);
    b.AddBody("slider", Vec(6.8f, 3.2f, 3), Vec(0, 0, 20), Json::array({Box(Vec(0.8f, 0.4f, 0.8f), 3)}));
    b.AddBody("roller", Vec(7, 3.5f, 4.2f), Vec(0, 0, 0), Json::array({Sphere(0.4f, 2)}), kRollerDamping);
    b.AddBody("base", Vec(-4.5f, 0.8f, 4), Vec(0, 10, 0), Json::array({Box(Vec(1.6f, 0.6f, 1.6f), 6)}));
    b.AddBody("top", Vec(-4.5f, 2.2f, 4), Vec(0, 40, 0), Json::array({Box(Vec(0.9f, 0.9f, 0.9f), 3)}));
    // A hammer: its heavy head puts the mass centre far from the body's origin.
    b.AddBody("hammer", Vec(3, 5, -3), Vec(30, 0, 70),
              Json::array({Box(Vec(0.15f, 1.6f, 0.15f), 0.5f), Box(Vec(0.6f, 0.3f, 0.3f), 3, Vec(0, 0.8f, 0))}));

    // Two lamps above the scene, and the floor's light map with soft shadows from everything else.
    b.Add("lamp.warm", "DX8 Light",
          {{"type", "point"},
           {"position", Vec(-5, 10, -4)},
           {"diffuse", Vec(0.75f, 0.62f, 0.45f)},
           {"attenuation", Vec(1, 0, 0)},
           {"range", 100}});
    b.Add("lamp.cool", "DX8 Light",
          {{"type", "point"},
           {"position", Vec(7, 8, 5)},
           {"diffuse", Vec(0.35f, 0.42f, 0.55f)},
           {"attenuation", Vec(1, 0, 0)},
           {"range", 100}});
    b.Add("shadows", "DX8 OctTree", Json::object(), b.casters);
    b.Add("lightmap", "DX8 TextureLighting",
          {{"size", 128}, {"samples", 16}, {"softShadows", true}, {"softShadowRadius", 0.35}, {"texCoordSet", 1}},
          Json::array({Link(0, "floor.object"), Link(1, "shadows"), Link(3, "lamp.warm"), Link(3, "lamp.cool")}));
    // The floor shows the light map on its first texture stage, which reads the light-map layout (set 1).
    for (Json& channel : b.channels)
        if (channel["name"] == "floor.surface") {
            channel["settings"] = {{"stageSets", Json::array({1})}};
            channel["links"].push_back(Link(2, "lightmap"));
        }

    return {{"channels", b.channels}, {"frames", kDemoFrames}};
}

} // namespace vex::app
