#pragma once
// The matrix channel (type "Matrix"): base class of the rigid-body channel and the start-pose input of
// body channels. Implemented in the matrix channel library.

#include "host/Tav_Channel.h"
#include "platform/D3DXMath.h"

class Tvc_MatrixChannel : public Tav_Channel {
public:
    Tvc_MatrixChannel();
    Tvc_MatrixChannel(const Tvc_MatrixChannel& other);
    Tvc_MatrixChannel& operator=(const Tvc_MatrixChannel& other);
    ~Tvc_MatrixChannel() override;

    /// Saves the current matrix as chunk "MXMT" (sixteen little-endian floats).
    bool SaveChannel(TavFileSaver& saver) override;
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    // Slots after the twelve Tav_Channel ones, in this order.
    virtual D3DXMATRIX GetOldMatrix();
    /// The current matrix (a copy of the storage behind `matrix`).
    virtual D3DXMATRIX GetMatrix();
    virtual void SetMatrix(D3DXMATRIX m);
    virtual void Release();

    /// The stored matrix as it is, without the evaluation a derived channel's GetMatrix may run (inline,
    /// not a slot: a host reads it without linking the matrix library).
    D3DXMATRIX GetStoredMatrix() const { return *matrix; }

protected:
    /// Storage of the channel's current matrix; derived classes write their result here.
    D3DXMATRIX* matrix;
};
