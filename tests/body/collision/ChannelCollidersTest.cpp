// The body channel's collider methods with real collision objects: object matrices, several objects,
// contact limits and record placement, against the free collider functions on world-space triangles.
#include "body/ODE_GeometryItem.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "body/collision/CollideBoxVsTriangles.h"
#include "body/collision/CollideSphereVsTriangles.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace vex::collision;

class ChannelColliders : public testing::Test {
protected:
    ChannelColliders()
    {
        std::string error;
        EXPECT_NE(host.AddChannel(vex::Guid(vex::guids::kWorld), "world", &error), nullptr) << error;
        body = dynamic_cast<Tvc_ODE_BodyCollision*>(host.AddChannel(vex::Guid(vex::guids::kBody), "ground", &error));
        EXPECT_NE(body, nullptr) << error;
    }

    Tvc_DX8_CollisionObject* AddObject(const std::vector<float>& triangles, const D3DXMATRIX& m)
    {
        std::string error;
        auto* object = dynamic_cast<Tvc_DX8_CollisionObject*>(
            host.AddChannel(vex::Guid(vex::guids::kCollisionObject), "object " + std::to_string(++objects), &error));
        EXPECT_NE(object, nullptr) << error;
        if (!object)
            return nullptr;
        object->SetTriangles(triangles);
        object->SetOwnMatrix(m);
        EXPECT_TRUE(host.Link(body, object, 2, &error)) << error;
        return object;
    }

    static std::vector<float> ToWorld(const std::vector<float>& local, const D3DXMATRIX& m)
    {
        std::vector<float> out(local.size());
        for (size_t i = 0; i < local.size(); i += 3) {
            D3DXVECTOR3 p(local[i], local[i + 1], local[i + 2]);
            D3DXVec3TransformCoord(&p, &p, &m);
            out[i] = p.x;
            out[i + 1] = p.y;
            out[i + 2] = p.z;
        }
        return out;
    }

    static std::vector<float> Floor(int cells, float size)
    {
        std::vector<float> t;
        const float h = size * cells * 0.5f;
        for (int i = 0; i < cells; ++i) {
            for (int j = 0; j < cells; ++j) {
                const float x0 = -h + size * i, x1 = x0 + size, z0 = -h + size * j, z1 = z0 + size;
                t.insert(t.end(), {x0, 0, z0, x0, 0, z1, x1, 0, z0});
                t.insert(t.end(), {x1, 0, z0, x0, 0, z1, x1, 0, z1});
            }
        }
        return t;
    }

