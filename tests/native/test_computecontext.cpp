// Compute contexts: what one frame records and replays, the per-frame clears, the list's order
// and reset, over the fake device.
#include "compute/computecontext.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

using namespace miRender;
using namespace miCompute;
using mirel::test::g_replayed;
using mirel::test::Replayed;

namespace
{

const auto Ptr = &mirel::test::FakeDevice::Ptr;

struct Compute : ::testing::Test
{
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
    // The replayed records as text: op and fields, objects in hex.
    static std::vector<std::string> Log()
    {
        std::vector<std::string> out;
        for (const Replayed& r : g_replayed)
        {
            const auto hex = [](const void* p)
            { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)); };
            char t[80] = "other";
            if (r.op == kOpComputeUav)
                std::snprintf(t, sizeof t, "uav %d+%d %lx", r.As<ComputeUavPayload>().slot,
                              r.As<ComputeUavPayload>().count, hex(r.As<ComputeUavPayload>().uav));
            if (r.op == kOpClearUav)
                std::snprintf(t, sizeof t, "clear %lx %x", hex(r.As<ClearUavPayload>().uav),
                              r.As<ClearUavPayload>().value);
            if (r.op == kOpConstantBuffer)
                std::snprintf(t, sizeof t, "cb %d b%d %lx", r.As<ConstantBufferPayload>().stage,
                              r.As<ConstantBufferPayload>().slot, hex(r.As<ConstantBufferPayload>().buffer));
            if (r.op == kOpShader)
                std::snprintf(t, sizeof t, "shader %d %lx", r.As<ShaderPayload>().stage,
                              hex(r.As<ShaderPayload>().shader));
            if (r.op == kOpDispatch)
                std::snprintf(t, sizeof t, "dispatch %u %u %u", r.As<DispatchPayload>().x,
                              r.As<DispatchPayload>().y, r.As<DispatchPayload>().z);
            out.push_back(t);
        }
        return out;
    }
    mirel::test::FakeDevice device;
};

// Tags what it replays with its number; counts its resets.
struct Tagged : ComputeContext
{
    explicit Tagged(int t) : tag(t) { Reset(); }
    void PreExecute() override { mirel::test::g_replayTag = tag; }
    void PostExecute() override { mirel::test::g_replayTag = -1; }
    void Reset() override
    {
        ComputeContext::Reset();
        ++resets;
    }
    int tag, resets = 0;
};

} // namespace

TEST_F(Compute, BindingClearsBuffersByTheirContentRuleAndMissingResourcesAreReported)
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
    // Zeros and ones cleared before their binding; registers in slot order; groups truncated.
    const std::vector<std::string> frame = {
        "uav 0+1 2016", "clear 2014 0", "uav 2+1 2014", "clear 2015 ffffffff", "uav 5+1 2015", "uav 7+1 2017",
        "cb 5 b1 505",  "cb 5 b3 506",  "shader 5 900", "dispatch 3 2 1",      "uav 0+7 0"};
    EXPECT_EQ(Log(), frame);
    // A second frame starts a fresh list: the same records again, not appended to the first.
    g_replayed.clear();
    RunComputeContexts();
    EXPECT_EQ(Log(), frame);
    // Missing resources are reported and the rest still runs.
    c.Reset();
    c.uavIds[1] = 99;
    c.uavIds[2] = 10;
    c.shaderId = 42;
    c.groupsX = 1;
    g_replayed.clear();
    RunComputeContexts();
    EXPECT_EQ(reports.Count(), 2);
    EXPECT_NE(reports.Last().find("Shader not found"), std::string::npos) << reports.Last();
    EXPECT_EQ(Log(),
              (std::vector<std::string>{"clear 2014 0", "uav 2+1 2014", "dispatch 1 0 0", "uav 0+7 0"}));
    // No device layer natively: every UAV is missing. Shader -1 unbinds, without a report.
    SetDeviceHost(nullptr);
    c.uavIds[1] = -1;
    c.shaderId = -1;
    mirel::ResetAssertReports();
    g_replayed.clear();
    RunComputeContexts();
    EXPECT_EQ(reports.Count(), 1);
    EXPECT_NE(reports.Last().find("UAV not found in BindResources"), std::string::npos) << reports.Last();
    EXPECT_EQ(Log(), (std::vector<std::string>{"shader 5 0", "dispatch 1 0 0", "uav 0+7 0"}));
}

TEST(ComputeGroups, CountsAreTruncatedAndNeverWrap)
{
    const std::pair<float, uint32_t> cases[] = {
        {0.0f, 0u},           {0.99f, 0u},
        {1.0f, 1u},           {65535.7f, 65535u},
        {-1e9f, 0u},          {std::numeric_limits<float>::quiet_NaN(), 0u},
        {1e12f, 0xFFFFFFFFu}, {std::numeric_limits<float>::infinity(), 0xFFFFFFFFu}};
    for (const auto& [groups, count] : cases)
        EXPECT_EQ(GroupCount(groups), count) << groups;
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
    // Reset clears the shader and the groups.
    EXPECT_EQ(std::make_tuple(a.resets, b.resets, b.shaderId, b.groupsX), std::make_tuple(2, 2, -1, 0.0f));
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
