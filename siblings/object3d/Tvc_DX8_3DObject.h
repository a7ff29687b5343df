#pragma once
// A 3D object ("DX8 3D Object"): a world matrix taken from the matrix channel at link 0 (identity
// without one) and its surfaces, the surface channels linked at link 1. The shadow it casts (tint and
// opacity) is set on the shadow scene that links it, per link index, so that one place decides it.

#include "host/siblings/Tav_3DObjectInterface.h"

class Tvc_DX8_3DObject : public Tav_3DObjectInterface {
public:
    static constexpr int kMatrixLink = 0;
    static constexpr int kSurfaceLink = 1;

    Tvc_DX8_3DObject();
    Tvc_DX8_3DObject(const Tvc_DX8_3DObject& other) = default;
    Tvc_DX8_3DObject& operator=(const Tvc_DX8_3DObject& other) = default;
    ~Tvc_DX8_3DObject() override = default;

    // No settings of its own to save. Projects written while the object kept a shadow tint and opacity
    // hold "OBST" and "OBSO" chunks; nothing asks for them, so they load and are dropped.

    D3DXMATRIX* GetWorldMatrix(D3DXMATRIX* scratch) override;
    /// Surface channels among the children.
    int GetSurfaceCount() override;
};
