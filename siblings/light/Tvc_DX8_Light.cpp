#include "siblings/light/Tvc_DX8_Light.h"

#include "common/PluginEntry.h"
#include "common/SceneLimits.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

/// Type, three colours of four floats, two vectors of three, then seven floats.
constexpr int kLightBytes = 4 + 3 * 16 + 2 * 12 + 7 * 4;

float* Scalars(D3DLIGHT8& l, int i)
{
    float* all[] = {&l.Range, &l.Falloff, &l.Attenuation0, &l.Attenuation1, &l.Attenuation2, &l.Theta, &l.Phi};
    return all[i];
}

// Every number of the description: a light at a position that is not a number would turn every sample's
// lighting and shadow segment into NaN.
/// Finite, and within what a scene in metres can mean (the runner's scene reader checks the same ranges).
bool IsWithinLimits(const D3DLIGHT8& l)
{
    using namespace vex::limits;
    auto within = [](float v, float bound) { return std::fabs(v) <= bound; };
    for (float v : {l.Position.x, l.Position.y, l.Position.z})
        if (!within(v, kMaxCoordinate))
            return false;
    for (float v : {l.Range, l.Attenuation0, l.Attenuation1, l.Attenuation2})
        if (!within(v, std::max(kMaxLightRange, kMaxAttenuation)))
            return false;
    return true;
}

bool IsFinite(const D3DLIGHT8& l)
{
    for (const D3DCOLORVALUE& c : {l.Diffuse, l.Specular, l.Ambient})
        if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b) || !std::isfinite(c.a))
            return false;
    for (const D3DXVECTOR3& v : {l.Position, l.Direction})
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
            return false;
    for (float v : {l.Range, l.Falloff, l.Attenuation0, l.Attenuation1, l.Attenuation2, l.Theta, l.Phi})
        if (!std::isfinite(v))
            return false;
    return true;
}

void Message(Tav_HostContext* host, const std::string& text)
{
    if (host)
        host->ShowDebugMessage(text.c_str());
    else
        Tav_DebugMessage{}(text.c_str());
}

} // namespace

Tvc_DX8_Light::Tvc_DX8_Light()
{
    SetChannelName("DX8 Light");
    light_.Type = D3DLIGHT_POINT;
    light_.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    light_.Position = D3DXVECTOR3(0.0f, 10.0f, 0.0f);
    light_.Direction = D3DXVECTOR3(0.0f, -1.0f, 0.0f);
    light_.Range = 1000.0f;
    light_.Attenuation0 = 1.0f;
}

D3DLIGHTTYPE Tvc_DX8_Light::TypeForCode(int typeCode)
{
    return typeCode == kDirectional ? D3DLIGHT_DIRECTIONAL : typeCode == kSpot ? D3DLIGHT_SPOT : D3DLIGHT_POINT;
}

int Tvc_DX8_Light::CodeForType(D3DLIGHTTYPE type)
{
    switch (type) {
    case D3DLIGHT_DIRECTIONAL:
        return kDirectional;
    case D3DLIGHT_SPOT:
        return kSpot;
    case D3DLIGHT_POINT:
        return kPoint;
    }
    return -1;
}

bool Tvc_DX8_Light::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_LightInterface::SaveChannel(saver))
        return false;
    vex::ByteWriter w;
    w.U32(light_.Type);
    for (const D3DCOLORVALUE* c : {&light_.Diffuse, &light_.Specular, &light_.Ambient}) {
        w.F32(c->r);
        w.F32(c->g);
        w.F32(c->b);
        w.F32(c->a);
    }
    for (const D3DXVECTOR3* v : {&light_.Position, &light_.Direction}) {
        w.F32(v->x);
        w.F32(v->y);
        w.F32(v->z);
    }
    for (int i = 0; i < 7; ++i)
        w.F32(*Scalars(light_, i));
    saver.SaveChunk("LTLT", w.Data());
    saver.SaveI32("LTTY", typeCode_);
    return true;
}

bool Tvc_DX8_Light::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_LightInterface::LoadChannel(loader, group))
        return false;
    if (loader.GetInfoIfTag("LTLT")) {
        vex::ByteReader r = loader.TagReader();
        D3DLIGHT8 read;
        uint32_t type = 0;
        bool ok = r.Left() == kLightBytes && r.U32(type);
        float values[kLightBytes / 4 - 1] = {};
        for (float& v : values)
            ok = ok && r.F32(v) && std::isfinite(v);
        read.Type = static_cast<D3DLIGHTTYPE>(type);
        ok = ok && CodeForType(read.Type) >= 0;
        if (ok) {
            const float* f = values;
            for (D3DCOLORVALUE* c : {&read.Diffuse, &read.Specular, &read.Ambient}) {
                *c = {f[0], f[1], f[2], f[3]};
                f += 4;
            }
            for (D3DXVECTOR3* v : {&read.Position, &read.Direction}) {
                *v = D3DXVECTOR3(f[0], f[1], f[2]);
                f += 3;
            }
            for (int i = 0; i < 7; ++i)
                *Scalars(read, i) = *f++;
            SetLight(read);
        } else {
            Message(host_, "Tvc_DX8_Light::LoadChannel: bad light description (LTLT)");
        }
    }
    if (loader.GetInfoIfTag("LTTY")) {
        vex::ByteReader r = loader.TagReader();
        int32_t code = -1;
        if (r.Left() != 4 || !r.I32(code) || !SetLightType(code))
            Message(host_, "Tvc_DX8_Light::LoadChannel: bad light type (LTTY)");
    }
    return true;
}

D3DLIGHT8* Tvc_DX8_Light::GetLight(D3DLIGHT8* scratch)
{
    *scratch = light_;
    return scratch;
}

bool Tvc_DX8_Light::SetLight(const D3DLIGHT8& light)
{
    const int code = CodeForType(light.Type);
    if (code < 0 || !IsFinite(light) || !IsWithinLimits(light))
        return false;
    // A negative coefficient turns the attenuation negative, which would light surfaces facing away.
    if (light.Attenuation0 < 0 || light.Attenuation1 < 0 || light.Attenuation2 < 0) {
        Message(host_, "Tvc_DX8_Light::SetLight: an attenuation coefficient is negative");
        return false;
    }
    light_ = light;
    typeCode_ = code;
    return true;
}

bool Tvc_DX8_Light::SetLightType(int typeCode)
{
    if (typeCode < kDirectional || typeCode > kPoint)
        return false;
    typeCode_ = typeCode;
    light_.Type = TypeForCode(typeCode);
    return true;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_Light, "DX8 Light", vex::guids::kLight, vex::guids::kLight)
