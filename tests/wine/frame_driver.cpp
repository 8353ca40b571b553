// Drives the demo from outside like a user would: starts it, finds its window, checks the
// client size, optionally resizes it, then quits with a real Escape key press (SendInput)
// or a WM_CLOSE, and checks the demo's exit code: 27 after Escape, 0 after WM_CLOSE.
//
//   frame_driver.exe DEMO.exe [--expect W H] [--run-ms N] [--resize W H] [--close] [--marker FILE]
//                    [--debug-out FILE] [--start-when FILE] [--exit-code N] [--at MS ACTION]...
//
// --exit-code N: the demo must end by itself within --run-ms, with exit code N.
// --marker: FILE is created once the window has been up for a moment (a cue for screenshots).
// --debug-out FILE: the driver is the demo's debugger; every debugger line it sends goes to FILE.
// --start-when FILE: the --at times count from when FILE exists.
// ACTION: key VK, ctrl-key VK, hold VK MS (a key held down), click X Y, resize W H, mark FILE,
// drag left|middle X0 Y0 X1 Y1 (a button dragged), type TEXT (each character as its real key
// strokes, with shift where the layout needs it), focus other|demo (a window of the driver's own
// takes the focus, or the demo gets it back).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace
{

// A line on stderr at once, so that it lands among the demo's own in the order things happened.
__attribute__((format(printf, 1, 2))) void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}

HWND FindDemoWindow(DWORD pid)
{
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"TutorialWindowClass", L"Cadora Demo"));)
    {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid) return w;
    }
    return nullptr;
}

SIZE ClientSize(HWND window)
{
    RECT rc{};
    GetClientRect(window, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

bool ClientIs(HWND window, long w, long h)
{
    const SIZE s = ClientSize(window);
    return s.cx == w && s.cy == h;
}

void PrintClient(HWND window, const char* when)
{
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const SIZE s = ClientSize(window);
    Say("driver: client %s %ldx%ld at %ld %ld\n", when, s.cx, s.cy, origin.x, origin.y);
}

void SendKey(WORD vk, bool up)
{
    INPUT key{INPUT_KEYBOARD, {}};
    key.ki = {vk, 0, static_cast<DWORD>(up ? KEYEVENTF_KEYUP : 0), 0, 0};
    SendInput(1, &key, sizeof(INPUT));
}

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0)
{
    INPUT m{INPUT_MOUSE, {}};
    m.mi = {dx, dy, 0, flags, 0, 0};
    SendInput(1, &m, sizeof(INPUT));
}

// Held for holdMs, with Control around it when asked for.
void PressKey(HWND window, WORD vk, DWORD holdMs, bool withControl = false)
{
    SetForegroundWindow(window);
    SetFocus(window);
    if (withControl)
    {
        SendKey(VK_CONTROL, false);
        Sleep(60);
    }
    SendKey(vk, false);
    if (holdMs) Sleep(holdMs);
    SendKey(vk, true);
    if (withControl) SendKey(VK_CONTROL, true);
}

// Key-down, the character the window's TranslateMessage makes of it, key-up: as typed.
void TypeText(HWND window, const std::string& text)
{
    SetForegroundWindow(window);
    for (char c : text)
    {
        const SHORT scan = VkKeyScanA(c);
        if (scan == -1) continue;
        const bool shift = (scan & 0x100) != 0;
        if (shift) SendKey(VK_SHIFT, false);
        SendKey(static_cast<WORD>(scan & 0xFF), false);
        Sleep(30);
        SendKey(static_cast<WORD>(scan & 0xFF), true);
        if (shift) SendKey(VK_SHIFT, true);
        Sleep(30);
    }
}

// Waits while answering the messages of the driver's own window.
void PumpFor(DWORD ms)
{
    const DWORD begin = GetTickCount();
    for (DWORD spent = 0; spent < ms; spent = GetTickCount() - begin)
    {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
    }
}

HWND g_other = nullptr;

void FocusOther()
{
    if (!g_other)
        g_other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 150,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(g_other);
    SetFocus(g_other);
}

void FocusDemo(HWND window)
{
    if (g_other) DestroyWindow(g_other);
    g_other = nullptr;
    SetForegroundWindow(window);
}

void ClickAt(HWND window, long x, long y)
{
    SetForegroundWindow(window);
    POINT p = {x, y};
    ClientToScreen(window, &p);
    SetCursorPos(p.x, p.y);
    Sleep(150);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    Sleep(150);
    SendMouse(MOUSEEVENTF_LEFTUP);
}

void MoveCursor(HWND window, long x, long y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1),
              MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1));
}

