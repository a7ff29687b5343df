// "ODE Body": {"dynamic", "angularDamping", "disableForces", "autoRest", "items": [...]}.
// Each item: {"shape": "box" | "sphere" | "mesh" | "plane", "mass", "size", "radius", "offset",
//             "rotation" (degrees about x, y, z), "name", "friction", "bounce"}.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "body/ODE_GeometryItem.h"
#include "common/SceneLimits.h"
#include "host/siblings/Tav_BodySetupInterface.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

namespace vex::app {

namespace {

using limits::kMaxExtent;
using limits::kMaxMass;
using limits::kMinExtent;
using limits::kMinMass;

/// One shape as the scene gives it; fields left empty keep the body's defaults for a new shape.
struct ShapeSettings {
    uint8_t kind = kShapeBox;
    std::optional<float> mass, radius, friction, bounce;
    std::optional<D3DXVECTOR3> size, offset, rotationDegrees;
    std::optional<std::string> name;
};

uint8_t ShapeFromName(const std::string& name, const SettingsReader& item)
{
    if (name == "box")
        return kShapeBox;
    if (name == "sphere")
        return kShapeSphere;
    if (name == "mesh")
        return kShapeMesh;
    if (name == "plane")
        return kShapePlane;
    item.Fail("shape", "unknown shape \"" + name + "\" (expected box, sphere, mesh or plane)");
}

template <class T, class Read> void ReadOptional(std::optional<T>& out, Read read)
{
    T value{};
    if (read(value))
        out = value;
}

ShapeSettings ReadShape(SettingsReader& item, size_t nameCapacity)
{
    ShapeSettings shape;
    std::string kind;
    if (!item.String("shape", kind))
        item.Fail("shape", "missing (expected box, sphere, mesh or plane)");
    shape.kind = ShapeFromName(kind, item);
    ReadOptional(shape.mass, [&](float& v) { return item.Float("mass", v, kMinMass, kMaxMass); });
    ReadOptional(shape.size, [&](D3DXVECTOR3& v) { return item.Vec3("size", v, kMinExtent, kMaxExtent); });
    ReadOptional(shape.radius, [&](float& v) { return item.Float("radius", v, kMinExtent, kMaxExtent); });
    ReadOptional(shape.offset, [&](D3DXVECTOR3& v) { return item.Vec3("offset", v, -kMaxExtent, kMaxExtent); });
    ReadOptional(shape.rotationDegrees, [&](D3DXVECTOR3& v) { return item.Vec3("rotation", v, -36000.0f, 36000.0f); });
    ReadOptional(shape.name, [&](std::string& v) { return item.String("name", v); });
    if (shape.name && shape.name->size() >= nameCapacity)
        item.Fail("name", "longer than " + std::to_string(nameCapacity - 1) + " bytes");
    ReadOptional(shape.friction, [&](float& v) { return item.Float("friction", v, 0.0f, 1.0e6f); });
    ReadOptional(shape.bounce, [&](float& v) { return item.Float("bounce", v, 0.0f, 1.0f); });
    item.Finish();
    return shape;
}

void StoreShape(const ShapeSettings& shape, ODE_GeometryItem& target)
{
    target.kind = shape.kind;
    if (shape.mass)
        target.massValue = *shape.mass;
    if (shape.size)
        target.size = *shape.size;
    if (shape.radius)
        target.radius = *shape.radius;
    if (shape.offset)
        target.offset = *shape.offset;
    if (shape.rotationDegrees) {
        // The item keeps its angles as (about y, about x, about z) in radians.
        const float toRadians = std::numbers::pi_v<float> / 180.0f;
        const D3DXVECTOR3& d = *shape.rotationDegrees;
        target.rotation = D3DXVECTOR3(d.y * toRadians, d.x * toRadians, d.z * toRadians);
    }
    if (shape.name) {
        std::memset(target.name, 0, sizeof target.name);
        std::memcpy(target.name, shape.name->data(), shape.name->size());
    }
    if (shape.friction)
        target.auxValue1 = *shape.friction;
    if (shape.bounce)
        target.auxValue2 = *shape.bounce;
}

} // namespace

void ApplyBodySettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& body = RequireInterface<Tav_BodySetupInterface>(channel, "body settings");
    bool flag = false;
    if (settings.Bool("dynamic", flag))
        body.SetIfUseDynamics(flag);
    if (settings.Bool("disableForces", flag))
        body.SetIfDisableForces(flag);
    if (settings.Bool("autoRest", flag))
        body.SetIfDynamicDisableForces(flag);
    float damping = 0.0f;
    if (settings.Float("angularDamping", damping, -limits::kMaxDamping, limits::kMaxDamping))
        body.SetAngularVelocityDampenValue(damping);

    const nlohmann::json& items = settings.Raw("items");
    if (!items.is_null()) {
        if (!items.is_array())
            settings.Fail("items", "expected an array of shapes, found " + JsonKindName(items));
        // Read every shape before touching the body, so a bad scene leaves no half-built channel.
        std::vector<ShapeSettings> shapes;
        for (size_t i = 0; i < items.size(); ++i) {
            const std::string path = settings.FieldPath("items") + "[" + std::to_string(i) + "]";
            if (!items[i].is_object())
                throw InputError(settings.File(), path, "expected a shape object, found " + JsonKindName(items[i]));
            SettingsReader item(items[i], settings.File(), path);
            shapes.push_back(ReadShape(item, sizeof(ODE_GeometryItem::name)));
        }
        while (body.GetGeometryCount() > 0)
            body.RemoveGeometryItem(body.GetGeometryCount() - 1);
        for (size_t i = 0; i < shapes.size(); ++i) {
            body.AddGeometryItem();
            ODE_GeometryItem* stored = body.GetGeometryItem(static_cast<int>(i));
            if (!stored)
                throw RunError("body channel did not store shape " + std::to_string(i));
            StoreShape(shapes[i], *stored);
        }
    }
}

} // namespace vex::app
