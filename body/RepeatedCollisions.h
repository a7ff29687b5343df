#pragma once
// A body resting on a mesh is pinned to the same pose every step (the rest rule), so the world asks the
// mesh's colliders the same question step after step. The answer to a shape geom's question is kept once
// the shape asks it twice in a row, and given back while every input of the collider is the same, bit for
// bit: the shape's pose and size, the contact limit, the record stride, the mesh geom, the oriented-query
// switch, and the identity, collision matrix and polygon revision of every linked collision object. The
// answer is the collider's own, so the contacts are exactly those it would find again. A moving shape
// pays for one lookup and a copy of its pose; the collision objects are read only when the pose repeats.

#include "platform/D3DXMath.h"

#include <ode/ode.h>

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace vex::body {

/// What the shape asks: its pose and the record layout wanted.
struct ShapeQuestion {
    enum class Shape : uint8_t { Box, Sphere };

    Shape shape = Shape::Box;
    dGeomID geom = nullptr;
    dGeomID mesh = nullptr;
    unsigned long limit = 0;
    unsigned long stride = 0;
    double pose[18] = {}; ///< box: centre, rotation, lengths; sphere: centre and radius

    bool operator==(const ShapeQuestion& other) const;
};

/// The rest of a collider's inputs: the collision objects as they are now.
struct ObjectsState {
    static constexpr int kMaxObjects = 4; ///< a body with more collision objects is asked afresh each time

    struct Object {
        const void* object;
        D3DXMATRIX matrix;
        uint64_t revision;
    };

    bool oriented = false;
    int objectCount = 0;
    Object objects[kMaxObjects] = {};

    bool operator==(const ObjectsState& other) const;
};

class RepeatedCollisions {
public:
    /// The answer to question: the kept one when the question and describe's objects repeat those it was
    /// given for, else collide's (kept when the shape asked the same before). describe(ObjectsState&)
    /// returns false when no answer may be kept. A kept answer writes the records as the collider does
    /// (all of each box record; position, normal and depth of the sphere's) and leaves the body's query
    /// bounds as the collider left them.
    template <class Describe, class Collide>
    unsigned long Ask(const ShapeQuestion& question, dContactGeom* contacts, D3DXVECTOR3& boundsMin,
                      D3DXVECTOR3& boundsMax, Describe describe, Collide collide)
    {
        Entry& entry = EntryFor(question.geom);
        // A new entry's question names no geom, so it never equals a shape's.
        if (!(entry.question == question)) {
            entry.answered = false;
            entry.question = question;
            return collide();
        }
        ObjectsState objects;
        if (!describe(objects)) {
            entry.answered = false;
            return collide();
        }
        if (entry.answered && entry.objects == objects)
            return Answer(entry, contacts, boundsMin, boundsMax);
        const unsigned long count = collide();
        Keep(entry, objects, contacts, count, boundsMin, boundsMax);
        return count;
    }

private:
    /// More shapes than a scene keeps touching one mesh: past it the entries start over (a geom freed
    /// and another made at its address only finds its own answers, since its question differs).
    static constexpr size_t kMaxEntries = 4096;

    struct Entry {
        bool answered = false;
        ShapeQuestion question;
        ObjectsState objects;
        std::vector<dContactGeom> records;
        D3DXVECTOR3 boundsMin, boundsMax;
    };

    Entry& EntryFor(dGeomID geom);
    static unsigned long Answer(const Entry& entry, dContactGeom* contacts, D3DXVECTOR3& boundsMin,
                                D3DXVECTOR3& boundsMax);
    static void Keep(Entry& entry, const ObjectsState& objects, const dContactGeom* contacts, unsigned long count,
                     const D3DXVECTOR3& boundsMin, const D3DXVECTOR3& boundsMax);

    std::unordered_map<dGeomID, Entry> entries_;
};

} // namespace vex::body
