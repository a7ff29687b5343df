#include "body/ItemRecord.h"

#include "host/ByteIO.h"

#include <algorithm>
#include <cstring>

namespace vex::body {

namespace {

void WriteVector(ByteWriter& w, const D3DXVECTOR3& v)
{
    w.F32(v.x);
    w.F32(v.y);
    w.F32(v.z);
}

void ReadVector(ByteReader& r, D3DXVECTOR3& v)
{
    r.F32(v.x);
    r.F32(v.y);
    r.F32(v.z);
}

void WriteMass(ByteWriter& w, const dMass& m)
{
    w.F64(m.mass);
    for (double c : m.c)
        w.F64(c);
    for (double i : m.I)
        w.F64(i);
}

void ReadMass(ByteReader& r, dMass& m)
{
    r.F64(m.mass);
    for (double& c : m.c)
        r.F64(c);
    for (double& i : m.I)
        r.F64(i);
}

// A record cut short is completed from the item's own encoding, so the fields it does not reach keep
// their values; a longer one is cut to the record's size.
std::vector<uint8_t> Complete(std::vector<uint8_t> own, const uint8_t* data, size_t size)
{
    if (data)
        std::memcpy(own.data(), data, std::min(size, own.size()));
    return own;
}

} // namespace

std::vector<uint8_t> EncodeItemRecord(const ODE_GeometryItem& item)
{
    ByteWriter w;
    w.Zeros(4);              // 0: reserved
    w.Zeros(4);              // 4: gap
    w.U32(0);                // 8: geom
    w.U32(0);                // 12: innerGeom
    WriteMass(w, item.mass); // 16..151
    w.U8(item.kind);         // 152
    w.Zeros(3);
    w.F32(item.massValue);         // 156
    w.F32(item.radius);            // 160
    WriteVector(w, item.size);     // 164
    WriteVector(w, item.offset);   // 176
    WriteVector(w, item.rotation); // 188
    w.Bool(item.auxFlag);          // 200
    w.Zeros(3);
    w.F32(item.auxValue1); // 204
    w.F32(item.auxValue2);
    w.F32(item.auxValue3);
    w.F32(item.auxValue4);
    w.FixedText(item.name, sizeof item.name); // 220
    w.U32(0);                                 // 260: owner
    return w.Take();
}

void DecodeItemRecord(const uint8_t* data, size_t size, ODE_GeometryItem& item)
{
    const std::vector<uint8_t> record = Complete(EncodeItemRecord(item), data, size);
    ByteReader r(record);
    r.Skip(16);
    ReadMass(r, item.mass);
    r.U8(item.kind);
    r.Skip(3);
    r.F32(item.massValue);
    r.F32(item.radius);
    ReadVector(r, item.size);
    ReadVector(r, item.offset);
    ReadVector(r, item.rotation);
    uint8_t flag = 0;
    r.U8(flag);
    item.auxFlag = flag != 0;
    r.Skip(3);
    r.F32(item.auxValue1);
    r.F32(item.auxValue2);
    r.F32(item.auxValue3);
    r.F32(item.auxValue4);
    r.FixedText(item.name, sizeof item.name, sizeof item.name);
    item.geom = nullptr;
    item.innerGeom = nullptr;
}

std::vector<uint8_t> EncodeOldItemRecord(const ODE_OLD2GeometryItem& item)
{
    ByteWriter w;
    w.Zeros(16);  // reserved, gap, geom, innerGeom
    w.Zeros(136); // mass: never read back
    w.U8(item.kind);
    w.Zeros(3);
    w.F32(item.massValue); // 156
    w.F32(item.radius);
    WriteVector(w, item.size);
    w.F32(item.legacyLength); // 176
    w.U8(item.legacyAxis);    // 180
    w.Zeros(3);
    WriteVector(w, item.offset);   // 184
    WriteVector(w, item.rotation); // 196
    w.I32(item.legacyFlag);        // 208
    w.F32(item.auxValue1);
    w.F32(item.auxValue2);
    for (float p : item.legacyPlane) // 220
        w.F32(p);
    w.F32(item.auxValue3); // 236
    w.F32(item.auxValue4);
    w.FixedText(item.name, sizeof item.name); // 244
    w.Zeros(4);                               // 284: gap
    return w.Take();
}

void DecodeOldItemRecord(const uint8_t* data, size_t size, ODE_OLD2GeometryItem& item)
{
    const std::vector<uint8_t> record = Complete(EncodeOldItemRecord(item), data, size);
    ByteReader r(record);
    r.Skip(152);
    r.U8(item.kind);
    r.Skip(3);
    r.F32(item.massValue);
    r.F32(item.radius);
    ReadVector(r, item.size);
    r.F32(item.legacyLength);
    r.U8(item.legacyAxis);
    r.Skip(3);
    ReadVector(r, item.offset);
    ReadVector(r, item.rotation);
    r.I32(item.legacyFlag);
    r.F32(item.auxValue1);
    r.F32(item.auxValue2);
    for (float& p : item.legacyPlane)
        r.F32(p);
    r.F32(item.auxValue3);
    r.F32(item.auxValue4);
    r.FixedText(item.name, sizeof item.name, sizeof item.name);
    item.geom = nullptr;
    item.innerGeom = nullptr;
}

ODE_GeometryItem ConvertOldItem(const ODE_OLD2GeometryItem& old)
{
    ODE_GeometryItem item;
    item.kind = old.kind;
    item.massValue = old.massValue;
    item.radius = old.radius;
    item.size = old.size;
    item.offset = old.offset;
    item.auxValue1 = old.auxValue1;
    item.auxValue2 = old.auxValue2;
    item.auxValue3 = old.auxValue3;
    item.auxValue4 = old.auxValue4;
    std::memset(item.name, 0, sizeof item.name);
    std::memcpy(item.name, old.name, strnlen(old.name, sizeof item.name - 1));
    item.auxFlag = old.legacyFlag == 1;
    return item;
}

} // namespace vex::body
