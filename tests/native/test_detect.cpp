#include "detect.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace miCadora;

namespace
{

// Scriptable stand-in for the library: the fakes below read and record through it.
struct Scenario
{
    struct Map
    {
        int query, adapter, first, count;
    };
    struct Target
    {
        int query, display, adapter;
    };
    struct Range
    {
        int adapter, display, minHz, maxHz, status;
    };

    int createStatus = 0, primaryStatus = 0, countStatus = 0, infoStatus = 0;
    int primary = 0;
    bool overrideCount = false;
    int reportedCount = 0;
    std::vector<int> adapters;
    std::vector<Map> maps;
    std::vector<Target> targets;
    std::vector<Range> ranges;
    std::vector<int> failMaps;
    int extraTargetsLater = 0; // appended on every query of an adapter after its first
    int missingTargetsLater = 0;
    bool nullTargets = false;
    bool multiGpu = false;

    // Observations.
    std::vector<int> mapQueries;
    std::vector<std::array<int, 4>> sets;
    int infoCalls = 0, createCalls = 0, destroyCalls = 0;
};

Scenario g_s;
TeskAllocateFn g_allocate = nullptr;

void Put(unsigned char* p, int offset, int v)
{
    std::memcpy(p + offset, &v, 4);
}

int32_t FakeCreate(TeskAllocateFn allocate, int32_t)
{
    ++g_s.createCalls;
    g_allocate = allocate;
    return g_s.createStatus;
}
int32_t FakeDestroy()
{
    return ++g_s.destroyCalls, 0;
}
int32_t FakeCount(int32_t* n)
{
    *n = g_s.overrideCount ? g_s.reportedCount : static_cast<int>(g_s.adapters.size());
    return g_s.countStatus;
}
int32_t FakeInfo(void* buffer, int32_t size)
{
    ++g_s.infoCalls;
    EXPECT_GE(size, static_cast<int>(g_s.adapters.size()) * kAdapterInfoSize);
    for (size_t i = 0; i < g_s.adapters.size() && static_cast<int>(i + 1) * kAdapterInfoSize <= size; ++i)
    {
        unsigned char* rec = static_cast<unsigned char*>(buffer) + i * kAdapterInfoSize;
        Put(rec, 0, 77); // only the index at byte 4 counts
        Put(rec, 4, g_s.adapters[i]);
    }
    return g_s.infoStatus;
}
int32_t FakePrimary(int32_t* a)
{
    *a = g_s.primary;
    return g_s.primaryStatus;
}
int32_t FakeMaps(int32_t adapter, int32_t* mapCount, void** maps, int32_t* targetCount, void** targets,
                 int32_t)
{
    int earlier = 0;
    for (int q : g_s.mapQueries)
        earlier += q == adapter;
    g_s.mapQueries.push_back(adapter);
    for (int f : g_s.failMaps)
        if (f == adapter) return -1;

    std::vector<Scenario::Map> ms;
    std::vector<Scenario::Target> ts;
    for (auto& m : g_s.maps)
        if (m.query == adapter) ms.push_back(m);
    for (auto& t : g_s.targets)
        if (t.query == adapter) ts.push_back(t);
    if (earlier > 0)
    {
        for (int i = 0; i < g_s.extraTargetsLater; ++i)
            ts.push_back({adapter, 50 + i, adapter});
        for (int i = 0; i < g_s.missingTargetsLater && !ts.empty(); ++i)
            ts.pop_back();
    }

    auto* m = static_cast<unsigned char*>(g_allocate(static_cast<int>(ms.size()) * kDisplayMapSize + 1));
    auto* t = static_cast<unsigned char*>(g_allocate(static_cast<int>(ts.size()) * kDisplayTargetSize + 1));
    for (size_t i = 0; i < ms.size(); ++i)
    {
        unsigned char* rec = m + i * kDisplayMapSize;
        Put(rec, 0, -9);
        Put(rec, kDisplayMapAdapterOffset, ms[i].adapter);
        Put(rec, kDisplayMapTargetCountOffset, ms[i].count);
        Put(rec, kDisplayMapFirstTargetOffset, ms[i].first);
    }
    for (size_t i = 0; i < ts.size(); ++i)
    {
        unsigned char* rec = t + i * kDisplayTargetSize;
        Put(rec, kDisplayTargetDisplayOffset, ts[i].display);
        Put(rec, 4, -9);
        Put(rec, kDisplayTargetAdapterOffset, ts[i].adapter);
    }
    if (g_s.nullTargets)
    {
        free(t);
        t = nullptr;
    }
    *mapCount = static_cast<int>(ms.size());
    *maps = m;
    *targetCount = static_cast<int>(ts.size());
    *targets = t;
    return 0;
}
int32_t FakeStateGet(int32_t a, int32_t d, int32_t* cur, int32_t* def, int32_t* mn, int32_t* mx)
{
    EXPECT_TRUE(*cur == 0 && *def == 0 && *mn == 0 && *mx == 0) << "outputs not zeroed";
    for (auto& r : g_s.ranges)
        if (r.adapter == a && r.display == d)
        {
            *mn = r.minHz;
            *mx = r.maxHz;
            return r.status;
        }
    return 0;
}
int32_t FakeStateSet(int32_t a, int32_t d, int32_t state, int32_t reserved)
{
    g_s.sets.push_back({a, d, state, reserved});
    return 0;
}
int32_t FakeSend()
{
    return 0;
}
int32_t FakeBifrex(int32_t, void* reserved, int32_t* state)
{
    EXPECT_EQ(reserved, nullptr);
    EXPECT_TRUE(state[0] == 0 && state[1] == 0 && state[2] == 0);
    state[1] = g_s.multiGpu ? 1 : 0;
    return 0;
}

TeskApi FakeApi()
{
    TeskApi api;
    api.mainControlCreate = FakeCreate;
    api.mainControlDestroy = FakeDestroy;
    api.numberOfAdaptersGet = FakeCount;
    api.adapterInfoGet = FakeInfo;
    api.primaryGet = FakePrimary;
    api.displayMapConfigGet = FakeMaps;
    api.cadoraStateGet = FakeStateGet;
    api.cadoraStateSet = FakeStateSet;
    api.send = FakeSend;
    api.bifrex2Get = FakeBifrex;
    api.tesk2MainControlCreate = FakeCreate;
    api.module = &g_s;
    return api;
}

std::string Detect(const TeskApi& api, const DetectionRecord** record)
{
    std::FILE* f = std::tmpfile();
    *record = DetectDisplayWith(api, f);
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(f);
    return text;
}

// The fixed frames of the output, for cases that differ only inside them.
const std::string kRule = "===================================\n";
std::string Finding(const std::string& found, int count)
{
    return kRule + "=     Finding Primary Display     =\n" + kRule + found +
           "==================================\n\n\n" + kRule + "=         Active Displays         =\n" +
           kRule + "--Number of active displays: " + std::to_string(count) + "\n" + kRule + "\n\n";
}
std::string Found(int a, int d)
{
    return ">>> Primary display found\n>>> AdapterIndex: " + std::to_string(a) +
           "\n>>> DisplayIndex: " + std::to_string(d) + "\n";
}
std::string Listing(const std::string& body)
{
    return kRule + "=    Listing Cadora Displays    =\n" + kRule + body + kRule + "\n\n";
}
const std::string kSep = "----------------------------------\n";

class DetectTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ResetDetection();
        g_s = Scenario{};
    }
    void TearDown() override { ResetDetection(); }
};

