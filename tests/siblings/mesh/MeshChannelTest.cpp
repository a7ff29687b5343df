#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/mesh/Tvc_DX8_Mesh.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using vex::test::VirtualSlot;

class MeshChannelTest : public ::testing::Test {
protected:
    MeshChannelTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }
    ~MeshChannelTest() override
    {
        for (const std::string& path : files)
            std::remove(path.c_str());
    }

    std::unique_ptr<Tvc_DX8_Mesh> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kMesh), 0, 0);
        EXPECT_NE(dynamic_cast<Tvc_DX8_Mesh*>(channel), nullptr);
        return std::unique_ptr<Tvc_DX8_Mesh>(dynamic_cast<Tvc_DX8_Mesh*>(channel));
    }

    std::string WriteFile(const std::string& text)
    {
        char path[] = "/tmp/vex_mesh_XXXXXX.obj";
        const int fd = mkstemps(path, 4);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
        files.push_back(path);
        return path;
    }

    /// Saves one mesh and loads the section into a new one.
    std::unique_ptr<Tvc_DX8_Mesh> RoundTrip(Tvc_DX8_Mesh& mesh)
    {
        TavFileSaver saver;
        EXPECT_TRUE(mesh.SaveChannel(saver));
        auto loaded = Create();
        TavFileLoader loader(saver.TakeBytes());
        EXPECT_TRUE(loaded->LoadChannel(loader, nullptr));
        return loaded;
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::vector<std::string> messages;
    std::vector<std::string> files;
};

void ExpectSameData(const vex::MeshData& a, const vex::MeshData& b)
{
    ASSERT_EQ(a.positions.size(), b.positions.size());
    ASSERT_EQ(a.indices, b.indices);
    ASSERT_EQ(a.texCoordSets.size(), b.texCoordSets.size());
    for (size_t i = 0; i < a.positions.size(); ++i) {
        ASSERT_EQ(a.positions[i], b.positions[i]);
        ASSERT_EQ(a.normals[i], b.normals[i]);
        for (size_t s = 0; s < a.texCoordSets.size(); ++s) {
            ASSERT_EQ(a.texCoordSets[s][i].x, b.texCoordSets[s][i].x);
            ASSERT_EQ(a.texCoordSets[s][i].y, b.texCoordSets[s][i].y);
        }
    }
}

TEST_F(MeshChannelTest, LoadsByGuidAsDX8MeshOfTriangleLists)
{
    auto mesh = Create();
    ASSERT_TRUE(mesh);
    EXPECT_STREQ(mesh->GetChannelType().name, "DX8 Mesh");
    EXPECT_EQ(mesh->GetChannelType().typeGuid, vex::Guid(vex::guids::kMesh));
    EXPECT_EQ(mesh->GetPrimitiveType(), 4);
    EXPECT_EQ(mesh->GetIndexCount(), 0);
}

TEST(MeshSlots, OperationsFollowTavChannelInOrder)
{
    using M = Tav_MeshInterface;
    const int slots[] = {VirtualSlot(&M::GetIndexCount),     VirtualSlot(&M::GetVertexIndex),
                         VirtualSlot(&M::GetVertexPosition), VirtualSlot(&M::GetVertexNormal),
                         VirtualSlot(&M::GetVertexTexCoord), VirtualSlot(&M::GetPrimitiveType),
                         VirtualSlot(&M::HasTexCoordSet)};
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i], vex::test::kFirstDerivedSlot + static_cast<int>(i));
}

TEST_F(MeshChannelTest, AccessorsReturnTheGeneratedDataAndAreSafeOutOfRange)
{
    auto mesh = Create();
    ASSERT_TRUE(mesh->SetBox(2, 4, 6));
    const vex::MeshData& data = mesh->GetData();
    ASSERT_EQ(mesh->GetIndexCount(), 36);
    D3DXVECTOR3 scratch;
    float uv[2];
    for (int i = 0; i < mesh->GetIndexCount(); ++i) {
        const int v = mesh->GetVertexIndex(i);
        ASSERT_EQ(v, data.indices[static_cast<size_t>(i)]);
        EXPECT_EQ(*mesh->GetVertexPosition(&scratch, v), data.positions[static_cast<size_t>(v)]);
        EXPECT_EQ(*mesh->GetVertexNormal(&scratch, v), data.normals[static_cast<size_t>(v)]);
        EXPECT_EQ(mesh->GetVertexTexCoord(uv, 1, v)[0], data.texCoordSets[1][static_cast<size_t>(v)].x);
    }
    EXPECT_TRUE(mesh->HasTexCoordSet(0));
    EXPECT_TRUE(mesh->HasTexCoordSet(1));
    EXPECT_FALSE(mesh->HasTexCoordSet(2));
    EXPECT_FALSE(mesh->HasTexCoordSet(-1));
    EXPECT_EQ(mesh->GetVertexIndex(-1), 0);
    EXPECT_EQ(mesh->GetVertexIndex(36), 0);
    EXPECT_EQ(*mesh->GetVertexPosition(&scratch, 24), D3DXVECTOR3());
    EXPECT_EQ(*mesh->GetVertexNormal(&scratch, -5), D3DXVECTOR3());
    uv[0] = uv[1] = 7;
    EXPECT_EQ(mesh->GetVertexTexCoord(uv, 5, 0)[0], 0.0f);
}

