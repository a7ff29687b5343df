#include "texlight/BitmapWriter.h"

#include "host/ByteIO.h"

namespace vex::texlight {

std::vector<uint8_t> BuildBitmap(int width, int height, const std::function<uint32_t(int x, int y)>& texel)
{
    if (width < 0 || height < 0)
        width = height = 0;
    const int padding = BitmapRowPadding(width);
    const auto imageBytes = static_cast<uint32_t>(int64_t{height} * (3 * int64_t{width} + padding));

    ByteWriter out;
    // File header.
    out.U16(0x4D42); // "BM"
    out.U32(static_cast<uint32_t>(BitmapFileSize(width, height)));
    out.U16(0);
    out.U16(0);
    out.U32(kBitmapHeaderBytes);
    // Information header.
    out.U32(40);
    out.I32(width);
    out.I32(height); // positive: bottom-up rows
    out.U16(1);
    out.U16(24);
    out.U32(0); // BI_RGB
    out.U32(imageBytes);
    out.U32(0);
    out.U32(0);
    out.U32(0);
    out.U32(0);

    std::vector<uint8_t> bytes = out.Take();
    bytes.resize(static_cast<size_t>(kBitmapHeaderBytes) + imageBytes, 0);
    uint8_t* row = bytes.data() + kBitmapHeaderBytes;
    for (int y = height - 1; y >= 0; --y) {
        uint8_t* pixel = row;
        for (int x = 0; x < width; ++x) {
            const uint32_t value = texel(x, y);
            *pixel++ = static_cast<uint8_t>(value);       // blue
            *pixel++ = static_cast<uint8_t>(value >> 8);  // green
            *pixel++ = static_cast<uint8_t>(value >> 16); // red
        }
        row += 3 * width + padding;
    }
    return bytes;
}

} // namespace vex::texlight
