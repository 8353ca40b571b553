// The device pipe's recording as its replay sees it: targets and clears, the state cache, bind
// order and constants, depth-only binding, pending UAVs, growth and its limit, lookup failures,
// dynamic buffers and the draw counters, over the fake device.
#include "render/device/devicepipe.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace miRender;
using mirel::test::CountOps;
using mirel::test::FakeDevice;
using mirel::test::Replayed;

namespace
{

const auto Ptr = &FakeDevice::Ptr;
SamplerKey g_samplerKeys[3][kPipeStages * kPipeSlots];
void* g_samplers[3][kPipeStages * kPipeSlots];
std::array<int32_t, kPipeStages * kPipeSlots> g_srv[4], g_uav[4];
float g_constants[200 * 7] = {}; // as large as the line buffer: replay copies what is uploaded

// Targets 0 and 1; model 3 with two triangle surfaces and a point surface; configurations 0-2
// (1 with a depth-biased raster state, 2 alpha-tested) whose samplers differ only in maxLod;
// materials 0-3 over them, 4 and 5 the plain and alpha-tested depth materials; material 0 is also
// "line". Shaders 10-12 (10 with an input layout), constant buffers 0-5 (5 at register 4),
// dynamic buffer 0 of 200 line vertices, texture 1, GPU resources 7-9.
void Fill(FakeDevice& d)
{
    for (int c = 0; c < 3; ++c)
    {
        PipeCfgInfo cfg{};
        cfg.id = c;
        cfg.raster = Ptr(0x100 + c);
        cfg.blend = Ptr(0x200 + c);
        cfg.depth = Ptr(0x300 + c);
        cfg.rasterKey = {3, c == 1 ? 1 : 3, 0, 0, 0, 1};
        cfg.blendKey = {0, 2, 1, 1, 2, 1, 1, 15};
        cfg.depthKey = {1, 1, 4};
        cfg.topology = 4;
        cfg.alphaTest = c == 2;
        std::fill(std::begin(cfg.shaderIds), std::end(cfg.shaderIds), -1);
        cfg.shaderIds[0] = 11;
        cfg.shaderIds[1] = 10;
        g_samplerKeys[c][0] = SamplerKey{1, 0x15, 1, 1, 1, 0, 0, c == 1 ? 4.0f : 1000.0f};
        g_samplers[c][0] = Ptr(0x400 + c);
        cfg.samplerKeys = g_samplerKeys[c];
        cfg.samplers = g_samplers[c];
        d.cfgs[c] = cfg;
    }
    d.cfgs[1].biasedRaster = Ptr(0x1B1);
    for (int i = 0; i < 4; ++i)
        g_srv[i].fill(-1), g_uav[i].fill(-1);
    g_srv[0][3] = 7; // pixel t3
    g_uav[3][1] = 8; // pixel u1
    g_uav[3][2] = 9; // pixel u2
    const int32_t materialCfg[6] = {0, 1, 2, 0, 0, 2};
    for (int32_t id = 0; id < 6; ++id)
        d.pipeMaterials[id] = {materialCfg[id], id < 4 ? g_srv[id].data() : d.noIds,
                               id < 4 ? g_uav[id].data() : d.noIds, id == 2 ? 7 : -1, id == 0 ? 5 : -1};
    for (int32_t id = 0; id < 2; ++id)
        d.pipeTargets[id] = {Ptr(0x10 + id * 0x10), Ptr(0x11 + id * 0x10), {640, 480, 0, 1, 5, 6}};
    d.pipeModels[3] = {Ptr(0x30), Ptr(0x31), 56, 12, 9, 2, 3};
    d.surfaces[{3, 0}] = {0, 6, 0, Ptr(0x40)};
    d.surfaces[{3, 1}] = {0, 3, 0, Ptr(0x41)};
    d.surfaces[{3, 2}] = {1, 0, 4, nullptr};
    for (int32_t id = 10; id <= 12; ++id)
        d.shaders[id] = {Ptr(0x500 + id), id == 10 ? Ptr(0x600) : nullptr};
    for (int32_t id = 0; id <= 5; ++id)
        d.pipeBuffers[id] = {Ptr(0x700 + id), id == 5 ? 4 : id, 64, g_constants, 0};
    d.dynamicBuffers[0] = {Ptr(0x800), -1, 200 * 28, g_constants, 28};
    d.pipeTextures[1] = {Ptr(0x900), 16, 8};
    for (int32_t id = 7; id <= 9; ++id)
        d.gpuResources[id] = {Ptr(0xA00 + id), Ptr(0xB00 + id)};
    d.materials["line"] = 0;
    d.bufferIds = {{"perFrame", 0}, {"physicsIdentityWorldConstant", 3}};
    d.dynamicBufferIds["lineDrawBuffer"] = 0;
    d.depthMaterial = [](uint32_t, bool alphaTested) { return alphaTested ? 5 : 4; };
}

class Pipe : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        SetPipeExecutors(&mirel::test::g_loggingExecutors);
        Fill(source);
        source.Install();
        transform.world[0] = 3.0f;
        transform.constantBufferId = 2;
        p.Begin(PlatformDevicePipe::kNoBuffer);
    }
    void TearDown() override
    {
        SetPipeExecutors(nullptr);
        GetDrawStatistics().countEnabled = nullptr;
    }
    static std::vector<void*> Rasters(const std::vector<Replayed>& log)
    {
        std::vector<void*> states;
        for (const auto& r : log)
            if (r.op == kOpRasterState) states.push_back(r.As<StatePayload>().state);
        return states;
    }
    static std::vector<std::pair<void*, uint32_t>> VertexBuffers(const std::vector<Replayed>& log)
    {
        std::vector<std::pair<void*, uint32_t>> out;
        for (const auto& r : log)
            if (r.op == kOpVertexBuffer)
                out.emplace_back(r.As<VertexBufferPayload>().buffer, r.As<VertexBufferPayload>().stride);
        return out;
    }
    std::vector<Replayed> Replay()
    {
        mirel::test::g_replayed.clear();
        p.Execute();
        return mirel::test::g_replayed;
    }
    void Draw(int32_t material, bool instanced = false, uint32_t instances = 1)
    {
        p.DrawModel(3, &transform, material, -1, instanced, instances);
    }
    FakeDevice source;
    Transform transform{};
    PlatformDevicePipe p;
};

} // namespace

