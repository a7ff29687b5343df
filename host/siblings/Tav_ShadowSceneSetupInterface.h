#pragma once
// The shadow each object of a shadow scene casts, by the object's link order. Implemented by the scene
// channel beside Tav_OctTreeInterface; found with dynamic_cast.

class Tav_ShadowSceneSetupInterface {
public:
    /// Colour of the light that passes the object, each 0 to 1; false when refused.
    virtual bool SetObjectShadowTint(int objectIndex, float red, float green, float blue) = 0;
    /// 0 (no shadow) to 1 (opaque); false when refused.
    virtual bool SetObjectShadowOpacity(int objectIndex, float opacity) = 0;

protected:
    ~Tav_ShadowSceneSetupInterface() = default;
};
