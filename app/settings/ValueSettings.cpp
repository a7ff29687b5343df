// "Value": {"value": number}; "Damping Factor": {"factor": number}.

#include "app/settings/Appliers.h"
#include "common/SceneLimits.h"
#include "host/siblings/Tav_ValueInterface.h"

namespace vex::app {

void ApplyValueSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    float value = 0.0f;
    if (settings.Float("value", value))
        static_cast<Tav_ValueInterface&>(channel).SetReal(value);
}

void ApplyDampingFactorSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    float factor = 1.0f;
    if (settings.Float("factor", factor, -limits::kMaxDamping, limits::kMaxDamping))
        static_cast<Tav_ValueInterface&>(channel).SetReal(factor);
}

} // namespace vex::app
