// "Matrix": {"matrix": 16 numbers or {position, rotation, scale}}.

#include "app/settings/Appliers.h"
#include "host/siblings/Tvc_MatrixChannel.h"

namespace vex::app {

void ApplyMatrixSettings(Tav_Channel& channel, SettingsReader& settings, ApplyContext&)
{
    auto& matrixChannel = static_cast<Tvc_MatrixChannel&>(channel);
    D3DXMATRIX m;
    if (settings.Matrix("matrix", m))
        matrixChannel.SetMatrix(m);
}

} // namespace vex::app
