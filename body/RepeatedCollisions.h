#pragma once
// A body resting on a mesh is pinned to the same pose every step (the rest rule), so the world asks the
// mesh's colliders the same question step after step. The answer to the last question of each shape
// geom is kept and given back while every input of the collider is the same, bit for bit: the shape's
// pose and size, the contact limit, the record stride, the mesh geom, the oriented-query switch, and the
// identity, collision matrix and polygon revision of every linked collision object. The answer is the
// collider's own, so the contacts are exactly those the collider would find again.

#include "platform/D3DXMath.h"

#include <ode/ode.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vex::body {

/// What a collider's answer depends on besides its code.
struct CollisionQuestion {
    static constexpr int kMaxObjects = 4; ///< a body with more collision objects is asked afresh each time

    enum class Shape : uint8_t { Box, Sphere };
    struct Object {
        const void* object;
        D3DXMATRIX matrix;
        uint64_t revision;
    };

    Shape shape = Shape::Box;
    bool oriented = false;
    dGeomID geom = nullptr;
    dGeomID mesh = nullptr;
    unsigned long limit = 0;
    unsigned long stride = 0;
    double pose[18] = {}; ///< box: centre, rotation, lengths; sphere: centre and radius
    int objectCount = 0;
    Object objects[kMaxObjects] = {};

    bool operator==(const CollisionQuestion& other) const;
};

class RepeatedCollisions {
public:
    /// The answer kept for the same question: its records written to contacts (all of each box record;
    /// position, normal and depth of the sphere's, as its collider writes them) and the query bounds the
    /// body was left with; -1 when there is none.
    long Answer(const CollisionQuestion& question, dContactGeom* contacts, D3DXVECTOR3& boundsMin,
                D3DXVECTOR3& boundsMax) const;
    /// Keeps the collider's answer to question (count records at the question's stride).
    void Keep(const CollisionQuestion& question, const dContactGeom* contacts, unsigned long count,
              const D3DXVECTOR3& boundsMin, const D3DXVECTOR3& boundsMax);

private:
    /// More shapes than a scene keeps touching one mesh: past it the answers start over (a geom freed
    /// and another made at its address only ever finds its own answers, since its question differs).
    static constexpr size_t kMaxEntries = 4096;

    struct Entry {
        CollisionQuestion question;
        std::vector<dContactGeom> records;
        D3DXVECTOR3 boundsMin, boundsMax;
    };
    std::unordered_map<dGeomID, Entry> entries_;
};

} // namespace vex::body
