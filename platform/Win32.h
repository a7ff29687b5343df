#pragma once
// The few Win32 types and calls that the channel libraries rely on.

#include <cstdint>

using DWORD = uint32_t;
using UINT = unsigned int;
using BYTE = uint8_t;
using WORD = uint16_t;
using LONG = int32_t;
using BOOL = int;
using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT D3DERR_INVALIDCALL = static_cast<HRESULT>(0x8876086Cu);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};

/// Milliseconds on a monotonic clock, wrapping at 2^32 like the Win32 call. By default it follows the
/// system's monotonic clock; a host that wants repeatable runs drives it with vex::SetManualTickCount.
DWORD GetTickCount();

namespace vex {
/// From now on GetTickCount returns exactly this value until it is set again (simulated time).
void SetManualTickCount(DWORD milliseconds);
/// Advances the manual clock; switches to the manual clock (starting at 0) if it was not in use.
void AdvanceManualTickCount(DWORD milliseconds);
/// Back to the system's monotonic clock.
void UseSystemTickCount();
} // namespace vex
