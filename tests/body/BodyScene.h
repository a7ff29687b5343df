#pragma once
// A host with a world channel and helpers to build bodies with their start matrices and enable values.
// The clock is simulated: frame n of the scene sees GetTickCount() = n * 1000 / 60.

#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"
#include "siblings/world/Tvc_ODE_World.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vex::test {

inline D3DXMATRIX Translation(float x, float y, float z)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, x, y, z);
    return m;
}

inline D3DXMATRIX IdentityMatrix()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

inline ODE_GeometryItem MakeItem(uint8_t kind)
{
    ODE_GeometryItem item;
    item.kind = kind;
    return item;
}

class BodyScene {
public:
    explicit BodyScene(bool withWorld = true) : host({VEX_PLUGIN_DIR})
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
        vex::SetManualTickCount(0);
        if (withWorld)
            world = static_cast<Tvc_ODE_World*>(Add(guids::kWorld, "world"));
    }
    ~BodyScene() { vex::UseSystemTickCount(); }
    BodyScene(const BodyScene&) = delete;
    BodyScene& operator=(const BodyScene&) = delete;

    Tav_Channel* Add(const char* guid, const std::string& name)
    {
        std::string error;
        Tav_Channel* channel = host.AddChannel(Guid(guid), name, &error);
        EXPECT_NE(channel, nullptr) << error;
        return channel;
    }

    Tvc_ODE_BodyCollision* AddBody(const std::string& name)
    {
        return static_cast<Tvc_ODE_BodyCollision*>(Add(guids::kBody, name));
    }

    /// A body whose only item is `item`, started at `start`.
    Tvc_ODE_BodyCollision* AddBody(const std::string& name, const ODE_GeometryItem& item, const D3DXMATRIX& start)
    {
        Tvc_ODE_BodyCollision* body = AddBody(name);
        body->SetGeometryItem(item, 0);
        AddStart(body, start);
        return body;
    }

    Tvc_MatrixChannel* AddStart(Tvc_ODE_BodyCollision* body, const D3DXMATRIX& m)
    {
        auto* start = static_cast<Tvc_MatrixChannel*>(Add(guids::kMatrix, host.GetChannelName(body) + " start"));
        start->SetMatrix(m);
        Link(body, start, 0);
        return start;
    }

    Tav_ValueInterface* AddEnable(Tvc_ODE_BodyCollision* body, float value)
    {
        auto* enable = static_cast<Tav_ValueInterface*>(Add(guids::kValue, host.GetChannelName(body) + " enable"));
        enable->SetReal(value);
        Link(body, enable, 1);
        return enable;
    }

    void Link(Tav_Channel* parent, Tav_Channel* child, int position)
    {
        std::string error;
        EXPECT_TRUE(host.Link(parent, child, position, &error)) << error;
    }

    /// Host frames with the simulated clock advanced before each.
    void RunFrames(int count)
    {
        for (int i = 0; i < count; ++i) {
            ++frame;
            vex::SetManualTickCount(static_cast<DWORD>(frame * 1000 / 60));
            host.RunFrame();
        }
    }

    Vexcore host;
    Tvc_ODE_World* world = nullptr;
    std::vector<std::string> messages;
    unsigned long frame = 0;
};

} // namespace vex::test
