#include "fuzz/FuzzEntries.h"

#include "app/InputError.h"
#include "app/Scene.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_DX8_Texture.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/collisionobject/MeshSources.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace vex::fuzz {

// In FuzzMeshObj.cpp: the mesh stand-in's and the collision object's headers cannot share a unit.
bool ReadObjMeshFile(const std::string& path, std::string* problem);

namespace {

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

Vexcore* MakeQuietHost()
{
    auto* host = new Vexcore({VEX_PLUGIN_DIR});
    host->SetMessageSink([](const std::string&) {});
    return host;
}

/// One host for the process (never deleted: it keeps every library loaded, so the hosts made per input
/// find them loaded already). A world, a device and a matrix channel sit in its graph.
Vexcore& SharedHost()
{
    static Vexcore* host = [] {
        Vexcore* h = MakeQuietHost();
        std::string error;
        for (const char* type : {guids::kWorld, guids::kDevice})
            if (!h->AddChannel(Guid(type), type, &error))
                Fail("cannot create a channel of type " + std::string(type) + ": " + error);
        for (const char* type :
             {guids::kBody, guids::kTextureLighting, guids::kTexture, guids::kCollisionObject, guids::kObject3D,
              guids::kSurface, guids::kMesh, guids::kOctTree, guids::kLight, guids::kValue, guids::kDampingFactor,
              guids::kMatrix, guids::kProgress, guids::kInput, guids::kDeviceUse})
            if (!h->LoadLibrary(Guid(type), &error))
                Fail("cannot load the library of " + std::string(type) + ": " + error);
        return h;
    }();
    return *host;
}

std::vector<uint8_t> Bytes(const uint8_t* data, size_t size) { return std::vector<uint8_t>(data, data + size); }

/// A file name for this process's scratch files ("scene.vxp", "input.obj").
std::string ScratchPath(const char* name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/vex-fuzz-" + std::to_string(::getpid()) + "-" + name;
}

/// What the scene reader accepts must run, and the channels must accept it again when the project is
/// loaded: their own range checks agree with the reader's.
void CheckAcceptedSceneRunsAndReloads(Vexcore& host)
{
    host.RunFrame();
    const std::string path = ScratchPath("scene.vxp");
    std::string error;
    if (!host.SaveProject(path, &error))
        Fail("a scene the reader accepted cannot be saved: " + error);
    std::unique_ptr<Vexcore> fresh(MakeQuietHost());
    if (!fresh->LoadProject(path, &error))
        Fail("a scene the reader accepted saves a project the channels refuse: " + error);
    std::remove(path.c_str());
}

/// Saves a channel and checks that what it wrote is a well-formed section.
void SaveAndCheck(Tav_Channel* channel, const char* what)
{
    TavFileSaver saver;
    if (!channel->SaveChannel(saver))
        return;
    std::vector<TavFileLoader::ChunkInfo> chunks;
    std::string error;
    if (!TavFileLoader::ParseChunks(saver.GetBytes(), chunks, &error))
        Fail(std::string(what) + " saved a malformed section: " + error);
}

} // namespace

void LoadProject(const uint8_t* data, size_t size)
{
    static Vexcore* host = [] {
        SharedHost();
        return MakeQuietHost();
    }();
    std::string error;
    if (host->LoadProjectBytes(Bytes(data, size), &error)) {
        if (!host->SaveProject("/dev/null", &error) && error.find("could not save") == std::string::npos)
            Fail("a loaded project does not save: " + error);
    } else if (error.empty()) {
        Fail("project refused without a message");
    }
}

void LoadBodySection(const uint8_t* data, size_t size)
{
    Vexcore& host = SharedHost();
    std::string error;
    Tav_Channel* body = host.AddChannel(Guid(guids::kBody), "body", &error);
    if (!body)
        Fail("cannot create a body channel: " + error);
    TavFileLoader loader(Bytes(data, size));
    if (loader.IsValid() && body->LoadChannel(loader, nullptr)) {
        SaveAndCheck(body, "the body channel");
        host.RunFrame();
    }
    host.RemoveChannel(body);
}

void LoadTextureLightingSection(const uint8_t* data, size_t size)
{
    Vexcore& host = SharedHost();
    std::unique_ptr<Tav_Channel> channel(host.CreateChannelByGuid(Guid(guids::kTextureLighting), 0, 0));
    if (!channel)
        Fail("cannot create a texture-lighting channel");
    TavFileLoader loader(Bytes(data, size));
    if (loader.IsValid() && channel->LoadChannel(loader, nullptr))
        SaveAndCheck(channel.get(), "the texture-lighting channel");
}

void DecodeTextureBitmap(const uint8_t* data, size_t size)
{
    Vexcore& host = SharedHost();
    std::unique_ptr<Tav_Channel> channel(host.CreateChannelByGuid(Guid(guids::kTexture), 0, 0));
    if (!channel)
        Fail("cannot create a texture channel");
    auto* texture = static_cast<Tvc_DX8_Texture*>(channel.get());
    const int bytes = static_cast<int>(size);
    texture->LoadTextureFromMemory(data, bytes);
    texture->GetTextureDescription(0);
    if (texture->LoadTextureFromMemoryAndCopyBuffer(data, bytes)) {
        texture->RestoreTexture();
        const D3DSURFACE_DESC desc = texture->GetTextureDescription(0);
        if (texture->GetIfValidTexture() && (desc.Width == 0 || desc.Height == 0))
            Fail("a valid texture without a size");
        SaveAndCheck(texture, "the texture channel");
    }
}

void ParseAndBuildScene(const uint8_t* data, size_t size)
{
    Vexcore& shared = SharedHost();
    const std::string text(reinterpret_cast<const char*>(data), size);
    app::Scene scene;
    try {
        scene = app::ParseScene(text, "fuzz.json");
    } catch (const app::InputError&) {
        return;
    }
    std::unique_ptr<Vexcore> host(MakeQuietHost());
    for (const std::string& folder : shared.GetPluginFolders())
        host->AddPluginFolder(folder);
    try {
        app::BuiltScene built = app::BuildScene(*host, scene, {});
        (void)built;
    } catch (const app::InputError&) {
        return;
    } catch (const app::RunError&) {
        return;
    }
    CheckAcceptedSceneRunsAndReloads(*host);
}

void ReadObjMesh(const uint8_t* data, size_t size)
{
    static const std::string path = ScratchPath("input.obj");
    std::string error;
    if (!TavFileSaver::WriteFileAtomically(path, Bytes(data, size), &error))
        Fail("cannot write the OBJ input: " + error);
    std::vector<float> triangles;
    std::string objError;
    if (LoadObjTriangles(path, triangles, objError)) {
        if (triangles.empty() || triangles.size() % 9 != 0)
            Fail("OBJ triangles that are not whole triangles");
    } else if (objError.empty()) {
        Fail("OBJ refused without a message");
    }
    std::string meshError;
    if (!ReadObjMeshFile(path, &meshError))
        Fail(meshError);
    ::unlink(path.c_str());
}

const std::vector<Target>& Targets()
{
    static const std::vector<Target> targets = {
        {"project", LoadProject},
        {"body_section", LoadBodySection},
        {"texlight_section", LoadTextureLightingSection},
        {"texture_bitmap", DecodeTextureBitmap},
        {"scene", ParseAndBuildScene},
        {"obj", ReadObjMesh},
    };
    return targets;
}

} // namespace vex::fuzz
