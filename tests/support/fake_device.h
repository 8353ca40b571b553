// One device for every test that runs engine or demo code without Direct3D: the device host and
// the pipe's resource source over small tables. Each test fills the tables it needs and reads
// back the calls it checks; what a test leaves empty answers as "absent".
#pragma once

#include "core/utils.h"
#include "render/device/devicehost.h"
#include "render/device/devicepipe.h"
#include "render/material.h"
#include "render/renderer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace mirel::test
{

class FakeDevice : public miRender::DeviceHost, public miRender::PipeSource
{
  public:
    struct Buffer
    {
        std::string name;
        int32_t registerSlot;
        int32_t bytes;
        const void* data;
    };
    struct TargetEntry
    {
        int32_t id;
        uint32_t width, height, format;
        bool depth;
        int32_t samples;
    };
    struct Upload
    {
        int32_t id;
        std::vector<uint8_t> bytes;
    };

    FakeDevice() { std::fill(std::begin(noIds), std::end(noIds), -1); }
    ~FakeDevice() override
    {
        if (&miRender::GetDeviceHost() == this) miRender::SetDeviceHost(nullptr);
        if (miRender::GetPipeSource() == this) miRender::SetPipeSource(nullptr);
    }
    // Both halves at once, as the back end installs them.
    void Install()
    {
        miRender::SetDeviceHost(this);
        miRender::SetPipeSource(this);
    }

    // ---- device
    bool CreateDevice(miRender::Renderer& renderer, void* window) override
    {
        deviceWindow = window;
        deviceWidth = renderer.outputWidth;
        return true;
    }
    void InitGpuPerf(void* device, void* owner) override { perfArgs = {device, owner}; }

    // ---- constant buffers: ids are indices into buffers; a re-created name keeps its id.
    int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes, void* data) override
    {
        if (onCreateConstantBuffer) onCreateConstantBuffer(name, bytes, data);
        if (!constantBuffers) return -1;
        auto it = bufferIds.find(name);
        const int32_t id = it != bufferIds.end() ? it->second : static_cast<int32_t>(buffers.size());
        if (it == bufferIds.end())
        {
            bufferIds[name] = id;
            buffers.push_back({});
        }
        buffers[static_cast<size_t>(id)] = {name, registerSlot, bytes, data};
        return id;
    }
    int32_t CreateNewConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                    void* data) override
    {
        if (constantBuffers && bufferIds.count(name))
        {
            mirel::Assert(false, "fake", 0, "Trying to create an object that already exists: %s", name);
            return -1;
        }
        return CreateConstantBuffer(name, registerSlot, bytes, data);
    }
    // Entity buffers get a fresh id on every call, so a rebuilt entity is told apart from its
    // former self.
    int32_t CreateEntityConstantBuffer(const char* name, int32_t registerSlot, int32_t bytes,
                                       const void* data) override
    {
        if (!entityBuffers) return DeviceHost::CreateEntityConstantBuffer(name, registerSlot, bytes, data);
        buffers.push_back({name, registerSlot, bytes, data});
        return static_cast<int32_t>(buffers.size()) - 1;
    }
    void ReleaseConstantBuffer(int32_t id) override
    {
        if (!entityBuffers) return DeviceHost::ReleaseConstantBuffer(id);
        released.insert(id);
    }
    void SetConstantBufferData(int32_t id, void* data) override
    {
        if (id >= 0 && id < static_cast<int32_t>(buffers.size()))
            buffers[static_cast<size_t>(id)].data = data;
    }
    void UploadConstantBuffer(int32_t id, const void* data, uint32_t bytes) override
    {
        const uint8_t* b = static_cast<const uint8_t*>(data);
        immediateUploads.push_back({id, std::vector<uint8_t>(b, b + bytes)});
    }

    // ---- render targets: ids in creation order, a repeated name keeps its id.
    int32_t FindRenderTarget(const char* name) override
    {
        if (anyTarget >= 0) return anyTarget;
        auto it = targets.find(name);
        return it == targets.end() ? -1 : it->second.id;
    }
    int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format,
                               bool hasDepth, int32_t samples) override
    {
        auto it = targets.find(name);
        const int32_t id = it != targets.end() ? it->second.id : static_cast<int32_t>(targets.size());
        targets[name] = {id, width, height, format, hasDepth, samples};
        return id;
    }

    // ---- materials and models
    int32_t FindMaterial(const char* name) override { return Get(materials, name); }
    int32_t LoadMaterial(const char* name) override
    {
        loaded.push_back(name);
        if (unloadable.count(name)) return -1;
        const int32_t id = 100 + static_cast<int32_t>(materials.size());
        materials[name] = id;
        return id;
    }
    int32_t FindModel(const char* name) override { return Get(models, name); }
    // Every model found has modelBounds.
    int32_t FindOrLoadModel(const char* name, mirel::Vec3& boundsMin, mirel::Vec3& boundsMax) override
    {
        int32_t id = Get(models, name);
        if (id < 0) id = anyModel;
        if (id < 0) return DeviceHost::FindOrLoadModel(name, boundsMin, boundsMax);
        boundsMin = modelBounds[0];
        boundsMax = modelBounds[1];
        return id;
    }
    void BuildBuiltinModels() override { builtins = true; }

    // ---- pools behind material bindings
    bool HasResourcePools() override { return true; }
    int32_t FindGpuResource(const char* name) override { return Get(gpu, name); }
    int32_t FindOrCreateGpuResource(const char* name) override
    {
        if (!gpu.count(name)) gpu[name] = nextResource++;
        return gpu[name];
    }
    int32_t FindTexture(const char* name) override { return Get(textures, name); }
    // Files and DDS textures get their GPU resource; empty entries wait for code.
    int32_t CreateTexture(const char* name, int32_t kind, int32_t& gpuResourceId) override
    {
        created.push_back(std::string(name) + ":" + std::to_string(kind));
        textures[name] = nextResource++;
        gpuResourceId = -1;
        if (kind == miResources::kTex2d || kind == miResources::kTexAlphaTest ||
            kind == miResources::kTexCube)
            gpuResourceId = gpu[name] = nextResource++;
        return textures[name];
    }
    // A texture file is its GPU resource of that name.
    int32_t LoadTextureFile(const char* fileName) override { return Get(gpu, fileName); }

    // ---- sprite-batch vertex buffers: ids count up; the live ones hold their bytes.
    int32_t CreateVertexBuffer(int32_t vertexCount, uint32_t stride) override
    {
        if (vertexCount <= 0) return -1;
        vertexBuffers[nextVertexBuffer].assign(static_cast<size_t>(vertexCount) * stride, 0);
        return nextVertexBuffer++;
    }
    void ReleaseVertexBuffer(int32_t id) override
    {
        if (!vertexBuffers.erase(id)) ++strayReleases;
    }
    void WriteVertexBuffer(int32_t id, const void* vertices, uint32_t bytes) override
    {
        auto it = vertexBuffers.find(id);
        if (it == vertexBuffers.end() || !vertices) return;
        const uint8_t* b = static_cast<const uint8_t*>(vertices);
        std::copy(b, b + std::min<size_t>(bytes, it->second.size()), it->second.begin());
    }

    // ---- compute
    bool FindComputeUav(int32_t id, miRender::ComputeUavInfo& o) override { return Find(computeUavs, id, o); }

    // ---- the pipe's lookups
    bool Target(int32_t id, miRender::PipeTargetInfo& out) override
    {
        for (auto& t : targets)
            if (t.second.id == id)
            {
                out = {Ptr(0x100 + static_cast<uintptr_t>(id)),
                       Ptr(0x200 + static_cast<uintptr_t>(id)),
                       {static_cast<float>(t.second.width), static_cast<float>(t.second.height), 0, 1, 0, 0}};
                return true;
            }
        return Find(pipeTargets, id, out);
    }
    bool Model(int32_t id, miRender::PipeModelInfo& out) override { return Find(pipeModels, id, out); }
    bool Surface(int32_t modelId, int32_t index, miRender::PipeSurfaceInfo& out) override
    {
        return Find(surfaces, std::make_pair(modelId, index), out);
    }
    bool Material(int32_t id, miRender::PipeMaterialInfo& out) override
    {
        if (Find(pipeMaterials, id, out)) return true;
        if (!everyMaterialDrawable || id < 0) return false;
        out = {0, noIds, noIds, -1, -1};
        return true;
    }
    void SetMaterialAlphaTexture(int32_t materialId, int32_t textureId) override
    {
        alphaCopies.push_back({materialId, textureId});
        auto it = pipeMaterials.find(materialId);
        if (it != pipeMaterials.end()) it->second.alphaTestTextureId = textureId;
    }
    const miRender::PipeCfgInfo* Cfg(int32_t id) override
    {
        auto it = cfgs.find(id);
        return it == cfgs.end() ? nullptr : &it->second;
    }
    bool Shader(int32_t id, miRender::PipeShaderInfo& out) override { return Find(shaders, id, out); }
    bool ConstantBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        if (Find(pipeBuffers, id, out)) return true;
        if (id < 0 || id >= static_cast<int32_t>(buffers.size())) return false;
        const Buffer& b = buffers[static_cast<size_t>(id)];
        out = {Ptr(kBufferBase + static_cast<uintptr_t>(id)), b.registerSlot, static_cast<uint32_t>(b.bytes),
               const_cast<void*>(b.data), 0};
        return true;
    }
    bool DynamicBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        return Find(dynamicBuffers, id, out);
    }
    bool Texture(int32_t id, miRender::PipeTextureInfo& out) override { return Find(pipeTextures, id, out); }
    bool GpuResource(int32_t id, miRender::PipeGpuResourceInfo& out) override
    {
        return Find(gpuResources, id, out);
    }
    int32_t FindConstantBuffer(const char* name) override { return Get(bufferIds, name); }
    int32_t FindDynamicBuffer(const char* name) override { return Get(dynamicBufferIds, name); }
    int32_t DepthMaterial(uint32_t layout, bool alphaTested) override
    {
        depthAsked.push_back(layout);
        return depthMaterial ? depthMaterial(layout, alphaTested) : -1;
    }

    static void* Ptr(uintptr_t v) { return reinterpret_cast<void*>(v); }
    // Constant buffer id n answers as the buffer object kBufferBase + n.
    static constexpr uintptr_t kBufferBase = 0x7000;

    // Device and buffers.
    void* deviceWindow = nullptr;
    uint32_t deviceWidth = 0;
    std::pair<void*, void*> perfArgs{nullptr, nullptr};
    std::map<std::string, int32_t> bufferIds;
    std::vector<Buffer> buffers;
    std::vector<Upload> immediateUploads;
    // Off: no constant buffer can be made (ids -1).
    bool constantBuffers = true;
    // Called first by every CreateConstantBuffer: name, bytes, data.
    std::function<void(const char*, int32_t, void*)> onCreateConstantBuffer;
    // Off: entity buffers are the device-less named records.
    bool entityBuffers = true;
    std::set<int32_t> released;
    // Targets; anyTarget >= 0 answers every lookup by name.
    std::map<std::string, TargetEntry> targets;
    int32_t anyTarget = -1;
    // Materials and models.
    std::map<std::string, int32_t> materials, models;
    // >= 0: every model missing from the table loads with this id.
    int32_t anyModel = -1;
    std::set<std::string> unloadable;
    std::vector<std::string> loaded;
    mirel::Vec3 modelBounds[2] = {{-1, 0, -2}, {1, 10, 2}};
    bool builtins = false;
    // Material binding pools.
    std::map<std::string, int32_t> gpu, textures;
    std::vector<std::string> created;
    int32_t nextResource = 10;
    // Vertex buffers by id; releasing one that is not live counts as stray.
    std::map<int32_t, std::vector<uint8_t>> vertexBuffers;
    int32_t nextVertexBuffer = 0;
    int strayReleases = 0;
    std::map<int32_t, miRender::ComputeUavInfo> computeUavs;
    // Pipe tables.
    std::map<int32_t, miRender::PipeTargetInfo> pipeTargets;
    std::map<int32_t, miRender::PipeModelInfo> pipeModels;
    std::map<std::pair<int32_t, int32_t>, miRender::PipeSurfaceInfo> surfaces;
    std::map<int32_t, miRender::PipeMaterialInfo> pipeMaterials;
    bool everyMaterialDrawable = false;
    std::vector<std::pair<int32_t, int32_t>> alphaCopies;
    std::map<int32_t, miRender::PipeCfgInfo> cfgs;
    std::map<int32_t, miRender::PipeShaderInfo> shaders;
    std::map<int32_t, miRender::PipeBufferInfo> pipeBuffers, dynamicBuffers;
    std::map<int32_t, miRender::PipeTextureInfo> pipeTextures;
    std::map<int32_t, miRender::PipeGpuResourceInfo> gpuResources;
    std::map<std::string, int32_t> dynamicBufferIds;
    std::function<int32_t(uint32_t, bool)> depthMaterial;
    std::vector<uint32_t> depthAsked;
    int32_t noIds[miRender::kPipeStages * miRender::kPipeSlots];

  private:
    static int32_t Get(const std::map<std::string, int32_t>& m, const char* name)
    {
        auto it = m.find(name ? name : "");
        return it == m.end() ? -1 : it->second;
    }
    template <typename K, typename V> static bool Find(const std::map<K, V>& m, const K& key, V& out)
    {
        auto it = m.find(key);
        if (it == m.end()) return false;
        out = it->second;
        return true;
    }
};

