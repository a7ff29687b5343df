// "DX8 TextureLighting": {"size": n or [width, height], "samples": 1 | 4 | 16 | 64, "softShadows",
// "softShadowRadius", "overbright", "shadows", "lighting", "colorTransparency", "culling", "texCoordSet",
// "surface", "progress"}.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "host/siblings/Tav_LightMapInterface.h"
#include "host/siblings/Tvc_DX8_Texture.h"

namespace vex::app {

void ApplyTextureLightingSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& map = RequireInterface<Tav_LightMapInterface>(channel, "light-map settings");
    // Its texture base is the primary one, as for every texture channel.
    auto& texture = static_cast<Tvc_DX8_Texture&>(channel);
    const nlohmann::json& size = settings.Raw("size");
    if (!size.is_null()) {
        int width = 0, height = 0;
        auto dimension = [&](const nlohmann::json& v) {
            if (!v.is_number_integer() || v.get<long long>() < 1 || v.get<long long>() > kMaxLightMapSize)
                settings.Fail("size", "expected texel counts from 1 to " + std::to_string(kMaxLightMapSize));
            return v.get<int>();
        };
        if (size.is_array() && size.size() == 2) {
            width = dimension(size[0]);
            height = dimension(size[1]);
        } else {
            width = height = dimension(size);
        }
        texture.SetDesiredWidth(width);
        texture.SetDesiredHeight(height);
    }
    int samples = 0;
    if (settings.Int("samples", samples, 1, 64)) {
        const int mode = SamplesToAntiAliasMode(samples);
        if (mode < 0)
            settings.Fail("samples", "expected 1, 4, 16 or 64 samples per texel");
        map.SetAntiAliasMode(mode);
    }
    bool flag = false;
    if (settings.Bool("softShadows", flag))
        map.SetSoftUseShadows(flag);
    float radius = 0.0f;
    if (settings.Float("softShadowRadius", radius, 0.0f, 1.0e4f))
        map.SetSoftShadowRadius(radius);
    if (settings.Bool("overbright", flag))
        map.SetUseOverbright(flag);
    if (settings.Bool("shadows", flag))
        map.SetUseShadow(flag);
    if (settings.Bool("lighting", flag))
        map.SetUseLighting(flag);
    if (settings.Bool("colorTransparency", flag))
        map.SetUseColorTransparency(flag);
    if (settings.Bool("culling", flag))
        map.SetUseShadowCulling(flag);
    if (settings.Bool("progress", flag))
        map.SetUseProgressBar(flag);
    int number = 0;
    if (settings.Int("texCoordSet", number, 0, 7))
        map.SetTextureCoordSetUse(number);
    if (settings.Int("surface", number, 0, 1 << 20))
        map.SetShadowSurfaceNr(number);
}

int SamplesToAntiAliasMode(int samples)
{
    switch (samples) {
    case 1:
        return 0;
    case 4:
        return 1;
    case 16:
        return 2;
    case 64:
        return 3;
    default:
        return -1;
    }
}

} // namespace vex::app
