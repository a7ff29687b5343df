#pragma once
// Per-type settings of scene channels: each channel type with settings has an applier that reads the
// scene's "settings" object and sets the channel through its public C++ interface. Types without an
// applier take no settings.

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
};

using SettingsApplier = void (*)(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);

/// The applier for a channel type (by its own type GUID), or null.
SettingsApplier FindSettingsApplier(const _GUID& type);

// One per channel type, each in its own source file.
void ApplyMatrixSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyValueSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyDampingFactorSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyBodySettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);
void ApplyWorldSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context);

} // namespace vex::app
