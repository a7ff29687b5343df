#pragma once
// The saved forms of a geometry item: the current record ("BDI2", 264 bytes) and the older one ("BDIG",
// 288 bytes, read only). Little-endian, field by field, at the offsets the file format fixes.

#include "body/ODE_GeometryItem.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vex::body {

/// The 264-byte record of item. Handles, reserved and gap bytes and the owner word are written as zero.
std::vector<uint8_t> EncodeItemRecord(const ODE_GeometryItem& item);

/// Reads a record of `size` bytes over item. A shorter record leaves the fields it does not reach as
/// they were; bytes past 264 are ignored. Handles and owner are never taken from the record; the name is
/// always zero-terminated.
void DecodeItemRecord(const uint8_t* data, size_t size, ODE_GeometryItem& item);

/// The 288-byte old record of item (handles and mass written as zero); the format is read only, this
/// exists so that tests and tools can make old files.
std::vector<uint8_t> EncodeOldItemRecord(const ODE_OLD2GeometryItem& item);

/// Reads an old record of `size` bytes over item, as DecodeItemRecord does.
void DecodeOldItemRecord(const uint8_t* data, size_t size, ODE_OLD2GeometryItem& item);

/// The current item that an old record converts to: shape, sizes, offset, auxiliary values and name;
/// rotation zero, mass zero, no handles; auxFlag set exactly when the legacy flag is 1.
ODE_GeometryItem ConvertOldItem(const ODE_OLD2GeometryItem& old);

} // namespace vex::body
