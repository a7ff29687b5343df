#include "platform/Guid.h"

#include <cassert>
#include <cstdio>
#include <cstring>

bool _GUID::operator==(const _GUID& other) const
{
    return Data1 == other.Data1 && Data2 == other.Data2 && Data3 == other.Data3 &&
           std::memcmp(Data4, other.Data4, sizeof(Data4)) == 0;
}

namespace vex {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ReadHex(std::string_view text, size_t at, size_t digits, uint64_t& out)
{
    out = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int v = HexValue(text[at + i]);
        if (v < 0)
            return false;
        out = (out << 4) | static_cast<uint64_t>(v);
    }
    return true;
}

} // namespace

std::optional<_GUID> ParseGuid(std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    _GUID g;
    uint64_t v = 0;
    if (!ReadHex(text, 0, 8, v))
        return std::nullopt;
    g.Data1 = static_cast<uint32_t>(v);
    if (!ReadHex(text, 9, 4, v))
        return std::nullopt;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 14, 4, v))
        return std::nullopt;
    g.Data3 = static_cast<uint16_t>(v);
    static constexpr size_t kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kByteAt[i], 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    return g;
}

_GUID GuidFromText(std::string_view text)
{
    const auto g = ParseGuid(text);
    assert(g && "malformed GUID literal");
    return g.value_or(_GUID{});
}

std::string GuidToString(const _GUID& g)
{
    char buf[37];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

void GuidToBytes(const _GUID& g, uint8_t out[16])
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(g.Data1 >> (8 * i));
    out[4] = static_cast<uint8_t>(g.Data2);
    out[5] = static_cast<uint8_t>(g.Data2 >> 8);
    out[6] = static_cast<uint8_t>(g.Data3);
    out[7] = static_cast<uint8_t>(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

_GUID GuidFromBytes(const uint8_t in[16])
{
    _GUID g;
    g.Data1 = uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
    g.Data2 = static_cast<uint16_t>(in[4] | in[5] << 8);
    g.Data3 = static_cast<uint16_t>(in[6] | in[7] << 8);
    std::memcpy(g.Data4, in + 8, 8);
    return g;
}

} // namespace vex
