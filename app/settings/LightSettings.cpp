// "DX8 Light": {"type": "point" | "spot" | "directional", "diffuse": [r, g, b], "position", "direction",
// "range", "attenuation": [constant, linear, quadratic], "falloff", "theta" and "phi" (cone angles in
// degrees)}. "DX8 OctTree": {"culling": bool, "objects": [{"tint": [r, g, b], "opacity": a}, ...]}.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "common/SceneLimits.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_LightSetupInterface.h"
#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/Tav_ShadowSceneSetupInterface.h"

#include <numbers>

namespace vex::app {

void ApplyLightSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& setup = RequireInterface<Tav_LightSetupInterface>(channel, "light settings");
    D3DLIGHT8 scratch;
    D3DLIGHT8 light = *RequireInterface<Tav_LightInterface>(channel, "a light").GetLight(&scratch);
    std::string type;
    if (settings.String("type", type)) {
        if (type == "point")
            light.Type = D3DLIGHT_POINT;
        else if (type == "spot")
            light.Type = D3DLIGHT_SPOT;
        else if (type == "directional")
            light.Type = D3DLIGHT_DIRECTIONAL;
        else
            settings.Fail("type", "unknown light type \"" + type + "\" (expected point, spot or directional)");
    }
    D3DXVECTOR3 v;
    if (settings.Vec3("diffuse", v, 0.0f, limits::kMaxLightColour)) {
        light.Diffuse.r = v.x;
        light.Diffuse.g = v.y;
        light.Diffuse.b = v.z;
    }
    settings.Vec3("position", light.Position, -limits::kMaxCoordinate, limits::kMaxCoordinate);
    if (settings.Vec3("direction", v, -limits::kMaxCoordinate, limits::kMaxCoordinate)) {
        if (D3DXVec3Length(&v) == 0.0f)
            settings.Fail("direction", "a direction needs a length");
        // The lighting compares the direction with unit vectors, so a scene's arrow of any length is made unit.
        D3DXVec3Normalize(&light.Direction, &v);
    }
    settings.Float("range", light.Range, 0.0f, limits::kMaxLightRange);
    if (settings.Vec3("attenuation", v, 0.0f, limits::kMaxAttenuation)) {
        light.Attenuation0 = v.x;
        light.Attenuation1 = v.y;
        light.Attenuation2 = v.z;
    }
    settings.Float("falloff", light.Falloff, 0.0f, 100.0f);
    const float toRadians = std::numbers::pi_v<float> / 180.0f;
    float degrees = 0.0f;
    if (settings.Float("theta", degrees, 0.0f, 180.0f))
        light.Theta = degrees * toRadians;
    if (settings.Float("phi", degrees, 0.0f, 180.0f))
        light.Phi = degrees * toRadians;
    if (!setup.SetLight(light))
        settings.Fail("type", "refused by the light channel");
}

void ApplyOctTreeSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& scene = RequireInterface<Tav_ShadowSceneSetupInterface>(channel, "shadow scene settings");
    bool culling = false;
    if (settings.Bool("culling", culling))
        RequireInterface<Tav_OctTreeInterface>(channel, "a shadow scene").SetUseCulling(culling);
    const nlohmann::json& objects = settings.Raw("objects");
    if (objects.is_null())
        return;
    if (!objects.is_array())
        settings.Fail("objects", "expected an array of {tint, opacity}, found " + JsonKindName(objects));
    for (size_t i = 0; i < objects.size(); ++i) {
        SettingsReader object(objects[i], settings.File(),
                              settings.FieldPath("objects") + "[" + std::to_string(i) + "]");
        D3DXVECTOR3 tint;
        float opacity = 1.0f;
        if (object.Vec3("tint", tint, 0.0f, 1.0f) &&
            !scene.SetObjectShadowTint(static_cast<int>(i), tint.x, tint.y, tint.z))
            object.Fail("tint", "refused by the shadow scene");
        if (object.Float("opacity", opacity, 0.0f, 1.0f) && !scene.SetObjectShadowOpacity(static_cast<int>(i), opacity))
            object.Fail("opacity", "refused by the shadow scene");
        object.Finish();
    }
}

} // namespace vex::app
