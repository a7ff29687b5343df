#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

class CollisionObjectTest : public testing::Test {
protected:
    CollisionObjectTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }

    std::unique_ptr<Tvc_DX8_CollisionObject> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kCollisionObject), 0, 0);
        EXPECT_NE(channel, nullptr);
        return std::unique_ptr<Tvc_DX8_CollisionObject>(dynamic_cast<Tvc_DX8_CollisionObject*>(channel));
    }

    std::vector<float*> Query(Tvc_DX8_CollisionObject& object, D3DXVECTOR3 low, D3DXVECTOR3 high)
    {
        Tav_List list;
        object.GetPolygonsInBox(&list, &low, &high);
        std::vector<float*> out;
        for (int i = 0; i < list.GetItemCount(); ++i)
            out.push_back(object.GetPolygonVertices(list.GetItem(i)));
        ExpectSameTrianglesInBox(object, low, high, out);
        return out;
    }

    // The triangles-in-box query gives the same triangles in the same order, and with too little room
    // writes only what fits while still telling how many there are.
    static void ExpectSameTrianglesInBox(Tvc_DX8_CollisionObject& object, const D3DXVECTOR3& low,
                                         const D3DXVECTOR3& high, const std::vector<float*>& listed)
    {
        const int count = static_cast<int>(listed.size());
        const float kUntouched = -12345.0f;
        for (const int room : {count, count > 0 ? count - 1 : 0}) {
            std::vector<float> out(9 * static_cast<size_t>(count) + 9, kUntouched);
            ASSERT_EQ(object.GetTrianglesInBox(&low, &high, out.data(), room), count);
            for (int i = 0; i < room; ++i)
                EXPECT_TRUE(std::equal(out.begin() + 9 * i, out.begin() + 9 * i + 9, listed[i])) << "triangle " << i;
            EXPECT_TRUE(std::all_of(out.begin() + 9 * room, out.end(), [&](float f) { return f == kUntouched; }));
        }
        EXPECT_EQ(object.GetTrianglesInBox(&low, nullptr, nullptr, 0), -1);
    }

    std::string TempPath(const char* name) const
    {
        return (std::filesystem::temp_directory_path() / (std::string("vex_co_") + std::to_string(::getpid()) + name))
            .string();
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

} // namespace

TEST_F(CollisionObjectTest, PluginReportsItsTypeAndStartsEmptyWithIdentityMatrix)
{
    auto object = Create();
    ASSERT_TRUE(object);
    const ChannelType* type = host.GetLibraryType(vex::Guid(vex::guids::kCollisionObject));
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, "DX8 CollisionObject");
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(object->GetCollisionMatrix(), identity);
    EXPECT_TRUE(Query(*object, {-100, -100, -100}, {100, 100, 100}).empty());
}

TEST_F(CollisionObjectTest, GridQueryReturnsTheTrianglesUnderTheBoxAsNineFloats)
{
    auto object = Create();
    ASSERT_TRUE(object && object->SetGridSource(20, 20, 20, 20));
    EXPECT_EQ(object->GetTriangleCount(), 800);
    const auto found = Query(*object, {0.25f, -0.5f, 0.25f}, {0.75f, 0.5f, 0.75f});
    ASSERT_EQ(found.size(), 2u);
    for (const float* v : found) {
        ASSERT_NE(v, nullptr);
        for (int k = 0; k < 9; k += 3) {
            EXPECT_GE(v[k], 0);
            EXPECT_LE(v[k], 1);
            EXPECT_EQ(v[k + 1], 0);
        }
    }
}

TEST_F(CollisionObjectTest, ForeignOrStaleHandlesGiveNoVertices)
{
    auto object = Create();
    ASSERT_TRUE(object && object->SetTriangles({0, 0, 0, 0, 0, 1, 1, 0, 0}));
    EXPECT_NE(object->GetPolygonVertices(reinterpret_cast<void*>(1)), nullptr);
    EXPECT_EQ(object->GetPolygonVertices(nullptr), nullptr);
    EXPECT_EQ(object->GetPolygonVertices(reinterpret_cast<void*>(2)), nullptr);
    EXPECT_EQ(object->GetPolygonVertices(reinterpret_cast<void*>(~uintptr_t{0})), nullptr);
}

TEST_F(CollisionObjectTest, MatrixComesFromTheLinkedMatrixChannel)
{
    auto object = Create();
    ASSERT_TRUE(object);
    std::unique_ptr<Tav_Channel> channel(host.CreateChannelByGuid(vex::Guid(vex::guids::kMatrix), 0, 0));
    auto* matrix = dynamic_cast<Tvc_MatrixChannel*>(channel.get());
    ASSERT_NE(matrix, nullptr);
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1, 2, 3);
    matrix->SetMatrix(m);
    ASSERT_GE(object->SetChild(matrix, 0, -1), 0);
    EXPECT_EQ(object->GetCollisionMatrix(), m);
    object->RemoveChild(matrix);
    D3DXMATRIX own;
    D3DXMatrixScaling(&own, 2, 2, 2);
    object->SetOwnMatrix(own);
    EXPECT_EQ(object->GetCollisionMatrix(), own);
}

TEST_F(CollisionObjectTest, ObjFileIsTriangulated)
{
    const std::string path = TempPath("quad.obj");
    {
        std::ofstream out(path);
        out << "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 4 3 2\n";
    }
    auto object = Create();
    ASSERT_TRUE(object && object->SetObjSource(path));
    EXPECT_EQ(object->GetTriangleCount(), 2);
    EXPECT_TRUE(messages.empty());
    std::filesystem::remove(path);
}