TEST_F(DetectTest, CapablePrimaryDisplayPrintsTheWholeReport)
{
    g_s.adapters = {0};
    g_s.maps = {{0, 0, 0, 1}};
    g_s.targets = {{0, 0, 0}};
    g_s.ranges = {{0, 0, 47999999, 144000999, 0}};
    const DetectionRecord* r = nullptr;
    const std::string out = Detect(FakeApi(), &r);
    EXPECT_EQ(out, "===================================\n"
                   "=     Finding Primary Display     =\n"
                   "===================================\n"
                   ">>> Primary display found\n"
                   ">>> AdapterIndex: 0\n"
                   ">>> DisplayIndex: 0\n"
                   "==================================\n\n\n"
                   "===================================\n"
                   "=         Active Displays         =\n"
                   "===================================\n"
                   "--Number of active displays: 1\n"
                   "===================================\n\n\n"
                   "===================================\n"
                   "=    Listing Cadora Displays    =\n"
                   "===================================\n"
                   "--Adapter / Display Index: [0][0]\n"
                   "--Min Refresh Rate: 48.00 Hz\n"
                   "--Max Refresh Rate: 144.00 Hz\n"
                   "--PRIMARY DISPLAY IS CADORA.\n"
                   "===================================\n\n\n");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, GetDetectionRecord());
    EXPECT_EQ(r->minRefreshMilliHz, 47999); // truncated, not rounded
    EXPECT_EQ(r->maxRefreshMilliHz, 144000);
    EXPECT_TRUE(IsUsable(r));
    EXPECT_TRUE(IsCompatible(r));
    EXPECT_EQ(r->api.module, &g_s);
}

