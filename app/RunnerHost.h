#pragma once
// The runner's host: a Vexcore whose worker-thread count the command line sets, and which hands the
// progress displays of a light-map bake to the runner's own progress line.

#include "host/Vexcore.h"

namespace vex::app {

class ProgressLine;

class RunnerHost : public Vexcore {
public:
    using Vexcore::Vexcore;

    Tav_Channel* CreateChannelByGuid(_GUID type, int reserved1 = 0, int reserved2 = 0) override;

    /// While set (not null), progress displays created through the host draw nothing themselves; those of
    /// a light-map computation report their fraction to line, scaled to its total.
    void SetLightMapProgress(ProgressLine* line, long long texels)
    {
        lightMapLine_ = line;
        lightMapTexels_ = texels;
    }

private:
    ProgressLine* lightMapLine_ = nullptr;
    long long lightMapTexels_ = 0;
};

} // namespace vex::app
