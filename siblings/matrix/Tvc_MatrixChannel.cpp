#include "host/siblings/Tvc_MatrixChannel.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"

#include <cstdint>

namespace {

constexpr const char* kMatrixTag = "MXMT";
/// Sixteen little-endian floats, row by row.
constexpr int kMatrixChunkBytes = 16 * 4;

} // namespace

Tvc_MatrixChannel::Tvc_MatrixChannel() : matrix(new D3DXMATRIX)
{
    SetChannelName("Matrix");
    D3DXMatrixIdentity(matrix);
}

Tvc_MatrixChannel::Tvc_MatrixChannel(const Tvc_MatrixChannel& other)
    : Tav_Channel(other), matrix(new D3DXMATRIX(*other.matrix))
{
}

Tvc_MatrixChannel& Tvc_MatrixChannel::operator=(const Tvc_MatrixChannel& other)
{
    if (this != &other) {
        Tav_Channel::operator=(other);
        // Keep our own storage: derived classes and callers may hold the pointer.
        *matrix = *other.matrix;
    }
    return *this;
}

Tvc_MatrixChannel::~Tvc_MatrixChannel() { delete matrix; }

bool Tvc_MatrixChannel::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_Channel::SaveChannel(saver))
        return false;
    vex::ByteWriter writer;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            writer.F32(matrix->m[row][col]);
    saver.SaveChunk(kMatrixTag, writer.Data());
    return true;
}

bool Tvc_MatrixChannel::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_Channel::LoadChannel(loader, group))
        return false;
    if (!loader.GetInfoIfTag(kMatrixTag))
        return true; // no saved matrix: keep the identity
    const int size = loader.GetTagDataSize();
    if (size < kMatrixChunkBytes) {
        // A cut matrix is corrupt data, not a default: refuse rather than load a half-filled pose.
        if (host_)
            host_->ShowDebugMessage("Matrix load: chunk MXMT too short, bytes:", size);
        return false;
    }
    // A longer chunk (a later format adding fields) still starts with the sixteen floats.
    vex::ByteReader reader = loader.TagReader();
    D3DXMATRIX loaded;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            reader.F32(loaded.m[row][col]);
    *matrix = loaded;
    return true;
}

D3DXMATRIX Tvc_MatrixChannel::GetOldMatrix()
{
    // A plain matrix channel has no separate previous pose: its matrix only changes through SetMatrix.
    return *matrix;
}

D3DXMATRIX Tvc_MatrixChannel::GetMatrix() { return *matrix; }

void Tvc_MatrixChannel::SetMatrix(D3DXMATRIX m) { *matrix = m; }

void Tvc_MatrixChannel::Release()
{
    // Nothing built on demand here; derived channels release what they build.
}

VEX_CHANNEL_PLUGIN(Tvc_MatrixChannel, "Matrix", vex::guids::kMatrix, vex::guids::kMatrix)
