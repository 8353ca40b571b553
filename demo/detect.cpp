#include "detect.h"

#include <cstdlib>
#include <cstring>

namespace miCadora
{

// clang-format off
const char* const kTeskEntryNames[11] = {
    "Tesk_Main_Control_Create",
    "Tesk_Main_Control_Destroy",
    "Tesk_Adapter_NumberOfAdapters_Get",
    "Tesk_Adapter_AdapterInfo_Get",
    "Tesk_Adapter_Primary_Get",
    "Tesk_Display_DisplayMapConfig_Get",
    "Tesk_Display_CadoraState_Get",
    "Tesk_Display_CadoraState_Set",
    "Send",
    "Tesk_Adapter_Bifrex2_Get",
    "Tesk2_Main_Control_Create",
};
// clang-format on

namespace
{

DetectionRecord g_record;
bool g_present = false;

const char kRule[] = "===================================\n";
const char kRuleEnd[] = "===================================\n\n\n";

void* TESK_CALL Allocate(int32_t size)
{
    return size > 0 ? std::malloc(static_cast<size_t>(size)) : nullptr;
}

// The library's records are read as raw bytes: their layout beyond these fields is its own.
int32_t ReadInt(const unsigned char* record, int offset)
{
    int32_t v;
    std::memcpy(&v, record + offset, sizeof v);
    return v;
}

int32_t SaneCount(int32_t count, int32_t limit)
{
    return count > 0 && count <= limit ? count : 0;
}

struct MapQuery
{
    int32_t mapCount = 0;
    int32_t targetCount = 0;
    unsigned char* maps = nullptr;
    unsigned char* targets = nullptr;

    const unsigned char* Map(int i) const { return maps + static_cast<size_t>(i) * kDisplayMapSize; }
    const unsigned char* Target(int i) const { return targets + static_cast<size_t>(i) * kDisplayTargetSize; }
    void Free()
    {
        std::free(maps);
        std::free(targets);
        maps = targets = nullptr;
        mapCount = targetCount = 0;
    }
};

// False when the library refuses; its outputs are then not trusted, not even for freeing.
bool QueryMaps(const TeskApi& api, int32_t adapter, MapQuery& q)
{
    int32_t mapCount = 0, targetCount = 0;
    void* maps = nullptr;
    void* targets = nullptr;
    if (api.displayMapConfigGet(adapter, &mapCount, &maps, &targetCount, &targets, 0) != 0) return false;
    q.maps = static_cast<unsigned char*>(maps);
    q.targets = static_cast<unsigned char*>(targets);
    q.mapCount = q.maps ? SaneCount(mapCount, kMaxMapsOrTargets) : 0;
    q.targetCount = q.targets ? SaneCount(targetCount, kMaxMapsOrTargets) : 0;
    return true;
}

void Enumerate(const TeskApi& api, std::FILE* out)
{
    DetectionRecord& r = g_record;
    std::free(r.displayList);
    r.displayList = nullptr;
    r.activeDisplayCount = 0;

    int32_t libPrimary = -1;
    if (api.primaryGet(&libPrimary) != 0) return;
    r.primaryAdapter = libPrimary;
    int32_t adapterCount = 0;
    if (api.numberOfAdaptersGet(&adapterCount) != 0) return;
    // The limit also keeps count x record size inside the int32 the library takes.
    static_assert(static_cast<int64_t>(kMaxAdapters) * kAdapterInfoSize <= INT32_MAX, "adapter buffer size");
    adapterCount = SaneCount(adapterCount, kMaxAdapters);

    unsigned char* infos = nullptr;
    if (adapterCount > 0)
    {
        infos = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(adapterCount), kAdapterInfoSize));
        if (!infos || api.adapterInfoGet(infos, adapterCount * kAdapterInfoSize) != 0) adapterCount = 0;
    }
    auto adapterIndex = [&](int a)
    { return ReadInt(infos + static_cast<size_t>(a) * kAdapterInfoSize, kAdapterInfoIndexOffset); };