struct ListingCase
{
    const char* name;
    Scenario scenario;
    std::string expected;
    int count, primaryAdapter, primaryDisplay, minMilliHz, maxMilliHz;
    bool usable, compatible;
};

class DetectListing : public DetectTest, public ::testing::WithParamInterface<ListingCase>
{
};

TEST_P(DetectListing, OutputAndRecord)
{
    const ListingCase& c = GetParam();
    g_s = c.scenario;
    const DetectionRecord* r = nullptr;
    EXPECT_EQ(Detect(FakeApi(), &r), c.expected);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->activeDisplayCount, c.count);
    EXPECT_EQ(r->primaryAdapter, c.primaryAdapter);
    EXPECT_EQ(r->primaryDisplay, c.primaryDisplay);
    EXPECT_EQ(r->minRefreshMilliHz, c.minMilliHz);
    EXPECT_EQ(r->maxRefreshMilliHz, c.maxMilliHz);
    EXPECT_EQ(IsUsable(r), c.usable);
    EXPECT_EQ(IsCompatible(r), c.compatible);
}

Scenario Make(std::vector<int> adapters, int primary, std::vector<Scenario::Map> maps,
              std::vector<Scenario::Target> targets, std::vector<Scenario::Range> ranges)
{
    Scenario s;
    s.adapters = std::move(adapters);
    s.primary = primary;
    s.maps = std::move(maps);
    s.targets = std::move(targets);
    s.ranges = std::move(ranges);
    return s;
}

Scenario With(Scenario s, void (*tweak)(Scenario&))
{
    tweak(s);
    return s;
}

const Scenario kTwoOnPrimary =
    Make({0}, 0, {{0, 0, 0, 2}}, {{0, 0, 0}, {0, 1, 0}}, {{0, 1, 40000000, 75000000, 0}});
const Scenario kThreeAdapters = Make(
    {0, 1, 2}, 1, {{0, 0, 0, 1}, {1, 1, 0, 1}, {2, 2, 0, 2}}, {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {2, 1, 2}},
    {{0, 0, 40000000, 75000000, 0}, {1, 0, 48000000, 144000000, 0}, {2, 0, 50000000, 100000000, 0}});
const Scenario kCapable = Make({0}, 0, {{0, 0, 0, 1}}, {{0, 0, 0}}, {{0, 0, 30000000, 60000000, 0}});

