// "DX8 3D Object": no settings; "DX8 Surface": {"stageSets": [set of stage 0, set of stage 1, ...]}.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "host/siblings/Tav_SurfaceSetupInterface.h"

namespace vex::app {

void ApplyObject3DSettings(Tav_Channel&, SettingsReader& settings, ApplyContext&)
{
    // The object takes no settings. The shadow it casts is set where the light map reads it, on the
    // shadow scene; say so for the two names a scene author is most likely to try here.
    static const struct {
        const char* field;
        const char* setting;
    } kMoved[] = {{"shadowTint", "tint"}, {"shadowOpacity", "opacity"}};
    for (const auto& moved : kMoved)
        if (settings.Has(moved.field))
            settings.Fail(moved.field, std::string("unknown field: a shadow's ") + moved.setting +
                                           " is set on the \"DX8 OctTree\" that links this object: \"objects\": [{\"" +
                                           moved.setting +
                                           "\": ...}, ...], one entry per linked object, in link order");
}

void ApplySurfaceSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& surface = RequireInterface<Tav_SurfaceSetupInterface>(channel, "surface settings");
    const nlohmann::json& sets = settings.Raw("stageSets");
    if (sets.is_null())
        return;
    if (!sets.is_array() || sets.size() > static_cast<size_t>(Tav_SurfaceSetupInterface::kStageCount))
        settings.Fail("stageSets", "expected an array of at most " +
                                       std::to_string(Tav_SurfaceSetupInterface::kStageCount) +
                                       " texture-coordinate sets");
    for (size_t stage = 0; stage < sets.size(); ++stage) {
        const std::string element = "stageSets[" + std::to_string(stage) + "]";
        if (!sets[stage].is_number_integer() || sets[stage].get<long long>() < 0 || sets[stage].get<long long>() > 7)
            settings.Fail(element.c_str(), "expected a texture-coordinate set from 0 to 7");
        surface.SetStageTexCoordSet(static_cast<int>(stage), sets[stage].get<int>());
    }
}

} // namespace vex::app
