#pragma once
// Texts of the light-map computation's progress display.

#include <cstdint>
#include <string>

namespace vex::texlight {

/// "Surf: <surface>/<count>  Rendertime: ".
std::string ProgressBaseText(int surfaceNr, int surfaceCount);

/// The base text (at most 499 characters of it), the elapsed seconds with 5 significant digits, and
/// " seconds". elapsedMs is the unsigned tick difference, so a wrapped tick count still reads right.
std::string ProgressText(const std::string& baseText, uint32_t elapsedMs);

} // namespace vex::texlight
