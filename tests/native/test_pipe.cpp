// The device pipe's recording: record format, state cache, depth-only binding, UAV flush,
// growth and its limit, lookup failures and the draw counters, over the fake device.
#include "render/device/devicepipe.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <map>
#include <string>
#include <vector>

using namespace miRender;

namespace
{

struct Replayed
{
    int op;
    std::vector<uint8_t> payload;
};
std::vector<Replayed> g_log;

template <int Op> void Log(const void* p)
{
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
    g_log.push_back({Op, std::vector<uint8_t>(b, b + kSizes[Op])});
}

template <int... Ops> PipeExecutors MakeTable(std::integer_sequence<int, Ops...>)
{
    return PipeExecutors{{&Log<Ops>...}};
}
const PipeExecutors g_table = MakeTable(std::make_integer_sequence<int, kOpCount>{});

template <typename P> P As(const Replayed& r)
{
    P p;
    std::memcpy(&p, r.payload.data(), sizeof p);
    return p;
}

void* Ptr(uintptr_t v)
{
    return reinterpret_cast<void*>(v);
}

SamplerKey g_samplerKeys[3][kPipeStages * kPipeSlots];
void* g_samplers[3][kPipeStages * kPipeSlots];
std::array<int32_t, kPipeStages * kPipeSlots> g_srv[4], g_uav[4];
float g_constants[16] = {};

// Targets 0 and 1; model 3 with two triangle surfaces and a point surface; configurations 0-2
// (1 with a depth-biased raster state, 2 alpha-tested) whose samplers differ only in maxLod;
// materials 0-3 over them, 4 and 5 the plain and alpha-tested depth materials; material 0 is also
// "line". Shaders 10-12 (10 with an input layout), constant buffers 0-5 (5 at register 4),
// dynamic buffer 0 of 200 line vertices, texture 1, GPU resources 7-9.
void Fill(mirel::test::FakeDevice& d)
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
        for (int32_t& id : cfg.shaderIds)
            id = -1;
        cfg.shaderIds[0] = 11;
        cfg.shaderIds[1] = 10;
        std::memset(g_samplerKeys[c], 0, sizeof g_samplerKeys[c]);
        g_samplerKeys[c][0] = SamplerKey{1, 0x15, 1, 1, 1, 0, 0, c == 1 ? 4.0f : 1000.0f};
        g_samplers[c][0] = Ptr(0x400 + c);
        cfg.samplerKeys = g_samplerKeys[c];
        cfg.samplers = g_samplers[c];
        d.cfgs[c] = cfg;
    }
    d.cfgs[1].biasedRaster = Ptr(0x1B1);
    for (auto& m : g_srv)
        m.fill(-1);
    for (auto& m : g_uav)
        m.fill(-1);
    g_srv[0][0 * kPipeSlots + 3] = 7; // pixel t3
    g_uav[3][0 * kPipeSlots + 1] = 8; // pixel u1
    g_uav[3][0 * kPipeSlots + 2] = 9; // pixel u2
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
        SetPipeExecutors(&g_table);
        Fill(source);
        source.Install();
        g_log.clear();
        transform = Transform{{}, 2};
        transform.world[0] = 3.0f;
    }
    void TearDown() override
    {
        SetPipeExecutors(nullptr);
        SetPipeSource(nullptr);
        GetDrawStatistics().countEnabled = nullptr;
    }
    std::vector<Replayed> Replay(PlatformDevicePipe& p)
    {
        g_log.clear();
        p.Execute();
        return g_log;
    }
    static int Count(const std::vector<Replayed>& log, int op)
    {
        int n = 0;
        for (const auto& r : log)
            n += r.op == op;
        return n;
    }
    mirel::test::FakeDevice source;
    Transform transform;
};

} // namespace

TEST_F(Pipe, RecordsArePackedHeaderAndPayload)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.Dispatch(1, 2, 3);
    p.UnbindComputeUAVs();
    ASSERT_EQ(p.RecordCount(), 2u);
    EXPECT_EQ(p.Size(), 2 * 12 + sizeof(DispatchPayload) + sizeof(ComputeUavPayload));
    uint32_t size;
    PipeExec exec;
    std::memcpy(&size, p.Data(), 4);
    std::memcpy(&exec, p.Data() + 4, sizeof exec);
    EXPECT_EQ(size, sizeof(DispatchPayload));
    EXPECT_EQ(exec, g_table.exec[kOpDispatch]);
    auto log = Replay(p);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(As<DispatchPayload>(log[0]).z, 3u);
    const auto unbind = As<ComputeUavPayload>(log[1]);
    EXPECT_EQ(unbind.slot, 0);
    EXPECT_EQ(unbind.count, 7);
    EXPECT_EQ(unbind.uav, nullptr);
    // Replaying does not consume the recording; Begin does.
    EXPECT_EQ(Replay(p).size(), 2u);
    p.Begin(PlatformDevicePipe::kNoBuffer);
    EXPECT_EQ(Replay(p).size(), 0u);
}

