// Everything the renderer, material, model and resource loading, the scene entities, the GUI's
// sheets and batches and the compute contexts ask of the device layer and its resource pools,
// behind one interface. The Direct3D 11 back end answers from its pools; the default bodies are
// the host without a device: nothing exists and ids stay -1.
#pragma once

#include "core/mimath.h"

#include <cstdint>

namespace miRender
{

class Renderer;

// What a compute context binds for a GPU resource: the resource to bind (a structured buffer's
// own entry) and that buffer's initialContent.
struct ComputeUavInfo
{
    int32_t gpuResourceId;
    uint32_t initialContent;
};

class DeviceHost
{
  public:
    virtual ~DeviceHost() = default;

    // ---- device
    // Creates one device, appends it to renderer.devices and initialises it for the window.
    virtual bool CreateDevice(Renderer& /*renderer*/, void* /*window*/) { return false; }
    virtual void ShutdownDevices(Renderer& /*renderer*/) {}
    // The first device's back buffer follows renderer.outputWidth/outputHeight.
    virtual void ResizeDevice(Renderer& /*renderer*/) {}
    virtual void InitGpuPerf(void* /*device*/, void* /*owner*/) {}

    // ---- constant buffers
    // Re-creates (release and reset when it exists) or creates the named buffer with this
    // register, byte size and data pointer (the data stays the caller's), then its device buffer.
    virtual int32_t CreateConstantBuffer(const char* /*name*/, int32_t /*registerSlot*/, int32_t /*bytes*/,
                                         void* /*data*/)
    {
        return -1;
    }
    // Creates a buffer that must not exist yet; an existing name is reported. -1 on failure.
    virtual int32_t CreateNewConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes, void* data)
    {
        return CreateConstantBuffer(name, registerSlot, bytes, data);
    }
    // An entity's world buffer, created new like CreateNewConstantBuffer. Without a device these
    // are still kept as named records, so that scene code and its naming rules work with no
    // device at all.
    virtual int32_t CreateEntityConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                               const void* data);
    virtual void ReleaseConstantBuffer(int32_t id);
    virtual void SetConstantBufferData(int32_t /*id*/, void* /*data*/) {}
    // Uploads on the immediate context now.
    virtual void UploadConstantBuffer(int32_t /*id*/, const void* /*data*/, uint32_t /*bytes*/) {}

    // ---- render targets
    virtual int32_t FindRenderTarget(const char* /*name*/) { return -1; }
    // Find-or-create with this size and format.
    virtual int32_t CreateRenderTarget(const char* /*name*/, uint32_t /*width*/, uint32_t /*height*/,
                                       uint32_t /*format*/, bool /*hasDepth*/, int32_t /*samples*/)
    {
        return -1;
    }

    // ---- materials and models
    virtual int32_t FindMaterial(const char* /*name*/) { return -1; }
    // Creates and loads the material by name; its id, -1 when it could not be made.
    virtual int32_t LoadMaterial(const char* /*name*/) { return -1; }
    int32_t FindOrLoadMaterial(const char* name)
    {
        const int32_t id = FindMaterial(name);
        return id >= 0 ? id : LoadMaterial(name);
    }
    virtual int32_t FindModel(const char* /*name*/) { return -1; }
    // The model's id, loaded by name when absent, and its local box; -1 (and an empty box) when
    // it cannot be had.
    virtual int32_t FindOrLoadModel(const char* name, mirel::Vec3& boundsMin, mirel::Vec3& boundsMax);
    // "fullscreen_quad", then "particleEmitterPoint".
    virtual void BuildBuiltinModels() {}

    // ---- pools behind material bindings. Without them (HasResourcePools() false) bindings and
    // constant buffers of materials stay unresolved: ids remain -1 while the constant data is
    // still packed.
    virtual bool HasResourcePools() { return false; }
    virtual int32_t FindGpuResource(const char* /*name*/) { return -1; }
    // The entry of that name, created empty when missing (a render target or buffer of that
    // name fills it later and keeps the id).
    virtual int32_t FindOrCreateGpuResource(const char* /*name*/) { return -1; }
    virtual int32_t FindTexture(const char* /*name*/) { return -1; }
    // Creates the texture and loads it as its binding kind says: from a texture file (2d,
    // alphatest), as a DDS (cube), or not at all (tex_srv, 2darray, 3d). Returns the texture's
    // id; gpuResourceId receives the GPU-resource entry made for it, -1 when none.
    virtual int32_t CreateTexture(const char* /*name*/, int32_t /*kind*/, int32_t& gpuResourceId)
    {
        gpuResourceId = -1;
        return -1;
    }
    // Find-or-load of a texture file by file name; its GPU resource id, -1 when it cannot be had.
    virtual int32_t LoadTextureFile(const char* /*fileName*/) { return -1; }

    // ---- vertex buffers owned by their caller (sprite batches): unnamed, over zeroed memory
    // that the replay reads, so it lives until the buffer is released. -1 when none is made.
    virtual int32_t CreateVertexBuffer(int32_t /*vertexCount*/, uint32_t /*stride*/) { return -1; }
    virtual void ReleaseVertexBuffer(int32_t /*id*/) {}
    // Copies vertices into the buffer's memory, cut to its size, for the next replay.
    virtual void WriteVertexBuffer(int32_t /*id*/, const void* /*vertices*/, uint32_t /*bytes*/) {}

    // ---- compute: false when the GPU resource cannot be bound as a UAV.
    virtual bool FindComputeUav(int32_t /*gpuResourceId*/, ComputeUavInfo& /*out*/) { return false; }
};

// Null restores the host without a device.
void SetDeviceHost(DeviceHost* host);
DeviceHost& GetDeviceHost();

} // namespace miRender
