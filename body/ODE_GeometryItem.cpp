#include "body/ODE_GeometryItem.h"

#include <cmath>
#include <cstring>

namespace {

D3DXMATRIX RotationFromAngles(const D3DXVECTOR3& angles)
{
    const float a = angles.x, b = angles.y, c = angles.z;
    // These are the transposes of the D3DX rotations: each turns the other way, which stored items rely on.
    const D3DXMATRIX ya(std::cos(a), 0, std::sin(a), 0, 0, 1, 0, 0, -std::sin(a), 0, std::cos(a), 0, 0, 0, 0, 1);
    const D3DXMATRIX xb(1, 0, 0, 0, 0, std::cos(b), -std::sin(b), 0, 0, std::sin(b), std::cos(b), 0, 0, 0, 0, 1);
    const D3DXMATRIX zc(std::cos(c), -std::sin(c), 0, 0, std::sin(c), std::cos(c), 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    D3DXMATRIX xy;
    D3DXMatrixMultiply(&xy, &xb, &ya);
    D3DXMATRIX result;
    D3DXMatrixMultiply(&result, &zc, &xy);
    return result;
}

void SetName(char (&name)[40], const char* text)
{
    std::memset(name, 0, sizeof name);
    std::strncpy(name, text, sizeof name - 1);
}

} // namespace

ODE_GeometryItem::ODE_GeometryItem()
    : geom(nullptr), innerGeom(nullptr), kind(kShapeBox), massValue(5.0f), radius(1.0f), size(1, 1, 1), offset(0, 0, 0),
      rotation(0, 0, 0), auxFlag(true), auxValue1(0.5f), auxValue2(0.1f), auxValue3(1.0f), auxValue4(1.0f),
      owner(nullptr)
{
    dMassSetZero(&mass);
    SetName(name, "Unnamed");
}

ODE_GeometryItem::ODE_GeometryItem(const ODE_GeometryItem& other) = default;
ODE_GeometryItem& ODE_GeometryItem::operator=(const ODE_GeometryItem& other) = default;

ODE_GeometryItem::~ODE_GeometryItem()
{
    if (geom)
        dGeomDestroy(geom);
    geom = nullptr;
    owner = nullptr;
}

D3DXMATRIX ODE_GeometryItem::GetRotationMatrix() { return RotationFromAngles(rotation); }

ODE_OLD2GeometryItem::ODE_OLD2GeometryItem()
    : geom(nullptr), innerGeom(nullptr), kind(kShapeBox), massValue(5.0f), radius(1.0f), size(1, 1, 1),
      legacyLength(1.0f), legacyAxis(3), offset(0, 0, 0), rotation(0, 0, 0), legacyFlag(1), auxValue1(0.5f),
      auxValue2(0.1f), legacyPlane{0, 1, 0, 0}, auxValue3(1.0f), auxValue4(1.0f)
{
    dMassSetZero(&mass);
    SetName(name, "Unnamed");
}

ODE_OLD2GeometryItem::ODE_OLD2GeometryItem(const ODE_OLD2GeometryItem& other) = default;
ODE_OLD2GeometryItem& ODE_OLD2GeometryItem::operator=(const ODE_OLD2GeometryItem& other) = default;

ODE_OLD2GeometryItem::~ODE_OLD2GeometryItem()
{
    if (geom)
        dGeomDestroy(geom);
    geom = nullptr;
}

D3DXMATRIX ODE_OLD2GeometryItem::GetRotationMatrix() { return RotationFromAngles(rotation); }
