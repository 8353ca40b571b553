#include "detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace miCadora;

namespace
{

// Scriptable stand-in for the library: the fakes below read and record through it.
struct Scenario
{
    std::vector<int> adapters;
    int primary = 0;
    std::vector<std::array<int, 4>> maps;    // query, adapter, first, count
    std::vector<std::array<int, 3>> targets; // query, display, adapter
    std::vector<std::array<int, 5>> ranges;  // adapter, display, minHz, maxHz, status
    int createStatus = 0, primaryStatus = 0, countStatus = 0;
    int reportedCount = -2; // -2: the number of adapters
    std::vector<int> failMaps{};
    int extraTargetsLater = 0, missingTargetsLater = 0; // on every query of an adapter after its first
    bool nullTargets = false, multiGpu = false;
    std::vector<int> mapQueries{}; // observations from here on
    std::vector<std::array<int, 4>> sets{};
    int createCalls = 0, destroyCalls = 0;
};

Scenario g_s;
TeskAllocateFn g_allocate = nullptr;

// Library records of the given size holding fields 1.. of each row at the offsets; every byte
// not read is a decoy, which catches a wrong offset.
template <size_t N>
unsigned char* Records(const std::vector<std::array<int, N>>& rows, int size, const int (&offsets)[N - 1])
{
    auto* p = static_cast<unsigned char*>(g_allocate(static_cast<int>(rows.size()) * size + 1));
    std::memset(p, 0xF7, rows.size() * static_cast<size_t>(size));
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t f = 1; f < N; ++f)
            std::memcpy(p + i * static_cast<size_t>(size) + offsets[f - 1], &rows[i][f], 4);
    return p;
}

int32_t FakeMaps(int32_t adapter, int32_t* mapCount, void** maps, int32_t* targetCount, void** targets,
                 int32_t)
{
    const bool later = std::count(g_s.mapQueries.begin(), g_s.mapQueries.end(), adapter) > 0;
    g_s.mapQueries.push_back(adapter);
    if (std::count(g_s.failMaps.begin(), g_s.failMaps.end(), adapter)) return -1;
    std::vector<std::array<int, 4>> ms;
    std::vector<std::array<int, 3>> ts;
    for (auto& m : g_s.maps)
        if (m[0] == adapter) ms.push_back(m);
    for (auto& t : g_s.targets)
        if (t[0] == adapter) ts.push_back(t);
    for (int i = 0; later && i < g_s.extraTargetsLater; ++i)
        ts.push_back({adapter, 50 + i, adapter});
    for (int i = 0; later && i < g_s.missingTargetsLater && !ts.empty(); ++i)
        ts.pop_back();
    *mapCount = static_cast<int>(ms.size());
    *maps = Records(ms, kDisplayMapSize,
                    {kDisplayMapAdapterOffset, kDisplayMapFirstTargetOffset, kDisplayMapTargetCountOffset});
    *targetCount = static_cast<int>(ts.size());
    *targets = Records(ts, kDisplayTargetSize, {kDisplayTargetDisplayOffset, kDisplayTargetAdapterOffset});
    if (g_s.nullTargets) free(*targets), *targets = nullptr;
    return 0;
}