    // The floor with a hill and a dip in it: flattened by a zero scale it is a plain floor again.
    static std::vector<float> Bumpy(std::vector<float> t)
    {
        for (size_t i = 0; i < t.size(); i += 3)
            t[i + 1] = 0.3f * std::sin(t[i]) * std::cos(t[i + 2]);
        return t;
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    Tvc_ODE_BodyCollision* body = nullptr;
    int objects = 0;
};

// Three objects placed by their matrices (one turned and moved, one scaled, one flattened by a zero scale
// and tilted): the channel's contact equals the free collider's on the same triangles carried into world
// space by hand.
TEST_F(ChannelColliders, SphereContactMatchesTheTrianglesCarriedIntoWorldSpace)
{
    ASSERT_NE(body, nullptr);
    const std::vector<float> floor = Floor(6, 1.0f);
    D3DXMATRIX turned, scaled;
    D3DXMatrixRotationYawPitchRoll(&turned, 0.4f, 0.2f, -0.1f);
    turned._41 = 5;
    turned._42 = -1;
    turned._43 = 2;
    D3DXMatrixScaling(&scaled, 2, 1, 2);
    scaled._42 = 3;
    D3DXMATRIX squash, tilt, flattened;
    D3DXMatrixScaling(&squash, 1, 0, 1);
    D3DXMatrixRotationZ(&tilt, 0.3f);
    D3DXMatrixMultiply(&flattened, &squash, &tilt);
    flattened._41 = 4;
    flattened._42 = 1;
    flattened._43 = 1;
    AddObject(floor, turned);
    AddObject(floor, scaled);
    AddObject(Bumpy(floor), flattened);
    std::vector<float> world = ToWorld(floor, turned);
    for (const std::vector<float>& more : {ToWorld(floor, scaled), ToWorld(Bumpy(floor), flattened)})
        world.insert(world.end(), more.begin(), more.end());

    dGeomID sphere = dCreateSphere(nullptr, 0.6);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> x(-1, 9), y(-2, 4), z(-4, 6);
    int hits = 0;
    for (int i = 0; i < 400; ++i) {
        const D3DXVECTOR3 centre(x(rng), y(rng), z(rng));
        dGeomSetPosition(sphere, centre.x, centre.y, centre.z);
        dContactGeom contact{};
        const unsigned long n = body->CollideSphere(sphere, 1, &contact, sizeof contact);
        SphereContact expected;
        const bool hit = CollideSphereVsTriangles(centre, 0.6f, world, expected);
        ASSERT_EQ(n, hit ? 1u : 0u) << i;
        if (!hit)
            continue;
        ++hits;
        EXPECT_NEAR(contact.depth, expected.depth, 1e-4);
        EXPECT_NEAR(contact.normal[0], expected.normal.x, 1e-3);
        EXPECT_NEAR(contact.normal[1], expected.normal.y, 1e-3);
        EXPECT_NEAR(contact.normal[2], expected.normal.z, 1e-3);
    }
    EXPECT_GT(hits, 20);
    dGeomDestroy(sphere);
}

// The sphere collider writes only the first record's position, normal and depth; g1 and g2 stay as the
// caller set them; a caller that allows no contact gets none.
TEST_F(ChannelColliders, SphereWritesOneRecordAndLeavesTheGeomsAlone)
{
    ASSERT_NE(body, nullptr);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    AddObject(Floor(4, 1.0f), identity);
    dGeomID sphere = dCreateSphere(nullptr, 1.0);
    dGeomSetPosition(sphere, 0.25, 0.9, 0.25);
    dContactGeom contacts[2];
    std::memset(contacts, 0xAB, sizeof contacts);
    const auto marker = contacts[0].g1;
    EXPECT_EQ(body->CollideSphere(sphere, 0, contacts, sizeof contacts[0]), 0u);
    EXPECT_EQ(body->CollideSphere(sphere, 2, contacts, sizeof contacts[0]), 1u);
    EXPECT_NEAR(contacts[0].depth, 0.1, 1e-5);
    EXPECT_NEAR(contacts[0].normal[1], -1, 1e-6);
    EXPECT_NEAR(contacts[0].pos[1], -0.1, 1e-5);
    EXPECT_EQ(contacts[0].g1, marker);
    EXPECT_EQ(contacts[1].g1, marker);
    EXPECT_EQ(contacts[1].g2, marker);
    dGeomDestroy(sphere);
}

class ChannelBoxColliders : public ChannelColliders, public testing::WithParamInterface<bool> {};

// Box contacts through the channel: never more than the limit, one for a limit of one, g1 the box and g2
// the other geom, records at multiples of the stride, and the same contacts as the free collider. The
// floor is turned and raised, or is a bumpy one flattened by a zero scale to the same floor.
TEST_P(ChannelBoxColliders, ContactsRespectTheLimitAndMatchTheFreeCollider)
{
    ASSERT_NE(body, nullptr);
    const bool flattened = GetParam();
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, 0.3f);
    if (flattened)
        m._22 = 0;
    m._42 = 0.5f;
    const std::vector<float> floor = flattened ? Bumpy(Floor(6, 0.5f)) : Floor(6, 0.5f);
    AddObject(floor, m);
    const std::vector<float> world = ToWorld(floor, m);
    dGeomID box = dCreateBox(nullptr, 1, 1, 1);
    const auto other = reinterpret_cast<dGeomID>(0x5000);
    dMatrix3 R;
    dRFromEulerAngles(R, 0.2, 0.1, 0.3);
    dGeomSetRotation(box, R);
    dGeomSetPosition(box, 0.2, 0.5 + 0.55, -0.1);
    BoxPose pose{};
    std::memcpy(pose.centre, dGeomGetPosition(box), sizeof pose.centre);
    std::memcpy(pose.rotation, dGeomGetRotation(box), sizeof pose.rotation);
    pose.lengths[0] = pose.lengths[1] = pose.lengths[2] = 1;
    dContactGeom all[16];
    const unsigned long unlimited = CollideBoxVsTriangles(pose, world, 16, all, sizeof all[0]);
    ASSERT_GE(unlimited, 2u);
    for (const unsigned long limit : {1ul, 2ul, 16ul}) {
        const size_t stride = sizeof(dContactGeom) + 24;
        std::vector<unsigned char> buffer(stride * 16, 0);
        auto* contacts = reinterpret_cast<dContactGeom*>(buffer.data());
        const unsigned long n = body->CollideBox(box, limit, contacts, stride, other);
        EXPECT_EQ(n, std::min(limit, unlimited));
        std::vector<dContactGeom> got;
        for (unsigned long i = 0; i < n; ++i) {
            dContactGeom c;
            std::memcpy(&c, buffer.data() + i * stride, sizeof c);
            EXPECT_EQ(c.g1, box);
            EXPECT_EQ(c.g2, other);
            got.push_back(c);
        }
        if (limit < unlimited)
            continue;
        // The mesh hands over its triangles in its own order: compare the contacts as sets.
        std::vector<dContactGeom> want(all, all + unlimited);
        const auto byDepth = [](const dContactGeom& a, const dContactGeom& b) { return a.depth < b.depth; };
        std::sort(got.begin(), got.end(), byDepth);
        std::sort(want.begin(), want.end(), byDepth);
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].depth, want[i].depth, 1e-4);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(got[i].normal[k], want[i].normal[k], 1e-3);
                EXPECT_NEAR(got[i].pos[k], want[i].pos[k], 1e-3);
            }
        }
    }
    dGeomDestroy(box);
}

