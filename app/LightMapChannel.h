#pragma once
// A texture-lighting channel as the runner uses it: its texture (the primary base of every texture
// channel), its light-map interface and its links.

#include "app/ChannelInterface.h"
#include "host/siblings/Tav_LightMapInterface.h"
#include "host/siblings/Tvc_DX8_Texture.h"

namespace vex::app {

struct LightMapChannel {
    Tav_Channel& channel;
    Tvc_DX8_Texture& texture;
    Tav_LightMapInterface& map;
};

/// The parts of a channel the host made for the texture-lighting type.
inline LightMapChannel LightMapOf(Tav_Channel& channel)
{
    auto& map = RequireInterface<Tav_LightMapInterface>(channel, "a light map");
    return {channel, static_cast<Tvc_DX8_Texture&>(channel), map};
}

} // namespace vex::app
