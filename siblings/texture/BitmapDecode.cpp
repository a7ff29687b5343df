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

/// The fields of the file and information headers that decoding uses.
struct BitmapHeader {
    uint16_t magic = 0, planes = 0, bitCount = 0;
    uint32_t fileSize = 0, reserved = 0, offBits = 0, infoSize = 0, compression = 0;
    int32_t width = 0, height = 0;
};

/// Reads the headers (the caller has checked there is room for them) and checks every field used.
bool ReadHeader(const uint8_t* data, size_t size, BitmapHeader& h, std::string* error)
{
    ByteReader reader(data, size);
    reader.U16(h.magic);
    reader.U32(h.fileSize);
    reader.U32(h.reserved);
    reader.U32(h.offBits);
    reader.U32(h.infoSize);
    reader.I32(h.width);
    reader.I32(h.height);
    reader.U16(h.planes);
    reader.U16(h.bitCount);
    reader.U32(h.compression);

    if (h.magic != kBitmapMagic)
        return Fail(error, "not a bitmap (no BM signature)");
    if (h.infoSize < kMinInfoHeaderBytes || h.infoSize > size - kFileHeaderBytes)
        return Fail(error, "bitmap information header size out of range");
    if (h.planes != 1)
        return Fail(error, "bitmap plane count is not 1");
    if (h.bitCount != 24 && h.bitCount != 32)
        return Fail(error, "bitmap is not 24 or 32 bits per pixel");
    if (h.compression != kCompressionNone)
        return Fail(error, "compressed bitmaps are not supported");
    // -2^31 has no positive counterpart; the side limit rejects it along with every other huge value.
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN || h.width > kMaxBitmapSide ||
        std::abs(h.height) > kMaxBitmapSide)
        return Fail(error, "bitmap size out of range");
    return true;
}

/// Turns the rows (bottom-up unless topDown) into top-down ARGB texels; alpha from the fourth byte only
/// when asked, else opaque.
void CopyRows(const uint8_t* pixels, size_t rowBytes, size_t bytesPerPixel, bool topDown, bool useAlphaByte,
              DecodedBitmap& out)
{
    const int rows = out.height;
    const int width = out.width;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* src = pixels + rowBytes * static_cast<size_t>(r);
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
}

} // namespace

// Headers -> pixel offset and row extent against the buffer -> rows into texels.
bool DecodeBitmap(const uint8_t* data, size_t size, bool useAlphaByte, DecodedBitmap& out, std::string* error)
{
    out = DecodedBitmap{};
    if (!data || size < kFileHeaderBytes + kMinInfoHeaderBytes)
        return Fail(error, "bitmap shorter than its headers");
    BitmapHeader h;
    if (!ReadHeader(data, size, h, error))
        return false;

    const int rows = std::abs(h.height);
    const size_t bytesPerPixel = h.bitCount / 8;
    const size_t rowBytes = (static_cast<size_t>(h.width) * bytesPerPixel + 3) & ~size_t(3);
    const size_t lastRowBytes = static_cast<size_t>(h.width) * bytesPerPixel;
    if (h.offBits < kFileHeaderBytes + kMinInfoHeaderBytes || h.offBits > size)
        return Fail(error, "bitmap pixel offset out of range");
    // The last row may come without its padding.
    const size_t pixelBytes = rowBytes * static_cast<size_t>(rows - 1) + lastRowBytes;
    if (pixelBytes > size - h.offBits)
        return Fail(error, "bitmap pixel rows run past the end of the buffer");

    out.width = h.width;
    out.height = rows;
    out.texels.resize(static_cast<size_t>(h.width) * rows);
    CopyRows(data + h.offBits, rowBytes, bytesPerPixel, h.height < 0, useAlphaByte, out);
    return true;
}

} // namespace vex