TEST_F(Pipe, SetRenderTargetsRecordsViewportTargetsAndClears)
{
    const int32_t ids[2] = {0, 1};
    const TargetClear clears[2] = {{true, {1, 0, 0, 1}, true, 0.5f}, {false, {}, true, 1.0f}};
    p.SetRenderTargets(2, ids, clears);
    auto log = Replay();
    ASSERT_EQ(log.size(), 5u);
    const auto vp = log[0].As<ViewportPayload>();
    EXPECT_EQ(std::vector<float>({vp.x, vp.y, vp.width, vp.height, vp.minDepth, vp.maxDepth}),
              std::vector<float>({5, 6, 640, 480, 0, 1}));
    const auto t = log[1].As<TargetsPayload>();
    EXPECT_EQ(std::make_tuple(t.count, t.rtv[1], t.dsv), std::make_tuple(2u, Ptr(0x20), Ptr(0x11)));
    EXPECT_EQ(log[2].As<ClearColourPayload>().rtv, Ptr(0x10));
    EXPECT_EQ(log[3].As<ClearDepthPayload>().depth, 0.5f);
    EXPECT_EQ(log[4].As<ClearDepthPayload>().dsv, Ptr(0x21));
    // More targets than the device binds: the first four.
    const int32_t five[5] = {0, 1, 0, 1, 0};
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.SetRenderTargets(5, five, nullptr);
    EXPECT_EQ(Replay()[1].As<TargetsPayload>().count, 4u);
}