TeskApi FakeApi()
{
    TeskApi api;
    api.mainControlCreate = api.tesk2MainControlCreate = [](TeskAllocateFn allocate, int32_t)
    { return ++g_s.createCalls, g_allocate = allocate, g_s.createStatus; };
    api.mainControlDestroy = [] { return ++g_s.destroyCalls, 0; };
    api.numberOfAdaptersGet = [](int32_t* n)
    { return *n = g_s.reportedCount != -2 ? g_s.reportedCount : int(g_s.adapters.size()), g_s.countStatus; };
    api.adapterInfoGet = [](void* buffer, int32_t size)
    {
        EXPECT_GE(size, static_cast<int>(g_s.adapters.size()) * kAdapterInfoSize);
        for (size_t i = 0; i < g_s.adapters.size() && static_cast<int>(i + 1) * kAdapterInfoSize <= size; ++i)
        {
            unsigned char* rec = static_cast<unsigned char*>(buffer) + i * kAdapterInfoSize;
            std::memset(rec, 0xF7, kAdapterInfoSize); // only the index at byte 4 counts
            std::memcpy(rec + 4, &g_s.adapters[i], 4);
        }
        return 0;
    };
    api.primaryGet = [](int32_t* a) { return *a = g_s.primary, g_s.primaryStatus; };
    api.displayMapConfigGet = FakeMaps;
    api.cadoraStateGet = [](int32_t a, int32_t d, int32_t* cur, int32_t* def, int32_t* mn, int32_t* mx)
    {
        EXPECT_TRUE(*cur == 0 && *def == 0 && *mn == 0 && *mx == 0) << "outputs not zeroed";
        for (auto& r : g_s.ranges)
            if (r[0] == a && r[1] == d) return *mn = r[2], *mx = r[3], r[4];
        return 0;
    };
    api.cadoraStateSet = [](int32_t a, int32_t d, int32_t state, int32_t reserved) {
        return g_s.sets.push_back({a, d, state, reserved}), 0;
    };
    api.send = [] { return 0; };
    api.bifrex2Get = [](int32_t, void* reserved, int32_t* state)
    {
        EXPECT_EQ(reserved, nullptr);
        EXPECT_TRUE(state[0] == 0 && state[1] == 0 && state[2] == 0);
        return state[1] = g_s.multiGpu ? 1 : 0, 0;
    };
    api.module = &g_s;
    return api;
}

// The whole output: the finding frame (count -1: none) naming the primary [a][d] (a -1: none
// found), then the listing frame around body.
std::string Text(int count, int a, int d, const std::string& body)
{
    const std::string rule = "===================================\n";
    std::string s;
    if (count >= 0)
    {
        s = rule + "=     Finding Primary Display     =\n" + rule;
        if (a >= 0)
            s += ">>> Primary display found\n>>> AdapterIndex: " + std::to_string(a) +
                 "\n>>> DisplayIndex: " + std::to_string(d) + "\n";
        s += "==================================\n\n\n" + rule + "=         Active Displays         =\n" +
             rule + "--Number of active displays: " + std::to_string(count) + "\n" + rule + "\n\n";
    }
    return s + rule + "=    Listing Cadora Displays    =\n" + rule + body + rule + "\n\n";
}
std::string Display(int a, int d, const std::string& verdict, int minHz = 0, int maxHz = 0)
{
    std::string s = "--Adapter / Display Index: [" + std::to_string(a) + "][" + std::to_string(d) + "]\n";
    if (minHz)
        s += "--Min Refresh Rate: " + std::to_string(minHz) +
             ".00 Hz\n--Max Refresh Rate: " + std::to_string(maxHz) + ".00 Hz\n";
    return s + verdict;
}
const std::string kSep = "----------------------------------\n", kPrimary = "--PRIMARY DISPLAY IS CADORA.\n",
                  kNotPrimary = "--PRIMARY DISPLAY IS NOT CADORA.\n", kNot = "--DISPLAY IS NOT CADORA.\n";

Scenario With(Scenario s, void (*tweak)(Scenario&))
{
    tweak(s);
    return s;
}

const Scenario kTwoOnPrimary{{0}, 0, {{0, 0, 0, 2}}, {{0, 0, 0}, {0, 1, 0}}, {{0, 1, 40000000, 75000000, 0}}};
const Scenario kThreeAdapters{
    {0, 1, 2},
    1,
    {{0, 0, 0, 1}, {1, 1, 0, 1}, {2, 2, 0, 2}},
    {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {2, 1, 2}},
    {{0, 0, 40000000, 75000000, 0}, {1, 0, 48000000, 144000000, 0}, {2, 0, 50000000, 100000000, 0}}};
const Scenario kFirstOutside{
    {0}, 0, {{0, 0, 2, 1}, {0, 0, -1, 1}}, {{0, 0, 0}, {0, 1, 0}}, {{0, 1, 40000000, 75000000, 0}}};
