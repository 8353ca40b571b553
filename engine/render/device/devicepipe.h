// The device pipe: records draw and compute commands into its own buffer (resolving every id to
// device objects at record time) and replays them later on the immediate context. Recording,
// the record format and the state cache are portable; only the executors touch Direct3D.
#pragma once

#include "core/sys.h"

#include <cstddef>
#include <cstdint>

namespace miRender
{

using PipeExec = void (*)(const void* payload);

// One executor per recorded operation; the device layer installs the Direct3D 11 table.
enum PipeOp : int32_t
{
    kOpViewport,
    kOpSetTargets,
    kOpClearColour,
    kOpClearDepth,
    kOpRasterState,
    kOpBlendState,
    kOpDepthState,
    kOpInputLayout,
    kOpVertexBuffer,
    kOpIndexBuffer,
    kOpTopology,
    kOpShader,
    kOpSampler,
    kOpShaderResources,
    kOpConstantBuffer,
    kOpUpload,
    kOpUpdateTexture,
    kOpDraw,
    kOpDrawIndexed,
    kOpDrawIndexedInstanced,
    kOpTargetsAndUavs,
    kOpComputeUav,
    kOpDispatch,
    kOpClearUav,
    kOpCount
};

struct PipeExecutors
{
    PipeExec exec[kOpCount];
};
// Null restores the table of executors that do nothing.
void SetPipeExecutors(const PipeExecutors* table);
const PipeExecutors& GetPipeExecutors();

constexpr int32_t kPipeStages = 6;
constexpr int32_t kPipeSlots = 16;
constexpr int32_t kComputeStage = 5;

// Payloads, as stored after each record header.
struct ViewportPayload
{
    float x, y, width, height, minDepth, maxDepth;
};
struct TargetsPayload
{
    uint32_t count;
    void* rtv[4];
    void* dsv;
};
struct ClearColourPayload
{
    void* rtv;
    float colour[4];
};
struct ClearDepthPayload
{
    void* dsv;
    float depth;
};
struct StatePayload
{
    void* state;
};
struct VertexBufferPayload
{
    void* buffer;
    uint32_t stride;
};
struct IndexBufferPayload
{
    void* buffer;
};
struct TopologyPayload
{
    int32_t topology;
};
struct ShaderPayload
{
    int32_t stage;
    void* shader;
};
struct SamplerPayload
{
    int32_t stage;
    int32_t slot;
    void* sampler;
};
struct ResourcesPayload
{
    int32_t stage;
    void* views[kPipeSlots];
};
struct ConstantBufferPayload
{
    int32_t stage;
    int32_t slot;
    void* buffer;
};
struct UploadPayload
{
    void* buffer;
    const void* data;
    uint32_t bytes;
};
struct UpdateTexturePayload
{
    void* texture;
    const void* data;
    uint32_t width, height;
};
struct DrawPayload
{
    uint32_t count;
    uint32_t instances;
};
struct TargetsAndUavsPayload
{
    uint32_t targetCount;
    void* rtv[4];
    void* dsv;
    uint32_t firstSlot;
    uint32_t uavCount;
    void* uavs[kPipeSlots];
    uint32_t initialCounts[kPipeSlots];
};
struct ComputeUavPayload
{
    int32_t slot;
    int32_t count;
    void* uav;
};
struct DispatchPayload
{
    uint32_t x, y, z;
};
struct ClearUavPayload
{
    void* uav;
    uint32_t value;
};

// State-cache keys: the parts of a configuration's descriptions that distinguish its states.
struct RasterKey
{
    int32_t fill, cull, depthBias;
    float clamp, slope;
    int32_t depthClip;
};
struct BlendKey
{
    int32_t enable, src, dest, op, srcAlpha, destAlpha, opAlpha, writeMask;
};
struct DepthKey
{
    int32_t enable, writeMask, func;
};
// Same 32 bytes as the configuration's sampler record.
struct SamplerKey
{
    uint8_t defined;
    int32_t filter, addressU, addressV, addressW, comparison;
    float minLod, maxLod;
};
static_assert(sizeof(SamplerKey) == 32, "sampler key is the record's 32 bytes");

// What recording needs to know of the engine's resources, by id. The device layer answers from
// its pools; tests answer from fakes. Lookups return false (or null) for ids that are not live.
struct PipeTargetInfo
{
    void* rtv;
    void* dsv;
    float viewport[6]; /* width, height, minDepth, maxDepth, left, top */
};
struct PipeModelInfo
{
    void* vertexBuffer;
    void* positionBuffer;
    uint32_t stride, positionStride, vertexCount, depthLayout;
    int32_t surfaceCount;
};
struct PipeSurfaceInfo
{
    int32_t materialId;
    uint32_t indexCount;
    uint32_t type;
    void* indexBuffer;
};
struct PipeCfgInfo
{
    int32_t id;
    void* raster;
    void* biasedRaster; // null without a depth bias
    void* blend;
    void* depth;
    RasterKey rasterKey;
    BlendKey blendKey;
    DepthKey depthKey;
    int32_t topology;
    bool alphaTest;
    int32_t shaderIds[kPipeStages];
    const SamplerKey* samplerKeys; // [stage * 16 + slot]
    void* const* samplers;         // [stage * 16 + slot]
};
struct PipeMaterialInfo
{
    int32_t cfgId;
    const int32_t* srvIds; // [stage * 16 + slot]
    const int32_t* uavIds; // [stage * 16 + slot]
    int32_t alphaTestTextureId;
    int32_t constantBufferId;
};
struct PipeShaderInfo
{
    void* shader;
    void* inputLayout;
};
struct PipeBufferInfo
{
    void* buffer;
    int32_t registerSlot;
    uint32_t byteSize;
    const void* data;
    uint32_t stride;
};
struct PipeTextureInfo
{
    void* texture;
    uint32_t width, height;
};
struct PipeGpuResourceInfo
{
    void* srv;
    void* uav;
};

class PipeSource
{
  public:
    virtual ~PipeSource() = default;
    virtual bool Target(int32_t id, PipeTargetInfo& out) = 0;
    virtual bool Model(int32_t id, PipeModelInfo& out) = 0;
    virtual bool Surface(int32_t modelId, int32_t index, PipeSurfaceInfo& out) = 0;
    virtual bool Material(int32_t id, PipeMaterialInfo& out) = 0;
    virtual void SetMaterialAlphaTexture(int32_t materialId, int32_t textureId) = 0;
    virtual const PipeCfgInfo* Cfg(int32_t id) = 0;
    virtual bool Shader(int32_t id, PipeShaderInfo& out) = 0;
    virtual bool ConstantBuffer(int32_t id, PipeBufferInfo& out) = 0;
    virtual bool DynamicBuffer(int32_t id, PipeBufferInfo& out) = 0;
    virtual bool Texture(int32_t id, PipeTextureInfo& out) = 0;
    virtual bool GpuResource(int32_t id, PipeGpuResourceInfo& out) = 0;
    virtual int32_t FindMaterial(const char* name) = 0;
    virtual int32_t FindConstantBuffer(const char* name) = 0;
    virtual int32_t FindDynamicBuffer(const char* name) = 0;
    // The renderer's depth-only material for a vertex layout; -1 when none.
    virtual int32_t DepthMaterial(uint32_t layout, bool alphaTested) = 0;
};
void SetPipeSource(PipeSource* source);
// A material whose files failed to load, already reported: its draws then fail without a report.
void MarkMaterialReported(int32_t materialId);
PipeSource* GetPipeSource();

// Draw counters shown by the statistics overlay; counted only while *countEnabled is set.
struct DrawStatistics
{
    mirel::sys::CriticalSection lock;
    const uint8_t* countEnabled = nullptr;
    uint64_t drawCalls = 0;
    uint64_t triangles = 0;
};
DrawStatistics& GetDrawStatistics();

struct TargetClear
{
    bool clearColour;
    float colour[4];
    bool clearDepth;
    float depth;
};

struct Transform
{
    float world[16];
    int32_t constantBufferId;
};

class DevicePipe
{
  public:
    virtual ~DevicePipe() = default;
    virtual void Begin(uint32_t viewConstantBufferId) = 0;
    virtual void SetDepthOnly(bool on) = 0;
    virtual void SetAuxFlag(bool on) = 0;
    virtual void SetUseBiasedRaster(bool on) = 0;
    virtual void SetRenderTargets(int32_t count, const int32_t* targetIds, const TargetClear* clears) = 0;
    virtual void DrawModel(int32_t modelId, const Transform* transform, int32_t materialId,
                           int32_t depthMaterialId, bool instanced, uint32_t instanceCount) = 0;
    virtual void DrawLines(uint32_t vertexCount) = 0;
    virtual void UpdateTexture(int32_t textureId, const void* data) = 0;
    virtual void UpdateDynamicVertexBuffer(int32_t bufferId, uint32_t byteCount) = 0;
    virtual void SetComputeShader(int32_t shaderId) = 0;
    virtual void SetComputeResources(const int32_t* resourceIds) = 0;
    virtual void SetComputeUAV(int32_t resourceId, int32_t slot) = 0;
    virtual void Dispatch(uint32_t x, uint32_t y, uint32_t z) = 0;
    virtual void ClearUAV(int32_t resourceId, bool fillOnes) = 0;
    virtual void UnbindComputeUAVs() = 0;
    virtual void Execute() = 0;
};

class PlatformDevicePipe : public DevicePipe
{
  public:
    static constexpr uint32_t kInitialCapacity = 65536;
    static constexpr uint32_t kHeaderBytes = sizeof(uint32_t) + sizeof(PipeExec);
    static constexpr uint32_t kNoBuffer = 0xFFFFFFFFu;
    // Largest recording a pipe grows to; past it records are dropped and reported.
    static uint32_t maxCapacity;

