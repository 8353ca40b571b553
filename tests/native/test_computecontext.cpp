// Compute contexts: what one frame records and replays, the per-frame clears, the list's order
// and reset, over the fake device.
#include "compute/computecontext.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

using namespace miRender;
using namespace miCompute;
using mirel::test::g_replayed;
using mirel::test::Replayed;

namespace
{

const auto Ptr = &mirel::test::FakeDevice::Ptr;

class Compute : public ::testing::Test
{
  protected:
    // GPU resources 20..23 with views 0x2000 + id; constant buffers 5 and 6 at registers 1 and 3;
    // compute shader 9. UAV 10 + k names buffer 20 + k, whose initialContent is k (0 zeros,
    // 1 ones, 2 kept); 13 is a texture entry bound as itself.
    void SetUp() override
    {
        device.shaders[9] = {Ptr(0x900), nullptr};
        device.pipeBuffers[5] = {Ptr(0x505), 1, 16, nullptr, 0};
        device.pipeBuffers[6] = {Ptr(0x506), 3, 16, nullptr, 0};
        for (int32_t id = 20; id <= 23; ++id)
            device.gpuResources[id] = {nullptr, Ptr(0x2000 + id)};
        for (int32_t k = 0; k < 3; ++k)
            device.computeUavs[10 + k] = {20 + k, static_cast<uint32_t>(k)};
        device.computeUavs[13] = {23, kContentKept};
        device.Install();
        SetPipeExecutors(&mirel::test::g_loggingExecutors);
        ClearComputeContexts();
        g_replayed.clear();
    }
    void TearDown() override
    {
        ClearComputeContexts();
        SetPipeExecutors(nullptr);
    }
    static std::vector<int> Ops()
    {
        std::vector<int> ops;
        for (const Replayed& r : g_replayed)
            ops.push_back(r.op);
        return ops;
    }
    mirel::test::FakeDevice device;
};

// Tags what it replays with its number; counts its resets.
class Tagged : public ComputeContext
{
  public:
    explicit Tagged(int tag) : tag_(tag) { Reset(); }
    void PreExecute() override { mirel::test::g_replayTag = tag_; }
    void PostExecute() override { mirel::test::g_replayTag = -1; }
    void Reset() override
    {
        ComputeContext::Reset();
        ++resets;
    }
    int resets = 0;

  private:
    int tag_;
};

} // namespace

TEST_F(Compute, BareContextRecordsShaderDispatchAndUnbinding)
{
    Tagged c(0);
    RegisterComputeContext(&c);
    RunComputeContexts();
    // No UAV and no constant buffer: nothing is bound, shader -1 sets no shader.
    ASSERT_EQ(Ops(), (std::vector<int>{kOpShader, kOpDispatch, kOpComputeUav}));
    EXPECT_EQ(g_replayed[0].As<ShaderPayload>().stage, kComputeStage);
    EXPECT_EQ(g_replayed[0].As<ShaderPayload>().shader, nullptr);
    const DispatchPayload d = g_replayed[1].As<DispatchPayload>();
    EXPECT_EQ(d.x + d.y + d.z, 0u) << "a reset context dispatches nothing";
    const ComputeUavPayload u = g_replayed[2].As<ComputeUavPayload>();
    EXPECT_EQ(u.slot, 0);
    EXPECT_EQ(u.count, kUnboundUavRegisters);
    EXPECT_EQ(u.uav, nullptr);
}