TEST_F(Pipe, SetRenderTargetsRecordsViewportTargetsAndClears)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    const int32_t ids[2] = {0, 1};
    const TargetClear clears[2] = {{true, {1, 0, 0, 1}, true, 0.5f}, {false, {}, true, 1.0f}};
    p.SetRenderTargets(2, ids, clears);
    auto log = Replay(p);
    ASSERT_EQ(log.size(), 5u);
    const auto vp = As<ViewportPayload>(log[0]);
    EXPECT_EQ(vp.x, 5.0f);
    EXPECT_EQ(vp.y, 6.0f);
    EXPECT_EQ(vp.width, 640.0f);
    EXPECT_EQ(vp.maxDepth, 1.0f);
    const auto t = As<TargetsPayload>(log[1]);
    EXPECT_EQ(t.count, 2u);
    EXPECT_EQ(t.rtv[1], Ptr(0x20));
    EXPECT_EQ(t.dsv, Ptr(0x11));
    EXPECT_EQ(log[2].op, kOpClearColour);
    EXPECT_EQ(As<ClearDepthPayload>(log[3]).depth, 0.5f);
    EXPECT_EQ(As<ClearDepthPayload>(log[4]).dsv, Ptr(0x21));
}

TEST_F(Pipe, SameMaterialTwiceRecordsStateOnceAndTwoDraws)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.DrawModel(3, &transform, 0, -1, false, 1);
    auto log = Replay(p);
    for (int op : {kOpRasterState, kOpBlendState, kOpDepthState, kOpInputLayout, kOpVertexBuffer, kOpTopology,
                   kOpSampler})
        EXPECT_EQ(Count(log, op), 1) << "op " << op;
    EXPECT_EQ(Count(log, kOpShader), 5); // every stage once, absent ones as null
    EXPECT_EQ(Count(log, kOpIndexBuffer), 3);
    EXPECT_EQ(Count(log, kOpDrawIndexed), 2); // the point surface is bound but not drawn
    // Forgotten by Begin: the next recording binds everything again.
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.DrawModel(3, &transform, 0, -1, false, 1);
    EXPECT_EQ(Count(Replay(p), kOpRasterState), 1);
}

TEST_F(Pipe, BindOrderAndConstantsOfOneSurface)
{
    PlatformDevicePipe p;
    p.Begin(4);
    p.DrawModel(3, &transform, 0, -1, true, 5);
    auto log = Replay(p);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].op, kOpUpload); // the view's constants, uploaded at Begin
    EXPECT_EQ(log[1].op, kOpRasterState);
    const auto shader = As<ShaderPayload>(log[8]);
    EXPECT_EQ(log[8].op, kOpShader);
    EXPECT_EQ(shader.stage, 1); // vertex shader first
    EXPECT_EQ(shader.shader, Ptr(0x50A));
    // Pixel t3 resolved to its view; the world upload carries the transform.
    bool sawTexture = false, sawWorld = false;
    for (const auto& r : log)
    {
        if (r.op == kOpShaderResources && As<ResourcesPayload>(r).views[3] == Ptr(0xA07)) sawTexture = true;
        if (r.op == kOpUpload && As<UploadPayload>(r).buffer == Ptr(0x702))
            sawWorld = As<UploadPayload>(r).data == transform.world && As<UploadPayload>(r).bytes == 64;
    }
    EXPECT_TRUE(sawTexture);
    EXPECT_TRUE(sawWorld);
    // perFrame, view, world and material buffer on each of the two stages, per drawn surface.
    EXPECT_EQ(Count(log, kOpConstantBuffer), 2 * 4 * 3);
    EXPECT_EQ(
        As<DrawPayload>(log[std::find_if(log.begin(), log.end(),
                                         [](const Replayed& r) { return r.op == kOpDrawIndexedInstanced; }) -
                            log.begin()])
            .instances,
        5u);
}