TEST_F(Pipe, BindOrderConstantsAndCountersOfOneSurface)
{
    DrawStatistics& stats = GetDrawStatistics();
    stats.drawCalls = stats.triangles = 0;
    uint8_t counting = 0;
    stats.countEnabled = &counting;
    p.Begin(4);
    Draw(0, true, 5);
    EXPECT_EQ(stats.drawCalls, 0u); // counted only while enabled
    auto log = Replay();
    ASSERT_GE(log.size(), 9u);
    EXPECT_EQ(log[0].op, kOpUpload); // the view's constants, uploaded at Begin
    EXPECT_EQ(log[1].op, kOpRasterState);
    EXPECT_EQ(log[8].op, kOpShader);
    const auto vs = log[8].As<ShaderPayload>(); // the vertex shader first
    EXPECT_EQ(std::make_tuple(vs.stage, vs.shader), std::make_tuple(1, Ptr(0x50A)));
    // Pixel t3 resolved to its view; the world upload carries the transform.
    bool sawTexture = false, sawWorld = false;
    std::vector<uint32_t> instances;
    for (const auto& r : log)
    {
        if (r.op == kOpShaderResources && r.As<ResourcesPayload>().views[3] == Ptr(0xA07)) sawTexture = true;
        if (r.op == kOpUpload && r.As<UploadPayload>().buffer == Ptr(0x702))
            sawWorld = r.As<UploadPayload>().data == transform.world && r.As<UploadPayload>().bytes == 64;
        if (r.op == kOpDrawIndexedInstanced) instances.push_back(r.As<DrawPayload>().instances);
    }
    EXPECT_TRUE(sawTexture);
    EXPECT_TRUE(sawWorld);
    // perFrame, view, world and material buffer on each of the two stages, per drawn surface.
    EXPECT_EQ(CountOps(log, kOpConstantBuffer), 2 * 4 * 3);
    EXPECT_EQ(instances, (std::vector<uint32_t>{5, 5}));
    counting = 1;
    Draw(0, true, 4);
    EXPECT_EQ(stats.drawCalls, 2u);
    EXPECT_EQ(stats.triangles, (6u / 3 + 3u / 3) * 4);
}

TEST_F(Pipe, StateCacheBindsWhatChangesWithinOneRecording)
{
    Draw(0);
    Draw(1);
    Draw(0);
    auto log = Replay();
    // Configurations 0 and 1 differ in raster state, maxLod and id; the rest is shared. Absent
    // shader stages are set as null once; the point surface is bound but not drawn.
    const std::pair<int, int> counts[] = {{kOpRasterState, 3}, {kOpBlendState, 1},   {kOpDepthState, 1},
                                          {kOpInputLayout, 3}, {kOpVertexBuffer, 1}, {kOpTopology, 1},
                                          {kOpSampler, 3},     {kOpShader, 5},       {kOpIndexBuffer, 9},
                                          {kOpDrawIndexed, 6}};
    for (const auto& c : counts)
        EXPECT_EQ(CountOps(log, c.first), c.second) << "op " << c.first;
    // The second configuration's depth-biased state is used while biasing is allowed.
    EXPECT_EQ(Rasters(log), (std::vector<void*>{Ptr(0x100), Ptr(0x1B1), Ptr(0x100)}));
    // Begin forgets what was bound.
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.SetUseBiasedRaster(false);
    Draw(0);
    Draw(1);
    EXPECT_EQ(Rasters(Replay()), (std::vector<void*>{Ptr(0x100), Ptr(0x101)}));
}

