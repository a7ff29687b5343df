// Whole scenes through the host: body channels falling onto collision-object meshes, stepped by the world
// channel on simulated time. They check that contacts come back the right way round (a wrong normal or a
// swapped pair makes bodies sink through or stick to the mesh) and that bodies come to rest on it.
#include "body/ODE_GeometryItem.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kFramesPerSecond = 60;

class MeshScene : public testing::Test {
protected:
    MeshScene()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
        vex::SetManualTickCount(0);
        std::string error;
        world = host.AddChannel(vex::Guid(vex::guids::kWorld), "world", &error);
        EXPECT_NE(world, nullptr) << error;
    }
    ~MeshScene() override { vex::UseSystemTickCount(); }

    Tvc_DX8_CollisionObject* AddMesh(Tvc_ODE_BodyCollision* floorBody, const std::string& name)
    {
        std::string error;
        auto* object = dynamic_cast<Tvc_DX8_CollisionObject*>(
            host.AddChannel(vex::Guid(vex::guids::kCollisionObject), name, &error));
        EXPECT_NE(object, nullptr) << error;
        if (object) {
            EXPECT_TRUE(host.Link(floorBody, object, 2, &error)) << error;
        }
        return object;
    }

    /// A static body whose only item is a mesh.
    Tvc_ODE_BodyCollision* AddStaticMeshBody(const std::string& name)
    {
        Tvc_ODE_BodyCollision* body = AddBody(name);
        if (body)
            body->GetGeometryItem(0)->kind = kShapeMesh;
        return body;
    }

    Tvc_ODE_BodyCollision* AddBody(const std::string& name)
    {
        std::string error;
        auto* body = dynamic_cast<Tvc_ODE_BodyCollision*>(host.AddChannel(vex::Guid(vex::guids::kBody), name, &error));
        EXPECT_NE(body, nullptr) << error;
        return body;
    }

    /// A dynamic body of one box (edge lengths 1) or one sphere (radius), starting at the matrix m.
    Tvc_ODE_BodyCollision* AddFallingBody(const std::string& name, bool sphere, float radius, const D3DXMATRIX& m)
    {
        Tvc_ODE_BodyCollision* body = AddBody(name);
        if (!body)
            return nullptr;
        ODE_GeometryItem* item = body->GetGeometryItem(0);
        if (sphere) {
            item->kind = kShapeSphere;
            item->radius = radius;
        }
        std::string error;
        auto* start =
            dynamic_cast<Tvc_MatrixChannel*>(host.AddChannel(vex::Guid(vex::guids::kMatrix), name + " start", &error));
        EXPECT_NE(start, nullptr) << error;
        if (start) {
            start->SetMatrix(m);
            EXPECT_TRUE(host.Link(body, start, 0, &error)) << error;
        }
        return body;
    }

    static D3DXMATRIX At(float x, float y, float z, float yaw = 0, float pitch = 0, float roll = 0)
    {
        D3DXMATRIX m;
        D3DXMatrixRotationYawPitchRoll(&m, yaw, pitch, roll);
        m._41 = x;
        m._42 = y;
        m._43 = z;
        return m;
    }

    void Frame()
    {
        vex::AdvanceManualTickCount(1000 / kFramesPerSecond);
        host.RunFrame();
    }

    static D3DXVECTOR3 Position(Tvc_ODE_BodyCollision* body)
    {
        const dBodyID id = body->GetBodyID();
        if (!id)
            return {NAN, NAN, NAN};
        const dReal* p = dBodyGetPosition(id);
        return {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])};
    }

    /// The eight corners of a body's unit box in world space.
    static std::vector<D3DXVECTOR3> Corners(Tvc_ODE_BodyCollision* body)
    {
        std::vector<D3DXVECTOR3> corners;
        const dBodyID id = body->GetBodyID();
        if (!id)
            return corners;
        for (int i = 0; i < 8; ++i) {
            dVector3 world;
            dBodyGetRelPointPos(id, (i & 1) ? 0.5 : -0.5, (i & 2) ? 0.5 : -0.5, (i & 4) ? 0.5 : -0.5, world);
            corners.push_back(
                {static_cast<float>(world[0]), static_cast<float>(world[1]), static_cast<float>(world[2])});
        }
        return corners;
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    Tav_Channel* world = nullptr;
    std::vector<std::string> messages;
};