    PlatformDevicePipe();
    ~PlatformDevicePipe() override;
    PlatformDevicePipe(const PlatformDevicePipe&) = delete;
    PlatformDevicePipe& operator=(const PlatformDevicePipe&) = delete;

    void Begin(uint32_t viewConstantBufferId) override;
    void SetDepthOnly(bool on) override { depthOnly = on; }
    void SetAuxFlag(bool on) override { auxFlag = on; }
    void SetUseBiasedRaster(bool on) override { useBiasedRaster = on; }
    void SetRenderTargets(int32_t count, const int32_t* targetIds, const TargetClear* clears) override;
    void DrawModel(int32_t modelId, const Transform* transform, int32_t materialId, int32_t depthMaterialId,
                   bool instanced, uint32_t instanceCount) override;
    void DrawLines(uint32_t vertexCount) override;
    // Draws a dynamic vertex buffer's first vertexCount vertices with a material (sprite quads).
    void DrawDynamic(int32_t materialId, int32_t bufferId, uint32_t vertexCount);
    void UpdateTexture(int32_t textureId, const void* data) override;
    void UpdateDynamicVertexBuffer(int32_t bufferId, uint32_t byteCount) override;
    void SetComputeShader(int32_t shaderId) override;
    void SetComputeResources(const int32_t* resourceIds) override;
    void SetComputeUAV(int32_t resourceId, int32_t slot) override;
    void Dispatch(uint32_t x, uint32_t y, uint32_t z) override;
    void ClearUAV(int32_t resourceId, bool fillOnes) override;
    void UnbindComputeUAVs() override;
    void Execute() override;

