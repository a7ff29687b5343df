// The body channel's mesh colliders and their primitives. The methods are thin wrappers over the free
// functions of this folder. A channel of a derived class has the colliders reach the primitives through
// its virtual methods, so that overriding one of them changes the colliders too; a channel of this very
// class calls the free functions directly (the same functions the methods wrap, so the same results),
// which lets the compiler inline them into the per-triangle loops.
#include "body/CandidateQuery.h"
#include "body/RepeatedCollisions.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "body/collision/BoxBox.h"
#include "body/collision/ChannelPrimitives.h"
#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/CollideSphereVsTriangles.h"
#include "body/collision/CollisionConstants.h"
#include "body/collision/CollisionGeometry.h"
#include "host/InterfaceCast.h"
#include "host/siblings/Tav_CollisionObjectInterface.h"
#include "host/siblings/Tav_PolygonRevisionInterface.h"
#include "host/siblings/Tav_TrianglesInBoxInterface.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace {

using namespace vex::collision;

constexpr int kCollisionObjectLink = 2;

int CollisionObjectCount(Tvc_ODE_BodyCollision& body) { return body.GetChildLinkPositionCount(kCollisionObjectLink); }

// The host type-checked the link: only collision objects sit at this position.
Tav_CollisionObjectInterface* CollisionObject(Tvc_ODE_BodyCollision& body, int index)
{
    return static_cast<Tav_CollisionObjectInterface*>(body.GetChildFromLinkPosition(kCollisionObjectLink, index));
}

// A query's polygon list and the world-space triangles gathered from it.
struct QueryScratch {
    Tav_List polygons;
    std::vector<float> triangles; ///< nine floats per triangle
};

// Scratch is reused between calls, so a query does not grow a fresh list from nothing each time. A pool
// rather than one keeps a nested call (a collision object that itself collides) safe.
class PooledScratch {
public:
    PooledScratch()
    {
        if (pool_.empty()) {
            scratch_ = new QueryScratch();
        } else {
            scratch_ = pool_.back();
            pool_.pop_back();
        }
    }
    ~PooledScratch()
    {
        // The triangles keep their size: it is the room the next query fills without growing them.
        scratch_->polygons.ReleaseItems();
        pool_.push_back(scratch_);
    }
    PooledScratch(const PooledScratch&) = delete;
    PooledScratch& operator=(const PooledScratch&) = delete;
    QueryScratch& operator*() const { return *scratch_; }

private:
    QueryScratch* scratch_;
    struct Pool : std::vector<QueryScratch*> {
        ~Pool()
        {
            for (QueryScratch* scratch : *this)
                delete scratch;
        }
    };
    static thread_local Pool pool_;
};

thread_local PooledScratch::Pool PooledScratch::pool_;

// Writes the vertices of object's candidates into triangles (the object's space), followed by the spare
// float the colliders read past a triangle's last vertex; returns how many. Straight from the object
// where it offers that (the box query's triangles in its order), else handle by handle; given an oriented
// box, through GetBoxCandidates (CandidateQuery.h).
size_t GatherCandidates(Tav_CollisionObjectInterface& object, const D3DXMATRIX& matrix, Tav_List& polygons,
                        std::vector<float>& triangles, D3DXVECTOR3& low, D3DXVECTOR3& high,
                        const vex::body::CandidateBox* box)
{
    auto* direct = box ? nullptr : vex::InterfaceCast<Tav_TrianglesInBoxInterface>(object);
    if (direct) {
        // The scratch keeps its size between queries: the object fills that room first, and only a larger
        // query grows it and asks again.
        if (triangles.empty())
            triangles.resize(1); // the spare float, however few triangles come
        const int room = static_cast<int>((triangles.size() - 1) / 9);
        int count = direct->GetTrianglesInBox(&low, &high, triangles.data(), room);
        if (count > room) {
            triangles.resize(9 * static_cast<size_t>(count) + 1);
            // No more than fit, whatever the second answer says.
            count = std::min(direct->GetTrianglesInBox(&low, &high, triangles.data(), count), count);
        }
        if (count >= 0) {
            triangles[9 * static_cast<size_t>(count)] = 0;
            return static_cast<size_t>(count);
        }
    }
    polygons.ReleaseItems();
    if (box)
        vex::body::GetBoxCandidates(object, matrix, polygons, low, high, *box);
    else
        object.GetPolygonsInBox(&polygons, &low, &high);
    const int count = polygons.GetItemCount();
    triangles.resize(9 * static_cast<size_t>(count) + 1);
    size_t gathered = 0;
    for (int j = 0; j < count; ++j) {
        if (const float* v = object.GetPolygonVertices(polygons.GetItem(j)))
            std::memcpy(triangles.data() + 9 * gathered++, v, 9 * sizeof(float));
    }
    triangles[9 * gathered] = 0;
    return gathered;
}

