// World: {"stepSize" (s), "solverIterations", "gravity" [x,y,z], "worldFactor", "frozen", "contactsPerPair"}.

#include "app/ChannelInterface.h"
#include "app/settings/Appliers.h"
#include "common/SceneLimits.h"
#include "host/siblings/Tav_WorldSetupInterface.h"
#include "siblings/world/WorldConstants.h"

namespace vex::app {

void ApplyWorldSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext& context)
{
    auto& world = RequireInterface<Tav_WorldSetupInterface>(channel, "world settings");
    auto refuse = [&](const char* key) { settings.Fail(key, "refused by the world channel (out of its range)"); };
    float number = 0.0f;
    int count = 0;
    D3DXVECTOR3 vector;
    bool flag = false;
    if (settings.Float("stepSize", number, 1e-6f, vex::world::kMaxStepSize) && !world.SetStepSize(number))
        refuse("stepSize");
    if (settings.Int("solverIterations", count, 1, 1000000) && !world.SetSolverIterations(count))
        refuse("solverIterations");
    if (settings.Vec3("gravity", vector, -limits::kMaxGravity, limits::kMaxGravity) && !world.SetGravity(vector))
        refuse("gravity");
    if (settings.Float("worldFactor", number, 0.0f) && !world.SetWorldFactor(number))
        refuse("worldFactor");
    if (settings.Bool("frozen", flag))
        world.SetIfFrozen(flag);
    if (settings.Int("contactsPerPair", count, 1, 1000000) && !world.SetContactsPerPair(count))
        refuse("contactsPerPair");
    // The tick clock follows the world's step, so timers see the simulated time.
    *context.frameSeconds = world.GetStepSize();
}

} // namespace vex::app