// Positions, normals and depths alike, bit for bit (the records of two geoms differ in g1).
bool SameContacts(const std::vector<dContactGeom>& a, const std::vector<dContactGeom>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(a[i].pos, b[i].pos, sizeof a[i].pos) != 0 ||
            std::memcmp(a[i].normal, b[i].normal, sizeof a[i].normal) != 0 || a[i].depth != b[i].depth)
            return false;
    return true;
}

// A body resting on the mesh asks the same question every step and gets the answer kept from an earlier
// one; once any input changes (the object's polygons or matrix, the shape's pose) the answer is the
// collider's fresh one: the same as a new geom at the same pose gets, which nothing was kept for.
TEST_F(ChannelColliders, RepeatedQuestionsGetTheColliderAnswerForTheInputsAsTheyAreNow)
{
    ASSERT_NE(body, nullptr);
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    Tvc_DX8_CollisionObject* object = AddObject(Floor(6, 0.5f), m);
    ASSERT_NE(object, nullptr);
    const auto other = reinterpret_cast<dGeomID>(0x5000);
    dGeomID resting[2] = {dCreateBox(nullptr, 1, 1, 1), dCreateSphere(nullptr, 0.5)};
    dMatrix3 R;
    dRFromEulerAngles(R, 0.2, 0.1, 0.3);
    auto place = [&](dGeomID g, double height) {
        dGeomSetPosition(g, 0.2, height, -0.1);
        if (dGeomGetClass(g) == dBoxClass)
            dGeomSetRotation(g, R);
    };
    auto ask = [&](dGeomID g) {
        std::vector<dContactGeom> out(8);
        const unsigned long n = dGeomGetClass(g) == dBoxClass ? body->CollideBox(g, 8, out.data(), sizeof out[0], other)
                                                              : body->CollideSphere(g, 8, out.data(), sizeof out[0]);
        out.resize(n);
        return out;
    };
    // Each change moves the contacts; after it the kept geom must answer as a fresh one does.
    const std::vector<std::pair<const char*, std::function<void(double&)>>> changes = {
        {"first question", [](double&) {}},
        {"polygons raised",
         [&](double&) {
             object->SetTriangles(ToWorld(Floor(6, 0.5f), [] {
                 D3DXMATRIX up;
                 D3DXMatrixTranslation(&up, 0, 0.05f, 0);
                 return up;
             }()));
         }},
        {"matrix lowered", [&](double&) { D3DXMatrixTranslation(&m, 0, -0.02f, 0), object->SetOwnMatrix(m); }},
        {"shape lowered", [](double& height) { height -= 0.01; }},
    };
    for (dGeomID kept : resting) {
        double height = dGeomGetClass(kept) == dBoxClass ? 0.62 : 0.46;
        std::vector<dContactGeom> before;
        for (const auto& [what, change] : changes) {
            change(height);
            place(kept, height);
            const std::vector<dContactGeom> first = ask(kept);
            ASSERT_FALSE(first.empty()) << what;
            EXPECT_FALSE(SameContacts(first, before)) << what;
            // Asked again, the answer is kept; asked a third time, it is the kept one.
            for (int again = 0; again < 2; ++again)
                EXPECT_TRUE(SameContacts(ask(kept), first)) << what;
            dGeomID fresh =
                dGeomGetClass(kept) == dBoxClass ? dCreateBox(nullptr, 1, 1, 1) : dCreateSphere(nullptr, 0.5);
            place(fresh, height);
            EXPECT_TRUE(SameContacts(ask(fresh), first)) << what;
            dGeomDestroy(fresh);
            before = first;
        }
        object->SetTriangles(Floor(6, 0.5f));
        D3DXMatrixIdentity(&m);
        object->SetOwnMatrix(m);
    }
    for (dGeomID g : resting)
        dGeomDestroy(g);
}

