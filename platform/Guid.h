#pragma once
// The 16-byte GUID that identifies channel types: a 32-bit word, two 16-bit words, then 8 bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct _GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    bool operator==(const _GUID& other) const;
    bool operator!=(const _GUID& other) const { return !(*this == other); }
};
using GUID = _GUID;

static_assert(sizeof(_GUID) == 16);

inline constexpr _GUID GUID_NULL{};

namespace vex {

/// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (either case, optional braces); nullopt on anything else.
std::optional<_GUID> ParseGuid(std::string_view text);
/// Parses a GUID that the code itself spells out; a malformed literal is a programming error (asserts).
_GUID GuidFromText(std::string_view text);
/// Canonical upper-case text form without braces, e.g. "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417".
std::string GuidToString(const _GUID& guid);
/// The 16 bytes as stored on disk: Data1, Data2, Data3 little-endian, then Data4.
void GuidToBytes(const _GUID& guid, uint8_t out[16]);
_GUID GuidFromBytes(const uint8_t in[16]);

} // namespace vex