    // Binds a material's states, geometry, shaders, samplers, resources and constants; false
    // when the material, its configuration or the geometry is missing.
    bool BindMaterial(int32_t materialId, int32_t worldConstantBufferId, const Transform* transform,
                      int32_t modelId, int32_t surfaceIndex, int32_t dynamicBufferId);
    // Constant buffers for the compute stage at their own registers (-1 entries skipped).
    void SetComputeConstantBuffers(const int32_t* constantBufferIds, int32_t count);

    // The record stream, for inspection.
    const uint8_t* Data() const { return buffer_; }
    uint32_t Size() const { return writeOffset_; }
    uint32_t Capacity() const { return capacity_; }
    uint32_t RecordCount() const { return recordCount_; }

    uint32_t viewConstantBufferId = kNoBuffer;
    bool depthOnly = false;
    bool useBiasedRaster = true;
    bool auxFlag = false;

  private:
    struct Cache
    {
        bool rasterValid, blendValid, depthValid, layoutValid, vertexValid, indexValid, topologyValid;
        RasterKey raster;
        BlendKey blend;
        DepthKey depth;
        int32_t layoutCfg;
        int32_t vertexModel;
        int32_t indexSurface;
        int32_t topology;
        bool shaderValid[5];
        int32_t shader[5];
        bool samplerValid[kPipeStages][kPipeSlots];
        SamplerKey sampler[kPipeStages][kPipeSlots];
    };

    // False when the recording could not grow; the record is then dropped (and reported).
    bool Append(PipeOp op, const void* payload, uint32_t bytes);
    template <typename P> bool Record(PipeOp op, const P& payload)
    {
        return Append(op, &payload, static_cast<uint32_t>(sizeof(P)));
    }
    void RecordDraw(PipeOp op, uint32_t count, uint32_t instances, uint32_t primitiveCount);
    void FlushPendingUavs();
    void ClearPendingUavs();
    void RecordUpload(const PipeBufferInfo& info, const void* data, uint32_t bytes);
    void RecordConstantBuffer(const PipeCfgInfo* cfg, int32_t bufferId, const void* uploadData,
                              uint32_t uploadBytes);

    Cache cache_{};
    uint8_t* buffer_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t writeOffset_ = 0;
    uint32_t recordCount_ = 0;

    int32_t pendingCount_ = 0;
    int32_t pendingLowest_ = -1;
    void* pendingUavs_[kPipeSlots] = {};
    uint32_t pendingCounts_[kPipeSlots] = {};

    uint32_t targetCount_ = 0;
    void* targets_[4] = {};
    void* targetDepth_ = nullptr;
};

} // namespace miRender
