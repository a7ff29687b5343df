#pragma once
// Which texture-coordinate set each texture stage of a surface uses, as the runner sets it. Implemented
// by the surface channel beside Tav_SurfaceInterface; found with dynamic_cast.

class Tav_SurfaceSetupInterface {
public:
    /// Stages whose set can be chosen.
    static constexpr int kStageCount = 8;
    /// False (nothing changed) for a stage outside 0..kStageCount-1 or a negative set.
    virtual bool SetStageTexCoordSet(int stage, int set) = 0;

protected:
    ~Tav_SurfaceSetupInterface() = default;
};
