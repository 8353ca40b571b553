// Program entry: detection, properties and display settlement, in start-up order.
#include "detect.h"

#include "core/props.h"
#include "core/sys.h"
#include "core/utils.h"
#include "desktop_win32.h"
#include "settle.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

namespace
{

// Diagnostics for automated runs: the settled properties on standard error.
void DumpProperty(const char* group, const char* variable, mirel::PropertyType type, const void* slot, void*)
{
    const float* f = static_cast<const float*>(slot);
    switch (type)
    {
    case mirel::kPropString:
        std::fprintf(stderr, "prop %s.%s = \"%.15s\"\n", group, variable, static_cast<const char*>(slot));
        break;
    case mirel::kPropFloat:
        std::fprintf(stderr, "prop %s.%s = %g\n", group, variable, f[0]);
        break;
    default:
        std::fprintf(stderr, "prop %s.%s = %g %g %g %g\n", group, variable, f[0], f[1], f[2], f[3]);
        break;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const miCadora::DetectionRecord* record = DetectDisplay();
    const float detectedHz = record ? static_cast<float>(record->maxRefreshMilliHz / 1000.0) : 0.0f;

    mirel::RegisterDefaults();
    if (!mirel::SettleDisplaySettings(mirel::QueryDesktopMode(), detectedHz))
    {
        MessageBoxW(nullptr, L"Interlaced mode is not supported", L"Error", MB_OK);
        ExitProcess(0);
    }
    if (mirel::sys::EnvironmentFlag("MIREL_DUMP_PROPERTIES"))
    {
        mirel::ForEachProperty(DumpProperty, nullptr);
        std::fflush(stderr);
    }

    ShutdownDisplay();
    std::fflush(stdout);
    return 0;
}
