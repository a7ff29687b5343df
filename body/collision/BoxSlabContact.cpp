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

// reachingEdge: the first edge the quick test found may reach (those before it cannot), or -1; useReach:
// whether the slab may be checked against the plane's reach first.
void BoxTriangleCollector::AddSlabContact(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                          const D3DXVECTOR3& n, float planeOffset, int reachingEdge, bool useReach)
{
    double slabCentre[3], slabRotation[12], slabSides[3];
    int edge[3];
    if (primitives_) {
        const float dAB = primitives_->PointSegmentDistance(a, b, centre_);
        const float dBC = primitives_->PointSegmentDistance(b, c, centre_);
        const float dCA = primitives_->PointSegmentDistance(c, a, centre_);
        NearestEdge(dAB, dBC, dCA, edge);
        const D3DXVECTOR3* const vertices[3] = {&a, &b, &c};
        primitives_->CreateSlab(*vertices[edge[0]], *vertices[edge[1]], *vertices[edge[2]], n, slabCentre, slabRotation,
                                slabSides);
        BoxTestThroughPrimitives(slabCentre, slabRotation, slabSides, a, b, c, n, planeOffset);
        return;
    }
    // The three edges' distances and slabs side by side, and the nearest one's taken: the slab does not
    // wait for the choice.
    EdgeSlabs slabs;
    ComputeEdgeSlabs(a, b, c, centre_, n, useReach ? &reach_ : nullptr, slabs);
    NearestEdge(slabs.distance[0], slabs.distance[1], slabs.distance[2], edge);
    // The quick test already found this edge's slab apart, or its bounds miss the reach.
    if (edge[0] < reachingEdge || (slabs.apart >> edge[0]) & 1)
        return;
    slabs.Take(edge[0], n, slabCentre, slabRotation, slabSides);
    if (useReach && reach_.SlabOutOfReach(n, planeOffset, slabCentre, slabRotation, slabSides))
        return;
    BoxTest(slabCentre, slabRotation, slabSides, a, b, c, n, planeOffset);
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
