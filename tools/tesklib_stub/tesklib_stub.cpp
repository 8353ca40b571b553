// Stand-in for the display maker's "tesklib.dll", for tests of the demo's detection only.
// Behaviour comes from the text file named by TESKLIB_STUB_CONFIG, one directive a line
// ('#' starts a comment):
//   adapter INDEX                      an adapter record (reported in the order given)
//   adapter-count N                    count to report instead of the number of adapters
//   primary ADAPTER                    primary adapter index (default 0)
//   map QUERY MAP_ADAPTER FIRST COUNT  a display map returned when adapter QUERY is asked
//   target QUERY DISPLAY ADAPTER       a display target returned when adapter QUERY is asked
//   range ADAPTER DISPLAY MIN MAX      variable-refresh range in microhertz (default none)
//   multigpu 0|1                       multi-GPU mode reported by Tesk_Adapter_Bifrex2_Get
//   fail create|primary|count|info|bifrex
//   fail maps ADAPTER
//   fail state ADAPTER DISPLAY
//   extra-targets ADAPTER N            N more targets on every query of ADAPTER after its first
// With TESKLIB_STUB_LOG set, Tesk_Display_CadoraState_Set and Tesk_Main_Control_Destroy calls
// are appended to that file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define TESK_EXPORT extern "C" __declspec(dllexport)

using AllocateFn = void*(__cdecl*)(int32_t);

namespace
{

constexpr int kMax = 64;
constexpr int kAdapterInfoSize = 1572;
constexpr int kMapSize = 80;
constexpr int kTargetSize = 28;

struct Map
{
    int32_t query, adapter, first, count;
};
struct Target
{
    int32_t query, display, adapter;
};
struct Range
{
    int32_t adapter, display, minHz, maxHz;
};
struct Pair
{
    int32_t a, b;
};

struct Config
{
    int32_t adapters[kMax];
    int adapterCount;
    bool countOverridden;
    int32_t reportedCount;
    int32_t primary;
    Map maps[kMax];
    int mapCount;
    Target targets[kMax];
    int targetCount;
    Range ranges[kMax];
    int rangeCount;
    bool multiGpu;
    bool failCreate, failPrimary, failCount, failInfo, failBifrex;
    int32_t failMaps[kMax];
    int failMapsCount;
    Pair failState[kMax];
    int failStateCount;
    Pair extra[kMax]; // adapter, number of targets
    int extraCount;
    Pair queries[kMax]; // adapter, map queries so far
    int queryCount;
};

Config g_cfg;
AllocateFn g_allocate = nullptr;

void LoadConfig()
{
    std::memset(&g_cfg, 0, sizeof g_cfg);
    const char* name = std::getenv("TESKLIB_STUB_CONFIG");
    if (!name || !*name) return;
    std::FILE* f = std::fopen(name, "r");
    if (!f) return;
    char line[256];
    while (std::fgets(line, sizeof line, f))
    {
        if (char* hash = std::strchr(line, '#')) *hash = '\0';
        char word[32] = {};
        char what[32] = {};
        int a = 0, b = 0, c = 0, d = 0;
        if (std::sscanf(line, "%31s", word) != 1) continue;
        Config& g = g_cfg;
        if (!std::strcmp(word, "adapter") && std::sscanf(line, "%*s %d", &a) == 1 && g.adapterCount < kMax)
            g.adapters[g.adapterCount++] = a;
        else if (!std::strcmp(word, "adapter-count") && std::sscanf(line, "%*s %d", &a) == 1)
            g.countOverridden = true, g.reportedCount = a;
        else if (!std::strcmp(word, "primary") && std::sscanf(line, "%*s %d", &a) == 1)
            g.primary = a;
        else if (!std::strcmp(word, "map") && std::sscanf(line, "%*s %d %d %d %d", &a, &b, &c, &d) == 4 &&
                 g.mapCount < kMax)
            g.maps[g.mapCount++] = {a, b, c, d};
        else if (!std::strcmp(word, "target") && std::sscanf(line, "%*s %d %d %d", &a, &b, &c) == 3 &&
                 g.targetCount < kMax)
            g.targets[g.targetCount++] = {a, b, c};
        else if (!std::strcmp(word, "range") && std::sscanf(line, "%*s %d %d %d %d", &a, &b, &c, &d) == 4 &&
                 g.rangeCount < kMax)
            g.ranges[g.rangeCount++] = {a, b, c, d};
        else if (!std::strcmp(word, "multigpu") && std::sscanf(line, "%*s %d", &a) == 1)
            g.multiGpu = a != 0;
        else if (!std::strcmp(word, "extra-targets") && std::sscanf(line, "%*s %d %d", &a, &b) == 2 &&
                 g.extraCount < kMax)
            g.extra[g.extraCount++] = {a, b};
        else if (!std::strcmp(word, "fail") && std::sscanf(line, "%*s %31s", what) == 1)
        {
            if (!std::strcmp(what, "create"))
                g.failCreate = true;
            else if (!std::strcmp(what, "primary"))
                g.failPrimary = true;
            else if (!std::strcmp(what, "count"))
                g.failCount = true;
            else if (!std::strcmp(what, "info"))
                g.failInfo = true;
            else if (!std::strcmp(what, "bifrex"))
                g.failBifrex = true;
            else if (!std::strcmp(what, "maps") && std::sscanf(line, "%*s %*s %d", &a) == 1 &&
                     g.failMapsCount < kMax)
                g.failMaps[g.failMapsCount++] = a;
            else if (!std::strcmp(what, "state") && std::sscanf(line, "%*s %*s %d %d", &a, &b) == 2 &&
                     g.failStateCount < kMax)
                g.failState[g.failStateCount++] = {a, b};
        }
    }
    std::fclose(f);
}

void Log(const char* format, int32_t a, int32_t b, int32_t c, int32_t d)
{
    const char* name = std::getenv("TESKLIB_STUB_LOG");
    if (!name || !*name) return;
    if (std::FILE* f = std::fopen(name, "ab"))
    {
        std::fprintf(f, format, a, b, c, d);
        std::fclose(f);
    }
}

void Put(unsigned char* record, int offset, int32_t v)
{
    std::memcpy(record + offset, &v, sizeof v);
}

// Fields the caller must not depend on get values that would mislead it if it did.
unsigned char* AllocRecords(int count, int size)
{
    if (count <= 0 || !g_allocate) return nullptr;
    auto* p = static_cast<unsigned char*>(g_allocate(count * size));
    if (p) std::memset(p, 0xA5, static_cast<size_t>(count) * size);
    return p;
}

int32_t Create(AllocateFn allocate)
{
    LoadConfig();
    if (g_cfg.failCreate || !allocate) return -1;
    g_allocate = allocate;
    return 0;
}

} // namespace