// Walks the collision objects at the collision link: for each, computes the query box (bounds), gathers
// its candidate triangles and hands them, in world space, to addTriangles. The triangles of an object are
// gathered first and handed over at once: no call to the object then sits between two triangles, and the
// collider keeps its state in registers.
template <class Bounds, class AddTriangles, class Stop>
void ForEachCandidateTriangle(Tvc_ODE_BodyCollision& body, Bounds bounds, AddTriangles addTriangles, Stop stop,
                              const vex::body::CandidateBox* box = nullptr)
{
    PooledScratch pooled;
    Tav_List& polygons = (*pooled).polygons;
    std::vector<float>& triangles = (*pooled).triangles;
    const int objectCount = CollisionObjectCount(body);
    for (int i = 0; i < objectCount && !stop(); ++i) {
        Tav_CollisionObjectInterface* object = CollisionObject(body, i);
        if (!object)
            continue;
        const D3DXMATRIX matrix = object->GetCollisionMatrix();
        bounds(matrix);
        const size_t count =
            GatherCandidates(*object, matrix, polygons, triangles, body.boundsMin, body.boundsMax, box);
        // The identity leaves every bit as it is, so the transform is skipped for it.
        if (!IsIdentity(matrix)) {
            for (size_t k = 0; k < 3 * count; ++k) {
                float* v = triangles.data() + 3 * k;
                D3DXVECTOR3 p(v[0], v[1], v[2]);
                D3DXVec3TransformCoord(&p, &p, &matrix);
                v[0] = p.x;
                v[1] = p.y;
                v[2] = p.z;
            }
        }
        addTriangles(triangles.data(), count);
    }
}

} // namespace