struct RestCase {
    const char* name;
    bool sphere;
};

class MeshSceneRest : public MeshScene, public testing::WithParamInterface<RestCase> {};

// A unit box and a sphere of radius 0.5 dropped on a 20 x 20 grid come to rest with their centre 0.5 above it.
TEST_P(MeshSceneRest, BodyDroppedOnAGridFloorComesToRestOnIt)
{
    Tvc_ODE_BodyCollision* floorBody = AddStaticMeshBody("floor");
    ASSERT_NE(floorBody, nullptr);
    Tvc_DX8_CollisionObject* mesh = AddMesh(floorBody, "floor mesh");
    ASSERT_NE(mesh, nullptr);
    ASSERT_TRUE(mesh->SetGridSource(20, 20, 20, 20));
    Tvc_ODE_BodyCollision* body = AddFallingBody("faller", GetParam().sphere, 0.5f, At(0.3f, 2.0f, -0.2f));
    ASSERT_NE(body, nullptr);

    const int frames = 5 * kFramesPerSecond;
    D3DXVECTOR3 settled;
    float largestMove = 0;
    float lowest = INFINITY;
    for (int frame = 0; frame < frames; ++frame) {
        Frame();
        const D3DXVECTOR3 p = Position(body);
        ASSERT_TRUE(std::isfinite(p.y)) << "frame " << frame;
        lowest = std::min(lowest, p.y);
        if (frame == frames - kFramesPerSecond)
            settled = p;
        if (frame > frames - kFramesPerSecond) {
            const D3DXVECTOR3 move = p - settled;
            largestMove = std::max(largestMove, D3DXVec3Length(&move));
        }
    }
    const D3DXVECTOR3 final = Position(body);
    EXPECT_NEAR(final.y, 0.5f, 0.02f);
    EXPECT_LT(largestMove, 0.001f);
    EXPECT_GT(lowest, 0.4f);
    EXPECT_TRUE(messages.empty()) << messages.front();
}

INSTANTIATE_TEST_SUITE_P(Shapes, MeshSceneRest, testing::Values(RestCase{"Box", false}, RestCase{"Sphere", true}),
                         [](const testing::TestParamInfo<RestCase>& info) { return info.param.name; });

TEST_F(MeshScene, SphereOnA30DegreeSlopeRollsDownAndStaysOnTheSurface)
{
    Tvc_ODE_BodyCollision* slopeBody = AddStaticMeshBody("slope");
    ASSERT_NE(slopeBody, nullptr);
    Tvc_DX8_CollisionObject* mesh = AddMesh(slopeBody, "slope mesh");
    ASSERT_NE(mesh, nullptr);
    ASSERT_TRUE(mesh->SetGridSource(40, 10, 40, 10));
    D3DXMATRIX tilt;
    D3DXMatrixRotationZ(&tilt, 30.0f * 3.14159265f / 180.0f);
    mesh->SetOwnMatrix(tilt);
    D3DXVECTOR3 up(0, 1, 0), normal;
    D3DXVec3TransformNormal(&normal, &up, &tilt);

    const float radius = 0.5f;
    // Just above the surface, over the middle of the slope.
    Tvc_ODE_BodyCollision* ball = AddFallingBody("ball", true, radius, At(normal.x * 0.6f, normal.y * 0.6f, 0));
    ASSERT_NE(ball, nullptr);

    D3DXVECTOR3 start;
    float deepest = INFINITY;
    int onMesh = 0;
    for (int frame = 0; frame < 3 * kFramesPerSecond; ++frame) {
        Frame();
        const D3DXVECTOR3 p = Position(ball);
        ASSERT_TRUE(std::isfinite(p.x)) << "frame " << frame;
        if (frame == 0)
            start = p;
        // Along the slope, inside the mesh's 20 units either way of the middle.
        D3DXVECTOR3 along;
        D3DXVECTOR3 x(1, 0, 0);
        D3DXVec3TransformNormal(&along, &x, &tilt);
        if (std::fabs(D3DXVec3Dot(&p, &along)) > 18)
            break;
        ++onMesh;
        deepest = std::min(deepest, D3DXVec3Dot(&p, &normal) - radius);
    }
    const D3DXVECTOR3 end = Position(ball);
    EXPECT_GT(onMesh, kFramesPerSecond);
    EXPECT_GT(deepest, -0.05f);
    // It rolled downhill by a good distance.
    EXPECT_LT(end.y, start.y - 2.0f);
}