TEST_F(Pipe, DepthOnlyUsesPositionsAndTheAlphaTexture)
{
    p.SetDepthOnly(true);
    Draw(2);
    auto log = Replay();
    EXPECT_EQ(source.depthAsked, (std::vector<uint32_t>(3, 2u)));
    // The depth material takes the alpha texture of alpha-tested materials only.
    Draw(0);
    EXPECT_EQ(source.alphaCopies, (std::vector<std::pair<int32_t, int32_t>>(3, {5, 7})));
    int resourcesWithAlpha = 0;
    for (const auto& r : log)
    {
        if (r.op != kOpShaderResources || r.As<ResourcesPayload>().views[0] != Ptr(0xA07)) continue;
        const auto res = r.As<ResourcesPayload>();
        ++resourcesWithAlpha;
        EXPECT_EQ(res.stage, 0);
        for (int i = 1; i < kPipeSlots; ++i)
            EXPECT_EQ(res.views[i], nullptr);
    }
    EXPECT_EQ(resourcesWithAlpha, 3);
    EXPECT_EQ(VertexBuffers(log), (std::vector<std::pair<void*, uint32_t>>{{Ptr(0x31), 12u}})); // positions
}

TEST_F(Pipe, PendingUavsAreBoundWithTheTargetsBeforeTheDraw)
{
    const int32_t id = 0;
    p.SetRenderTargets(1, &id, nullptr);
    Draw(3);
    auto log = Replay();
    // Surfaces 0 and 1 draw, each after its material's UAV binding; the point surface's stay pending.
    ASSERT_EQ(CountOps(log, kOpTargetsAndUavs), 2);
    for (size_t i = 0, bound = 0; i < log.size(); ++i)
    {
        if (log[i].op == kOpTargetsAndUavs) bound = i;
        if (log[i].op != kOpDrawIndexed) continue;
        ASSERT_GT(bound, 0u);
        const auto u = log[bound].As<TargetsAndUavsPayload>();
        EXPECT_EQ(std::make_tuple(u.targetCount, u.rtv[0], u.dsv, u.firstSlot, u.uavCount, u.uavs[1]),
                  std::make_tuple(1u, Ptr(0x10), Ptr(0x11), 1u, 2u, Ptr(0xB09)));
        bound = 0;
    }
}

// Replay runs the records in order, again on each Execute, until the next Begin.
TEST_F(Pipe, GrowsPastTheInitialBufferUpToTheLimitAndReplaysInOrder)
{
    p.Dispatch(70000, 2, 65535);        // beyond the runtime's limit: clamped to it
    for (uint32_t i = 1; i < 5000; ++i) // 5000 x 24 bytes
        p.Dispatch(i, 1, 1);
    p.UnbindComputeUAVs();
    EXPECT_EQ(p.Capacity(), 131072u);
    auto log = Replay();
    ASSERT_EQ(log.size(), 5001u);
    const auto d = log[0].As<DispatchPayload>();
    EXPECT_EQ(std::vector<uint32_t>({d.x, d.y, d.z}), std::vector<uint32_t>({65535, 2, 65535}));
    for (uint32_t i = 1; i < 5000; ++i)
        ASSERT_EQ(log[i].As<DispatchPayload>().x, i);
    ASSERT_EQ(log[5000].op, kOpComputeUav);
    const auto unbind = log[5000].As<ComputeUavPayload>();
    EXPECT_EQ(std::make_tuple(unbind.slot, unbind.count, unbind.uav), std::make_tuple(0, 7, nullptr));
    EXPECT_EQ(Replay().size(), 5001u);
    p.Begin(PlatformDevicePipe::kNoBuffer);
    EXPECT_TRUE(Replay().empty());
    // Where growing would pass the limit, recording stops short of it, reported.
    const uint32_t saved = PlatformDevicePipe::maxCapacity;
    PlatformDevicePipe::maxCapacity = 65536;
    PlatformDevicePipe limited;
    limited.Begin(PlatformDevicePipe::kNoBuffer);
    mirel::test::ReportCapture reports;
    for (uint32_t i = 0; i < 3000; ++i)
        limited.Dispatch(i, 1, 1);
    PlatformDevicePipe::maxCapacity = saved;
    EXPECT_NE(reports.Last().find("Device pipe recording is full"), std::string::npos);
    EXPECT_EQ(limited.RecordCount(), 65536u / 24);
}

