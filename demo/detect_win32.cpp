#include "detect.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace
{

// Only the program's own directory and the system directory are trusted: a tesklib.dll in
// the working directory (a download folder, a network share) must never be run.
HMODULE LoadTeskLibrary()
{
    char path[MAX_PATH + 16];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
    {
        char* slash = std::strrchr(path, '\\');
        char* fwd = std::strrchr(path, '/');
        if (!slash || (fwd && fwd > slash)) slash = fwd;
        if (slash)
        {
            std::strcpy(slash + 1, "tesklib.dll");
            if (HMODULE m = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return m;
        }
    }
    return LoadLibraryExA("tesklib.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Through void(*)() so that the conversion from FARPROC is not flagged as a signature mismatch.
template <typename Fn> void Bind(HMODULE m, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

void ReleaseModule(void* module)
{
    FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace

const miCadora::DetectionRecord* DetectDisplay()
{
    using namespace miCadora;
    HMODULE m = LoadTeskLibrary();
    if (!m) return nullptr;

    TeskApi api;
    Bind(m, kTeskEntryNames[0], api.mainControlCreate);
    Bind(m, kTeskEntryNames[1], api.mainControlDestroy);
    Bind(m, kTeskEntryNames[2], api.numberOfAdaptersGet);
    Bind(m, kTeskEntryNames[3], api.adapterInfoGet);
    Bind(m, kTeskEntryNames[4], api.primaryGet);
    Bind(m, kTeskEntryNames[5], api.displayMapConfigGet);
    Bind(m, kTeskEntryNames[6], api.cadoraStateGet);
    Bind(m, kTeskEntryNames[7], api.cadoraStateSet);
    Bind(m, kTeskEntryNames[8], api.send);
    Bind(m, kTeskEntryNames[9], api.bifrex2Get);
    Bind(m, kTeskEntryNames[10], api.tesk2MainControlCreate);
    api.module = m;

    const DetectionRecord* record = DetectDisplayWith(api, stdout);
    if (!record) FreeLibrary(m);
    std::fflush(stdout);
    return record;
}

void ShutdownDisplay()
{
    miCadora::ShutdownDisplayWith(ReleaseModule);
}
