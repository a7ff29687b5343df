// The box collider's exact stage for one triangle: the slab on its edge nearest the box centre, the box
// test against it, and the contacts that test gives.
#include "body/collision/BoxTriangleCollector.h"

#include "body/collision/BoxBox.h"
#include "body/collision/BoxEdgeSlabs.h"

namespace vex::collision {
namespace {

// The edge nearest the centre as the indices of its start, its end and the apex (edge AB starts at
// vertex 0, BC at 1, CA at 2); ties go to C->A, and to B->C over A->B.
void NearestEdge(float dAB, float dBC, float dCA, int (&out)[3])
{
    if (dAB < dBC && dAB < dCA)
        out[0] = 0, out[1] = 1, out[2] = 2;
    else if (!(dAB < dBC) && dBC < dCA)
        out[0] = 1, out[1] = 2, out[2] = 0;
    else
        out[0] = 2, out[1] = 0, out[2] = 1;
}

} // namespace

// A channel's own primitives: the nearest edge and its slab one triangle at a time, through them.
void BoxTriangleCollector::AddSlabContactThroughPrimitives(const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                                                           const D3DXVECTOR3& c, const D3DXVECTOR3& n,
                                                           float planeOffset)
{
    double slabCentre[3], slabRotation[12], slabSides[3];
    const float dAB = primitives_->PointSegmentDistance(a, b, centre_);
    const float dBC = primitives_->PointSegmentDistance(b, c, centre_);
    const float dCA = primitives_->PointSegmentDistance(c, a, centre_);
    int edge[3];
    NearestEdge(dAB, dBC, dCA, edge);
    const D3DXVECTOR3* const vertices[3] = {&a, &b, &c};
    primitives_->CreateSlab(*vertices[edge[0]], *vertices[edge[1]], *vertices[edge[2]], n, slabCentre, slabRotation,
                            slabSides);
    BoxTestThroughPrimitives(slabCentre, slabRotation, slabSides, a, b, c, n, planeOffset);
}

// v: the triangle's nine floats, followed by a readable tenth, until TestWaiting; reachingEdge: the first
// edge the quick test found may reach (those before it cannot), or -1; useReach: whether the slab may be
// checked against the plane's reach first.
void BoxTriangleCollector::Wait(const float* v, const D3DXVECTOR3& n, float planeOffset, int reachingEdge,
                                bool useReach)
{
    // Field by field: a record built whole on the stack and copied in would be read back wider than written.
    Waiting& w = waiting_[waitingCount_++];
    w.vertices = v;
    w.normal = n;
    w.planeOffset = planeOffset;
    w.reachingEdge = reachingEdge;
    w.useReach = useReach;
    if (waitingCount_ == 4)
        TestWaiting();
}

// The waiting triangles' nearest edges and slabs side by side, then, in the order they came, each slab
// against the reach and the box.
void BoxTriangleCollector::TestWaiting()
{
    const int count = waitingCount_;
    if (count == 0)
        return;
    waitingCount_ = 0;
    // Unused lanes repeat the last triangle.
    const Waiting* source[4];
    bool anyReach = false;
    for (int i = 0; i < 4; ++i) {
        source[i] = &waiting_[i < count ? i : count - 1];
        anyReach |= source[i]->useReach;
    }
    using simd::Float4;
    const Vec3<Float4> normal = {
        Float4::Set(source[0]->normal.x, source[1]->normal.x, source[2]->normal.x, source[3]->normal.x),
        Float4::Set(source[0]->normal.y, source[1]->normal.y, source[2]->normal.y, source[3]->normal.y),
        Float4::Set(source[0]->normal.z, source[1]->normal.z, source[2]->normal.z, source[3]->normal.z)};
    const float* const vertices[4] = {source[0]->vertices, source[1]->vertices, source[2]->vertices,
                                      source[3]->vertices};
    NearestSlabs slabs;
    ComputeNearestSlabs(TriangleLanes::Load(vertices), normal, centre_, anyReach ? &reach_ : nullptr, slabs);
    for (int lane = 0; lane < count; ++lane) {
        const Waiting& w = waiting_[lane];
        // The quick test already found this edge's slab apart, or its bounds miss the reach.
        if (slabs.edge[lane] < w.reachingEdge || (w.useReach && (slabs.apart >> lane) & 1))
            continue;
        double slabCentre[3], slabRotation[12], slabSides[3];
        slabs.Take(lane, w.normal, slabCentre, slabRotation, slabSides);
        if (w.useReach && reach_.SlabOutOfReach(w.normal, w.planeOffset, slabCentre, slabRotation, slabSides))
            continue;
        const float* v = w.vertices;
        const D3DXVECTOR3 a(v[0], v[1], v[2]), b(v[3], v[4], v[5]), c(v[6], v[7], v[8]);
        BoxTest(slabCentre, slabRotation, slabSides, a, b, c, w.normal, w.planeOffset);
    }
}

// The free box test writes one record: straight into the next free candidate (Keep leaves one free),
// kept only when it does not repeat one already found. It writes the position and depth and Complete
// the rest, so only the vectors' unused fourth elements are cleared here (clearing the whole record cost
// more than a tenth of the box test).
void BoxTriangleCollector::BoxTest(const double* slabCentre, const double* slabRotation, const double* slabSides,
                                   const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                   const D3DXVECTOR3& n, float planeOffset)
{
    double normal[3];
    double depth = 0;
    int code = 0;
    dContactGeom& record = candidates_[found_];
    record.pos[3] = 0;
    record.normal[3] = 0;
    if (collision::BoxBox(box_.centre, box_.rotation, box_.lengths, slabCentre, slabRotation, slabSides, normal, &depth,
                          &code, &record) > 0) {
        Complete(record, normal);
        const dContactGeom kept = record;
        if (!Repeats(record))
            Keep();
        AddSupportCorners(kept, a, b, c, n, planeOffset);
    }
}

// A channel's own box test may write more than one record: a scratch holds a few so it stays inside.
void BoxTriangleCollector::BoxTestThroughPrimitives(const double* slabCentre, const double* slabRotation,
                                                    const double* slabSides, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                                                    const D3DXVECTOR3& c, const D3DXVECTOR3& n, float planeOffset)
{
    double normal[3];
    double depth = 0;
    int code = 0;
    dContactGeom scratch[kBoxBoxScratchContacts] = {};
    const int k = primitives_->BoxBox(box_.centre, box_.rotation, box_.lengths, slabCentre, slabRotation, slabSides,
                                      normal, &depth, &code, scratch);
    const int count = k < kBoxBoxScratchContacts ? k : kBoxBoxScratchContacts;
    for (int m = 0; m < count; ++m) {
        dContactGeom record = scratch[m];
        Complete(record, normal);
        if (!Repeats(record)) {
            candidates_[found_] = record;
            Keep();
        }
        AddSupportCorners(record, a, b, c, n, planeOffset);
    }
}

void BoxTriangleCollector::AddSupportCorners(const dContactGeom& contact, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                                             const D3DXVECTOR3& c, const D3DXVECTOR3& n, float planeOffset)
{
    const double* corner[8];
    double depth[8];
    const int count = support_.Find(contact, a, b, c, n, planeOffset, corner, depth);
    for (int s = 0; s < count; ++s) {
        dContactGeom& record = candidates_[found_];
        record = contact;
        for (int k = 0; k < 3; ++k)
            record.pos[k] = corner[s][k];
        record.depth = depth[s];
        if (!Repeats(record))
            Keep();
    }
}

// The fields of a contact record the box test leaves to its caller.
void BoxTriangleCollector::Complete(dContactGeom& record, const double* normal) const
{
    record.normal[0] = normal[0];
    record.normal[1] = normal[1];
    record.normal[2] = normal[2];
    record.g1 = g1_;
    record.g2 = g2_;
    record.side1 = -1;
    record.side2 = -1;
}

} // namespace vex::collision