const std::string kThreeAdaptersBody = "--Adapter / Display Index: [0][0]\n--Min Refresh Rate: 40.00 Hz\n"
                                       "--Max Refresh Rate: 75.00 Hz\n" +
                                       kSep +
                                       "--Adapter / Display Index: [1][0]\n--Min Refresh Rate: 48.00 Hz\n"
                                       "--Max Refresh Rate: 144.00 Hz\n--PRIMARY DISPLAY IS CADORA.\n" +
                                       kSep +
                                       "--Adapter / Display Index: [2][0]\n--Min Refresh Rate: 50.00 Hz\n"
                                       "--Max Refresh Rate: 100.00 Hz\n" +
                                       kSep + "--Adapter / Display Index: [2][1]\n--DISPLAY IS NOT CADORA.\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectListing,
    ::testing::Values(
        // Only the display matching primaryDisplay gets a PRIMARY verdict; the other, capable
        // one still leaves its range as the last successful query before a capable primary.
        ListingCase{"TwoDisplaysOnPrimaryAdapter", kTwoOnPrimary,
                    Finding(Found(0, 0), 2) +
                        Listing("--Adapter / Display Index: [0][0]\n--PRIMARY DISPLAY IS NOT CADORA.\n" +
                                kSep +
                                "--Adapter / Display Index: [0][1]\n--Min Refresh Rate: 40.00 Hz\n"
                                "--Max Refresh Rate: 75.00 Hz\n"),
                    2, 0, 0, 40000, 75000, true, true},
        // Ranges before the capable primary are overwritten, those after it are not.
        ListingCase{"RangeFreezesAtCapablePrimary", kThreeAdapters,
                    Finding(Found(1, 0), 4) + Listing(kThreeAdaptersBody), 4, 1, 0, 48000, 144000, true,
                    true},
        ListingCase{"MultiGpuIsCompatibleButNotUsable",
                    With(kCapable, [](Scenario& s) { s.multiGpu = true; }),
                    Finding(Found(0, 0), 1) +
                        Listing("--Adapter / Display Index: [0][0]\n--Min Refresh Rate: 30.00 Hz\n"
                                "--Max Refresh Rate: 60.00 Hz\n--PRIMARY DISPLAY IS CADORA.\n"),
                    1, 0, 0, 30000, 60000, false, true},
        ListingCase{"FailedStateQueryPrintsNoRange",
                    With(kCapable, [](Scenario& s) { s.ranges[0].status = -1; }),
                    Finding(Found(0, 0), 1) +
                        Listing("--Adapter / Display Index: [0][0]\n--PRIMARY DISPLAY IS NOT CADORA.\n"),
                    1, 0, 0, 0, 0, false, false},
        ListingCase{"FailedMapQuerySkipsAdapter", With(kThreeAdapters, [](Scenario& s) { s.failMaps = {0}; }),
                    Finding(Found(1, 0), 3) + Listing(kThreeAdaptersBody.substr(kThreeAdaptersBody.find(
                                                  "--Adapter / Display Index: [1][0]"))),
                    3, 1, 0, 48000, 144000, true, true},
        ListingCase{"NoAdapters", Scenario{}, Finding("", 0) + Listing(""), 0, 0, -1, 0, 0, false, false},
        ListingCase{"PrimaryQueryFailsStopsEnumeration",
                    With(kCapable, [](Scenario& s) { s.primaryStatus = 1; }), Listing(""), 0, -1, -1, 0, 0,
                    false, false},
        ListingCase{"AdapterCountFailsStopsEnumeration",
                    With(kCapable, [](Scenario& s) { s.countStatus = 1; }), Listing(""), 0, 0, -1, 0, 0,
                    false, false},
        // A first-target index outside the targets finds no primary.
        ListingCase{"FirstTargetOutOfRange",
                    With(kTwoOnPrimary,
                         [](Scenario& s) {
                             s.maps = {{0, 0, 2, 1}, {0, 0, -1, 1}};
                         }),
                    Finding("", 2) +
                        Listing("--Adapter / Display Index: [0][0]\n--DISPLAY IS NOT CADORA.\n" + kSep +
                                "--Adapter / Display Index: [0][1]\n--Min Refresh Rate: 40.00 Hz\n"
                                "--Max Refresh Rate: 75.00 Hz\n"),
                    2, 0, -1, 40000, 75000, true, true},
        // Pass-two targets beyond what each adapter counted in pass one are dropped: never
        // written past the list, nor in place of another adapter's displays.
        ListingCase{
            "MoreTargetsOnSecondPass", With(kThreeAdapters, [](Scenario& s) { s.extraTargetsLater = 40; }),
            Finding(Found(1, 0), 4) + Listing(kThreeAdaptersBody), 4, 1, 0, 48000, 144000, true, true},
        ListingCase{"FewerTargetsOnSecondPass",
                    With(kTwoOnPrimary, [](Scenario& s) { s.missingTargetsLater = 1; }),
                    Finding(Found(0, 0), 1) +
                        Listing("--Adapter / Display Index: [0][0]\n--PRIMARY DISPLAY IS NOT CADORA.\n"),
                    1, 0, 0, 0, 0, false, false},
        ListingCase{"NullTargetArrayIsEmpty", With(kCapable, [](Scenario& s) { s.nullTargets = true; }),
                    Finding("", 0) + Listing(""), 0, 0, -1, 0, 0, false, false}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return std::string(info.param.name); });

