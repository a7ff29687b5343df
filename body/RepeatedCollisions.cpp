#include "body/RepeatedCollisions.h"

#include <cstring>

namespace vex::body {

// Bit for bit: -0 and +0 are different questions, and a NaN the same as itself.
bool CollisionQuestion::operator==(const CollisionQuestion& other) const
{
    if (shape != other.shape || oriented != other.oriented || geom != other.geom || mesh != other.mesh ||
        limit != other.limit || stride != other.stride || objectCount != other.objectCount ||
        std::memcmp(pose, other.pose, sizeof pose) != 0)
        return false;
    for (int i = 0; i < objectCount; ++i) {
        const Object& a = objects[i];
        const Object& b = other.objects[i];
        if (a.object != b.object || a.revision != b.revision || std::memcmp(&a.matrix, &b.matrix, sizeof a.matrix) != 0)
            return false;
    }
    return true;
}

long RepeatedCollisions::Answer(const CollisionQuestion& question, dContactGeom* contacts, D3DXVECTOR3& boundsMin,
                                D3DXVECTOR3& boundsMax) const
{
    const auto found = entries_.find(question.geom);
    if (found == entries_.end() || !(found->second.question == question))
        return -1;
    const Entry& entry = found->second;
    auto* out = reinterpret_cast<uint8_t*>(contacts);
    for (size_t m = 0; m < entry.records.size(); ++m) {
        auto* record = reinterpret_cast<dContactGeom*>(out + m * question.stride);
        if (question.shape == CollisionQuestion::Shape::Box) {
            std::memcpy(record, &entry.records[m], sizeof *record);
        } else {
            std::memcpy(record->pos, entry.records[m].pos, 3 * sizeof(dReal));
            std::memcpy(record->normal, entry.records[m].normal, 3 * sizeof(dReal));
            record->depth = entry.records[m].depth;
        }
    }
    boundsMin = entry.boundsMin;
    boundsMax = entry.boundsMax;
    return static_cast<long>(entry.records.size());
}

void RepeatedCollisions::Keep(const CollisionQuestion& question, const dContactGeom* contacts, unsigned long count,
                              const D3DXVECTOR3& boundsMin, const D3DXVECTOR3& boundsMax)
{
    if (entries_.size() >= kMaxEntries && entries_.find(question.geom) == entries_.end())
        entries_.clear();
    Entry& entry = entries_[question.geom];
    entry.question = question;
    entry.records.resize(count);
    const auto* in = reinterpret_cast<const uint8_t*>(contacts);
    for (unsigned long m = 0; m < count; ++m)
        std::memcpy(&entry.records[m], in + m * question.stride, sizeof(dContactGeom));
    entry.boundsMin = boundsMin;
    entry.boundsMax = boundsMax;
}

} // namespace vex::body
