#include "siblings/texture/BitmapDecode.h"

#include "host/ByteIO.h"

#include <cstdlib>

namespace vex {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kMinInfoHeaderBytes = 40;
constexpr uint16_t kBitmapMagic = 0x4D42; // "BM"
constexpr uint32_t kCompressionNone = 0;

bool Fail(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool DecodeBitmap(const uint8_t* data, size_t size, bool useAlphaByte, DecodedBitmap& out, std::string* error)
{
    out = DecodedBitmap{};
    if (!data || size < kFileHeaderBytes + kMinInfoHeaderBytes)
        return Fail(error, "bitmap shorter than its headers");

    ByteReader reader(data, size);
    uint16_t magic = 0, planes = 0, bitCount = 0;
    uint32_t fileSize = 0, reserved = 0, offBits = 0, infoSize = 0, compression = 0;
    int32_t width = 0, height = 0;
    reader.U16(magic);
    reader.U32(fileSize);
    reader.U32(reserved);
    reader.U32(offBits);
    reader.U32(infoSize);
    reader.I32(width);
    reader.I32(height);
    reader.U16(planes);
    reader.U16(bitCount);
    reader.U32(compression);

    if (magic != kBitmapMagic)
        return Fail(error, "not a bitmap (no BM signature)");
    if (infoSize < kMinInfoHeaderBytes || infoSize > size - kFileHeaderBytes)
        return Fail(error, "bitmap information header size out of range");
    if (planes != 1)
        return Fail(error, "bitmap plane count is not 1");
    if (bitCount != 24 && bitCount != 32)
        return Fail(error, "bitmap is not 24 or 32 bits per pixel");
    if (compression != kCompressionNone)
        return Fail(error, "compressed bitmaps are not supported");
    // -2^31 has no positive counterpart; the side limit rejects it along with every other huge value.
    if (width <= 0 || height == 0 || height == INT32_MIN || width > kMaxBitmapSide ||
        std::abs(height) > kMaxBitmapSide)
        return Fail(error, "bitmap size out of range");

    const bool topDown = height < 0;
    const int rows = std::abs(height);
    const size_t bytesPerPixel = bitCount / 8;
    const size_t rowBytes = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t(3);
    const size_t lastRowBytes = static_cast<size_t>(width) * bytesPerPixel;
    if (offBits < kFileHeaderBytes + kMinInfoHeaderBytes || offBits > size)
        return Fail(error, "bitmap pixel offset out of range");
    // The last row may come without its padding.
    const size_t pixelBytes = rowBytes * static_cast<size_t>(rows - 1) + lastRowBytes;
    if (pixelBytes > size - offBits)
        return Fail(error, "bitmap pixel rows run past the end of the buffer");

    out.width = width;
    out.height = rows;
    out.texels.resize(static_cast<size_t>(width) * rows);
    for (int r = 0; r < rows; ++r) {
        const uint8_t* src = data + offBits + rowBytes * static_cast<size_t>(r);
        const int y = topDown ? r : rows - 1 - r;
        uint32_t* dst = out.texels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x, src += bytesPerPixel) {
            uint32_t alpha = 0xFF;
            if (bytesPerPixel == 4) {
                if (src[3] != 0)
                    out.hasAlpha = true;
                if (useAlphaByte)
                    alpha = src[3];
            }
            dst[x] = alpha << 24 | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
        }
    }
    return true;
}

} // namespace vex
