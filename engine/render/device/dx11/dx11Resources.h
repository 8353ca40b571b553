// GPU resources of the Direct3D 11 device: named, pooled render targets, textures, shaders,
// constant, structured and dynamic vertex buffers, the GPU-resource entries materials and
// compute contexts bind by name, configuration state objects and model buffers.
#pragma once

#include "core/datastructs.h"
#include "render/device/devicehost.h"
#include "render/device/devicepipe.h"
#include "render/material.h"
#include "render/model.h"

#include <windows.h>

#include <d3d11.h>

#include <cstdint>

namespace miResources
{

enum GpuResourceKind : uint32_t
{
    kGpuTexture = 0,
    kGpuRenderTargetColour = 1,
    kGpuRenderTargetDepth = 2,
    kGpuStructuredBuffer = 3,
};

class PlatformRenderTarget : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override {}
    virtual void Create(uint32_t width, uint32_t height, uint32_t format, bool hasDepth, int32_t samples);
    virtual void Resolve(const char* targetName);

    uint32_t width = 0, height = 0;
    float minDepth = 0.0f, maxDepth = 1.0f;
    int32_t left = 0, top = 0;
    int32_t depthTargetId = -1;
    uint32_t format = 0;
    ID3D11Texture2D* texture = nullptr;
    ID3D11Texture2D* depthTexture = nullptr;
    ID3D11DepthStencilView* depthView = nullptr;
    ID3D11RenderTargetView* colorView = nullptr;
    ID3D11ShaderResourceView* colorSrv = nullptr;
    ID3D11ShaderResourceView* depthSrv = nullptr;
    // The swap-chain target borrows the device's back-buffer views instead of owning views.
    uint8_t borrowed = 0;
};

class PlatformTexture : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    virtual void LoadFile();
    virtual void LoadDds();
    virtual void CreateDynamic(uint32_t width, uint32_t height, uint32_t format);
    virtual void CreateWritable(uint32_t width, uint32_t height, uint32_t format);

    uint8_t* data = nullptr;
    uint32_t width = 0, height = 0;
    int32_t gpuResourceId = -1;
    ID3D11Resource* texture = nullptr;
    ID3D11ShaderResourceView* srv = nullptr;
    ID3D11UnorderedAccessView* uav = nullptr;
};

class PlatformGPUResource : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void Create() override;

    uint32_t writable = 0;
    uint32_t kind = kGpuTexture;
    int32_t textureId = -1;
    int32_t renderTargetId = -1;
    int32_t depthRenderTargetId = -1;
    int32_t structuredBufferId = -1;
    ID3D11UnorderedAccessView* uav = nullptr;
    ID3D11ShaderResourceView* srv = nullptr;
};

class PlatformShader : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    virtual void Bind(int32_t constantBufferId);
    virtual void BindByName(const char* constantBufferName);

    int32_t stage = 0;
    int32_t layout = -1;
    uint32_t vertexStride = 0;
    ID3D11InputLayout* inputLayout = nullptr;
    ID3D11DeviceChild* shader = nullptr;
};

class PlatformConstantBuffer : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override;
    void Upload();

    int32_t registerSlot = -1;
    int32_t byteSize = 0;
    void* data = nullptr;
    ID3D11Buffer* buffer = nullptr;
};

class PlatformStructuredBuffer : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override;
    virtual void* ReadBack();

    uint32_t writable = 0;
    int32_t numElems = 0;
    int32_t stride = 0;
    int32_t gpuResourceId = -1;
    uint32_t initialContent = 0;
    uint32_t readable = 0;
    void* readPointer = nullptr;
    // Non-zero: a typed buffer of that DXGI format instead of a structured one, with the same byte
    // size (numElems x stride) viewed in elements of the format. A shader that reads it needs an
    // R32 format on Direct3D 11.0.
    uint32_t typedFormat = 0;
    ID3D11Buffer* buffer = nullptr;
    ID3D11UnorderedAccessView* uav = nullptr;
    ID3D11ShaderResourceView* srv = nullptr;
    ID3D11Buffer* staging = nullptr;
    uint8_t* cpuCopy = nullptr;
};