// Executors that log what a replay runs: each record's op and payload, an upload's bytes as they
// are at replay time, and the g_replayTag the test had set when it ran.
struct Replayed
{
    int op;
    std::vector<uint8_t> payload, uploaded;
    int tag;
    template <typename P> P As() const
    {
        P p;
        std::memcpy(&p, payload.data(), sizeof p);
        return p;
    }
};
inline std::vector<Replayed> g_replayed;
inline int g_replayTag = -1;

template <int Op> void LogReplay(const void* p)
{
    using namespace miRender;
    static const size_t kSizes[kOpCount] = {
        sizeof(ViewportPayload),    sizeof(TargetsPayload),       sizeof(ClearColourPayload),
        sizeof(ClearDepthPayload),  sizeof(StatePayload),         sizeof(StatePayload),
        sizeof(StatePayload),       sizeof(StatePayload),         sizeof(VertexBufferPayload),
        sizeof(IndexBufferPayload), sizeof(TopologyPayload),      sizeof(ShaderPayload),
        sizeof(SamplerPayload),     sizeof(ResourcesPayload),     sizeof(ConstantBufferPayload),
        sizeof(UploadPayload),      sizeof(UpdateTexturePayload), sizeof(DrawPayload),
        sizeof(DrawPayload),        sizeof(DrawPayload),          sizeof(TargetsAndUavsPayload),
        sizeof(ComputeUavPayload),  sizeof(DispatchPayload),      sizeof(ClearUavPayload)};
    const uint8_t* b = static_cast<const uint8_t*>(p);
    Replayed r{Op, std::vector<uint8_t>(b, b + kSizes[Op]), {}, g_replayTag};
    if (Op == kOpUpload)
    {
        const UploadPayload u = r.As<UploadPayload>();
        const uint8_t* data = static_cast<const uint8_t*>(u.data);
        if (data) r.uploaded.assign(data, data + u.bytes);
    }
    g_replayed.push_back(std::move(r));
}
template <int... Ops> miRender::PipeExecutors LoggingTable(std::integer_sequence<int, Ops...>)
{
    return miRender::PipeExecutors{{&LogReplay<Ops>...}};
}
inline const miRender::PipeExecutors g_loggingExecutors =
    LoggingTable(std::make_integer_sequence<int, miRender::kOpCount>{});

inline int CountOps(const std::vector<Replayed>& log, int op)
{
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [op](const Replayed& r) { return r.op == op; }));
}

} // namespace mirel::test
