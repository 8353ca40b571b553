// Recording a demo-sized frame into a device pipe: ~30 model draws over a handful of
// configurations, with render-target set-up, as the views record each frame.
#include "render/device/devicepipe.h"

#include <benchmark/benchmark.h>

#include <cstring>

using namespace miRender;

namespace
{
void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

class BenchSource final : public PipeSource
{
  public:
    BenchSource()
    {
        for (int32_t& v : noIds) v = -1;
        std::memset(keys, 0, sizeof keys);
        keys[0] = SamplerKey{1, 0x15, 1, 1, 1, 0, 0, 1000.0f};
        for (int c = 0; c < 4; ++c)
        {
            PipeCfgInfo& cfg = cfgs[c];
            cfg = PipeCfgInfo{};
            cfg.id = c;
            cfg.raster = P(0x100 + c);
            cfg.blend = P(0x200);
            cfg.depth = P(0x300);
            cfg.rasterKey = {3, c % 2 ? 1 : 3, 0, 0, 0, 1};
            cfg.blendKey = {0, 2, 1, 1, 2, 1, 1, 15};
            cfg.depthKey = {1, 1, 4};
            cfg.topology = 4;
            for (int32_t& id : cfg.shaderIds) id = -1;
            cfg.shaderIds[0] = 2 * c;
            cfg.shaderIds[1] = 2 * c + 1;
            cfg.samplerKeys = keys;
            cfg.samplers = samplers;
        }
        srv[0] = 1;
    }
    bool Target(int32_t, PipeTargetInfo& out) override
    {
        out = {P(1), P(2), {1280, 720, 0, 1, 0, 0}};
        return true;
    }
    bool Model(int32_t id, PipeModelInfo& out) override
    {
        out = {P(0x1000 + id), P(0x2000 + id), 56, 12, 24, 2, 1};
        return id >= 0 && id < 8;
    }
    bool Surface(int32_t modelId, int32_t, PipeSurfaceInfo& out) override
    {
        out = {modelId % 4, 36, 0, P(0x3000 + modelId)};
        return true;
    }
    bool Material(int32_t id, PipeMaterialInfo& out) override
    {
        out = {id, srv, noIds, -1, 8 + id};
        return id >= 0 && id < 4;
    }
    void SetMaterialAlphaTexture(int32_t, int32_t) override {}
    const PipeCfgInfo* Cfg(int32_t id) override { return id >= 0 && id < 4 ? &cfgs[id] : nullptr; }
    bool Shader(int32_t id, PipeShaderInfo& out) override
    {
        out = {P(0x4000 + id), P(0x5000)};
        return true;
    }
    bool ConstantBuffer(int32_t id, PipeBufferInfo& out) override
    {
        out = {P(0x6000 + id), id < 4 ? id : 4, 64, data, 0};
        return true;
    }
    bool DynamicBuffer(int32_t, PipeBufferInfo&) override { return false; }
    bool Texture(int32_t, PipeTextureInfo&) override { return false; }
    bool GpuResource(int32_t id, PipeGpuResourceInfo& out) override
    {
        out = {P(0x7000 + id), nullptr};
        return true;
    }
    int32_t FindMaterial(const char*) override { return -1; }
    int32_t FindConstantBuffer(const char*) override { return 0; }
    int32_t FindDynamicBuffer(const char*) override { return -1; }
    int32_t DepthMaterial(uint32_t, bool) override { return 0; }

    PipeCfgInfo cfgs[4];
    SamplerKey keys[kPipeStages * kPipeSlots];
    void* samplers[kPipeStages * kPipeSlots] = {};
    int32_t srv[kPipeStages * kPipeSlots] = {};
    int32_t noIds[kPipeStages * kPipeSlots];
    float data[16] = {};
};

void RecordFrame(benchmark::State& state)
{
    BenchSource source;
    SetPipeSource(&source);
    PlatformDevicePipe pipe;
    Transform t{};
    t.constantBufferId = 3;
    const int32_t target = 0;
    const TargetClear clear{true, {0, 0, 0, 1}, true, 1.0f};
    const int draws = static_cast<int>(state.range(0));
    for (auto _ : state)
    {
        pipe.Begin(1);
        pipe.SetRenderTargets(1, &target, &clear);
        for (int i = 0; i < draws; ++i) pipe.DrawModel(i % 8, &t, -1, -1, false, 1);
        benchmark::DoNotOptimize(pipe.Data());
    }
    state.counters["records"] = pipe.RecordCount();
    state.counters["bytes"] = pipe.Size();
    SetPipeSource(nullptr);
}
BENCHMARK(RecordFrame)->Arg(30)->Arg(300);

void ReplayFrame(benchmark::State& state)
{
    BenchSource source;
    SetPipeSource(&source);
    PlatformDevicePipe pipe;
    Transform t{};
    t.constantBufferId = 3;
    pipe.Begin(1);
    for (int i = 0; i < 30; ++i) pipe.DrawModel(i % 8, &t, -1, -1, false, 1);
    // Executors that do nothing: the cost of walking the records alone.
    for (auto _ : state) pipe.Execute();
    SetPipeSource(nullptr);
}
BENCHMARK(ReplayFrame);
} // namespace
