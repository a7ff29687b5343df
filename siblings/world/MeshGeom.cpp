#include "siblings/world/MeshGeom.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vex::world {

namespace {

struct MeshGeomData {
    Tav_BodyContactInterface* body;
};

/// ODE's contact-count field of the collider flags.
constexpr int kContactCountMask = 0xffff;

dContactGeom* Record(dContactGeom* contacts, int skip, int i)
{
    return reinterpret_cast<dContactGeom*>(reinterpret_cast<char*>(contacts) + static_cast<size_t>(i) * skip);
}

// ODE calls a class's collider with the class's own geom first, and wants the normal of every record to
// point from g2 towards g1. The body's colliders give normals from the shape into the mesh, so the records
// name the mesh as g1 and the shape as g2; ODE swaps both back when the pair came the other way round.
void NameGeoms(dContactGeom* contacts, int skip, int count, dGeomID mesh, dGeomID shape)
{
    for (int i = 0; i < count; ++i) {
        dContactGeom* c = Record(contacts, skip, i);
        c->g1 = mesh;
        c->g2 = shape;
        c->side1 = -1;
        c->side2 = -1;
    }
}

// A collision object with non-finite vertices or matrix can give contacts whose NaN would pass into both
// bodies, and ODE stops the process on the rotation that follows. Such records are dropped; the others
// move up so that the first `count` stay contiguous.
int DropNonFinite(dContactGeom* contacts, int skip, int count)
{
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const dContactGeom* c = Record(contacts, skip, i);
        bool finite = std::isfinite(c->depth);
        for (int k = 0; k < 3; ++k)
            finite = finite && std::isfinite(c->pos[k]) && std::isfinite(c->normal[k]);
        if (!finite)
            continue;
        if (kept != i)
            *Record(contacts, skip, kept) = *c;
        ++kept;
    }
    return kept;
}

int CollideMeshSphere(dGeomID mesh, dGeomID sphere, int flags, dContactGeom* contacts, int skip)
{
    Tav_BodyContactInterface* body = MeshGeomBody(mesh);
    const int limit = flags & kContactCountMask;
    if (!body || limit < 1)
        return 0;
    // The sphere collider writes at most one record: the first.
    int count = std::min(limit, static_cast<int>(body->CollideSphere(sphere, flags, contacts, skip)));
    count = DropNonFinite(contacts, skip, count);
    NameGeoms(contacts, skip, count, mesh, sphere);
    return count;
}

int CollideMeshBox(dGeomID mesh, dGeomID box, int flags, dContactGeom* contacts, int skip)
{
    Tav_BodyContactInterface* body = MeshGeomBody(mesh);
    const int limit = flags & kContactCountMask;
    if (!body || limit < 1)
        return 0;
    // The flags pass on unchanged: their count is the room in our array, which the collider never exceeds.
    int count = std::min(limit, static_cast<int>(body->CollideBox(box, static_cast<unsigned long>(flags), contacts,
                                                                  static_cast<unsigned long>(skip), mesh)));
    count = DropNonFinite(contacts, skip, count);
    NameGeoms(contacts, skip, count, mesh, box);
    return count;
}

dColliderFn* ColliderFor(int otherClass)
{
    switch (otherClass) {
    case dSphereClass:
        return &CollideMeshSphere;
    case dBoxClass:
        return &CollideMeshBox;
    // Transforms are unwrapped by ODE's own transform collider, which then asks us about the inner geom.
    default:
        return nullptr;
    }
}

void InfiniteAabb(dGeomID, dReal aabb[6])
{
    for (int i = 0; i < 6; i += 2) {
        aabb[i] = -dInfinity;
        aabb[i + 1] = dInfinity;
    }
}

std::once_flag gOdeInit;

} // namespace

void EnsureOdeInitialised()
{
    std::call_once(gOdeInit, [] {
        dInitODE2(0);
        dAllocateODEDataForThread(dAllocateMaskAll);
    });
}

int MeshGeomClass()
{
    // ODE keeps the class (and pointers to the colliders above) for the life of the process; this library
    // is linked not to unload, so the number stays valid across hosts.
    static const int classNumber = [] {
        EnsureOdeInitialised();
        dGeomClass cls{};
        cls.bytes = sizeof(MeshGeomData);
        cls.collider = &ColliderFor;
        cls.aabb = &InfiniteAabb;
        return dCreateGeomClass(&cls);
    }();
    return classNumber;
}

dGeomID CreateMeshGeom(Tav_BodyContactInterface* body)
{
    dGeomID geom = dCreateGeom(MeshGeomClass());
    static_cast<MeshGeomData*>(dGeomGetClassData(geom))->body = body;
    return geom;
}

Tav_BodyContactInterface* MeshGeomBody(dGeomID geom)
{
    if (!geom || dGeomGetClass(geom) != MeshGeomClass())
        return nullptr;
    return static_cast<MeshGeomData*>(dGeomGetClassData(geom))->body;
}

} // namespace vex::world