    // What each adapter counted here bounds what it may add to the list in the second pass.
    int32_t* counted = nullptr;
    if (adapterCount > 0)
        counted = static_cast<int32_t*>(std::calloc(static_cast<size_t>(adapterCount), sizeof(int32_t)));
    if (!counted) adapterCount = 0;
    int64_t total = 0;
    for (int a = 0; a < adapterCount; ++a)
    {
        MapQuery q;
        if (!QueryMaps(api, adapterIndex(a), q)) continue;
        int64_t n = 0;
        for (int m = 0; m < q.mapCount; ++m)
            n += SaneCount(ReadInt(q.Map(m), kDisplayMapTargetCountOffset), kMaxMapsOrTargets);
        q.Free();
        if (n > kMaxActiveDisplays - total) n = kMaxActiveDisplays - total;
        counted[a] = static_cast<int32_t>(n);
        total += n;
    }
    if (total > 0)
    {
        r.displayList =
            static_cast<DisplayPair*>(std::calloc(static_cast<size_t>(total), sizeof(DisplayPair)));
        if (!r.displayList) total = 0;
    }
    r.activeDisplayCount = static_cast<int32_t>(total);

    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "=     Finding Primary Display     =\n");
    std::fprintf(out, "%s", kRule);

    int32_t filled = 0;
    for (int a = 0; a < adapterCount; ++a)
    {
        MapQuery q;
        if (!QueryMaps(api, adapterIndex(a), q)) continue;
        for (int m = 0; m < q.mapCount; ++m)
        {
            const unsigned char* map = q.Map(m);
            if (ReadInt(map, kDisplayMapAdapterOffset) != libPrimary) continue;
            const int32_t first = ReadInt(map, kDisplayMapFirstTargetOffset);
            if (first < 0 || first >= q.targetCount) continue;
            r.primaryAdapter = ReadInt(q.Target(first), kDisplayTargetAdapterOffset);
            r.primaryDisplay = ReadInt(q.Target(first), kDisplayTargetDisplayOffset);
            std::fprintf(out, ">>> Primary display found\n");
            std::fprintf(out, ">>> AdapterIndex: %d\n", r.primaryAdapter);
            std::fprintf(out, ">>> DisplayIndex: %d\n", r.primaryDisplay);
        }
        // The library may report more targets now than its maps counted a moment ago.
        for (int t = 0; t < q.targetCount && t < counted[a] && filled < r.activeDisplayCount; ++t)
        {
            r.displayList[filled].adapterIndex = ReadInt(q.Target(t), kDisplayTargetAdapterOffset);
            r.displayList[filled].displayIndex = ReadInt(q.Target(t), kDisplayTargetDisplayOffset);
            ++filled;
        }
        q.Free();
    }
    // Fewer targets than counted: unfilled pairs would name display [0][0] without it existing.
    r.activeDisplayCount = filled;

    std::fprintf(out, "==================================\n\n\n");
    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "=         Active Displays         =\n");
    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "--Number of active displays: %d\n", r.activeDisplayCount);
    std::fprintf(out, "%s", kRuleEnd);
    std::free(counted);
    std::free(infos);
}

void QueryMultiGpu(const TeskApi& api)
{
    int32_t state[3] = {0, 0, 0};
    api.bifrex2Get(g_record.primaryAdapter, nullptr, state);
    g_record.multiGpuActive = state[1] == 1;
}

