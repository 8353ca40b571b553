// Stand-in for the system's game-pad library "xinput1_4.dll", for whole-program tests only: pad
// 0 plays a script from the text file named by XINPUT_STUB_SCRIPT, one state a line ('#' starts
// a comment), each from its time in milliseconds after the first XInputGetState call on:
//   MS BUTTONS LEFT_TRIGGER RIGHT_TRIGGER LX LY RX RY   pad 0 connected in this state
//   MS off                                              pad 0 unplugged
// Before the first line, and without a script, pad 0 is connected and at rest. Other pads are
// never connected. With XINPUT_STUB_START naming a file, the times count from the first call
// that finds the file (a test makes it when the program under test has loaded).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define STUB_EXPORT extern "C" __declspec(dllexport)

namespace
{

struct Gamepad
{
    WORD buttons;
    BYTE leftTrigger, rightTrigger;
    SHORT thumbLX, thumbLY, thumbRX, thumbRY;
};
struct State
{
    DWORD packetNumber;
    Gamepad pad;
};
struct Vibration
{
    WORD left, right;
};
struct Capabilities
{
    BYTE type, subType;
    WORD flags;
    Gamepad pad;
    Vibration vibration;
};

struct Step
{
    unsigned long atMs;
    bool off;
    Gamepad pad;
};

constexpr int kMaxSteps = 256;
Step g_steps[kMaxSteps];
int g_stepCount = 0;
ULONGLONG g_start = 0;
int g_lastStep = -2;
DWORD g_packet = 0;
CRITICAL_SECTION g_lock;

SHORT Axis(const char* text)
{
    return static_cast<SHORT>(std::strtol(text, nullptr, 0));
}

void LoadScript()
{
    const char* path = std::getenv("XINPUT_STUB_SCRIPT");
    FILE* f = path ? std::fopen(path, "r") : nullptr;
    if (!f) return;
    char line[256];
    while (g_stepCount < kMaxSteps && std::fgets(line, sizeof line, f))
    {
        if (char* hash = std::strchr(line, '#')) *hash = '\0';
        char* word[8] = {};
        int n = 0;
        for (char* t = std::strtok(line, " \t\r\n"); t && n < 8; t = std::strtok(nullptr, " \t\r\n"))
            word[n++] = t;
        if (n == 0) continue;
        Step& s = g_steps[g_stepCount];
        s = Step{std::strtoul(word[0], nullptr, 0), false, {}};
        if (n == 2 && !std::strcmp(word[1], "off"))
            s.off = true;
        else if (n == 8)
            s.pad = {static_cast<WORD>(std::strtoul(word[1], nullptr, 0)),
                     static_cast<BYTE>(std::strtoul(word[2], nullptr, 0)),
                     static_cast<BYTE>(std::strtoul(word[3], nullptr, 0)),
                     Axis(word[4]),
                     Axis(word[5]),
                     Axis(word[6]),
                     Axis(word[7])};
        else
        {
            std::fprintf(stderr, "xinput_stub: bad script line starting %s\n", word[0]);
            continue;
        }
        ++g_stepCount;
    }
    std::fclose(f);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
    return TRUE;
}

STUB_EXPORT DWORD WINAPI XInputGetState(DWORD user, State* state)
{
    if (!state) return ERROR_BAD_ARGUMENTS;
    if (user != 0) return ERROR_DEVICE_NOT_CONNECTED;
    EnterCriticalSection(&g_lock);
    const ULONGLONG now = GetTickCount64();
    if (g_start == 0)
    {
        // Read here rather than in DllMain, which runs under the loader's lock.
        if (g_stepCount == 0) LoadScript();
        const char* startFile = std::getenv("XINPUT_STUB_START");
        if (!startFile || GetFileAttributesA(startFile) != INVALID_FILE_ATTRIBUTES) g_start = now;
    }
    int current = -1;
    for (int i = 0; g_start != 0 && i < g_stepCount; ++i)
        if (g_steps[i].atMs <= now - g_start) current = i;
    // The packet number changes with the state, as a real pad's does.
    if (current != g_lastStep)
    {
        g_lastStep = current;
        ++g_packet;
    }
    const bool off = current >= 0 && g_steps[current].off;
    state->packetNumber = g_packet;
    state->pad = current >= 0 ? g_steps[current].pad : Gamepad{};
    LeaveCriticalSection(&g_lock);
    return off ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS;
}

STUB_EXPORT DWORD WINAPI XInputGetCapabilities(DWORD user, DWORD, Capabilities* caps)
{
    if (!caps) return ERROR_BAD_ARGUMENTS;
    if (user != 0) return ERROR_DEVICE_NOT_CONNECTED;
    *caps = Capabilities{1, 1, 0, {0xFFFF, 255, 255, -64, -64, -64, -64}, {65535, 65535}};
    return ERROR_SUCCESS;
}