TEST_F(Pipe, DifferentStateIsKeptAndTheFirstIsRestored)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.DrawModel(3, &transform, 0, -1, false, 1);
    p.DrawModel(3, &transform, 1, -1, false, 1);
    p.DrawModel(3, &transform, 0, -1, false, 1);
    auto log = Replay(p);
    std::vector<void*> rasters;
    for (const auto& r : log)
        if (r.op == kOpRasterState) rasters.push_back(As<StatePayload>(r).state);
    // The second configuration's depth-biased state is used while biasing is allowed.
    EXPECT_EQ(rasters, (std::vector<void*>{Ptr(0x100), Ptr(0x1B1), Ptr(0x100)}));
    EXPECT_EQ(Count(log, kOpBlendState), 1); // equal descriptions
    EXPECT_EQ(Count(log, kOpSampler), 3);    // maxLod differs
    EXPECT_EQ(Count(log, kOpInputLayout), 3);
    EXPECT_EQ(Count(log, kOpVertexBuffer), 1);

    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.SetUseBiasedRaster(false);
    p.DrawModel(3, &transform, 1, -1, false, 1);
    log = Replay(p);
    EXPECT_EQ(As<StatePayload>(log[0]).state, Ptr(0x101));
}

TEST_F(Pipe, DepthOnlyUsesPositionsAndTheAlphaTexture)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.SetDepthOnly(true);
    p.DrawModel(3, &transform, 2, -1, false, 1);
    auto log = Replay(p);
    EXPECT_EQ(source.depthAsked, (std::vector<uint32_t>(3, 2u)));
    ASSERT_FALSE(source.alphaCopies.empty());
    EXPECT_EQ(source.alphaCopies[0], (std::pair<int32_t, int32_t>{5, 7}));
    int resourcesWithAlpha = 0;
    for (const auto& r : log)
    {
        if (r.op == kOpVertexBuffer)
        {
            EXPECT_EQ(As<VertexBufferPayload>(r).buffer, Ptr(0x31));
            EXPECT_EQ(As<VertexBufferPayload>(r).stride, 12u);
        }
        if (r.op != kOpShaderResources) continue;
        const auto res = As<ResourcesPayload>(r);
        if (res.views[0] == Ptr(0xA07))
        {
            ++resourcesWithAlpha;
            EXPECT_EQ(res.stage, 0);
            for (int i = 1; i < kPipeSlots; ++i)
                EXPECT_EQ(res.views[i], nullptr);
        }
    }
    EXPECT_EQ(resourcesWithAlpha, 3);
}

TEST_F(Pipe, PendingUavsAreBoundWithTheTargetsBeforeTheDraw)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    const int32_t id = 0;
    p.SetRenderTargets(1, &id, nullptr);
    p.DrawModel(3, &transform, 3, -1, false, 1);
    auto log = Replay(p);
    // Surfaces 0 and 1 draw, each after its material's UAV binding; the point surface's stay pending.
    ASSERT_EQ(Count(log, kOpTargetsAndUavs), 2);
    for (size_t i = 0; i < log.size(); ++i)
    {
        if (log[i].op != kOpDrawIndexed) continue;
        ASSERT_GT(i, 0u);
        size_t j = i;
        while (j > 0 && log[j].op != kOpTargetsAndUavs)
            --j;
        const auto u = As<TargetsAndUavsPayload>(log[j]);
        EXPECT_EQ(u.targetCount, 1u);
        EXPECT_EQ(u.rtv[0], Ptr(0x10));
        EXPECT_EQ(u.dsv, Ptr(0x11));
        EXPECT_EQ(u.firstSlot, 1u);
        EXPECT_EQ(u.uavCount, 2u);
        EXPECT_EQ(u.uavs[1], Ptr(0xB09));
    }
}

TEST_F(Pipe, GrowsPastTheInitialBufferAndReplaysInOrder)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    const uint32_t n = 5000; // 5000 x 24 bytes
    for (uint32_t i = 0; i < n; ++i)
        p.Dispatch(i, 1, 1);
    EXPECT_EQ(p.Capacity(), 131072u);
    auto log = Replay(p);
    ASSERT_EQ(log.size(), n);
    for (uint32_t i = 0; i < n; ++i)
        ASSERT_EQ(As<DispatchPayload>(log[i]).x, i);
    // Begin keeps the grown capacity.
    p.Begin(PlatformDevicePipe::kNoBuffer);
    EXPECT_EQ(p.Capacity(), 131072u);
}