TEST_F(CollisionObjectTest, MissingOrBadObjFileGivesOneMessageNamingItAndAnEmptyMesh)
{
    const std::string bad = TempPath("bad.obj");
    {
        std::ofstream out(bad);
        out << "v 0 0 0\nv 1 0 0\nf 1 2 9\n";
    }
    for (const std::string& path : {TempPath("missing.obj"), bad}) {
        auto object = Create();
        ASSERT_TRUE(object);
        object->SetGridSource(4, 4, 4, 4);
        messages.clear();
        EXPECT_FALSE(object->SetObjSource(path));
        ASSERT_EQ(messages.size(), 1u) << path;
        EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];
        EXPECT_EQ(object->GetTriangleCount(), 0);
        EXPECT_TRUE(Query(*object, {-100, -100, -100}, {100, 100, 100}).empty());
    }
    std::filesystem::remove(bad);
}

class CollisionObjectRoundTrip : public CollisionObjectTest,
                                 public testing::WithParamInterface<std::function<void(Tvc_DX8_CollisionObject&)>> {};

TEST_P(CollisionObjectRoundTrip, SaveThenLoadRebuildsTheSameMeshAndMatrix)
{
    auto source = Create();
    auto target = Create();
    ASSERT_TRUE(source && target);
    GetParam()(*source);
    D3DXMATRIX own;
    D3DXMatrixRotationY(&own, 0.5f);
    own._42 = -3;
    source->SetOwnMatrix(own);
    TavFileSaver saver;
    ASSERT_TRUE(source->SaveChannel(saver));
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(target->LoadChannel(loader, nullptr));
    EXPECT_EQ(target->GetMeshSource(), source->GetMeshSource());
    EXPECT_EQ(target->GetOwnMatrix(), own);
    ASSERT_EQ(target->GetTriangleCount(), source->GetTriangleCount());
    const auto a = Query(*source, {-100, -100, -100}, {100, 100, 100});
    const auto b = Query(*target, {-100, -100, -100}, {100, 100, 100});
    std::multiset<std::vector<float>> sa, sb;
    for (const float* v : a)
        sa.insert(std::vector<float>(v, v + 9));
    for (const float* v : b)
        sb.insert(std::vector<float>(v, v + 9));
    EXPECT_EQ(sa, sb);
}

INSTANTIATE_TEST_SUITE_P(Sources, CollisionObjectRoundTrip,
                         testing::Values([](Tvc_DX8_CollisionObject& o) { o.SetGridSource(3, 5, 6, 10); },
                                         [](Tvc_DX8_CollisionObject& o) {
                                             o.SetHeightFieldSource(6, 4, 12, 8, 0.5f, 1.0f, 0.7f);
                                         },
                                         [](Tvc_DX8_CollisionObject& o) {
                                             o.SetTriangles({0, 0, 0, 0, 1, 1, 1, 0, 0, 5, 5, 5, 6, 5, 5, 5, 6, 5});
                                         },
                                         [](Tvc_DX8_CollisionObject&) {}));

namespace {

std::vector<uint8_t> Section(const char* tag, const std::vector<uint8_t>& payload)
{
    TavFileSaver saver;
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(payload.size()));
    saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
    return saver.TakeBytes();
}

} // namespace

class CollisionObjectBadChunk : public CollisionObjectTest,
                                public testing::WithParamInterface<std::pair<const char*, std::vector<uint8_t>>> {};

TEST_P(CollisionObjectBadChunk, IsRefusedWithAMessageAndNoCrash)
{
    auto object = Create();
    ASSERT_TRUE(object);
    TavFileLoader loader(Section(GetParam().first, GetParam().second));
    messages.clear();
    EXPECT_FALSE(object->LoadChannel(loader, nullptr));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(object->GetTriangleCount(), 0);
}

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }
std::vector<uint8_t> TriangleCountClaim(uint32_t count, size_t floats)
{
    vex::ByteWriter w;
    w.U8(1);
    w.U32(count);
    for (size_t i = 0; i < floats; ++i)
        w.F32(0);
    return w.Take();
}
std::vector<uint8_t> PathClaim(uint32_t length, size_t bytes)
{
    vex::ByteWriter w;
    w.U8(4);
    w.U32(length);
    w.Zeros(bytes);
    return w.Take();
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Chunks, CollisionObjectBadChunk,
                         testing::Values(std::make_pair("COMS", Bytes({})), std::make_pair("COMS", Bytes({9})),
                                         std::make_pair("COMS", Bytes({2, 1, 0, 0, 0})),
                                         std::make_pair("COMS", TriangleCountClaim(3, 18)),
                                         std::make_pair("COMS", TriangleCountClaim(0xFFFFFFFFu, 9)),
                                         std::make_pair("COMS", PathClaim(1000, 10)),
                                         std::make_pair("COMX", Bytes({0, 0, 0x80, 0x3F}))));

TEST_F(CollisionObjectTest, LoadedGridWithUnusableParametersIsReportedAndFailsTheLoad)
{
    auto object = Create();
    ASSERT_TRUE(object);
    vex::ByteWriter w;
    w.U8(2);
    w.I32(-5);
    w.I32(4);
    for (int i = 0; i < 5; ++i)
        w.F32(1);
    TavFileLoader loader(Section("COMS", w.Take()));
    messages.clear();
    EXPECT_FALSE(object->LoadChannel(loader, nullptr));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(object->GetTriangleCount(), 0);
}