struct SourceCase {
    const char* name;
    std::function<bool(Tvc_DX8_Mesh&)> make;
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class MeshSourceRoundTrip : public MeshChannelTest, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(MeshSourceRoundTrip, LoadRebuildsTheSameMesh)
{
    auto mesh = Create();
    ASSERT_TRUE(GetParam().make(*mesh));
    auto loaded = RoundTrip(*mesh);
    EXPECT_EQ(loaded->GetSource(), mesh->GetSource());
    ExpectSameData(mesh->GetData(), loaded->GetData());
    EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MeshSourceRoundTrip,
    ::testing::Values(SourceCase{"Grid", [](Tvc_DX8_Mesh& m) { return m.SetGrid(5, 2, 3.5f, 1.25f); }},
                      SourceCase{"Box", [](Tvc_DX8_Mesh& m) { return m.SetBox(1, 2, 3); }},
                      SourceCase{"Sphere", [](Tvc_DX8_Mesh& m) { return m.SetSphere(1.5f, 9, 7); }},
                      SourceCase{"Data",
                                 [](Tvc_DX8_Mesh& m) {
                                     vex::MeshData d;
                                     d.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
                                     d.normals.assign(4, D3DXVECTOR3(0, 0, 1));
                                     d.texCoordSets = {{{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
                                     d.indices = {0, 1, 2, 2, 1, 3};
                                     return m.SetData(d);
                                 }},
                      SourceCase{"Empty", [](Tvc_DX8_Mesh&) { return true; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeshChannelTest, ObjFileIsTriangulatedWithFlippedUvAndComputedNormals)
{
    // A unit square as one quad with uv, no normals, facing +Z.
    const std::string path = WriteFile("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                                       "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                       "f 1/1 2/2 3/3 4/4\n");
    auto mesh = Create();
    ASSERT_TRUE(mesh->LoadObj(path));
    const vex::MeshData& d = mesh->GetData();
    EXPECT_EQ(d.indices.size(), 6u);
    EXPECT_EQ(d.positions.size(), 4u);
    ASSERT_EQ(d.texCoordSets.size(), 1u);
    for (size_t i = 0; i < d.positions.size(); ++i) {
        EXPECT_EQ(d.normals[i], D3DXVECTOR3(0, 0, 1));
        EXPECT_EQ(d.texCoordSets[0][i].y, 1.0f - d.positions[i].y); // v grows downwards
    }
    auto loaded = RoundTrip(*mesh);
    EXPECT_EQ(loaded->GetSource(), Tvc_DX8_Mesh::Source::kObj);
    ExpectSameData(d, loaded->GetData());
}

TEST_F(MeshChannelTest, ObjFileNormalsAreKeptAndNormalised)
{
    const std::string path = WriteFile("v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 2\nf 1//1 2//1 3//1\n");
    auto mesh = Create();
    ASSERT_TRUE(mesh->LoadObj(path));
    EXPECT_EQ(mesh->GetData().normals[2], D3DXVECTOR3(0, 0, 1));
    EXPECT_FALSE(mesh->HasTexCoordSet(0));
}

struct BadObj {
    const char* name;
    const char* text;
};

void PrintTo(const BadObj& c, std::ostream* os) { *os << c.name; }

class BadObjFile : public MeshChannelTest, public ::testing::WithParamInterface<BadObj> {};

TEST_P(BadObjFile, GivesOneMessageNamingTheFileAndAnEmptyMesh)
{
    const std::string path = GetParam().text ? WriteFile(GetParam().text) : "/nonexistent/missing.obj";
    auto mesh = Create();
    ASSERT_TRUE(mesh->SetBox(1, 1, 1));
    EXPECT_FALSE(mesh->LoadObj(path));
    EXPECT_EQ(mesh->GetIndexCount(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(path), std::string::npos) << messages[0];
}

INSTANTIATE_TEST_SUITE_P(Files, BadObjFile,
                         ::testing::Values(BadObj{"Missing", nullptr}, BadObj{"NoFaces", "v 0 0 0\nv 1 0 0\n"},
                                           BadObj{"VertexOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"},
                                           BadObj{"UvOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/5 3/1\n"},
                                           BadObj{"NormalOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//1 2//1 3//1\n"},
                                           BadObj{"Infinite", "v 0 0 0\nv 1e999 0 0\nv 0 1 0\nf 1 2 3\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<uint8_t> Section(const std::vector<std::pair<const char*, std::vector<uint8_t>>>& chunks)
{
    TavFileSaver saver;
    for (const auto& [tag, payload] : chunks) {
        saver.SaveTag(tag);
        saver.SaveBlockSize(static_cast<int>(payload.size()));
        saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
    }
    return saver.TakeBytes();
}

std::vector<uint8_t> Ints(std::initializer_list<uint32_t> values)
{
    vex::ByteWriter w;
    for (uint32_t v : values)
        w.U32(v);
    return w.Take();
}

struct BadSection {
    const char* name;
    std::vector<std::pair<const char*, std::vector<uint8_t>>> chunks;
};

void PrintTo(const BadSection& c, std::ostream* os) { *os << c.name; }

class BadMeshSection : public MeshChannelTest, public ::testing::WithParamInterface<BadSection> {};

TEST_P(BadMeshSection, FailsTheLoadWithAMessage)
{
    auto mesh = Create();
    ASSERT_TRUE(mesh->SetGrid(2, 2, 1, 1));
    TavFileLoader loader(Section(GetParam().chunks));
    EXPECT_FALSE(mesh->LoadChannel(loader, nullptr));
    EXPECT_EQ(mesh->GetIndexCount(), 0);
    EXPECT_EQ(messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, BadMeshSection,
    ::testing::Values(
        BadSection{"UnknownSource", {{"MSKD", Ints({77})}}}, BadSection{"ShortSourceChunk", {{"MSKD", {1, 0}}}},
        BadSection{"GridWithoutParameters", {{"MSKD", Ints({1})}}},
        BadSection{"GridTooLarge", {{"MSKD", Ints({1})}, {"MSGR", Ints({100000, 100000, 0x3F800000, 0x3F800000})}}},
        BadSection{"SphereCutShort", {{"MSKD", Ints({3})}, {"MSSP", Ints({0x3F800000, 8})}}},
        BadSection{"DataCountsAboveItsBytes", {{"MSKD", Ints({5})}, {"MSDT", Ints({1000000, 1, 3})}}},
        BadSection{"DataIndexOutOfRange", {{"MSKD", Ints({5})}, {"MSDT", Ints({1, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 5})}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MeshChannelTest, SectionWithoutSourceKeepsTheMesh)
{
    auto mesh = Create();
    ASSERT_TRUE(mesh->SetSphere(1, 5, 4));
    const int count = mesh->GetIndexCount();
    TavFileLoader loader(Section({}));
    EXPECT_TRUE(mesh->LoadChannel(loader, nullptr));
    EXPECT_EQ(mesh->GetIndexCount(), count);
}

TEST_F(MeshChannelTest, RefusedParametersKeepThePreviousMesh)
{
    auto mesh = Create();
    ASSERT_TRUE(mesh->SetGrid(2, 2, 1, 1));
    EXPECT_FALSE(mesh->SetSphere(-1, 8, 8));
    EXPECT_FALSE(mesh->SetBox(0, 1, 1));
    vex::MeshData bad;
    bad.positions = {{0, 0, 0}};
    bad.normals = {{0, 1, 0}};
    bad.indices = {0, 0};
    EXPECT_FALSE(mesh->SetData(bad));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[0].find("SetSphere: refused radius -1"), std::string::npos) << messages[0];
    EXPECT_NE(messages[1].find("SetBox"), std::string::npos) << messages[1];
    EXPECT_NE(messages[2].find("multiple of 3"), std::string::npos) << messages[2];
    EXPECT_EQ(mesh->GetSource(), Tvc_DX8_Mesh::Source::kGrid);
    EXPECT_EQ(mesh->GetIndexCount(), 24);
}

} // namespace