const Scenario kBadMapCounts{
    {0}, 0, {{0, 0, 0, -5}, {0, 0, 0, INT_MAX}, {0, 0, 0, 1}}, {{0, 0, 0}, {0, 1, 0}}, {}};
const Scenario kTruncated{{0}, 0, {{0, 0, 0, 1}}, {{0, 0, 0}}, {{0, 0, 47999999, 144000999, 0}}};
const Scenario kCapable{{0}, 0, {{0, 0, 0, 1}}, {{0, 0, 0}}, {{0, 0, 30000000, 60000000, 0}}};

const std::string kAfterFirstAdapter =
    Display(1, 0, kPrimary, 48, 144) + kSep + Display(2, 0, "", 50, 100) + kSep + Display(2, 1, kNot);
const std::string kThreeAdaptersBody = Display(0, 0, "", 40, 75) + kSep + kAfterFirstAdapter;

class DetectTest : public ::testing::Test
{
  protected:
    void TearDown() override { ResetDetection(); }
    // Detects afresh in the scenario, with the entry points broken as given; returns the output.
    std::string Detect(const Scenario& s, void (*breakApi)(TeskApi&) = nullptr)
    {
        ResetDetection();
        g_s = s;
        TeskApi api = FakeApi();
        if (breakApi) breakApi(api);
        std::FILE* f = std::tmpfile();
        r = DetectDisplayWith(api, f);
        std::rewind(f);
        std::string text(1 << 16, '\0');
        text.resize(std::fread(&text[0], 1, text.size(), f));
        std::fclose(f);
        return text;
    }
    const DetectionRecord* r = nullptr;
};

TEST_F(DetectTest, OutputAndRecord)
{
    const std::tuple<const char*, Scenario, std::string, int, int, bool, bool> cases[] = {
        // Micro-hertz are truncated to milli-hertz, and printed to two places.
        {"capable", kTruncated, Text(1, 0, 0, Display(0, 0, kPrimary, 48, 144)), 47999, 144000, true, true},
        // Only the display matching primaryDisplay gets a PRIMARY verdict; the other, capable
        // one still leaves its range as the last successful query before a capable primary.
        {"two on the primary", kTwoOnPrimary,
         Text(2, 0, 0, Display(0, 0, kNotPrimary) + kSep + Display(0, 1, "", 40, 75)), 40000, 75000, true,
         true},
        // Ranges before the capable primary are overwritten, those after it are not.
        {"range frozen at the primary", kThreeAdapters, Text(4, 1, 0, kThreeAdaptersBody), 48000, 144000,
         true, true},
        {"multi-GPU is compatible but not usable", With(kCapable, [](Scenario& s) { s.multiGpu = true; }),
         Text(1, 0, 0, Display(0, 0, kPrimary, 30, 60)), 30000, 60000, false, true},
        {"no maximum is not capable", With(kCapable, [](Scenario& s) { s.ranges[0][3] = 0; }),
         Text(1, 0, 0, Display(0, 0, kNotPrimary, 30, 0)), 30000, 0, false, false},
        {"no range when its query fails", With(kCapable, [](Scenario& s) { s.ranges[0][4] = -1; }),
         Text(1, 0, 0, Display(0, 0, kNotPrimary)), 0, 0, false, false},
        {"map query fails", With(kThreeAdapters, [](Scenario& s) { s.failMaps = {0}; }),
         Text(3, 1, 0, kAfterFirstAdapter), 48000, 144000, true, true},
        {"primary query fails", With(kCapable, [](Scenario& s) { s.primaryStatus = 1; }),
         Text(-1, -1, -1, ""), 0, 0, false, false},
        {"adapter count fails", With(kCapable, [](Scenario& s) { s.countStatus = 1; }), Text(-1, -1, -1, ""),
         0, 0, false, false},
        {"first target outside", kFirstOutside,
         Text(2, -1, -1, Display(0, 0, kNot) + kSep + Display(0, 1, "", 40, 75)), 40000, 75000, true, true},
        // Pass-two targets beyond what each adapter counted in pass one are dropped: never
        // written past the list, nor in place of another adapter's displays.
        {"more targets later", With(kThreeAdapters, [](Scenario& s) { s.extraTargetsLater = 40; }),
         Text(4, 1, 0, kThreeAdaptersBody), 48000, 144000, true, true},
        {"fewer targets later", With(kTwoOnPrimary, [](Scenario& s) { s.missingTargetsLater = 1; }),
         Text(1, 0, 0, Display(0, 0, kNotPrimary)), 0, 0, false, false},
        {"null target array is empty", With(kCapable, [](Scenario& s) { s.nullTargets = true; }),
         Text(0, -1, -1, ""), 0, 0, false, false},
    };
    for (const auto& [name, scenario, expected, minMilliHz, maxMilliHz, usable, compatible] : cases)
    {
        EXPECT_EQ(Detect(scenario), expected) << name;
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(std::make_tuple(r->minRefreshMilliHz, r->maxRefreshMilliHz, IsUsable(r), IsCompatible(r)),
                  std::tie(minMilliHz, maxMilliHz, usable, compatible))
            << name;
    }
}