namespace {

// The collision objects at the collision link as a question's inputs; false when an answer may not be
// kept: no object (the collider then leaves the body's query bounds as they were, so there is nothing to
// restore), too many, or one that cannot tell when its polygons change.
bool DescribeObjects(Tvc_ODE_BodyCollision& body, vex::body::ObjectsState& state)
{
    const int count = CollisionObjectCount(body);
    if (count > vex::body::ObjectsState::kMaxObjects)
        return false;
    state.objectCount = count;
    bool any = false;
    for (int i = 0; i < count; ++i) {
        Tav_CollisionObjectInterface* object = CollisionObject(body, i);
        vex::body::ObjectsState::Object& described = state.objects[i];
        if (!object)
            continue; // skipped by the colliders too: the zeros stand for it
        const auto* revision = vex::InterfaceCast<const Tav_PolygonRevisionInterface>(*object);
        if (!revision)
            return false;
        described.object = object;
        described.matrix = object->GetCollisionMatrix();
        described.revision = revision->GetPolygonRevision();
        any = true;
    }
    state.oriented = vex::body::OrientedBoxQueryEnabled();
    return any;
}

// Whether the channel's primitive methods are this class's own (no derived class can have overridden them).
bool UsesOwnPrimitives(const Tvc_ODE_BodyCollision& body) { return typeid(body) == typeid(Tvc_ODE_BodyCollision); }

unsigned long CollideSphereWith(Tvc_ODE_BodyCollision& body, const D3DXVECTOR3& centre, float radius,
                                dContactGeom* contacts, const SphereColliderSettings& settings)
{
    // The cube of half-size r around the centre holds the whole sphere: triangles outside it cannot touch
    // it, so it is the query box (the wider r * sqrt(2) cube would only hand over more triangles to skip).
    const float queryHalfSize = radius;

    SphereTriangleAccumulator accumulator(centre, radius, settings);
    ForEachCandidateTriangle(
        body, [&](const D3DXMATRIX& matrix) { body.CalculateSphereBounds(matrix, centre, queryHalfSize); },
        [&](const float* triangles, size_t count) { accumulator.AddTriangles(triangles, count); },
        [] { return false; });

    SphereContact contact;
    if (!accumulator.GetContact(contact))
        return 0;
    contacts->pos[0] = contact.position.x;
    contacts->pos[1] = contact.position.y;
    contacts->pos[2] = contact.position.z;
    contacts->normal[0] = contact.normal.x;
    contacts->normal[1] = contact.normal.y;
    contacts->normal[2] = contact.normal.z;
    contacts->depth = contact.depth;
    return 1;
}

unsigned long CollideBoxWith(Tvc_ODE_BodyCollision& body, const BoxPose& pose, unsigned long limit,
                             dContactGeom* contacts, unsigned long skip, dGeomID box, dGeomID meshGeom,
                             const BoxColliderSettings& settings)
{
    const D3DXMATRIX boxMatrix = pose.Matrix();
    // A triangle's slab reaches half its thickness in front of the triangle, so a box hovering that close
    // already touches it: the query box is the box grown by the slab thickness, or such a box would find
    // no triangle and lose its contacts while resting.
    const double queryLengths[3] = {pose.lengths[0] + kSlabThickness, pose.lengths[1] + kSlabThickness,
                                    pose.lengths[2] + kSlabThickness};

    const vex::body::CandidateBox candidateBox{
        pose.centre, pose.rotation, {0.5 * queryLengths[0], 0.5 * queryLengths[1], 0.5 * queryLengths[2]}};
    BoxTriangleCollector collector(pose, limit, contacts, skip, box, meshGeom, settings);
    ForEachCandidateTriangle(
        body, [&](const D3DXMATRIX& matrix) { body.CalculateBoxBounds(matrix, boxMatrix, queryLengths); },
        [&](const float* triangles, size_t count) { collector.AddTriangles(triangles, count); },
        [&] { return collector.IsFull(); },
        // A derived channel's own bounds or slabs may reach further than the oriented box, and without the
        // quick rejections every triangle of the box query is to take the exact test: both keep the
        // axis-aligned query, as does everyone while the oriented one is off (its default).
        settings.primitives || !settings.quickRejections || !vex::body::OrientedBoxQueryEnabled() ? nullptr
                                                                                                  : &candidateBox);
    return collector.Finish();
}

} // namespace

unsigned long Tvc_ODE_BodyCollision::CollideSphere(dGeomID sphere, unsigned long flags, dContactGeom* contacts,
                                                   unsigned long /*skip: only the first record is written*/)
{
    // A caller that allows no contact has no record to write into.
    if ((flags & kContactCountMask) == 0 || !contacts)
        return 0;
    const float radius = static_cast<float>(dGeomSphereGetRadius(sphere));
    const dReal* position = dGeomGetPosition(sphere);
    D3DXVECTOR3 centre(static_cast<float>(position[0]), static_cast<float>(position[1]),
                       static_cast<float>(position[2]));
    if (radius == 0)
        return 0;
    if (UsesOwnPrimitives(*this)) {
        vex::body::ShapeQuestion question;
        question.shape = vex::body::ShapeQuestion::Shape::Sphere;
        question.geom = sphere;
        question.limit = 1;
        const float pose[4] = {centre.x, centre.y, centre.z, radius};
        std::copy(pose, pose + 4, question.pose);
        return RepeatedAnswers().Ask(
            question, contacts, boundsMin, boundsMax,
            [&](vex::body::ObjectsState& state) { return DescribeObjects(*this, state); },
            [&] { return CollideSphereWith(*this, centre, radius, contacts, {}); });
    }
    const ChannelSpherePrimitives primitives(this);
    return CollideSphereWith(*this, centre, radius, contacts, {.quickRejections = false, .primitives = &primitives});
}

