#pragma once
// Bounded decoding of an in-memory bitmap file image (uncompressed, 24 or 32 bits per pixel) into
// 0xAARRGGBB texels, row 0 at the top.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vex {

/// Largest side accepted, in texels: the device's own texture limit.
inline constexpr int kMaxBitmapSide = 16384;

struct DecodedBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> texels; ///< width * height, row-major, row 0 = top of the image
    bool hasAlpha = false;        ///< a 32-bit image with at least one non-zero fourth byte
};

/// Decodes a bitmap file image: 14-byte file header, an information header of at least 40 bytes,
/// rows padded to 4 bytes, bottom-up (positive height) or top-down (negative height). Every offset and
/// size is checked against `size` before it is used. With useAlphaByte a 32-bit image's fourth byte
/// becomes alpha, otherwise alpha is 0xFF. False with a message naming the problem.
bool DecodeBitmap(const uint8_t* data, size_t size, bool useAlphaByte, DecodedBitmap& out, std::string* error);

} // namespace vex