// A button held from one client point to another in small steps over about a second, so that
// every step stays below the demo's jump threshold and slow frames still see several.
void Drag(HWND window, bool middle, long x0, long y0, long x1, long y1)
{
    SetForegroundWindow(window);
    MoveCursor(window, x0, y0);
    Sleep(150);
    SendMouse(middle ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_LEFTDOWN);
    constexpr int kSteps = 30;
    for (int i = 1; i <= kSteps; ++i)
    {
        Sleep(40);
        MoveCursor(window, x0 + (x1 - x0) * i / kSteps, y0 + (y1 - y0) * i / kSteps);
    }
    Sleep(300);
    SendMouse(middle ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_LEFTUP);
}

// The demo's process: started here, or under a debugger loop on a thread of its own (debug events
// go to the thread that created the process), whose lines are written as they arrive.
std::string g_command;
STARTUPINFOA g_si{};
PROCESS_INFORMATION g_pi{};
BOOL g_started = FALSE;
DWORD g_startError = 0;
const char* g_debugOut = nullptr;
HANDLE g_startDone = nullptr;

void Start(DWORD flags)
{
    g_started =
        CreateProcessA(nullptr, &g_command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &g_si, &g_pi);
    g_startError = GetLastError();
}

// Without its terminating zero; characters beyond ASCII as '?'.
void WriteDebugString(std::FILE* out, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t unit = info.fUnicode ? 2 : 1;
    std::vector<unsigned char> raw(static_cast<size_t>(info.nDebugStringLength) * unit);
    SIZE_T got = 0;
    if (raw.empty() ||
        !ReadProcessMemory(g_pi.hProcess, info.lpDebugStringData, raw.data(), raw.size(), &got))
        return;
    std::string text;
    for (size_t i = 0; i + unit <= got; i += unit)
    {
        const unsigned c = unit == 2 ? raw[i] | raw[i + 1] << 8 : raw[i];
        if (c == 0) break;
        text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

DWORD WINAPI DebugLoop(LPVOID)
{
    Start(DEBUG_ONLY_THIS_PROCESS);
    SetEvent(g_startDone);
    if (!g_started) return 1;
    std::FILE* out = std::fopen(g_debugOut, "wb");
    for (DEBUG_EVENT ev{}; WaitForDebugEvent(&ev, INFINITE);)
    {
        const DWORD code = ev.dwDebugEventCode;
        if (code == OUTPUT_DEBUG_STRING_EVENT && out) WriteDebugString(out, ev.u.DebugString);
        if (code == CREATE_PROCESS_DEBUG_EVENT && ev.u.CreateProcessInfo.hFile)
            CloseHandle(ev.u.CreateProcessInfo.hFile);
        if (code == LOAD_DLL_DEBUG_EVENT && ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        // The program's own handlers see every exception but the loader's breakpoint.
        const bool passOn = code == EXCEPTION_DEBUG_EVENT &&
                            ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT;
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, passOn ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE);
        if (code == EXIT_PROCESS_DEBUG_EVENT) break;
    }
    if (out) std::fclose(out);
    return 0;
}

// Sets the window's client size and waits until the window has it.
void ResizeClient(HWND window, long w, long h)
{
    RECT rc = {0, 0, w, h};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(window, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
    for (int i = 0; i < 60 && !ClientIs(window, w, h); ++i)
        Sleep(50);
    PrintClient(window, "after resize");
}

// A scripted action at a time after the window appeared: kind is the first letter of its name
// ('K' control+key, 'D' middle drag), v its numbers, text its word.
struct Event
{
    DWORD atMs;
    char kind;
    long v[4];
    std::string text;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        Say("usage: frame_driver DEMO.exe [OPTION]... (frame_driver.cpp describes them)\n");
        return 2;
    }
    long expectW = -1, expectH = -1, resizeW = -1, resizeH = -1;
    DWORD runMs = 3000;
    bool close = false;
    // A demo expected to end by itself with this code (--exit-code) is waited for, not quit.
    long long exitCode = -1;
    const char* marker = nullptr;
    // The timeline starts once this file exists (the test's script makes it when the demo
    // says it has loaded), so that slow start-ups do not shift the actions into the load.
    const char* startWhen = nullptr;
    // The numbers each action takes (key codes in any base), or -1 for one word; a drag's first
    // word is its button.
    const std::tuple<const char*, char, int> actions[] = {
        {"key", 'k', 1},  {"ctrl-key", 'K', 1}, {"hold", 'h', 2},   {"click", 'c', 2}, {"resize", 'r', 2},
        {"drag", 'd', 4}, {"type", 't', -1},    {"focus", 'f', -1}, {"mark", 'm', -1}};
    std::vector<Event> events;
    for (int i = 2; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const auto next = [&] { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--start-when")
            startWhen = next();
        else if (arg == "--marker")
            marker = next();
        else if (arg == "--debug-out")
            g_debugOut = next();
        else if (arg == "--expect")
            expectW = std::atol(next()), expectH = std::atol(next());
        else if (arg == "--resize")
            resizeW = std::atol(next()), resizeH = std::atol(next());
        else if (arg == "--run-ms")
            runMs = static_cast<DWORD>(std::atol(next()));
        else if (arg == "--close")
            close = true;
        else if (arg == "--exit-code")
            exitCode = std::strtoll(next(), nullptr, 0);
        else if (arg == "--at")
        {
            Event e{static_cast<DWORD>(std::atol(next())), 0, {}, {}};
            const std::string what = next();
            for (const auto& [name, kind, numbers] : actions)
            {
                if (what != name) continue;
                e.kind = kind;
                if (numbers < 0) e.text = next();
                if (kind == 'd' && !std::strcmp(next(), "middle")) e.kind = 'D';
                for (int n = 0; n < numbers; ++n)
                    e.v[n] = std::strtol(next(), nullptr, n == 0 && std::strchr("kKh", kind) ? 0 : 10);
            }
            if (!e.kind)
            {
                Say("driver: unknown action %s\n", what.c_str());
                return 2;
            }
            events.push_back(e);
        }
    }

    g_command = std::string("\"") + argv[1] + "\"";
    g_si.cb = sizeof g_si;
    g_si.dwFlags = STARTF_USESTDHANDLES;
    g_si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    g_si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    g_si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    HANDLE debugThread = nullptr;
    if (g_debugOut)
    {
        g_startDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        debugThread = CreateThread(nullptr, 0, DebugLoop, nullptr, 0, nullptr);
        WaitForSingleObject(g_startDone, INFINITE);
    }
    else
        Start(0);
    const PROCESS_INFORMATION& pi = g_pi;
    if (!g_started)
    {
        Say("driver: cannot start %s (%lu)\n", argv[1], g_startError);
        return 2;
    }

    HWND window = nullptr;
    for (int i = 0; i < 400 && !window && WaitForSingleObject(pi.hProcess, 50) != WAIT_OBJECT_0; ++i)
        window = FindDemoWindow(pi.dwProcessId);
    int failures = 0;
    if (!window)
    {
        Say("driver: no \"Cadora Demo\" window of class TutorialWindowClass\n");
        TerminateProcess(pi.hProcess, 3);
        return 3;
    }
    Say("driver: window found\n");
    PrintClient(window, "at start");
    if (expectW >= 0 && !ClientIs(window, expectW, expectH))
    {
        Say("driver: expected client %ldx%ld\n", expectW, expectH);
        ++failures;
    }

    if (marker) events.push_back(Event{runMs < 1000 ? runMs : 1000, 'm', {}, marker});
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& x, const Event& y) { return x.atMs < y.atMs; });
    if (startWhen)
    {
        const DWORD waitBegin = GetTickCount();
        while (GetFileAttributesA(startWhen) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount() - waitBegin < 90000 && WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0)
            PumpFor(100);
        Say("driver: timeline starts after %lu ms\n", static_cast<unsigned long>(GetTickCount() - waitBegin));
    }
    const DWORD begin = GetTickCount();
    for (const Event& e : events)
    {
        const DWORD at = e.atMs < runMs ? e.atMs : runMs;
        const DWORD now = GetTickCount() - begin;
        if (at > now) PumpFor(at - now);
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        // With the demo's trace on the same stream, what it printed before an action is told
        // apart from what the action caused.
        Say("driver: begin at %lu ms %c\n", static_cast<unsigned long>(GetTickCount() - begin), e.kind);
        // A key is held across a few frames so that polling readers see it too, and the modifier
        // with it, also at the few frames per second of a loaded software rasteriser (a pinned
        // 5 fps with other runs beside it makes frames of 300 ms and more).
        if (e.kind == 'k' || e.kind == 'K')
            PressKey(window, static_cast<WORD>(e.v[0]), e.kind == 'K' ? 800 : 400, e.kind == 'K');
        else if (e.kind == 'h')
            PressKey(window, static_cast<WORD>(e.v[0]), static_cast<DWORD>(e.v[1]));
        else if (e.kind == 'd' || e.kind == 'D')
            Drag(window, e.kind == 'D', e.v[0], e.v[1], e.v[2], e.v[3]);
        else if (e.kind == 'c')
            ClickAt(window, e.v[0], e.v[1]);
        else if (e.kind == 'r')
            ResizeClient(window, e.v[0], e.v[1]);
        else if (e.kind == 't')
            TypeText(window, e.text);
        else if (e.kind == 'f' && e.text == "other")
            FocusOther();
        else if (e.kind == 'f')
            FocusDemo(window);
        else if (FILE* f = std::fopen(e.text.c_str(), "w"))
            std::fclose(f);
        Say("driver: at %lu ms %c\n", static_cast<unsigned long>(GetTickCount() - begin), e.kind);
    }
    while (GetTickCount() - begin < runMs && WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0)
        PumpFor(50);
    const bool ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
    if (exitCode >= 0 && !ended)
    {
        Say("driver: the demo did not end by itself within %lu ms\n", static_cast<unsigned long>(runMs));
        ++failures;
    }
    if (!ended)
    {
        FocusDemo(window);
        if (resizeW > 0)
        {
            ResizeClient(window, resizeW, resizeH);
            // Let the loop see the new size before quitting.
            Sleep(500);
        }
        if (close)
            PostMessageW(window, WM_CLOSE, 0, 0);
        else
            PressKey(window, VK_ESCAPE, 0);
    }
    if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0)
    {
        Say("driver: the demo did not end after %s\n", close ? "WM_CLOSE" : "Escape");
        TerminateProcess(pi.hProcess, 4);
        return 4;
    }
    // The debugger loop has written the last line once it has seen the exit.
    if (debugThread) WaitForSingleObject(debugThread, 5000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    Say("driver: exit code %lu\n", code);
    const DWORD expected = exitCode >= 0 ? static_cast<DWORD>(exitCode) : close ? 0 : 27;
    if (code != expected)
    {
        Say("driver: expected exit code %lu\n", expected);
        ++failures;
    }
    return failures ? 5 : 0;
}