void List(const TeskApi& api, std::FILE* out)
{
    DetectionRecord& r = g_record;
    r.minRefreshMilliHz = r.maxRefreshMilliHz = 0;
    std::fprintf(out, "%s", kRule);
    std::fprintf(out, "=    Listing Cadora Displays    =\n");
    std::fprintf(out, "%s", kRule);
    if (r.activeDisplayCount < 1)
    {
        std::fprintf(out, "%s", kRuleEnd);
        return;
    }

    bool primaryCapable = false;
    for (int i = 0; i < r.activeDisplayCount; ++i)
    {
        const DisplayPair p = r.displayList[i];
        if (i > 0) std::fprintf(out, "----------------------------------\n");
        std::fprintf(out, "--Adapter / Display Index: [%d][%d]\n", p.adapterIndex, p.displayIndex);

        int32_t current = 0, defaultState = 0, minHz = 0, maxHz = 0;
        const bool ok =
            api.cadoraStateGet(p.adapterIndex, p.displayIndex, &current, &defaultState, &minHz, &maxHz) == 0;
        if (!ok) minHz = maxHz = 0;
        if (ok && minHz != 0)
        {
            std::fprintf(out, "--Min Refresh Rate: %3.2f Hz\n", static_cast<double>(minHz / 1000000.0f));
            std::fprintf(out, "--Max Refresh Rate: %3.2f Hz\n", static_cast<double>(maxHz / 1000000.0f));
        }
        if (ok && !primaryCapable)
        {
            r.maxRefreshMilliHz = maxHz / 1000;
            r.minRefreshMilliHz = minHz / 1000;
        }

        if (p.adapterIndex == r.primaryAdapter && p.displayIndex == r.primaryDisplay)
        {
            if (minHz != 0 && maxHz != 0)
            {
                primaryCapable = true;
                std::fprintf(out, "--PRIMARY DISPLAY IS CADORA.\n");
            }
            else
            {
                std::fprintf(out, "--PRIMARY DISPLAY IS NOT CADORA.\n");
            }
        }
        else if (minHz == 0)
        {
            std::fprintf(out, "--DISPLAY IS NOT CADORA.\n");
        }
    }
    std::fprintf(out, "%s", kRuleEnd);
}

} // namespace

bool HasRequiredEntries(const TeskApi& api)
{
    return api.mainControlCreate && api.mainControlDestroy && api.numberOfAdaptersGet && api.adapterInfoGet &&
           api.primaryGet && api.displayMapConfigGet && api.cadoraStateGet && api.cadoraStateSet &&
           api.send && api.bifrex2Get;
}

const DetectionRecord* DetectDisplayWith(const TeskApi& api, std::FILE* out)
{
    ResetDetection();
    if (!HasRequiredEntries(api)) return nullptr;
    if (api.mainControlCreate(Allocate, 1) != 0) return nullptr;
    if (!out) out = stdout;

    g_record.api = api;
    Enumerate(api, out);
    QueryMultiGpu(api);
    List(api, out);
    g_present = true;
    return &g_record;
}

const DetectionRecord* GetDetectionRecord()
{
    return g_present ? &g_record : nullptr;
}

bool IsUsable(const DetectionRecord* r)
{
    return r && r->minRefreshMilliHz != 0 && r->maxRefreshMilliHz > 0 && !r->multiGpuActive;
}

bool IsCompatible(const DetectionRecord* r)
{
    return r && r->minRefreshMilliHz != 0 && r->maxRefreshMilliHz != 0;
}

void SetCadoraState(bool on)
{
    const DetectionRecord* r = GetDetectionRecord();
    if (!r || r->activeDisplayCount < 1 || !r->api.cadoraStateSet) return;
    for (int i = 0; i < r->activeDisplayCount; ++i)
        r->api.cadoraStateSet(r->displayList[i].adapterIndex, r->displayList[i].displayIndex,
                              on ? kCadoraStateOn : kCadoraStateOff, 0);
}

void ShutdownDisplayWith(void (*freeModule)(void* module))
{
    if (!g_present) return;
    std::free(g_record.displayList);
    g_record.displayList = nullptr;
    g_record.activeDisplayCount = 0;
    g_record.api.mainControlDestroy();
    if (freeModule && g_record.api.module) freeModule(g_record.api.module);
    g_record = DetectionRecord{};
    g_present = false;
}

void ResetDetection()
{
    std::free(g_record.displayList);
    g_record = DetectionRecord{};
    g_present = false;
}

} // namespace miCadora
