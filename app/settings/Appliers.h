#pragma once
// Per-type settings of scene channels: each channel type with settings has an applier that reads the
// scene's "settings" object and sets the channel through the abstract interface its class offers
// (host/siblings). Types without an applier take no settings.

#include "app/settings/SettingsReader.h"
#include "host/Tav_Channel.h"
#include "platform/Guid.h"

#include <string>

class Vexcore;

namespace vex::app {

/// What an applier may need besides the channel and its settings.
struct ApplyContext {
    Vexcore& host;
    /// Seconds of simulated time per frame; a world applier may change it.
    double* frameSeconds;
    /// Folder of the scene file: relative file names in settings are taken from there.
    std::string sceneFolder;

    /// A settings path made absolute against the scene's folder.
    std::string ResolvePath(const std::string& path) const;
};

using SettingsApplier = void (*)(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);

/// Largest light-map side accepted from a scene or the command line, in texels.
inline constexpr int kMaxLightMapSize = 4096;
/// The anti-alias mode for a sample count per texel (1, 4, 16, 64 give 0 to 3); -1 for other counts.
int SamplesToAntiAliasMode(int samples);

/// The applier for a channel type (by its own type GUID), or null.
SettingsApplier FindSettingsApplier(const _GUID& type);

// One per channel type, each in its own source file.
void ApplyMatrixSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyValueSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyDampingFactorSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyBodySettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyWorldSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyCollisionObjectSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyMeshSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplySurfaceSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyObject3DSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyOctTreeSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyLightSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyTextureLightingSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);

} // namespace vex::app
