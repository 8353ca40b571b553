// Display capability detection through the display maker's control library "tesklib.dll".
// The library is bound at run time; the algorithm runs over a table of its entry points so
// that it can be driven by any implementation of them.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#define TESK_CALL __cdecl
#else
#define TESK_CALL
#endif

namespace miCadora
{

using TeskAllocateFn = void*(TESK_CALL*)(int32_t size);

// Every entry point returns 0 on success.
using TeskMainControlCreateFn = int32_t(TESK_CALL*)(TeskAllocateFn allocate, int32_t enumConnectedOnly);
using TeskMainControlDestroyFn = int32_t(TESK_CALL*)();
using TeskNumberOfAdaptersGetFn = int32_t(TESK_CALL*)(int32_t* count);
using TeskAdapterInfoGetFn = int32_t(TESK_CALL*)(void* buffer, int32_t bufferSize);
using TeskPrimaryGetFn = int32_t(TESK_CALL*)(int32_t* adapter);
using TeskDisplayMapConfigGetFn = int32_t(TESK_CALL*)(int32_t adapter, int32_t* mapCount, void** maps,
                                                      int32_t* targetCount, void** targets, int32_t options);
using TeskCadoraStateGetFn = int32_t(TESK_CALL*)(int32_t adapter, int32_t display, int32_t* current,
                                                 int32_t* defaultState, int32_t* minMicroHz,
                                                 int32_t* maxMicroHz);
using TeskCadoraStateSetFn = int32_t(TESK_CALL*)(int32_t adapter, int32_t display, int32_t state,
                                                 int32_t reserved);
using TeskSendFn = int32_t(TESK_CALL*)();
using TeskBifrex2GetFn = int32_t(TESK_CALL*)(int32_t adapter, void* reserved, int32_t* state);
using Tesk2MainControlCreateFn = int32_t(TESK_CALL*)(TeskAllocateFn allocate, int32_t enumConnectedOnly);

// Record layouts of the library: strides and the offsets of the fields read.
constexpr int kAdapterInfoSize = 1572;
constexpr int kAdapterInfoIndexOffset = 4;
constexpr int kDisplayMapSize = 80;
constexpr int kDisplayMapAdapterOffset = 16;
constexpr int kDisplayMapTargetCountOffset = 64;
constexpr int kDisplayMapFirstTargetOffset = 68;
constexpr int kDisplayTargetSize = 28;
constexpr int kDisplayTargetDisplayOffset = 0;
constexpr int kDisplayTargetAdapterOffset = 8;

// Counts beyond these come from a confused library and are treated as none.
constexpr int32_t kMaxAdapters = 1024;
constexpr int32_t kMaxMapsOrTargets = 4096;
constexpr int32_t kMaxActiveDisplays = 4096;

constexpr int32_t kCadoraStateOn = 7;
constexpr int32_t kCadoraStateOff = 0;

// The library's entry points, in lookup order; the first ten are required.
struct TeskApi
{
    TeskMainControlCreateFn mainControlCreate = nullptr;
    TeskMainControlDestroyFn mainControlDestroy = nullptr;
    TeskNumberOfAdaptersGetFn numberOfAdaptersGet = nullptr;
    TeskAdapterInfoGetFn adapterInfoGet = nullptr;
    TeskPrimaryGetFn primaryGet = nullptr;
    TeskDisplayMapConfigGetFn displayMapConfigGet = nullptr;
    TeskCadoraStateGetFn cadoraStateGet = nullptr;
    TeskCadoraStateSetFn cadoraStateSet = nullptr;
    TeskSendFn send = nullptr;
    TeskBifrex2GetFn bifrex2Get = nullptr;
    Tesk2MainControlCreateFn tesk2MainControlCreate = nullptr;
    // The library's module handle (HMODULE on Windows).
    void* module = nullptr;
};

// The names GetProcAddress looks up, in the order of TeskApi.
extern const char* const kTeskEntryNames[11];
constexpr int kTeskRequiredEntries = 10;

struct DisplayPair
{
    int32_t adapterIndex;
    int32_t displayIndex;
};

struct DetectionRecord
{
    TeskApi api; // entry points and module handle
    int32_t activeDisplayCount = 0;
    DisplayPair* displayList = nullptr; // activeDisplayCount pairs, malloc'd
    int32_t primaryAdapter = -1;
    int32_t primaryDisplay = -1;
    int32_t minRefreshMilliHz = 0;
    int32_t maxRefreshMilliHz = 0;
    bool multiGpuActive = false;
};

// True when every required entry point is present.
bool HasRequiredEntries(const TeskApi& api);

// Runs the whole detection over the given entry points, printing to out. Returns the
// process-wide record, or null when an entry point is missing or the library fails to start
// (the caller then still owns api.module). Any previous record is discarded first.
const DetectionRecord* DetectDisplayWith(const TeskApi& api, std::FILE* out);

// The record of the last detection, or null.
const DetectionRecord* GetDetectionRecord();

// Whether the variable refresh may be driven from the record.
bool IsUsable(const DetectionRecord* record);
// What the statistics overlay reports as a compatible display.
bool IsCompatible(const DetectionRecord* record);

// Switches the variable refresh on or off for every listed display.
void SetCadoraState(bool on);

// Frees the display list, shuts the library down and hands its module to freeModule
// (which may be null). Nothing without a record.
void ShutdownDisplayWith(void (*freeModule)(void* module));

// Drops the record without calling into the library (tests).
void ResetDetection();

} // namespace miCadora

#ifdef _WIN32
// Loads "tesklib.dll" from the program's directory or the system directory and detects.
const miCadora::DetectionRecord* DetectDisplay();
void ShutdownDisplay();
#endif