// Counts that are negative or would overflow a buffer size mean none.
TEST_F(DetectTest, AbsurdCountsAreNone)
{
    for (int count : {-1, INT_MIN, kMaxAdapters + 1, INT32_MAX / kAdapterInfoSize + 1, INT_MAX})
    {
        Scenario s = kCapable;
        s.reportedCount = count;
        EXPECT_EQ(Detect(s), Text(0, -1, -1, "")) << count;
        EXPECT_TRUE(g_s.mapQueries.empty()) << count;
    }
    Detect(kBadMapCounts);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->activeDisplayCount, 1);
    EXPECT_EQ(r->displayList[0].displayIndex, 0);
}

TEST_F(DetectTest, MissingEntryOrFailedStartGivesNoRecord)
{
    const std::tuple<void (*)(TeskApi&), int, bool> cases[] = {
        {[](TeskApi& a) { a.send = nullptr; }, 0, false},
        {[](TeskApi& a) { a.bifrex2Get = nullptr; }, 0, false},
        {[](TeskApi& a) { a.mainControlCreate = nullptr; }, 0, false},
        {[](TeskApi&) { g_s.createStatus = -1; }, 1, false},
        {[](TeskApi& a) { a.tesk2MainControlCreate = nullptr; }, 1, true}, // optional
    };
    for (const auto& [breakApi, createCalls, record] : cases)
    {
        const std::string out = Detect(kCapable, breakApi);
        EXPECT_EQ(std::make_tuple(g_s.createCalls, r != nullptr), std::make_tuple(createCalls, record));
        if (record) continue;
        EXPECT_EQ(out, "");
        EXPECT_EQ(GetDetectionRecord(), nullptr);
        SetCadoraState(true);
        EXPECT_TRUE(g_s.sets.empty());
    }
}

TEST_F(DetectTest, SetCadoraStateReachesEveryPairAndShutdownEndsIt)
{
    Detect(kThreeAdapters);
    ASSERT_NE(r, nullptr);
    SetCadoraState(true);
    SetCadoraState(false);
    const std::vector<std::array<int, 4>> want = {{0, 0, 7, 0}, {1, 0, 7, 0}, {2, 0, 7, 0}, {2, 1, 7, 0},
                                                  {0, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}, {2, 1, 0, 0}};
    EXPECT_EQ(g_s.sets, want);
    static void* freed = nullptr;
    ShutdownDisplayWith([](void* m) { freed = m; });
    EXPECT_EQ(g_s.destroyCalls, 1);
    EXPECT_EQ(freed, &g_s);
    EXPECT_FALSE(GetDetectionRecord() || IsUsable(nullptr) || IsCompatible(nullptr));
    ShutdownDisplayWith([](void*) { FAIL() << "freed twice"; });
    EXPECT_EQ(g_s.destroyCalls, 1);
    g_s.sets.clear();
    SetCadoraState(true);
    EXPECT_TRUE(g_s.sets.empty());
}

} // namespace
