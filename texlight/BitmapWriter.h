#pragma once
// The 24-bit uncompressed bottom-up bitmap file image of a light map.

#include <cstdint>
#include <functional>
#include <vector>

namespace vex::texlight {

inline constexpr int kBitmapHeaderBytes = 54; ///< 14-byte file header + 40-byte information header

/// Padding bytes after each row of w pixels: w mod 4, which makes 3 w + padding a multiple of 4.
inline int BitmapRowPadding(int width) { return width % 4; }
/// bfSize of a w x h image.
inline int64_t BitmapFileSize(int width, int height)
{
    return int64_t{3} * width * height + int64_t{height} * BitmapRowPadding(width) + kBitmapHeaderBytes;
}

/// Builds the file image; texel(x, y) gives 0x00RRGGBB for column x, row y. Row 0 ends up at the top of
/// the picture (stored last); padding bytes are zero.
std::vector<uint8_t> BuildBitmap(int width, int height, const std::function<uint32_t(int x, int y)>& texel);

} // namespace vex::texlight