TESK_EXPORT int32_t __cdecl Tesk_Main_Control_Create(AllocateFn allocate, int32_t)
{
    return Create(allocate);
}

TESK_EXPORT int32_t __cdecl Tesk2_Main_Control_Create(AllocateFn allocate, int32_t)
{
    return Create(allocate);
}

TESK_EXPORT int32_t __cdecl Tesk_Main_Control_Destroy()
{
    g_allocate = nullptr;
    Log("Tesk_Main_Control_Destroy\n", 0, 0, 0, 0);
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Adapter_NumberOfAdapters_Get(int32_t* count)
{
    if (g_cfg.failCount || !count) return -1;
    *count = g_cfg.countOverridden ? g_cfg.reportedCount : g_cfg.adapterCount;
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Adapter_AdapterInfo_Get(void* buffer, int32_t size)
{
    if (g_cfg.failInfo || !buffer) return -1;
    auto* out = static_cast<unsigned char*>(buffer);
    for (int i = 0; i < g_cfg.adapterCount && (i + 1) * kAdapterInfoSize <= size; ++i)
    {
        unsigned char* rec = out + i * kAdapterInfoSize;
        Put(rec, 0, kAdapterInfoSize); // record size, as such structures usually start
        Put(rec, 4, g_cfg.adapters[i]);
        Put(rec, 8, 1000 + i);
    }
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Adapter_Primary_Get(int32_t* adapter)
{
    if (g_cfg.failPrimary || !adapter) return -1;
    *adapter = g_cfg.primary;
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Display_DisplayMapConfig_Get(int32_t adapter, int32_t* mapCount, void** maps,
                                                              int32_t* targetCount, void** targets, int32_t)
{
    Config& g = g_cfg;
    if (!mapCount || !maps || !targetCount || !targets || !g_allocate) return -1;
    for (int i = 0; i < g.failMapsCount; ++i)
        if (g.failMaps[i] == adapter) return -1;

    int earlier = 0;
    int q = 0;
    for (; q < g.queryCount && g.queries[q].a != adapter; ++q)
    {
    }
    if (q < g.queryCount)
        earlier = g.queries[q].b++;
    else if (g.queryCount < kMax)
        g.queries[g.queryCount++] = {adapter, 1};
    int extra = 0;
    for (int i = 0; i < g.extraCount && earlier > 0; ++i)
        if (g.extra[i].a == adapter) extra += g.extra[i].b;

    int nm = 0, nt = 0;
    for (int i = 0; i < g.mapCount; ++i)
        nm += g.maps[i].query == adapter;
    for (int i = 0; i < g.targetCount; ++i)
        nt += g.targets[i].query == adapter;

    unsigned char* m = AllocRecords(nm, kMapSize);
    unsigned char* t = AllocRecords(nt + extra, kTargetSize);
    if ((nm > 0 && !m) || (nt + extra > 0 && !t)) return -1;
    int k = 0;
    for (int i = 0; i < g.mapCount; ++i)
    {
        if (g.maps[i].query != adapter) continue;
        unsigned char* rec = m + k++ * kMapSize;
        Put(rec, 0, 0);
        Put(rec, 16, g.maps[i].adapter);
        Put(rec, 64, g.maps[i].count);
        Put(rec, 68, g.maps[i].first);
    }
    k = 0;
    for (int i = 0; i < g.targetCount; ++i)
    {
        if (g.targets[i].query != adapter) continue;
        unsigned char* rec = t + k++ * kTargetSize;
        Put(rec, 0, g.targets[i].display);
        Put(rec, 4, 0x100 + i);
        Put(rec, 8, g.targets[i].adapter);
    }
    for (int i = 0; i < extra; ++i)
    {
        unsigned char* rec = t + k++ * kTargetSize;
        Put(rec, 0, 100 + i);
        Put(rec, 8, adapter);
    }
    *mapCount = nm;
    *maps = m;
    *targetCount = nt + extra;
    *targets = t;
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Display_CadoraState_Get(int32_t adapter, int32_t display, int32_t* current,
                                                         int32_t* defaultState, int32_t* minHz,
                                                         int32_t* maxHz)
{
    Config& g = g_cfg;
    for (int i = 0; i < g.failStateCount; ++i)
        if (g.failState[i].a == adapter && g.failState[i].b == display) return -1;
    if (!current || !defaultState || !minHz || !maxHz) return -1;
    *current = *defaultState = *minHz = *maxHz = 0;
    for (int i = 0; i < g.rangeCount; ++i)
    {
        if (g.ranges[i].adapter != adapter || g.ranges[i].display != display) continue;
        *current = *defaultState = 1;
        *minHz = g.ranges[i].minHz;
        *maxHz = g.ranges[i].maxHz;
    }
    return 0;
}

TESK_EXPORT int32_t __cdecl Tesk_Display_CadoraState_Set(int32_t adapter, int32_t display, int32_t state,
                                                         int32_t reserved)
{
    Log("Tesk_Display_CadoraState_Set %d %d %d %d\n", adapter, display, state, reserved);
    return 0;
}

#ifndef TESKLIB_STUB_NO_SEND
TESK_EXPORT int32_t __cdecl Send()
{
    return 0;
}
#endif

TESK_EXPORT int32_t __cdecl Tesk_Adapter_Bifrex2_Get(int32_t, void*, int32_t* state)
{
    if (g_cfg.failBifrex || !state) return -1;
    state[0] = 1;
    state[1] = g_cfg.multiGpu ? 1 : 0;
    state[2] = g_cfg.multiGpu ? 2 : 1;
    return 0;
}
