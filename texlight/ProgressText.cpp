#include "texlight/ProgressText.h"

#include "platform/CRuntime.h"
#include "texlight/TexLightConstants.h"

namespace vex::texlight {

std::string ProgressBaseText(int surfaceNr, int surfaceCount)
{
    char number[33];
    std::string text = "Surf: ";
    text += _itoa(surfaceNr, number, 10);
    text += "/";
    text += _itoa(surfaceCount, number, 10);
    text += "  Rendertime: ";
    return text;
}

std::string ProgressText(const std::string& baseText, uint32_t elapsedMs)
{
    std::string text = baseText.substr(0, kProgressBaseTextMax);
    const float seconds = static_cast<float>(elapsedMs) * kMillisecondsToSeconds;
    char digits[kProgressSecondsDigits + 8];
    text += _gcvt(seconds, kProgressSecondsDigits, digits);
    text += " seconds";
    return text;
}

} // namespace vex::texlight