TEST_F(Pipe, CapacityLimitIsReportedAndNeverOverrun)
{
    const uint32_t saved = PlatformDevicePipe::maxCapacity;
    PlatformDevicePipe::maxCapacity = 65536;
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    mirel::test::ReportCapture reports;
    for (uint32_t i = 0; i < 3000; ++i)
        p.Dispatch(i, 1, 1);
    PlatformDevicePipe::maxCapacity = saved;
    EXPECT_EQ(p.Capacity(), 65536u);
    EXPECT_LE(p.Size(), 65536u);
    EXPECT_EQ(p.RecordCount(), 65536u / 24);
    EXPECT_GT(reports.Count(), 0);
    EXPECT_NE(reports.Last().find("Device pipe recording is full"), std::string::npos);
    EXPECT_EQ(Replay(p).size(), 65536u / 24);
}

TEST_F(Pipe, LookupFailuresAreReportedAndRecordNothing)
{
    struct Case
    {
        const char* message;
        void (*act)(PlatformDevicePipe&, mirel::test::FakeDevice&);
    } cases[] = {
        {"Render target not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice&)
         {
             const int32_t id = 9;
             p.SetRenderTargets(1, &id, nullptr);
         }},
        {"Model not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.DrawModel(4, nullptr, 0, -1, false, 1); }},
        {"Texture not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.UpdateTexture(2, nullptr); }},
        {"Shader not found", [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.SetComputeShader(99); }},
        {"Invalid Slot For setting shader UAV",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.SetComputeUAV(8, 16); }},
        {"Resource not found", [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.ClearUAV(3, true); }},
        {"Dynamic Vertex buffer not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice&) { p.UpdateDynamicVertexBuffer(5, 4); }},
        {"Line material not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice& s)
         {
             s.materials.erase("line");
             p.DrawLines(2);
         }},
        {"MatCfg not found",
         [](PlatformDevicePipe& p, mirel::test::FakeDevice& s)
         {
             s.pipeMaterials[0].cfgId = 17;
             p.DrawModel(3, nullptr, 0, -1, false, 1);
         }},
    };
    for (const Case& c : cases)
    {
        mirel::test::FakeDevice fresh;
        Fill(fresh);
        fresh.Install();
        PlatformDevicePipe p;
        p.Begin(PlatformDevicePipe::kNoBuffer);
        mirel::test::ReportCapture reports;
        c.act(p, fresh);
        EXPECT_GE(reports.Count(), 1) << c.message;
        EXPECT_NE(reports.Last().find(c.message), std::string::npos) << c.message << " / " << reports.Last();
        EXPECT_EQ(p.RecordCount(), 0u) << c.message;
    }
}

TEST_F(Pipe, DynamicBufferUploadIsClampedToTheBuffer)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    mirel::test::ReportCapture reports;
    p.UpdateDynamicVertexBuffer(0, 200 * 28 + 1);
    EXPECT_EQ(reports.Count(), 1);
    auto log = Replay(p);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(As<UploadPayload>(log[0]).bytes, 200u * 28);
}

TEST_F(Pipe, DrawLinesUploadsBindsIdentityAndDraws)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.DrawLines(10);
    auto log = Replay(p);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(As<UploadPayload>(log[0]).bytes, 280u);
    EXPECT_EQ(As<DrawPayload>(log.back()).count, 10u);
    for (const auto& r : log)
    {
        if (r.op == kOpVertexBuffer)
        {
            EXPECT_EQ(As<VertexBufferPayload>(r).stride, 28u);
        }
    }
    bool identity = false;
    for (const auto& r : log)
        if (r.op == kOpUpload && As<UploadPayload>(r).buffer == Ptr(0x703))
        {
            const float* m = static_cast<const float*>(As<UploadPayload>(r).data);
            identity = m[0] == 1 && m[1] == 0 && m[5] == 1 && m[15] == 1;
        }
    EXPECT_TRUE(identity);
}

TEST_F(Pipe, DispatchBeyondTheRuntimeLimitIsClamped)
{
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.Dispatch(70000, 1, 65535);
    const auto d = As<DispatchPayload>(Replay(p)[0]);
    EXPECT_EQ(d.x, 65535u);
    EXPECT_EQ(d.z, 65535u);
}

TEST_F(Pipe, DrawCountersOnlyWhileEnabled)
{
    DrawStatistics& stats = GetDrawStatistics();
    stats.drawCalls = stats.triangles = 0;
    uint8_t enabled = 0;
    stats.countEnabled = &enabled;
    PlatformDevicePipe p;
    p.Begin(PlatformDevicePipe::kNoBuffer);
    p.DrawModel(3, &transform, 0, -1, false, 1);
    EXPECT_EQ(stats.drawCalls, 0u);
    enabled = 1;
    p.DrawModel(3, &transform, 0, -1, true, 4);
    EXPECT_EQ(stats.drawCalls, 2u);
    EXPECT_EQ(stats.triangles, (6u / 3 + 3u / 3) * 4);
}
