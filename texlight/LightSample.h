#pragma once
// One sample point of the light map on its way from texture space to a colour.

#include "platform/D3DXMath.h"

struct LightSample {
    D3DXVECTOR3 position;           ///< world space
    D3DXVECTOR3 normal;             ///< world space, unit length
    float colour[4] = {0, 0, 0, 0}; ///< red, green, blue, alpha; 255 is full intensity; alpha stays 0
    bool missed = true;             ///< no triangle covers the sample: the rest is meaningless
};

/// The answer of a shadow query: the tint of the light that passes and the opacity of what blocks it.
struct ShadowColor {
    float rgba[4] = {1, 1, 1, 0};
};
