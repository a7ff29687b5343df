#include "app/RunnerHost.h"

#include "app/ProgressLine.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/progress/Tvc_Progress.h"

#include <cmath>
#include <memory>

namespace vex::app {

Tav_Channel* RunnerHost::CreateChannelByGuid(_GUID type, int reserved1, int reserved2)
{
    Tav_Channel* channel = Vexcore::CreateChannelByGuid(type, reserved1, reserved2);
    if (!lightMapLine_ || type != Guid(guids::kProgress))
        return channel;
    if (auto* progress = dynamic_cast<Tvc_Progress*>(channel)) {
        // The light map's display is the one whose text starts "Surf: "; the shadow scene's (built at the
        // start of the computation) stays silent.
        auto isLightMap = std::make_shared<bool>(false);
        ProgressLine* line = lightMapLine_;
        const long long texels = lightMapTexels_;
        progress->SetListener([isLightMap, line, texels](const std::string& text, float fraction) {
            if (text.rfind("Surf: ", 0) == 0)
                *isLightMap = true;
            if (*isLightMap)
                line->Update(std::llround(static_cast<double>(fraction) * static_cast<double>(texels)));
        });
    }
    return channel;
}

} // namespace vex::app