class PlatformDynamicVertexBuffer : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override;
    virtual void Update(uint32_t count, const void* newData);

    uint32_t count = 0;
    uint32_t stride = 0;
    void* data = nullptr;
    ID3D11Buffer* buffer = nullptr;
};

class PlatformMaterialCfg : public MaterialCfg
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override;

    ID3D11RasterizerState* raster = nullptr;
    ID3D11RasterizerState* biasedRaster = nullptr;
    ID3D11DepthStencilState* depthState = nullptr;
    ID3D11BlendState* blend = nullptr;
    ID3D11SamplerState* samplerStates[kStageCount][kSlotCount] = {};
    // What the pipe records from, filled by Create().
    miRender::PipeCfgInfo pipeInfo = {};
    miRender::SamplerKey samplerKeys[kStageCount * kSlotCount] = {};
    void* samplerObjects[kStageCount * kSlotCount] = {};
};

class PlatformModel : public Model
{
  public:
    void OnCreate() override;
    void OnRelease() override;
    void Create() override;

    ID3D11Buffer* vertexBuffer = nullptr;
    ID3D11Buffer* positionBuffer = nullptr;
    ID3D11Buffer** indexBuffers = nullptr; // one per surface, null for surfaces without indices
};

mirel::ObjectManagerPooled<PlatformRenderTarget>& RenderTargets();
mirel::ObjectManagerPooled<PlatformTexture>& Textures();
mirel::ObjectManagerPooled<PlatformGPUResource>& GpuResources();
mirel::ObjectManagerPooled<PlatformShader>& Shaders();
mirel::ObjectManagerPooled<PlatformConstantBuffer>& ConstantBuffers();
mirel::ObjectManagerPooled<PlatformStructuredBuffer>& StructuredBuffers();
mirel::ObjectManagerPooled<PlatformDynamicVertexBuffer>& DynamicVertexBuffers();
PooledModels<PlatformModel>& PlatformModels();

// The device host over this layer's device and pools.
miRender::DeviceHost& Dx11DeviceHost();
// Installs this layer's pools and hooks: configuration and model pools, the device host, the
// pipe's resource source and executors, the models' material lookup,
// the compute contexts' UAV lookup.
void InstallDx11Resources();
// Empties every pool of this layer (releasing all device objects).
void ClearDx11Resources();

// Find-or-create recipe; returns the target's id (-1 on failure).
int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format, bool hasDepth,
                           int32_t depthTargetId, int32_t samples);
// The target (and its GPU resource) drawing into the device's back buffer.
int32_t CreateSwapChainTarget(const char* name);
// Compiles one stage of a material under the shader name; returns the shader's id (-1 on failure).
int32_t CompileMaterialStage(const char* shaderName, const char* source, int32_t stage, int32_t layout);
bool CompileComputeShader(PlatformShader& shader, const char* source);
// Re-creates or creates the named constant buffer and builds its device buffer.
int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t byteSize, void* data);
// Loads a texture file under "textures" by its name (extension included); returns its id.
int32_t LoadTexture(const char* name);

// Texture file loaders: a DDS file (2D or cube) or any image the imaging component decodes.
HRESULT CreateDDSTextureFromFile(ID3D11Device* device, const wchar_t* path, ID3D11Resource** texture,
                                 ID3D11ShaderResourceView** view);
HRESULT CreateWICTextureFromFile(ID3D11Device* device, ID3D11DeviceContext* context, const wchar_t* path,
                                 ID3D11Resource** texture, ID3D11ShaderResourceView** view);

// The Direct3D 11 executors of the pipe's records.
const miRender::PipeExecutors& Dx11PipeExecutors();

} // namespace miResources
