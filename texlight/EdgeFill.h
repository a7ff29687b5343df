#pragma once
// Operations on the light map's texel store: width columns of height texels, column-major, four bytes a
// texel (red, green, blue, coverage flag 0 = covered, 1 = not).

#include <cstddef>
#include <cstdint>

namespace vex::texlight {

/// Byte offset of texel (x, y).
inline std::size_t TexelOffset(int x, int y, int height)
{
    return (static_cast<std::size_t>(x) * static_cast<std::size_t>(height) + static_cast<std::size_t>(y)) * 4u;
}

/// The placeholder: black, a grid line every 8 texels, a light green border; nothing covered.
void FillPlaceholder(uint8_t* texels, int width, int height);

/// One pass: every uncovered texel takes the truncated average of its covered 8-neighbours, or black when
/// it has none; filled texels stay uncovered, so the result does not depend on the order of the pass.
void EdgeFill(uint8_t* texels, int width, int height);

} // namespace vex::texlight
