// Recording a demo-sized frame into a device pipe: ~30 model draws over a handful of
// configurations, with render-target set-up, as the views record each frame.
#include "render/device/devicepipe.h"
#include "support/fake_device.h"

#include <benchmark/benchmark.h>

#include <cstring>

using namespace miRender;

namespace
{
void* P(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

SamplerKey g_keys[kPipeStages * kPipeSlots];
void* g_samplers[kPipeStages * kPipeSlots] = {};
int32_t g_srv[kPipeStages * kPipeSlots] = {};
float g_data[16] = {};

// Four configurations over two raster states, eight models of one surface each drawing with
// material (model % 4), texture 1 and resource 0 bound by every material; every shader and buffer a draw asks
// for.
void Fill(mirel::test::FakeDevice& d)
{
    std::memset(g_keys, 0, sizeof g_keys);
    g_keys[0] = SamplerKey{1, 0x15, 1, 1, 1, 0, 0, 1000.0f};
    g_srv[0] = 1;
    for (int32_t c = 0; c < 4; ++c)
    {
        PipeCfgInfo cfg{};
        cfg.id = c;
        cfg.raster = P(0x100 + static_cast<uintptr_t>(c));
        cfg.blend = P(0x200);
        cfg.depth = P(0x300);
        cfg.rasterKey = {3, c % 2 ? 1 : 3, 0, 0, 0, 1};
        cfg.blendKey = {0, 2, 1, 1, 2, 1, 1, 15};
        cfg.depthKey = {1, 1, 4};
        cfg.topology = 4;
        for (int32_t& id : cfg.shaderIds)
            id = -1;
        cfg.shaderIds[0] = 2 * c;
        cfg.shaderIds[1] = 2 * c + 1;
        cfg.samplerKeys = g_keys;
        cfg.samplers = g_samplers;
        d.cfgs[c] = cfg;
        d.pipeMaterials[c] = {c, g_srv, d.noIds, -1, 8 + c};
    }
    d.pipeTargets[0] = {P(1), P(2), {1280, 720, 0, 1, 0, 0}};
    for (int32_t m = 0; m < 8; ++m)
    {
        const uintptr_t u = static_cast<uintptr_t>(m);
        d.pipeModels[m] = {P(0x1000 + u), P(0x2000 + u), 56, 12, 24, 2, 1};
        d.surfaces[{m, 0}] = {m % 4, 36, 0, P(0x3000 + u)};
        d.shaders[m] = {P(0x4000 + u), P(0x5000)};
    }
    for (int32_t b = 0; b < 12; ++b)
        d.pipeBuffers[b] = {P(0x6000 + static_cast<uintptr_t>(b)), b < 4 ? b : 4, 64, g_data, 0};
    // Every other slot names resource 0.
    d.gpuResources[0] = {P(0x7000), nullptr};
    d.gpuResources[1] = {P(0x7001), nullptr};
    d.bufferIds["perFrame"] = 0;
}

void RecordFrame(benchmark::State& state)
{
    mirel::test::FakeDevice source;
    Fill(source);
    source.Install();
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
        for (int i = 0; i < draws; ++i)
            pipe.DrawModel(i % 8, &t, -1, -1, false, 1);
        benchmark::DoNotOptimize(pipe.Data());
    }
    state.counters["records"] = pipe.RecordCount();
    state.counters["bytes"] = pipe.Size();
    SetPipeSource(nullptr);
}
BENCHMARK(RecordFrame)->Arg(30)->Arg(300);

void ReplayFrame(benchmark::State& state)
{
    mirel::test::FakeDevice source;
    Fill(source);
    source.Install();
    PlatformDevicePipe pipe;
    Transform t{};
    t.constantBufferId = 3;
    pipe.Begin(1);
    for (int i = 0; i < 30; ++i)
        pipe.DrawModel(i % 8, &t, -1, -1, false, 1);
    // Executors that do nothing: the cost of walking the records alone.
    for (auto _ : state)
        pipe.Execute();
    SetPipeSource(nullptr);
}
BENCHMARK(ReplayFrame);
} // namespace