unsigned long Tvc_ODE_BodyCollision::CollideBox(dGeomID box, unsigned long flags, dContactGeom* contacts,
                                                unsigned long skip, dGeomID meshGeom)
{
    const unsigned long limit = flags & kContactCountMask;
    if (limit == 0 || !contacts)
        return 0;
    BoxPose pose{};
    dGeomBoxGetLengths(box, pose.lengths);
    std::memcpy(pose.centre, dGeomGetPosition(box), sizeof pose.centre);
    std::memcpy(pose.rotation, dGeomGetRotation(box), sizeof pose.rotation);
    if (UsesOwnPrimitives(*this)) {
        vex::body::ShapeQuestion question;
        question.geom = box;
        question.mesh = meshGeom;
        question.limit = limit;
        question.stride = skip;
        std::memcpy(question.pose, pose.centre, sizeof pose.centre);
        std::memcpy(question.pose + 3, pose.rotation, sizeof pose.rotation);
        std::memcpy(question.pose + 15, pose.lengths, sizeof pose.lengths);
        return RepeatedAnswers().Ask(
            question, contacts, boundsMin, boundsMax,
            [&](vex::body::ObjectsState& state) { return DescribeObjects(*this, state); },
            [&] { return CollideBoxWith(*this, pose, limit, contacts, skip, box, meshGeom, {}); });
    }
    const ChannelBoxPrimitives primitives(this);
    return CollideBoxWith(*this, pose, limit, contacts, skip, box, meshGeom,
                          {.quickRejections = false, .primitives = &primitives});
}

vex::body::RepeatedCollisions& Tvc_ODE_BodyCollision::RepeatedAnswers()
{
    if (!repeatedCollisions_)
        repeatedCollisions_ = std::make_unique<vex::body::RepeatedCollisions>();
    return *repeatedCollisions_;
}

bool Tvc_ODE_BodyCollision::SphereTriangleCollision(D3DXVECTOR3& deepPoint, D3DXVECTOR3& centre, D3DXVECTOR3& edge1,
                                                    D3DXVECTOR3& edge2, D3DXVECTOR3& vertex0)
{
    return RayThroughTriangle(deepPoint, centre, edge1, edge2, vertex0);
}

bool Tvc_ODE_BodyCollision::SphereEdgeCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& centre, D3DXVECTOR3& push,
                                                float radius)
{
    return SphereSegmentPush(a, b, centre, radius, push);
}

void Tvc_ODE_BodyCollision::CalculateSphereBounds(D3DXMATRIX objectMatrix, D3DXVECTOR3 centre, float radius)
{
    const QueryBox box = SphereQueryBounds(objectMatrix, centre, radius);
    boundsMin = box.min;
    boundsMax = box.max;
}

bool Tvc_ODE_BodyCollision::GetIfPlaneContainsPoint(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3 c, D3DXVECTOR3& point)
{
    return PointBehindPlane(a, b, c, point);
}

float Tvc_ODE_BodyCollision::GetPointEdgeDistance(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& point,
                                                  D3DXVECTOR3& direction)
{
    return PointSegmentDistance(a, b, point, direction);
}

void Tvc_ODE_BodyCollision::CreateBoxFromPoly(D3DXVECTOR3& edgeStart, D3DXVECTOR3& edgeEnd, D3DXVECTOR3& apex,
                                              dReal* centre, dReal* rotation, dReal* sides, D3DXVECTOR3& normal)
{
    const Slab slab = SlabFromTriangle(edgeStart, edgeEnd, apex, normal);
    std::memcpy(centre, slab.centre, sizeof slab.centre);
    std::memcpy(sides, slab.sides, sizeof slab.sides);
    GetODERotationMatrix(SlabAxesMatrix(slab), rotation);
}

void Tvc_ODE_BodyCollision::CalculateBoxBounds(D3DXMATRIX objectMatrix, D3DXMATRIX boxMatrix, const dReal* sides)
{
    const QueryBox box = BoxQueryBounds(objectMatrix, boxMatrix, sides);
    boundsMin = box.min;
    boundsMax = box.max;
}

int Tvc_ODE_BodyCollision::dBoxBox(const dReal* p1, const dReal* R1, const dReal* side1, const dReal* p2,
                                   const dReal* R2, const dReal* side2, dReal* normal, dReal* depth, int* code,
                                   int /*maxContacts: one at most*/, dContactGeom* contact, int /*skip*/)
{
    return BoxBox(p1, R1, side1, p2, R2, side2, normal, depth, code, contact);
}

void Tvc_ODE_BodyCollision::lineClosestApproach(const dReal* pa, const dReal* ua, const dReal* pb, const dReal* ub,
                                                dReal* alpha, dReal* beta)
{
    LineClosestApproach(pa, ua, pb, ub, alpha, beta);
}
