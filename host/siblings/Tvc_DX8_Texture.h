#pragma once
// The DX8 texture channel: a Direct3D texture built from an in-memory bitmap file image (the bitmap
// buffer), which it saves and restores with its own chunks. Implemented in the texture channel library.

#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"

#include <cstdint>

class Tvc_DX8_Texture : public Tvc_DX8_D3DDeviceUse {
public:
    Tvc_DX8_Texture();
    Tvc_DX8_Texture(const Tvc_DX8_Texture& other);
    Tvc_DX8_Texture& operator=(const Tvc_DX8_Texture& other);
    ~Tvc_DX8_Texture() override;

    /// Saves the bitmap buffer ("TXBM") and the desired size ("TXDW", "TXDH").
    bool SaveChannel(TavFileSaver& saver) override;
    /// Restores them and rebuilds the texture when a bitmap came back.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    // Slots after Tvc_DX8_D3DDeviceUse's, in this order.
    void InvalidateDeviceObjects() override;
    /// Releases the Direct3D texture (the bitmap buffer stays).
    virtual void Release();
    /// Binds the texture to a device stage.
    virtual void SetTexture(int stage);
    /// Reads a 24- or 32-bit uncompressed bitmap file into the buffer and builds the texture.
    virtual bool LoadTextureFromFile(const char* path);
    /// Builds the texture from a bitmap file image without keeping it.
    virtual bool LoadTextureFromMemory(const void* data, int bytes);
    /// Copies a bitmap file image into the buffer and builds the texture from it.
    virtual bool LoadTextureFromMemoryAndCopyBuffer(const void* data, int bytes);
    virtual void SetMipMapLevels(int levels);
    virtual int GetMipMapLevels();
    /// Format, width and height of a level; a zeroed description without a texture.
    virtual D3DSURFACE_DESC GetTextureDescription(int level);
    virtual bool LockTexture(D3DLOCKED_RECT* locked);
    virtual void UnlockTexture();
    virtual bool GetIfValidTexture();
    virtual void SetDesiredHeight(int height);
    virtual void SetDesiredWidth(int width);
    virtual int GetDesiredHeight();
    virtual int GetDesiredWidth();
    /// (Re)creates the Direct3D texture (A8R8G8B8) from the bitmap buffer; afterwards the texture is set
    /// when the buffer holds a valid bitmap and a device exists.
    virtual void RestoreTexture();
    virtual void CreateTumbNailTexture();
    /// Takes the alpha channel from another texture's red channel.
    virtual bool AddAlphaTexture(Tvc_DX8_Texture* alphaSource);
    /// Copies this texture's texels into another texture of the same size.
    virtual bool CopyOurselvesIntoTexture(IDirect3DTexture8* target);
    virtual void CheckAplhaRefresh();
    virtual bool GetIfPublicTexture();
    virtual void SetIfPublicTexture(bool isPublic);
    virtual void SetForceARGB(bool force);
    virtual IDirect3DTexture8* GetTexture();
    virtual void SetIsNormalMap(bool isNormalMap);
    virtual bool GetIsNormalMap();
    virtual void SetNormalMapType(int type);
    virtual int GetNormalMapType();
    virtual void CreateNormalMap();
    virtual unsigned char* GetTextureBuffer();
    virtual int GetBufferSize();
    virtual void SetUseTextureCompression(bool use);
    virtual bool GetUseTextureCompression();
    virtual bool LoadALphaFromFile(const char* path);
    virtual void AddAlphaFromInternalBuffer();
    virtual bool GetIfUseBufferAlpha();
    virtual void ClearUseBufferAlpha();
    virtual void SetUseAlphaOnMipmap(bool use);
    virtual bool GetUseAlphaOnMipmap();
    /// Rebuilds the texture when the bitmap buffer changed since it was last built.
    virtual void CheckBufferUpdate();

    /// The channel a public texture registers with (borrowed, may be null); registration is the
    /// deriving channel's business, the slot stays -1 until then.
    void SetPublicTextureParent(Tav_Channel* parent) { publicTextureParent = parent; }
    Tav_Channel* GetPublicTextureParent() const { return publicTextureParent; }
    int GetPublicTextureSlot() const { return publicTextureSlot; }

protected:
    /// Replaces the texture by a new A8R8G8B8 texture of the device holding texels (0xAARRGGBB, row 0
    /// first). False, with no texture, when there is no device or it cannot make one.
    bool BuildTexture(int width, int height, const uint32_t* texels);
    /// Replaces the bitmap buffer with a copy of bytes (allocated with operator new[]).
    void SetTextureBuffer(const unsigned char* bytes, int count);
    void FreeTextureBuffer();

    IDirect3DTexture8* texture;       ///< null while there is none
    Tav_Channel* publicTextureParent; ///< may be null
    int publicTextureSlot;            ///< -1 while unregistered
    unsigned char* textureBuffer;     ///< bitmap file image, owned (new[] / delete[])
    int textureBufferSize;            ///< bytes in textureBuffer
    int desiredWidth;
    int desiredHeight;
    int mipMapLevels;
    bool isPublicTexture;
    bool forceARGB;
    bool isNormalMap;
    int normalMapType;
    bool useTextureCompression;
    bool useBufferAlpha;
    bool useAlphaOnMipmap;
    bool bufferChanged;
};
