#include "render/device/devicepipe.h"

#include "core/utils.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace miRender
{

namespace
{
// Reports name the pipe as a whole, recording and execution alike.
constexpr const char* kSource = "render/device/dx11/dx11DevicePipe";
constexpr int32_t kDispatchMax = 65535; // larger group counts are dropped by the runtime

void Nothing(const void*) {}
PipeExecutors MakeIdle()
{
    PipeExecutors t;
    for (PipeExec& e : t.exec)
        e = Nothing;
    return t;
}
const PipeExecutors g_idle = MakeIdle();
const PipeExecutors* g_exec = &g_idle;
PipeSource* g_source = nullptr;

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Stage order in which a material's shaders are set.
const int32_t kShaderOrder[5] = {1, 0, 2, 4, 3};

bool HasShader(const PipeCfgInfo* cfg, int32_t stage)
{
    return cfg && cfg->shaderIds[stage] >= 0;
}

// A material that failed to load fails every draw of it, in every view and frame: one report each.
std::mutex g_unbindableLock;
std::vector<int32_t> g_unbindable;
bool FirstFailureOf(int32_t materialId)
{
    std::lock_guard<std::mutex> lock(g_unbindableLock);
    if (std::find(g_unbindable.begin(), g_unbindable.end(), materialId) != g_unbindable.end()) return false;
    g_unbindable.push_back(materialId);
    return true;
}
void ReportUnbindable(int32_t materialId, int line, const char* message)
{
    if (FirstFailureOf(materialId)) mirel::Assert(false, kSource, line, "%s", message);
}
} // namespace

void SetPipeExecutors(const PipeExecutors* table)
{
    g_exec = table ? table : &g_idle;
}
const PipeExecutors& GetPipeExecutors()
{
    return *g_exec;
}
void MarkMaterialReported(int32_t materialId)
{
    FirstFailureOf(materialId);
}

void SetPipeSource(PipeSource* source)
{
    g_source = source;
    std::lock_guard<std::mutex> lock(g_unbindableLock);
    g_unbindable.clear();
}
PipeSource* GetPipeSource()
{
    return g_source;
}

DrawStatistics& GetDrawStatistics()
{
    static DrawStatistics stats;
    return stats;
}

// Far beyond any frame's recording; a runaway recorder stops here instead of exhausting memory.
uint32_t PlatformDevicePipe::maxCapacity = 256u * 1024u * 1024u;

PlatformDevicePipe::PlatformDevicePipe()
{
    buffer_ = static_cast<uint8_t*>(std::malloc(kInitialCapacity));
    capacity_ = buffer_ ? kInitialCapacity : 0;
}

PlatformDevicePipe::~PlatformDevicePipe()
{
    std::free(buffer_);
}

bool PlatformDevicePipe::Append(PipeOp op, const void* payload, uint32_t bytes)
{
    const uint64_t need = static_cast<uint64_t>(writeOffset_) + kHeaderBytes + bytes;
    if (need > capacity_)
    {
        uint64_t grown = capacity_ > 0 ? capacity_ : kInitialCapacity;
        while (grown < need)
            grown *= 2;
        uint8_t* bigger =
            grown <= maxCapacity ? static_cast<uint8_t*>(std::malloc(static_cast<size_t>(grown))) : nullptr;
        if (!bigger)
        {
            mirel::Assert(false, kSource, __LINE__, "Device pipe recording is full");
            return false;
        }
        if (writeOffset_) std::memcpy(bigger, buffer_, writeOffset_);
        std::free(buffer_);
        buffer_ = bigger;
        capacity_ = static_cast<uint32_t>(grown);
    }
    uint8_t* at = buffer_ + writeOffset_;
    const PipeExec exec = g_exec->exec[op];
    std::memcpy(at, &bytes, sizeof bytes);
    std::memcpy(at + sizeof bytes, &exec, sizeof exec);
    std::memcpy(at + kHeaderBytes, payload, bytes);
    writeOffset_ += kHeaderBytes + bytes;
    ++recordCount_;
    return true;
}

void PlatformDevicePipe::ClearPendingUavs()
{
    pendingCount_ = 0;
    pendingLowest_ = -1;
    std::memset(pendingUavs_, 0, sizeof pendingUavs_);
    std::memset(pendingCounts_, 0, sizeof pendingCounts_);
}

void PlatformDevicePipe::RecordUpload(const PipeBufferInfo& info, const void* data, uint32_t bytes)
{
    Record(kOpUpload, UploadPayload{info.buffer, data, bytes});
}

void PlatformDevicePipe::Begin(uint32_t viewBufferId)
{
    writeOffset_ = 0;
    recordCount_ = 0;
    viewConstantBufferId = viewBufferId;
    cache_ = Cache{};
    ClearPendingUavs();
    PipeBufferInfo cb{};
    if (viewBufferId != kNoBuffer && g_source &&
        g_source->ConstantBuffer(static_cast<int32_t>(viewBufferId), cb))
        RecordUpload(cb, cb.data, cb.byteSize);
}

void PlatformDevicePipe::SetRenderTargets(int32_t count, const int32_t* targetIds, const TargetClear* clears)
{
    if (count < 1 || !targetIds || !g_source) return;
    if (count > 4) count = 4;
    PipeTargetInfo first{};
    if (!g_source->Target(targetIds[0], first))
    {
        mirel::Assert(false, kSource, __LINE__, "Render target not found");
        return;
    }
    // viewport[] is width, height, minDepth, maxDepth, left, top.
    Record(kOpViewport, ViewportPayload{first.viewport[4], first.viewport[5], first.viewport[0],
                                        first.viewport[1], first.viewport[2], first.viewport[3]});
    TargetsPayload t{};
    t.count = static_cast<uint32_t>(count);
    t.rtv[0] = first.rtv;
    t.dsv = first.dsv;
    for (int32_t i = 1; i < count; ++i)
    {
        PipeTargetInfo info{};
        if (g_source->Target(targetIds[i], info))
            t.rtv[i] = info.rtv;
        else
            mirel::Assert(false, kSource, __LINE__, "Render target not found in DispatchRenderTarget");
    }
    Record(kOpSetTargets, t);
    targetCount_ = t.count;
    std::memcpy(targets_, t.rtv, sizeof targets_);
    targetDepth_ = t.dsv;
    if (!clears) return;
    for (int32_t i = 0; i < count; ++i)
    {
        PipeTargetInfo info{};
        if (!g_source->Target(targetIds[i], info))
        {
            mirel::Assert(false, kSource, __LINE__, "Render Target not found");
            continue;
        }
        if (clears[i].clearColour)
        {
            ClearColourPayload c{info.rtv, {}};
            std::memcpy(c.colour, clears[i].colour, sizeof c.colour);
            Record(kOpClearColour, c);
        }
        if (clears[i].clearDepth) Record(kOpClearDepth, ClearDepthPayload{info.dsv, clears[i].depth});
    }
}

void PlatformDevicePipe::FlushPendingUavs()
{
    if (pendingCount_ <= 0) return;
    TargetsAndUavsPayload p{};
    p.targetCount = targetCount_;
    std::memcpy(p.rtv, targets_, sizeof p.rtv);
    p.dsv = targetDepth_;
    p.firstSlot = static_cast<uint32_t>(pendingLowest_);
    p.uavCount = static_cast<uint32_t>(pendingCount_);
    std::memcpy(p.uavs, pendingUavs_, sizeof p.uavs);
    std::memcpy(p.initialCounts, pendingCounts_, sizeof p.initialCounts);
    Record(kOpTargetsAndUavs, p);
    ClearPendingUavs();
}

void PlatformDevicePipe::RecordDraw(PipeOp op, uint32_t count, uint32_t instances, uint32_t primitiveCount)
{
    FlushPendingUavs();
    Record(op, DrawPayload{count, instances});
    DrawStatistics& stats = GetDrawStatistics();
    if (stats.countEnabled && *stats.countEnabled)
    {
        mirel::sys::ScopedLock lock(stats.lock);
        stats.drawCalls += 1;
        stats.triangles += static_cast<uint64_t>(primitiveCount / 3) * (instances > 0 ? instances : 1);
    }
}

void PlatformDevicePipe::RecordConstantBuffer(const PipeCfgInfo* cfg, int32_t bufferId,
                                              const void* uploadData, uint32_t uploadBytes)
{
    PipeBufferInfo cb{};
    if (bufferId < 0 || !g_source->ConstantBuffer(bufferId, cb)) return;
    if (uploadData)
    {
        const uint32_t bytes = uploadBytes < cb.byteSize ? uploadBytes : cb.byteSize;
        RecordUpload(cb, uploadData, bytes);
    }
    for (int32_t s = 0; s < 5; ++s)
        if (HasShader(cfg, s))
            Record(kOpConstantBuffer, ConstantBufferPayload{s, cb.registerSlot, cb.buffer});
}

bool PlatformDevicePipe::BindMaterial(int32_t materialId, int32_t worldConstantBufferId,
                                      const Transform* transform, int32_t modelId, int32_t surfaceIndex,
                                      int32_t dynamicBufferId)
{
    if (!g_source) return false;
    PipeMaterialInfo mat{};
    if (!g_source->Material(materialId, mat))
    {
        ReportUnbindable(materialId, __LINE__, "Material Cfg not found");
        return false;
    }
    const PipeCfgInfo* cfg = g_source->Cfg(mat.cfgId);
    if (!cfg)
    {
        ReportUnbindable(materialId, __LINE__, "MatCfg not found");
        return false;
    }

    // Render states.
    if (!cache_.rasterValid || std::memcmp(&cache_.raster, &cfg->rasterKey, sizeof(RasterKey)) != 0)
    {
        void* raster = cfg->biasedRaster && useBiasedRaster ? cfg->biasedRaster : cfg->raster;
        Record(kOpRasterState, StatePayload{raster});
        cache_.raster = cfg->rasterKey;
        cache_.rasterValid = true;
    }
    if (!cache_.blendValid || std::memcmp(&cache_.blend, &cfg->blendKey, sizeof(BlendKey)) != 0)
    {
        Record(kOpBlendState, StatePayload{cfg->blend});
        cache_.blend = cfg->blendKey;
        cache_.blendValid = true;
    }
    if (!cache_.depthValid || std::memcmp(&cache_.depth, &cfg->depthKey, sizeof(DepthKey)) != 0)
    {
        Record(kOpDepthState, StatePayload{cfg->depth});
        cache_.depth = cfg->depthKey;
        cache_.depthValid = true;
    }

    // Geometry.
    PipeModelInfo model{};
    PipeSurfaceInfo surface{};
    bool haveModel = false, haveSurface = false;
    PipeBufferInfo dyn{};
    if (dynamicBufferId >= 0)
    {
        if (!g_source->DynamicBuffer(dynamicBufferId, dyn))
        {
            mirel::Assert(false, kSource, __LINE__, "Dynamic vertex buffer not found");
            return false;
        }
        modelId = -1;
        surfaceIndex = -1;
    }
    else
    {
        haveModel = g_source->Model(modelId, model);
        if (!haveModel)
        {
            mirel::Assert(false, kSource, __LINE__, "Model not found");
            return false;
        }
        haveSurface = g_source->Surface(modelId, surfaceIndex, surface) && surface.indexCount >= 1;
        if (!haveSurface) surfaceIndex = -1;
    }
    if (!cache_.layoutValid || cache_.layoutCfg != cfg->id)
    {
        const int32_t vs = cfg->shaderIds[1];
        PipeShaderInfo shader{};
        if (vs < 0)
            mirel::Assert(false, kSource, __LINE__, "Bad Shader ID");
        else if (!g_source->Shader(vs, shader))
            mirel::Assert(false, kSource, __LINE__, "Shader not found");
        else if (!shader.shader)
            return false; // its compile failed, reported then; a draw without a vertex stage is invalid
        else
        {
            Record(kOpInputLayout, StatePayload{shader.inputLayout});
            cache_.layoutCfg = cfg->id;
            cache_.layoutValid = true;
        }
    }
    // Dynamic buffers all stand for model -1, so the cache cannot tell two of them apart.
    if (!cache_.vertexValid || cache_.vertexModel != modelId || dynamicBufferId >= 0)
    {
        VertexBufferPayload vb{};
        if (dynamicBufferId >= 0)
            vb = {dyn.buffer, dyn.stride};
        else if (depthOnly)
            vb = {model.positionBuffer, model.positionStride};
        else
            vb = {model.vertexBuffer, model.stride};
        Record(kOpVertexBuffer, vb);
        cache_.vertexModel = modelId;
        cache_.vertexValid = true;
        cache_.indexValid = false;
    }
    if (!cache_.indexValid || cache_.indexSurface != surfaceIndex)
    {
        Record(kOpIndexBuffer, IndexBufferPayload{haveSurface ? surface.indexBuffer : nullptr});
        cache_.indexSurface = surfaceIndex;
        cache_.indexValid = true;
    }
    if (!cache_.topologyValid || cache_.topology != cfg->topology)
    {
        Record(kOpTopology, TopologyPayload{cfg->topology});
        cache_.topology = cfg->topology;
        cache_.topologyValid = true;
    }

    // Shaders, vertex stage first.
    for (int32_t stage : kShaderOrder)
    {
        const int32_t id = cfg->shaderIds[stage];
        if (cache_.shaderValid[stage] && cache_.shader[stage] == id) continue;
        PipeShaderInfo shader{};
        if (id >= 0 && !g_source->Shader(id, shader))
        {
            mirel::Assert(false, kSource, __LINE__, "Shader not found");
            continue;
        }
        Record(kOpShader, ShaderPayload{stage, shader.shader});
        cache_.shader[stage] = id;
        cache_.shaderValid[stage] = true;
    }

    // Samplers.
    for (int32_t s = 0; s < 5 && cfg->samplerKeys && cfg->samplers; ++s)
    {
        if (!HasShader(cfg, s)) continue;
        for (int32_t slot = 0; slot < kPipeSlots; ++slot)
        {
            const SamplerKey& key = cfg->samplerKeys[s * kPipeSlots + slot];
            if (!key.defined) continue;
            if (cache_.samplerValid[s][slot] && std::memcmp(&cache_.sampler[s][slot], &key, sizeof key) == 0)
                continue;
            Record(kOpSampler, SamplerPayload{s, slot, cfg->samplers[s * kPipeSlots + slot]});
            cache_.sampler[s][slot] = key;
            cache_.samplerValid[s][slot] = true;
        }
    }

    // Textures and UAVs.
    if (depthOnly && cfg->alphaTest)
    {
        ResourcesPayload r{0, {}};
        PipeGpuResourceInfo res{};
        if (mat.alphaTestTextureId < 0)
            mirel::Assert(false, kSource, __LINE__, "Alpha Test resource ID shouldn't be empty");
        else if (g_source->GpuResource(mat.alphaTestTextureId, res))
            r.views[0] = res.srv;
        else
            mirel::Assert(false, kSource, __LINE__, "Resource not found");
        Record(kOpShaderResources, r);
    }
    else
    {
        for (int32_t s = 0; s < 5; ++s)
        {
            if (!HasShader(cfg, s)) continue;
            ResourcesPayload r{s, {}};
            for (int32_t slot = 0; slot < kPipeSlots && mat.srvIds; ++slot)
            {
                const int32_t id = mat.srvIds[s * kPipeSlots + slot];
                if (id < 0) continue;
                PipeGpuResourceInfo res{};
                if (g_source->GpuResource(id, res))
                    r.views[slot] = res.srv;
                else
                    mirel::Assert(false, kSource, __LINE__, "Resource not found");
            }
            Record(kOpShaderResources, r);
        }
        for (int32_t s = 0; s < kPipeStages && mat.uavIds; ++s)
            for (int32_t slot = 0; slot < kPipeSlots; ++slot)
            {
                const int32_t id = mat.uavIds[s * kPipeSlots + slot];
                if (id < 0) continue;
                PipeGpuResourceInfo res{};
                if (!g_source->GpuResource(id, res))
                {
                    mirel::Assert(false, kSource, __LINE__, "Resource not found");
                    continue;
                }
                if (pendingCount_ >= kPipeSlots)
                {
                    mirel::Assert(false, kSource, __LINE__, "Invalid Slot For setting shader UAV");
                    continue;
                }
                pendingUavs_[pendingCount_++] = res.uav;
                if (pendingLowest_ < 0 || slot < pendingLowest_) pendingLowest_ = slot;
            }
    }

    // Constants: per frame, the view's, the world matrix and the material's own.
    RecordConstantBuffer(cfg, g_source->FindConstantBuffer("perFrame"), nullptr, 0);
    if (viewConstantBufferId != kNoBuffer)
        RecordConstantBuffer(cfg, static_cast<int32_t>(viewConstantBufferId), nullptr, 0);
    if (worldConstantBufferId >= 0 && transform)
        RecordConstantBuffer(cfg, worldConstantBufferId, transform->world, sizeof transform->world);
    if (mat.constantBufferId >= 0)
    {
        PipeBufferInfo cb{};
        if (g_source->ConstantBuffer(mat.constantBufferId, cb))
            RecordConstantBuffer(cfg, mat.constantBufferId, cb.data, cb.byteSize);
    }
    return true;
}

void PlatformDevicePipe::DrawModel(int32_t modelId, const Transform* transform, int32_t materialId,
                                   int32_t depthMaterialId, bool instanced, uint32_t instanceCount)
{
    if (!g_source) return;
    PipeModelInfo model{};
    if (!g_source->Model(modelId, model))
    {
        mirel::Assert(false, kSource, __LINE__, "Model not found");
        return;
    }
    const int32_t worldBuffer = transform ? transform->constantBufferId : -1;
    for (int32_t i = 0; i < model.surfaceCount; ++i)
    {
        PipeSurfaceInfo surface{};
        if (!g_source->Surface(modelId, i, surface))
        {
            mirel::Assert(false, kSource, __LINE__, "surface not found");
            continue;
        }
        int32_t material = materialId >= 0 ? materialId : surface.materialId;
        if (material < 0) continue; // nothing to draw it with
        if (depthOnly)
        {
            if (depthMaterialId >= 0)
                material = depthMaterialId;
            else
            {
                PipeMaterialInfo drawn{};
                const PipeCfgInfo* cfg =
                    g_source->Material(material, drawn) ? g_source->Cfg(drawn.cfgId) : nullptr;
                const bool alpha = cfg && cfg->alphaTest;
                const int32_t depthMaterial = g_source->DepthMaterial(model.depthLayout, alpha);
                if (alpha && depthMaterial >= 0)
                    g_source->SetMaterialAlphaTexture(depthMaterial, drawn.alphaTestTextureId);
                material = depthMaterial;
            }
            if (material < 0) continue;
        }
        // Drawing with whatever the last surface left bound would be wrong, not just missing.
        if (!BindMaterial(material, worldBuffer, transform, modelId, i, -1)) continue;
        if (surface.type == 0)
        {
            if (instanced)
                RecordDraw(kOpDrawIndexedInstanced, surface.indexCount, instanceCount, surface.indexCount);
            else
                RecordDraw(kOpDrawIndexed, surface.indexCount, 1, surface.indexCount);
        }
        else if (surface.type == 2)
        {
            RecordDraw(kOpDraw, model.vertexCount, 1, model.vertexCount);
        }
        PipeMaterialInfo mat{};
        const PipeCfgInfo* cfg = g_source->Material(material, mat) ? g_source->Cfg(mat.cfgId) : nullptr;
        for (int32_t s = 0; s < 5; ++s)
            if (HasShader(cfg, s)) Record(kOpShaderResources, ResourcesPayload{s, {}});
    }
}

void PlatformDevicePipe::DrawLines(uint32_t vertexCount)
{
    if (!g_source) return;
    const int32_t line = g_source->FindMaterial("line");
    if (line < 0)
    {
        mirel::Assert(false, kSource, __LINE__, "Line material not found");
        return;
    }
    const int32_t buffer = g_source->FindDynamicBuffer("lineDrawBuffer");
    PipeBufferInfo dyn{};
    if (buffer < 0 || !g_source->DynamicBuffer(buffer, dyn))
    {
        mirel::Assert(false, kSource, __LINE__, "Dyn vertex buffer not found");
        return;
    }
    UpdateDynamicVertexBuffer(buffer, dyn.stride * vertexCount);
    static Transform identity = []
    {
        Transform t{};
        std::memcpy(t.world, kIdentity, sizeof t.world);
        return t;
    }();
    identity.constantBufferId = g_source->FindConstantBuffer("physicsIdentityWorldConstant");
    if (!BindMaterial(line, identity.constantBufferId, &identity, -1, -1, buffer)) return;
    RecordDraw(kOpDraw, vertexCount, 1, vertexCount);
}

void PlatformDevicePipe::DrawDynamic(int32_t materialId, int32_t bufferId, uint32_t vertexCount)
{
    if (!g_source || vertexCount == 0) return;
    PipeBufferInfo dyn{};
    if (!g_source->DynamicBuffer(bufferId, dyn) || dyn.stride == 0)
    {
        mirel::Assert(false, kSource, __LINE__, "Dynamic Vertex buffer not found");
        return;
    }
    // Drawing past the buffer's vertices would read whatever follows it.
    if (vertexCount > dyn.byteSize / dyn.stride) vertexCount = dyn.byteSize / dyn.stride;
    UpdateDynamicVertexBuffer(bufferId, dyn.stride * vertexCount);
    static Transform identity = []
    {
        Transform t{};
        std::memcpy(t.world, kIdentity, sizeof t.world);
        return t;
    }();
    identity.constantBufferId = g_source->FindConstantBuffer("physicsIdentityWorldConstant");
    if (!BindMaterial(materialId, identity.constantBufferId, &identity, -1, -1, bufferId)) return;
    RecordDraw(kOpDraw, vertexCount, 1, vertexCount);
}

void PlatformDevicePipe::UpdateTexture(int32_t textureId, const void* data)
{
    PipeTextureInfo tex{};
    if (!g_source || !g_source->Texture(textureId, tex))
    {
        mirel::Assert(false, kSource, __LINE__, "Texture not found");
        return;
    }
    Record(kOpUpdateTexture, UpdateTexturePayload{tex.texture, data, tex.width, tex.height});
}

void PlatformDevicePipe::UpdateDynamicVertexBuffer(int32_t bufferId, uint32_t byteCount)
{
    PipeBufferInfo dyn{};
    if (!g_source || !g_source->DynamicBuffer(bufferId, dyn))
    {
        mirel::Assert(false, kSource, __LINE__, "Dynamic Vertex buffer not found");
        return;
    }
    // The mapped buffer holds byteSize bytes; copying more would write past it.
    if (byteCount > dyn.byteSize)
    {
        mirel::Assert(false, kSource, __LINE__, "Dynamic vertex buffer update larger than the buffer");
        byteCount = dyn.byteSize;
    }
    RecordUpload(dyn, dyn.data, byteCount);
}

void PlatformDevicePipe::SetComputeShader(int32_t shaderId)
{
    PipeShaderInfo shader{};
    if (shaderId >= 0 && (!g_source || !g_source->Shader(shaderId, shader)))
    {
        mirel::Assert(false, kSource, __LINE__, "Shader not found");
        return;
    }
    Record(kOpShader, ShaderPayload{kComputeStage, shader.shader});
}

void PlatformDevicePipe::SetComputeResources(const int32_t* resourceIds)
{
    ResourcesPayload r{kComputeStage, {}};
    for (int32_t i = 0; i < kPipeSlots && resourceIds && g_source; ++i)
    {
        if (resourceIds[i] < 0) continue;
        PipeGpuResourceInfo res{};
        if (g_source->GpuResource(resourceIds[i], res))
            r.views[i] = res.srv;
        else
            mirel::Assert(false, kSource, __LINE__, "Resource not found");
    }
    Record(kOpShaderResources, r);
}

void PlatformDevicePipe::SetComputeUAV(int32_t resourceId, int32_t slot)
{
    if (slot < 0 || slot >= kPipeSlots)
    {
        mirel::Assert(false, kSource, __LINE__, "Invalid Slot For setting shader UAV");
        return;
    }
    PipeGpuResourceInfo res{};
    if (!g_source || !g_source->GpuResource(resourceId, res))
    {
        mirel::Assert(false, kSource, __LINE__, "Resource not found");
        return;
    }
    Record(kOpComputeUav, ComputeUavPayload{slot, 1, res.uav});
}

void PlatformDevicePipe::SetComputeConstantBuffers(const int32_t* ids, int32_t count)
{
    for (int32_t i = 0; i < count && ids && g_source; ++i)
    {
        PipeBufferInfo cb{};
        if (ids[i] < 0 || !g_source->ConstantBuffer(ids[i], cb)) continue;
        Record(kOpConstantBuffer, ConstantBufferPayload{kComputeStage, cb.registerSlot, cb.buffer});
    }
}

void PlatformDevicePipe::Dispatch(uint32_t x, uint32_t y, uint32_t z)
{
    // The runtime silently drops an oversized dispatch; the largest allowed one is the nearest.
    auto clampGroups = [](uint32_t v) { return v > static_cast<uint32_t>(kDispatchMax) ? kDispatchMax : v; };
    Record(kOpDispatch, DispatchPayload{clampGroups(x), clampGroups(y), clampGroups(z)});
}

void PlatformDevicePipe::ClearUAV(int32_t resourceId, bool fillOnes)
{
    PipeGpuResourceInfo res{};
    if (!g_source || !g_source->GpuResource(resourceId, res))
    {
        mirel::Assert(false, kSource, __LINE__, "Resource not found");
        return;
    }
    Record(kOpClearUav, ClearUavPayload{res.uav, fillOnes ? 0xFFFFFFFFu : 0u});
}

void PlatformDevicePipe::UnbindComputeUAVs()
{
    Record(kOpComputeUav, ComputeUavPayload{0, 7, nullptr});
}

void PlatformDevicePipe::Execute()
{
    const uint8_t* at = buffer_;
    for (uint32_t i = 0; i < recordCount_; ++i)
    {
        uint32_t bytes;
        PipeExec exec;
        std::memcpy(&bytes, at, sizeof bytes);
        std::memcpy(&exec, at + sizeof bytes, sizeof exec);
        exec(at + kHeaderBytes);
        at += kHeaderBytes + bytes;
    }
}

} // namespace miRender