TEST_F(Compute, BindingClearsBuffersByTheirContentRule)
{
    Tagged c(0);
    c.uavIds[0] = 12; // kept
    c.uavIds[2] = 10; // zeros every frame
    c.uavIds[5] = 11; // ones every frame
    c.uavIds[7] = 13; // texture entry: bound, never cleared
    c.constantBufferIds[3] = 6;
    c.constantBufferIds[1] = 5;
    c.shaderId = 9;
    c.groupsX = 3.9f;
    c.groupsY = 2.0f;
    c.groupsZ = 1.0f;
    RegisterComputeContext(&c);
    mirel::test::ReportCapture reports;
    RunComputeContexts();
    EXPECT_EQ(reports.Count(), 0) << reports.Last();
    ASSERT_EQ(Ops(), (std::vector<int>{kOpComputeUav, kOpClearUav, kOpComputeUav, kOpClearUav, kOpComputeUav,
                                       kOpComputeUav, kOpConstantBuffer, kOpConstantBuffer, kOpShader,
                                       kOpDispatch, kOpComputeUav}));
    struct Bind
    {
        size_t at;
        int slot;
        uintptr_t view;
    };
    for (const Bind& b : {Bind{0, 0, 0x2016}, Bind{2, 2, 0x2014}, Bind{4, 5, 0x2015}, Bind{5, 7, 0x2017}})
    {
        const ComputeUavPayload u = g_replayed[b.at].As<ComputeUavPayload>();
        EXPECT_EQ(u.slot, b.slot) << b.at;
        EXPECT_EQ(u.count, 1) << b.at;
        EXPECT_EQ(u.uav, Ptr(b.view)) << b.at;
    }
    EXPECT_EQ(g_replayed[1].As<ClearUavPayload>().uav, Ptr(0x2014));
    EXPECT_EQ(g_replayed[1].As<ClearUavPayload>().value, 0u);
    EXPECT_EQ(g_replayed[3].As<ClearUavPayload>().uav, Ptr(0x2015));
    EXPECT_EQ(g_replayed[3].As<ClearUavPayload>().value, 0xFFFFFFFFu);
    EXPECT_EQ(g_replayed[6].As<ConstantBufferPayload>().slot, 1) << "registers in slot order";
    EXPECT_EQ(g_replayed[7].As<ConstantBufferPayload>().slot, 3);
    EXPECT_EQ(g_replayed[8].As<ShaderPayload>().shader, Ptr(0x900));
    const DispatchPayload d = g_replayed[9].As<DispatchPayload>();
    EXPECT_EQ(std::vector<uint32_t>({d.x, d.y, d.z}), std::vector<uint32_t>({3, 2, 1})) << "truncated";

    // A second frame starts a fresh list: the same records again, not appended to the first.
    g_replayed.clear();
    RunComputeContexts();
    EXPECT_EQ(g_replayed.size(), 11u);
}

TEST_F(Compute, MissingResourcesAreReportedAndTheRestStillRuns)
{
    Tagged c(0);
    c.uavIds[1] = 99;
    c.shaderId = 42;
    c.groupsX = 1;
    RegisterComputeContext(&c);
    mirel::test::ReportCapture reports;
    RunComputeContexts();
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_NE(reports.Last().find("Shader not found"), std::string::npos) << reports.Last();
    EXPECT_EQ(Ops(), (std::vector<int>{kOpDispatch, kOpComputeUav}));
    SetDeviceHost(nullptr); // no device layer natively: every UAV is missing
    c.uavIds[1] = 10;
    c.shaderId = -1;
    mirel::ResetAssertReports();
    RunComputeContexts();
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("UAV not found in BindResources"), std::string::npos) << reports.Last();
}

TEST(ComputeGroups, CountsAreTruncatedAndNeverWrap)
{
    const std::pair<float, uint32_t> cases[] = {
        {0.0f, 0u},           {0.99f, 0u},
        {1.0f, 1u},           {65535.7f, 65535u},
        {-1e9f, 0u},          {std::numeric_limits<float>::quiet_NaN(), 0u},
        {1e12f, 0xFFFFFFFFu}, {std::numeric_limits<float>::infinity(), 0xFFFFFFFFu}};
    for (const auto& c : cases)
        EXPECT_EQ(GroupCount(c.first), c.second) << c.first;
}

TEST_F(Compute, ListRunsAndResetsInRegistrationOrder)
{
    Tagged a(1), b(2);
    b.shaderId = 9;
    b.groupsX = 5;
    RegisterComputeContext(&b);
    RegisterComputeContext(&a);
    RegisterComputeContext(nullptr); // ignored
    ResetComputeContexts();
    EXPECT_EQ(a.resets, 2);
    EXPECT_EQ(b.resets, 2);
    EXPECT_EQ(b.shaderId, -1) << "reset clears the shader";
    EXPECT_EQ(b.groupsX, 0.0f);
    b.shaderId = 9;
    b.groupsX = 2;
    a.groupsX = 1;
    // Leftovers from a previous frame must not replay: each context begins a fresh list.
    a.pipe.Dispatch(77, 77, 77);
    RunComputeContexts();
    std::vector<std::pair<int, uint32_t>> dispatched;
    for (const Replayed& r : g_replayed)
        if (r.op == kOpDispatch) dispatched.push_back({r.tag, r.As<DispatchPayload>().x});
    EXPECT_EQ(dispatched, (std::vector<std::pair<int, uint32_t>>{{2, 2u}, {1, 1u}}));
    ClearComputeContexts();
    g_replayed.clear();
    RunComputeContexts();
    EXPECT_TRUE(g_replayed.empty());
}
