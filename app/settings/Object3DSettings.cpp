// "DX8 3D Object": {"shadowTint": [r, g, b], "shadowOpacity": a}; "DX8 Surface": {"stageSets": [set of
// stage 0, set of stage 1, ...]}.

#include "app/settings/Appliers.h"
#include "siblings/object3d/Tvc_DX8_3DObject.h"
#include "siblings/surface/Tvc_DX8_Surface.h"

namespace vex::app {

void ApplyObject3DSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& object = static_cast<Tvc_DX8_3DObject&>(channel);
    D3DXVECTOR3 tint;
    if (settings.Vec3("shadowTint", tint, 0.0f, 1.0f))
        object.SetShadowTint(tint.x, tint.y, tint.z);
    float opacity = 1.0f;
    if (settings.Float("shadowOpacity", opacity, 0.0f, 1.0f))
        object.SetShadowOpacity(opacity);
}

void ApplySurfaceSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& surface = static_cast<Tvc_DX8_Surface&>(channel);
    const nlohmann::json& sets = settings.Raw("stageSets");
    if (sets.is_null())
        return;
    if (!sets.is_array() || sets.size() > static_cast<size_t>(Tvc_DX8_Surface::kStageCount))
        settings.Fail("stageSets", "expected an array of at most " + std::to_string(Tvc_DX8_Surface::kStageCount) +
                                       " texture-coordinate sets");
    for (size_t stage = 0; stage < sets.size(); ++stage) {
        const std::string element = "stageSets[" + std::to_string(stage) + "]";
        if (!sets[stage].is_number_integer() || sets[stage].get<long long>() < 0 || sets[stage].get<long long>() > 7)
            settings.Fail(element.c_str(), "expected a texture-coordinate set from 0 to 7");
        surface.SetStageTexCoordSet(static_cast<int>(stage), sets[stage].get<int>());
    }
}

} // namespace vex::app
