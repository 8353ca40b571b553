// The pools of this layer, the pipe's view of them, and their installation.
#include "render/device/dx11/dx11Resources.h"

#include "render/device/devicehost.h"
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11ResourceCommon.h"

namespace miResources
{

using namespace detail;

PooledMaterialCfgs<PlatformMaterialCfg>& detail::PlatformCfgs()
{
    static PooledMaterialCfgs<PlatformMaterialCfg> pool(32);
    return pool;
}

mirel::ObjectManagerPooled<PlatformRenderTarget>& RenderTargets()
{
    static mirel::ObjectManagerPooled<PlatformRenderTarget> pool(32);
    return pool;
}
mirel::ObjectManagerPooled<PlatformTexture>& Textures()
{
    static mirel::ObjectManagerPooled<PlatformTexture> pool(128);
    return pool;
}
mirel::ObjectManagerPooled<PlatformGPUResource>& GpuResources()
{
    static mirel::ObjectManagerPooled<PlatformGPUResource> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformShader>& Shaders()
{
    static mirel::ObjectManagerPooled<PlatformShader> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformConstantBuffer>& ConstantBuffers()
{
    static mirel::ObjectManagerPooled<PlatformConstantBuffer> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformStructuredBuffer>& StructuredBuffers()
{
    static mirel::ObjectManagerPooled<PlatformStructuredBuffer> pool(32);
    return pool;
}
mirel::ObjectManagerPooled<PlatformDynamicVertexBuffer>& DynamicVertexBuffers()
{
    static mirel::ObjectManagerPooled<PlatformDynamicVertexBuffer> pool(64);
    return pool;
}
PooledModels<PlatformModel>& PlatformModels()
{
    static PooledModels<PlatformModel> pool(kModelCapacity);
    return pool;
}

// ---- hooks for material loading and the pipe

namespace
{
class Source final : public miRender::PipeSource
{
  public:
    bool Target(int32_t id, miRender::PipeTargetInfo& out) override
    {
        PlatformRenderTarget* rt = RenderTargets().FromHandle(id);
        if (!rt) return false;
        out = {rt->colorView,
               rt->depthView,
               {static_cast<float>(rt->width), static_cast<float>(rt->height), rt->minDepth, rt->maxDepth,
                static_cast<float>(rt->left), static_cast<float>(rt->top)}};
        return true;
    }
    bool Model(int32_t id, miRender::PipeModelInfo& out) override
    {
        PlatformModel* m = PlatformModels().manager.FromHandle(id);
        if (!m) return false;
        out = {m->vertexBuffer, m->positionBuffer, m->stride,      m->positionStride,
               m->vertexCount,  m->depthLayout,    m->surfaceCount};
        return true;
    }
    bool Surface(int32_t modelId, int32_t index, miRender::PipeSurfaceInfo& out) override
    {
        PlatformModel* m = PlatformModels().manager.FromHandle(modelId);
        if (!m || index < 0 || index >= m->surfaceCount) return false;
        const ModelSurface& s = m->surfaces[index];
        out = {s.materialId, s.indexCount, s.type, m->indexBuffers ? m->indexBuffers[index] : nullptr};
        return true;
    }
    bool Material(int32_t id, miRender::PipeMaterialInfo& out) override
    {
        miResources::Material* m = MaterialManager().FromHandle(id);
        if (!m) return false;
        out = {m->configId, &m->srvIds[0][0], &m->uavIds[0][0], m->alphaTestTextureId, m->constantBufferId};
        return true;
    }
    void SetMaterialAlphaTexture(int32_t materialId, int32_t textureId) override
    {
        if (miResources::Material* m = MaterialManager().FromHandle(materialId))
            m->alphaTestTextureId = textureId;
    }
    const miRender::PipeCfgInfo* Cfg(int32_t id) override
    {
        auto* cfg = static_cast<PlatformMaterialCfg*>(PlatformCfgs().FromHandle(id));
        // A configuration whose file failed to load is never created.
        return cfg && cfg->pipeInfo.id >= 0 ? &cfg->pipeInfo : nullptr;
    }
    bool Shader(int32_t id, miRender::PipeShaderInfo& out) override
    {
        PlatformShader* s = Shaders().FromHandle(id);
        if (!s) return false;
        out = {s->shader, s->inputLayout};
        return true;
    }
    bool ConstantBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().FromHandle(id);
        if (!cb) return false;
        out = {cb->buffer, cb->registerSlot, static_cast<uint32_t>(cb->byteSize), cb->data, 0};
        return true;
    }
    bool DynamicBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().FromHandle(id);
        if (!b) return false;
        out = {b->buffer, -1, b->count * b->stride, b->data, b->stride};
        return true;
    }
    bool Texture(int32_t id, miRender::PipeTextureInfo& out) override
    {
        PlatformTexture* t = Textures().FromHandle(id);
        if (!t) return false;
        out = {t->texture, t->width, t->height};
        return true;
    }
    bool GpuResource(int32_t id, miRender::PipeGpuResourceInfo& out) override
    {
        PlatformGPUResource* r = GpuResources().FromHandle(id);
        if (!r) return false;
        out = {r->srv, r->uav};
        return true;
    }
    int32_t FindMaterial(const char* name) override
    {
        miResources::Material* m = MaterialManager().Find(name);
        return m ? m->handle : -1;
    }
    int32_t FindConstantBuffer(const char* name) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().Find(name);
        return cb ? cb->handle : -1;
    }
    int32_t FindDynamicBuffer(const char* name) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().Find(name);
        return b ? b->handle : -1;
    }
    int32_t DepthMaterial(uint32_t layout, bool alphaTested) override
    {
        const char* name = DepthMaterialName(static_cast<int32_t>(layout), alphaTested);
        miResources::Material* m = name ? MaterialManager().Find(name) : nullptr;
        return m ? m->handle : -1;
    }
};

Source g_source;

} // namespace

void InstallDx11Resources()
{
    SetMaterialCfgs(&PlatformCfgs());
    SetModelPool(&PlatformModels());
    miRender::SetDeviceHost(&Dx11DeviceHost());
    miRender::SetPipeSource(&g_source);
    miRender::SetPipeExecutors(&Dx11PipeExecutors());
}

void ClearDx11Resources()
{
    MaterialManager().Clear();
    PlatformModels().Clear();
    PlatformCfgs().Clear();
    GpuResources().Clear();
    RenderTargets().Clear();
    Textures().Clear();
    Shaders().Clear();
    ConstantBuffers().Clear();
    StructuredBuffers().Clear();
    DynamicVertexBuffers().Clear();
}

} // namespace miResources