TEST_F(Pipe, LookupFailuresAreReportedAndRecordNothing)
{
    const int32_t missingTarget = 9;
    source.materials.erase("line");
    source.pipeMaterials[1].cfgId = 17;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"Render target not found", [&] { p.SetRenderTargets(1, &missingTarget, nullptr); }},
        {"Model not found", [&] { p.DrawModel(4, nullptr, 0, -1, false, 1); }},
        {"Texture not found", [&] { p.UpdateTexture(2, nullptr); }},
        {"Shader not found", [&] { p.SetComputeShader(99); }},
        {"Invalid Slot For setting shader UAV", [&] { p.SetComputeUAV(8, 16); }},
        {"Resource not found", [&] { p.ClearUAV(3, true); }},
        {"Dynamic Vertex buffer not found", [&] { p.UpdateDynamicVertexBuffer(5, 4); }},
        {"Line material not found", [&] { p.DrawLines(2); }},
        {"MatCfg not found", [&] { p.DrawModel(3, nullptr, 1, -1, false, 1); }},
    };
    for (const auto& [message, call] : cases)
    {
        mirel::test::ReportCapture reports;
        call();
        EXPECT_NE(reports.Last().find(message), std::string::npos) << message << " / " << reports.Last();
        EXPECT_EQ(p.RecordCount(), 0u) << message;
    }
    // A broken material fails every draw of it, in every view: one report per material.
    mirel::test::ReportCapture again;
    source.pipeMaterials[2].cfgId = 17;
    source.pipeMaterials[4].cfgId = 17;
    miRender::MarkMaterialReported(4); // its loader has reported it
    for (int32_t material : {1, 2, 1, 2, 4})
        p.DrawModel(3, nullptr, material, -1, false, 1);
    EXPECT_EQ(again.Count(), 1);
    // A vertex stage whose compile failed (reported by the compiler) draws nothing, silently.
    source.shaders[10].shader = nullptr;
    p.DrawModel(3, nullptr, 0, -1, false, 1);
    EXPECT_EQ(again.Count(), 1);
    const auto log = Replay();
    EXPECT_EQ(CountOps(log, kOpDrawIndexed) + CountOps(log, kOpDrawIndexedInstanced) + CountOps(log, kOpDraw),
              0);
}

TEST_F(Pipe, LinesUploadTheirVerticesAndDrawWithTheIdentityWorld)
{
    mirel::test::ReportCapture reports;
    p.UpdateDynamicVertexBuffer(0, 200 * 28 + 1); // clamped to the buffer
    EXPECT_EQ(reports.Count(), 1);
    p.DrawLines(10);
    p.DrawLines(4);
    std::vector<uint32_t> uploads, draws;
    int identities = 0;
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    auto log = Replay();
    for (const auto& r : log)
    {
        if (r.op == kOpDraw) draws.push_back(r.As<DrawPayload>().count);
        const void* buffer = r.op == kOpUpload ? r.As<UploadPayload>().buffer : nullptr;
        if (buffer == Ptr(0x800)) uploads.push_back(r.As<UploadPayload>().bytes);
        if (buffer == Ptr(0x703))
            identities += r.uploaded.size() == 64 && std::memcmp(r.uploaded.data(), identity, 64) == 0;
    }
    EXPECT_EQ(uploads, (std::vector<uint32_t>{200 * 28, 280, 112}));
    EXPECT_EQ(draws, (std::vector<uint32_t>{10, 4}));
    EXPECT_EQ(identities, 2);
    // The cache cannot tell two dynamic buffers apart: each draw binds its own.
    EXPECT_EQ(VertexBuffers(log), (std::vector<std::pair<void*, uint32_t>>(2, {Ptr(0x800), 28u})));
}