// Counts that are negative or would overflow the adapter buffer size mean no adapters.
TEST_F(DetectTest, AbsurdAdapterCountsAreNone)
{
    for (int count : {-1, INT_MIN, kMaxAdapters + 1, INT32_MAX / kAdapterInfoSize + 1, INT_MAX})
    {
        ResetDetection();
        g_s = kCapable;
        g_s.overrideCount = true;
        g_s.reportedCount = count;
        const DetectionRecord* r = nullptr;
        EXPECT_EQ(Detect(FakeApi(), &r), Finding("", 0) + Listing("")) << count;
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(g_s.infoCalls, 0) << count;
        EXPECT_TRUE(g_s.mapQueries.empty()) << count;
    }
}

TEST_F(DetectTest, AbsurdMapTargetCountsAddNothing)
{
    g_s = kTwoOnPrimary;
    g_s.maps = {{0, 0, 0, -5}, {0, 0, 0, INT_MAX}, {0, 0, 0, 1}};
    const DetectionRecord* r = nullptr;
    Detect(FakeApi(), &r);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->activeDisplayCount, 1);
    EXPECT_EQ(r->displayList[0].displayIndex, 0);
}

struct NoRecordCase
{
    const char* name;
    void (*breakApi)(TeskApi&);
    bool createCalled;
};

class DetectNoRecord : public DetectTest, public ::testing::WithParamInterface<NoRecordCase>
{
};

TEST_P(DetectNoRecord, NothingPrintedNoRecord)
{
    g_s = kCapable;
    TeskApi api = FakeApi();
    GetParam().breakApi(api);
    static const DetectionRecord sentinel;
    const DetectionRecord* r = &sentinel;
    EXPECT_EQ(Detect(api, &r), "");
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(GetDetectionRecord(), nullptr);
    EXPECT_EQ(g_s.createCalls, GetParam().createCalled ? 1 : 0);
    SetCadoraState(true);
    EXPECT_TRUE(g_s.sets.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectNoRecord,
    ::testing::Values(NoRecordCase{"MissingSend", [](TeskApi& a) { a.send = nullptr; }, false},
                      NoRecordCase{"MissingMultiGpuQuery", [](TeskApi& a) { a.bifrex2Get = nullptr; }, false},
                      NoRecordCase{"MissingCreate", [](TeskApi& a) { a.mainControlCreate = nullptr; }, false},
                      NoRecordCase{"FailedCreate", [](TeskApi&) { g_s.createStatus = -1; }, true}),
    [](const ::testing::TestParamInfo<NoRecordCase>& info) { return std::string(info.param.name); });

TEST_F(DetectTest, OptionalSecondCreateMayBeMissing)
{
    g_s = kCapable;
    TeskApi api = FakeApi();
    api.tesk2MainControlCreate = nullptr;
    const DetectionRecord* r = nullptr;
    Detect(api, &r);
    EXPECT_NE(r, nullptr);
    EXPECT_EQ(g_s.createCalls, 1);
}

TEST_F(DetectTest, SetCadoraStateReachesEveryPair)
{
    g_s = kThreeAdapters;
    const DetectionRecord* r = nullptr;
    Detect(FakeApi(), &r);
    ASSERT_NE(r, nullptr);
    SetCadoraState(true);
    SetCadoraState(false);
    const std::vector<std::array<int, 4>> want = {{0, 0, 7, 0}, {1, 0, 7, 0}, {2, 0, 7, 0}, {2, 1, 7, 0},
                                                  {0, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}, {2, 1, 0, 0}};
    EXPECT_EQ(g_s.sets, want);
}

void* g_freed = nullptr;
TEST_F(DetectTest, ShutdownDestroysOnceAndFreesModule)
{
    g_s = kCapable;
    const DetectionRecord* r = nullptr;
    Detect(FakeApi(), &r);
    ASSERT_NE(r, nullptr);
    g_freed = nullptr;
    ShutdownDisplayWith([](void* m) { g_freed = m; });
    EXPECT_EQ(g_s.destroyCalls, 1);
    EXPECT_EQ(g_freed, &g_s);
    EXPECT_EQ(GetDetectionRecord(), nullptr);
    EXPECT_FALSE(IsCompatible(GetDetectionRecord()));
    ShutdownDisplayWith([](void*) { FAIL() << "freed twice"; });
    EXPECT_EQ(g_s.destroyCalls, 1);
    SetCadoraState(true);
    EXPECT_TRUE(g_s.sets.empty());
}

} // namespace