INSTANTIATE_TEST_SUITE_P(ObjectMatrices, ChannelBoxColliders, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Flattened" : "Turned"; });

} // namespace

namespace {

// A channel class derived from the body channel: its own primitive methods, counted, with the face test
// and the box test answering "apart" always.
class ApartBody : public Tvc_ODE_BodyCollision {
public:
    bool SphereTriangleCollision(D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&, D3DXVECTOR3&) override
    {
        ++faceTests;
        return false;
    }
    bool SphereEdgeCollision(D3DXVECTOR3& a, D3DXVECTOR3& b, D3DXVECTOR3& centre, D3DXVECTOR3& out,
                             float radius) override
    {
        ++edgeTests;
        return Tvc_ODE_BodyCollision::SphereEdgeCollision(a, b, centre, out, radius);
    }
    int dBoxBox(const dReal*, const dReal*, const dReal*, const dReal*, const dReal*, const dReal*, dReal*, dReal*,
                int*, int, dContactGeom*, int) override
    {
        ++boxTests;
        return 0;
    }
    int faceTests = 0;
    int edgeTests = 0;
    int boxTests = 0;
};

// The colliders of a derived channel go through its methods, even where the body channel's own class
// calls its primitives directly.
TEST_F(ChannelColliders, ADerivedChannelsOverriddenPrimitivesDecideItsContacts)
{
    ASSERT_NE(body, nullptr);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    Tvc_DX8_CollisionObject* object = AddObject(Floor(6, 0.5f), identity);
    ASSERT_NE(object, nullptr);
    auto* derived = new ApartBody;
    host.AdoptChannel(derived, "derived");
    std::string error;
    ASSERT_TRUE(host.Link(derived, object, 2, &error)) << error;

    // A sphere sunk into the floor over the middle of a triangle: a face contact for the body channel.
    dGeomID sphere = dCreateSphere(nullptr, 0.5);
    dGeomSetPosition(sphere, 0.12, 0.45, 0.13);
    dContactGeom contact{};
    ASSERT_EQ(body->CollideSphere(sphere, 1, &contact, sizeof contact), 1u);
    EXPECT_NEAR(contact.depth, 0.05, 1e-6);
    // The derived face test finds nothing, so only edges may push, and never as deep as the face did.
    dContactGeom derivedContact{};
    const unsigned long n = derived->CollideSphere(sphere, 1, &derivedContact, sizeof derivedContact);
    EXPECT_GT(derived->faceTests, 0);
    EXPECT_GT(derived->edgeTests, 0);
    if (n == 1) {
        EXPECT_LT(derivedContact.depth, 0.05 - 1e-4);
    }

    dGeomID box = dCreateBox(nullptr, 1, 1, 1);
    dGeomSetPosition(box, 0.1, 0.49, -0.1);
    dContactGeom boxContacts[4];
    EXPECT_GT(body->CollideBox(box, 4, boxContacts, sizeof boxContacts[0], nullptr), 0u);
    EXPECT_EQ(derived->CollideBox(box, 4, boxContacts, sizeof boxContacts[0], nullptr), 0u);
    EXPECT_GT(derived->boxTests, 0);
    dGeomDestroy(box);
    dGeomDestroy(sphere);
}

} // namespace
