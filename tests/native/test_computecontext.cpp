// Compute contexts: what one frame records and replays, the per-frame clears, the list's order
// and reset, over the fake device and logging executors.
#include "compute/computecontext.h"
#include "support/fake_device.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace miRender;
using namespace miCompute;

namespace
{

struct Replayed
{
    int op;
    std::vector<uint8_t> payload;
    int context; // which context was running when it replayed
};
std::vector<Replayed> g_log;
int g_running = -1;

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
    g_log.push_back({Op, std::vector<uint8_t>(b, b + kSizes[Op]), g_running});
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

// GPU resources 20..23 with views 0x2000 + id; constant buffers 5 and 6 at registers 1 and 3;
// compute shader 9.
void Fill(mirel::test::FakeDevice& d)
{
    d.shaders[9] = {Ptr(0x900), nullptr};
    d.pipeBuffers[5] = {Ptr(0x505), 1, 16, nullptr, 0};
    d.pipeBuffers[6] = {Ptr(0x506), 3, 16, nullptr, 0};
    for (int32_t id = 20; id <= 23; ++id)
        d.gpuResources[id] = {nullptr, Ptr(0x2000 + id)};
    // Resource 10 + k names buffer 20 + k, whose initialContent is k (0 zeros, 1 ones, 2 kept);
    // 13 is a texture entry bound as itself.
    for (int32_t k = 0; k < 3; ++k)
        d.computeUavs[10 + k] = {20 + k, static_cast<uint32_t>(k)};
    d.computeUavs[13] = {23, kContentKept};
}

class Compute : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        Fill(device);
        device.Install();
        SetPipeExecutors(&g_table);
        ClearComputeContexts();
        g_log.clear();
    }
    void TearDown() override
    {
        ClearComputeContexts();
        SetPipeExecutors(nullptr);
    }
    mirel::test::FakeDevice device;
};

std::vector<int> Ops()
{
    std::vector<int> ops;
    for (const Replayed& r : g_log)
        ops.push_back(r.op);
    return ops;
}

class Tagged : public ComputeContext
{
  public:
    explicit Tagged(int tag) : tag_(tag) {}
    void PreExecute() override { g_running = tag_; }
    void PostExecute() override { g_running = -1; }
    void Reset() override
    {
        ComputeContext::Reset();
        ++resets;
    }
    int resets = 0;

  private:
    int tag_;
};

TEST_F(Compute, BareContextRecordsShaderDispatchAndUnbinding)
{
    Tagged c(0);
    c.Reset();
    RegisterComputeContext(&c);
    RunComputeContexts();
    // No UAV and no constant buffer: nothing is bound, shader -1 sets no shader.
    ASSERT_EQ(Ops(), (std::vector<int>{kOpShader, kOpDispatch, kOpComputeUav}));
    EXPECT_EQ(As<ShaderPayload>(g_log[0]).stage, kComputeStage);
    EXPECT_EQ(As<ShaderPayload>(g_log[0]).shader, nullptr);
    const DispatchPayload d = As<DispatchPayload>(g_log[1]);
    EXPECT_EQ(d.x + d.y + d.z, 0u) << "a reset context dispatches nothing";
    const ComputeUavPayload u = As<ComputeUavPayload>(g_log[2]);
    EXPECT_EQ(u.slot, 0);
    EXPECT_EQ(u.count, kUnboundUavRegisters);
    EXPECT_EQ(u.uav, nullptr);
}

TEST_F(Compute, BindingClearsBuffersByTheirContentRule)
{
    Tagged c(0);
    c.Reset();
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
        const ComputeUavPayload u = As<ComputeUavPayload>(g_log[b.at]);
        EXPECT_EQ(u.slot, b.slot) << b.at;
        EXPECT_EQ(u.count, 1) << b.at;
        EXPECT_EQ(u.uav, Ptr(b.view)) << b.at;
    }
    EXPECT_EQ(As<ClearUavPayload>(g_log[1]).uav, Ptr(0x2014));
    EXPECT_EQ(As<ClearUavPayload>(g_log[1]).value, 0u);
    EXPECT_EQ(As<ClearUavPayload>(g_log[3]).uav, Ptr(0x2015));
    EXPECT_EQ(As<ClearUavPayload>(g_log[3]).value, 0xFFFFFFFFu);
    EXPECT_EQ(As<ConstantBufferPayload>(g_log[6]).slot, 1) << "registers in slot order";
    EXPECT_EQ(As<ConstantBufferPayload>(g_log[7]).slot, 3);
    EXPECT_EQ(As<ShaderPayload>(g_log[8]).shader, Ptr(0x900));
    const DispatchPayload d = As<DispatchPayload>(g_log[9]);
    EXPECT_EQ(d.x, 3u) << "truncated";
    EXPECT_EQ(d.y, 2u);
    EXPECT_EQ(d.z, 1u);

    // A second frame starts a fresh list: the same records again, not appended to the first.
    g_log.clear();
    RunComputeContexts();
    EXPECT_EQ(g_log.size(), 11u);
}

TEST_F(Compute, MissingResourcesAreReportedAndTheRestStillRuns)
{
    Tagged c(0);
    c.Reset();
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

TEST_F(Compute, GroupCountsAreTruncatedAndNeverWrap)
{
    struct Case
    {
        float in;
        uint32_t out;
    };
    const Case cases[] = {{0.0f, 0u},
                          {0.99f, 0u},
                          {1.0f, 1u},
                          {65535.7f, 65535u},
                          {-1.0f, 0u},
                          {-1e9f, 0u},
                          {std::numeric_limits<float>::quiet_NaN(), 0u},
                          {1e12f, 0xFFFFFFFFu},
                          {std::numeric_limits<float>::infinity(), 0xFFFFFFFFu}};
    for (const Case& c : cases)
        EXPECT_EQ(GroupCount(c.in), c.out) << c.in;
}

TEST_F(Compute, ListRunsAndResetsInRegistrationOrder)
{
    Tagged a(1), b(2);
    a.Reset();
    b.Reset();
    b.shaderId = 9;
    b.groupsX = 5;
    RegisterComputeContext(&b);
    RegisterComputeContext(&a);
    RegisterComputeContext(nullptr);
    ASSERT_EQ(ComputeContextCount(), 2);
    EXPECT_EQ(ComputeContextAt(0), &b);
    EXPECT_EQ(ComputeContextAt(2), nullptr);
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
    std::vector<int> order;
    std::vector<uint32_t> dispatched;
    for (const Replayed& r : g_log)
    {
        if (order.empty() || order.back() != r.context) order.push_back(r.context);
        if (r.op == kOpDispatch) dispatched.push_back(As<DispatchPayload>(r).x);
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
    EXPECT_EQ(dispatched, (std::vector<uint32_t>{2u, 1u}));
    ClearComputeContexts();
    EXPECT_EQ(ComputeContextCount(), 0);
}

} // namespace
