#include "body/RepeatedCollisions.h"

#include <cstring>

namespace vex::body {

// Bit for bit: -0 and +0 are different questions, and a NaN the same as itself.
bool ShapeQuestion::operator==(const ShapeQuestion& other) const
{
    return shape == other.shape && geom == other.geom && mesh == other.mesh && limit == other.limit &&
           stride == other.stride && std::memcmp(pose, other.pose, sizeof pose) == 0;
}

bool ObjectsState::operator==(const ObjectsState& other) const
{
    if (oriented != other.oriented || objectCount != other.objectCount)
        return false;
    for (int i = 0; i < objectCount; ++i) {
        const Object& a = objects[i];
        const Object& b = other.objects[i];
        if (a.object != b.object || a.revision != b.revision || std::memcmp(&a.matrix, &b.matrix, sizeof a.matrix) != 0)
            return false;
    }
    return true;
}

RepeatedCollisions::Entry& RepeatedCollisions::EntryFor(dGeomID geom)
{
    const auto found = entries_.find(geom);
    if (found != entries_.end())
        return found->second;
    if (entries_.size() >= kMaxEntries)
        entries_.clear();
    return entries_[geom];
}

unsigned long RepeatedCollisions::Answer(const Entry& entry, dContactGeom* contacts, D3DXVECTOR3& boundsMin,
                                         D3DXVECTOR3& boundsMax)
{
    auto* out = reinterpret_cast<uint8_t*>(contacts);
    for (size_t m = 0; m < entry.records.size(); ++m) {
        auto* record = reinterpret_cast<dContactGeom*>(out + m * entry.question.stride);
        if (entry.question.shape == ShapeQuestion::Shape::Box) {
            std::memcpy(record, &entry.records[m], sizeof *record);
        } else {
            std::memcpy(record->pos, entry.records[m].pos, 3 * sizeof(dReal));
            std::memcpy(record->normal, entry.records[m].normal, 3 * sizeof(dReal));
            record->depth = entry.records[m].depth;
        }
    }
    boundsMin = entry.boundsMin;
    boundsMax = entry.boundsMax;
    return static_cast<unsigned long>(entry.records.size());
}

void RepeatedCollisions::Keep(Entry& entry, const ObjectsState& objects, const dContactGeom* contacts,
                              unsigned long count, const D3DXVECTOR3& boundsMin, const D3DXVECTOR3& boundsMax)
{
    entry.answered = true;
    entry.objects = objects;
    entry.records.resize(count);
    const auto* in = reinterpret_cast<const uint8_t*>(contacts);
    for (unsigned long m = 0; m < count; ++m)
        std::memcpy(&entry.records[m], in + m * entry.question.stride, sizeof(dContactGeom));
    entry.boundsMin = boundsMin;
    entry.boundsMax = boundsMax;
}

} // namespace vex::body