TEST_F(MeshScene, BoxDroppedOnTheEdgeBetweenTwoTrianglesStaysOnTop)
{
    Tvc_ODE_BodyCollision* floorBody = AddStaticMeshBody("floor");
    ASSERT_NE(floorBody, nullptr);
    Tvc_DX8_CollisionObject* mesh = AddMesh(floorBody, "floor mesh");
    ASSERT_NE(mesh, nullptr);
    // One 6 x 6 cell: two triangles meeting along the diagonal from (-3, -3) to (3, 3) in x, z.
    ASSERT_TRUE(mesh->SetGridSource(1, 1, 6, 6));
    const float quarter = 3.14159265f / 4;
    Tvc_ODE_BodyCollision* box = AddFallingBody("box", false, 0, At(0, 1.5f, 0, quarter));
    ASSERT_NE(box, nullptr);
    for (int frame = 0; frame < 3 * kFramesPerSecond; ++frame) {
        Frame();
        for (const D3DXVECTOR3& corner : Corners(box))
            ASSERT_GT(corner.y, -0.05f) << "frame " << frame;
    }
    EXPECT_NEAR(Position(box).y, 0.5f, 0.02f);
}

TEST_F(MeshScene, TenBoxesDroppedOnABumpyHeightFieldAllEndAboveIt)
{
    Tvc_ODE_BodyCollision* groundBody = AddStaticMeshBody("ground");
    ASSERT_NE(groundBody, nullptr);
    Tvc_DX8_CollisionObject* mesh = AddMesh(groundBody, "ground mesh");
    ASSERT_NE(mesh, nullptr);
    const float amplitude = 0.4f, fx = 0.8f, fz = 0.6f;
    ASSERT_TRUE(mesh->SetHeightFieldSource(60, 60, 30, 30, amplitude, fx, fz));
    auto surface = [&](float x, float z) { return amplitude * std::sin(x * fx) * std::cos(z * fz); };

    std::vector<Tvc_ODE_BodyCollision*> boxes;
    for (int i = 0; i < 10; ++i) {
        const float x = -8.0f + 1.7f * static_cast<float>(i);
        const float z = 3.0f * std::sin(static_cast<float>(i));
        boxes.push_back(AddFallingBody(
            "box " + std::to_string(i), false, 0,
            At(x, 1.5f + 0.3f * static_cast<float>(i % 3), z, 0.3f * static_cast<float>(i), 0.2f, 0.1f)));
        ASSERT_NE(boxes.back(), nullptr);
    }
    for (int frame = 0; frame < 4 * kFramesPerSecond; ++frame)
        Frame();
    for (size_t i = 0; i < boxes.size(); ++i) {
        for (const D3DXVECTOR3& corner : Corners(boxes[i])) {
            ASSERT_TRUE(std::isfinite(corner.y));
            // The triangles lie within about 0.01 of the formula at this grid spacing (0.5).
            EXPECT_GT(corner.y, surface(corner.x, corner.z) - 0.05f) << "box " << i;
        }
        const D3DXVECTOR3 p = Position(boxes[i]);
        EXPECT_GT(p.y, surface(p.x, p.z)) << "box " << i;
    }
}

} // namespace
