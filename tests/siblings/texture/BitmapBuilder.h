#pragma once
// Builds bitmap file images for tests: 24 or 32 bits, bottom-up or top-down, rows padded to 4 bytes.

#include "host/ByteIO.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace vex::test {

/// texel(x, y) gives 0xAARRGGBB with y = 0 the top row; 24-bit images drop the alpha.
inline std::vector<uint8_t> BuildBitmap(int width, int height, int bitCount, bool topDown,
                                        const std::function<uint32_t(int, int)>& texel)
{
    const int bytesPerPixel = bitCount / 8;
    const int rowBytes = (width * bytesPerPixel + 3) & ~3;
    ByteWriter w;
    w.U16(0x4D42);
    w.U32(static_cast<uint32_t>(54 + rowBytes * height));
    w.U32(0);
    w.U32(54);
    w.U32(40);
    w.I32(width);
    w.I32(topDown ? -height : height);
    w.U16(1);
    w.U16(static_cast<uint16_t>(bitCount));
    w.U32(0);
    w.U32(static_cast<uint32_t>(rowBytes * height));
    w.Zeros(16);
    for (int r = 0; r < height; ++r) {
        const int y = topDown ? r : height - 1 - r;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = texel(x, y);
            w.U8(static_cast<uint8_t>(c));
            w.U8(static_cast<uint8_t>(c >> 8));
            w.U8(static_cast<uint8_t>(c >> 16));
            if (bytesPerPixel == 4)
                w.U8(static_cast<uint8_t>(c >> 24));
        }
        w.Zeros(static_cast<size_t>(rowBytes - width * bytesPerPixel));
    }
    return w.Take();
}

/// A texel pattern where every texel differs from its neighbours and every channel varies.
inline uint32_t Pattern(int x, int y)
{
    return 0x80000000u | static_cast<uint32_t>((x * 37 + y * 11) & 0xFF) << 16 |
           static_cast<uint32_t>((x * 5 + y * 91) & 0xFF) << 8 | static_cast<uint32_t>((x ^ y) * 13 & 0xFF);
}

} // namespace vex::test
