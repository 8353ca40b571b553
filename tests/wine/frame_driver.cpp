// Drives the demo from outside like a user would: starts it, finds its window, checks the
// client size, optionally resizes it, then quits with a real Escape key press (SendInput)
// or a WM_CLOSE, and checks the demo's exit code: 27 after Escape, 0 after WM_CLOSE.
//
//   frame_driver.exe DEMO.exe [--expect W H] [--run-ms N] [--resize W H] [--close] [--marker FILE]
//
// --marker: FILE is created once the window has been up for a moment (a cue for screenshots).
// --debug-out FILE: the driver is the demo's debugger; every debugger line it sends goes to FILE.
// --at MS type TEXT: each character as its real key strokes (with shift where the layout needs it).
// --at MS focus other|demo: a window of the driver's own takes the focus, or the demo gets it back.
// --at MS hold VK MS: a key held down; --at MS drag left|middle X0 Y0 X1 Y1: a button dragged.
// --start-when FILE: the --at times count from when FILE exists.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace
{

struct FindContext
{
    DWORD pid;
    HWND window;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto* ctx = reinterpret_cast<FindContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t cls[64] = {}, title[64] = {};
    GetClassNameW(window, cls, 64);
    GetWindowTextW(window, title, 64);
    if (pid == ctx->pid && std::wcscmp(cls, L"TutorialWindowClass") == 0 &&
        std::wcscmp(title, L"Cadora Demo") == 0)
    {
        ctx->window = window;
        return FALSE;
    }
    return TRUE;
}

void PrintClient(HWND window, const char* when)
{
    RECT rc{};
    GetClientRect(window, &rc);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    std::fprintf(stderr, "driver: client %s %ldx%ld at %ld %ld\n", when, rc.right - rc.left,
                 rc.bottom - rc.top, origin.x, origin.y);
    std::fflush(stderr);
}

bool ClientIs(HWND window, long w, long h)
{
    RECT rc{};
    GetClientRect(window, &rc);
    return rc.right - rc.left == w && rc.bottom - rc.top == h;
}

void SendKey(WORD vk, bool up)
{
    INPUT key = {};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = vk;
    key.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &key, sizeof(INPUT));
}

void PressKey(HWND window, WORD vk, bool withControl)
{
    SetForegroundWindow(window);
    SetFocus(window);
    if (withControl)
    {
        SendKey(VK_CONTROL, false);
        Sleep(60);
    }
    SendKey(vk, false);
    // Held across a few frames so that polling readers see it too, and the modifier with it,
    // also at the few frames per second of a loaded software rasteriser (a pinned 5 fps with
    // other runs beside it makes frames of 300 ms and more).
    Sleep(withControl ? 800 : 400);
    SendKey(vk, true);
    if (withControl) SendKey(VK_CONTROL, true);
}

void PressEscape(HWND window)
{
    SetForegroundWindow(window);
    SetFocus(window);
    SendKey(VK_ESCAPE, false);
    SendKey(VK_ESCAPE, true);
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
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FrameDriverOther";
        RegisterClassW(&wc);
        g_other = CreateWindowExW(0, wc.lpszClassName, L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  150, nullptr, nullptr, wc.hInstance, nullptr);
    }
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
    INPUT m[2] = {};
    m[0].type = m[1].type = INPUT_MOUSE;
    m[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    m[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &m[0], sizeof(INPUT));
    Sleep(150);
    SendInput(1, &m[1], sizeof(INPUT));
}

void HoldKey(HWND window, WORD vk, DWORD ms)
{
    SetForegroundWindow(window);
    SetFocus(window);
    SendKey(vk, false);
    Sleep(ms);
    SendKey(vk, true);
}

void MoveCursor(HWND window, long x, long y)
{
    POINT p = {x, y};
    ClientToScreen(window, &p);
    INPUT m = {};
    m.type = INPUT_MOUSE;
    m.mi.dx = MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    m.mi.dy = MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    m.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &m, sizeof(INPUT));
}

// A button held from one client point to another in small steps over about a second, so that
// every step stays below the demo's jump threshold and slow frames still see several.
void Drag(HWND window, bool middle, long x0, long y0, long x1, long y1)
{
    SetForegroundWindow(window);
    MoveCursor(window, x0, y0);
    Sleep(150);
    INPUT b = {};
    b.type = INPUT_MOUSE;
    b.mi.dwFlags = middle ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_LEFTDOWN;
    SendInput(1, &b, sizeof(INPUT));
    constexpr int kSteps = 30;
    for (int i = 1; i <= kSteps; ++i)
    {
        Sleep(40);
        MoveCursor(window, x0 + (x1 - x0) * i / kSteps, y0 + (y1 - y0) * i / kSteps);
    }
    Sleep(300);
    b.mi.dwFlags = middle ? MOUSEEVENTF_MIDDLEUP : MOUSEEVENTF_LEFTUP;
    SendInput(1, &b, sizeof(INPUT));
}

// The demo started under a debugger loop on a thread of its own (debug events go to the thread
// that created the process); the lines are written as they arrive, without their zero.
struct DebugCapture
{
    std::string command;
    STARTUPINFOA si;
    const char* outPath;
    HANDLE started;
    PROCESS_INFORMATION pi;
    BOOL ok;
    DWORD error;
};

void WriteDebugString(std::FILE* out, HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const size_t unit = info.fUnicode ? 2 : 1;
    std::vector<char> raw(static_cast<size_t>(info.nDebugStringLength) * unit);
    SIZE_T got = 0;
    if (raw.empty() || !ReadProcessMemory(process, info.lpDebugStringData, raw.data(), raw.size(), &got))
        return;
    std::string text;
    for (size_t i = 0; i + unit <= got; i += unit)
    {
        const unsigned c =
            unit == 2 ? static_cast<unsigned char>(raw[i]) | static_cast<unsigned char>(raw[i + 1]) << 8
                      : static_cast<unsigned char>(raw[i]);
        if (c == 0) break;
        text += c < 0x80 ? static_cast<char>(c) : '?';
    }
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

DWORD WINAPI DebugLoop(LPVOID param)
{
    auto* d = static_cast<DebugCapture*>(param);
    d->ok = CreateProcessA(nullptr, &d->command[0], nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                           nullptr, &d->si, &d->pi);
    d->error = GetLastError();
    SetEvent(d->started);
    if (!d->ok) return 1;
    std::FILE* out = std::fopen(d->outPath, "wb");
    for (bool running = true; running;)
    {
        DEBUG_EVENT ev{};
        if (!WaitForDebugEvent(&ev, INFINITE)) break;
        DWORD status = DBG_CONTINUE;
        switch (ev.dwDebugEventCode)
        {
        case OUTPUT_DEBUG_STRING_EVENT:
            if (out) WriteDebugString(out, d->pi.hProcess, ev.u.DebugString);
            break;
        case EXCEPTION_DEBUG_EVENT:
            // The program's own handlers see every exception but the loader's breakpoint.
            if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            running = false;
            break;
        default:
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
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

// A scripted action at a time after the window appeared.
struct Event
{
    DWORD atMs;
    char kind; // 'k' key, 'K' control+key, 'h' held key, 'c' click, 'd'/'D' left/middle drag, 'm' marker
               // file, 'r' resize
    long a, b;
    std::string text;
    long c = 0, d = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: frame_driver DEMO.exe [--expect W H] [--run-ms N] [--resize W H] "
                             "[--close] [--at MS key VK|ctrl-key VK|click X Y|resize W H|mark FILE]...\n");
        return 2;
    }
    long expectW = -1, expectH = -1, resizeW = -1, resizeH = -1;
    DWORD runMs = 3000;
    bool close = false;
    const char* marker = nullptr;
    // The timeline starts once this file exists (the test's script makes it when the demo
    // says it has loaded), so that slow start-ups do not shift the actions into the load.
    const char* startWhen = nullptr;
    const char* debugOut = nullptr;
    std::vector<Event> events;
    for (int i = 2; i < argc; ++i)
    {
        if (!std::strcmp(argv[i], "--expect") && i + 2 < argc)
        {
            expectW = std::atol(argv[++i]);
            expectH = std::atol(argv[++i]);
        }
        else if (!std::strcmp(argv[i], "--resize") && i + 2 < argc)
        {
            resizeW = std::atol(argv[++i]);
            resizeH = std::atol(argv[++i]);
        }
        else if (!std::strcmp(argv[i], "--run-ms") && i + 1 < argc)
            runMs = static_cast<DWORD>(std::atol(argv[++i]));
        else if (!std::strcmp(argv[i], "--start-when") && i + 1 < argc)
            startWhen = argv[++i];
        else if (!std::strcmp(argv[i], "--marker") && i + 1 < argc)
            marker = argv[++i];
        else if (!std::strcmp(argv[i], "--debug-out") && i + 1 < argc)
            debugOut = argv[++i];
        else if (!std::strcmp(argv[i], "--close"))
            close = true;
        // --at MS key VK | --at MS ctrl-key VK | --at MS hold VK MS | --at MS click X Y |
        // --at MS drag left|middle X0 Y0 X1 Y1 | --at MS mark FILE | --at MS resize W H
        else if (!std::strcmp(argv[i], "--at") && i + 3 < argc)
        {
            Event e{static_cast<DWORD>(std::atol(argv[i + 1])), 0, 0, 0, {}};
            const char* what = argv[i + 2];
            if (!std::strcmp(what, "key") || !std::strcmp(what, "ctrl-key"))
            {
                e.kind = what[0] == 'k' ? 'k' : 'K';
                e.a = std::strtol(argv[i + 3], nullptr, 0);
                i += 3;
            }
            else if (!std::strcmp(what, "hold") && i + 4 < argc)
            {
                e.kind = 'h';
                e.a = std::strtol(argv[i + 3], nullptr, 0);
                e.b = std::atol(argv[i + 4]);
                i += 4;
            }
            else if (!std::strcmp(what, "drag") && i + 7 < argc)
            {
                e.kind = !std::strcmp(argv[i + 3], "middle") ? 'D' : 'd';
                e.a = std::atol(argv[i + 4]);
                e.b = std::atol(argv[i + 5]);
                e.c = std::atol(argv[i + 6]);
                e.d = std::atol(argv[i + 7]);
                i += 7;
            }
            else if ((!std::strcmp(what, "click") || !std::strcmp(what, "resize")) && i + 4 < argc)
            {
                e.kind = what[0];
                e.a = std::atol(argv[i + 3]);
                e.b = std::atol(argv[i + 4]);
                i += 4;
            }
            else if (!std::strcmp(what, "type") || !std::strcmp(what, "focus"))
            {
                e.kind = what[0];
                e.text = argv[i + 3];
                i += 3;
            }
            else if (!std::strcmp(what, "mark"))
            {
                e.kind = 'm';
                e.text = argv[i + 3];
                i += 3;
            }
            else
            {
                std::fprintf(stderr, "driver: unknown action %s\n", what);
                return 2;
            }
            events.push_back(e);
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& x, const Event& y) { return x.atMs < y.atMs; });

    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    DebugCapture capture{command, si, debugOut, CreateEventW(nullptr, TRUE, FALSE, nullptr), {}, FALSE, 0};
    HANDLE debugThread = nullptr;
    if (debugOut)
    {
        debugThread = CreateThread(nullptr, 0, DebugLoop, &capture, 0, nullptr);
        WaitForSingleObject(capture.started, INFINITE);
        pi = capture.pi;
    }
    else
    {
        capture.ok =
            CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        capture.error = GetLastError();
    }
    if (!capture.ok)
    {
        std::fprintf(stderr, "driver: cannot start %s (%lu)\n", argv[1], capture.error);
        return 2;
    }

    FindContext ctx{pi.dwProcessId, nullptr};
    for (int i = 0; i < 400 && !ctx.window; ++i)
    {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&ctx));
    }
    int failures = 0;
    if (!ctx.window)
    {
        std::fprintf(stderr, "driver: no \"Cadora Demo\" window of class TutorialWindowClass\n");
        TerminateProcess(pi.hProcess, 3);
        return 3;
    }
    std::fprintf(stderr, "driver: window found\n");
    PrintClient(ctx.window, "at start");
    if (expectW >= 0 && !ClientIs(ctx.window, expectW, expectH))
    {
        std::fprintf(stderr, "driver: expected client %ldx%ld\n", expectW, expectH);
        ++failures;
    }

    if (marker) events.push_back(Event{runMs < 1000 ? runMs : 1000, 'm', 0, 0, marker});
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& x, const Event& y) { return x.atMs < y.atMs; });
    if (startWhen)
    {
        const DWORD waitBegin = GetTickCount();
        while (GetFileAttributesA(startWhen) == INVALID_FILE_ATTRIBUTES &&
               GetTickCount() - waitBegin < 90000 && WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0)
            PumpFor(100);
        std::fprintf(stderr, "driver: timeline starts after %lu ms\n",
                     static_cast<unsigned long>(GetTickCount() - waitBegin));
        std::fflush(stderr);
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
        std::fprintf(stderr, "driver: begin at %lu ms %c\n",
                     static_cast<unsigned long>(GetTickCount() - begin), e.kind);
        std::fflush(stderr);
        if (e.kind == 'k' || e.kind == 'K')
            PressKey(ctx.window, static_cast<WORD>(e.a), e.kind == 'K');
        else if (e.kind == 'h')
            HoldKey(ctx.window, static_cast<WORD>(e.a), static_cast<DWORD>(e.b));
        else if (e.kind == 'd' || e.kind == 'D')
            Drag(ctx.window, e.kind == 'D', e.a, e.b, e.c, e.d);
        else if (e.kind == 'c')
            ClickAt(ctx.window, e.a, e.b);
        else if (e.kind == 'r')
            ResizeClient(ctx.window, e.a, e.b);
        else if (e.kind == 't')
            TypeText(ctx.window, e.text);
        else if (e.kind == 'f' && e.text == "other")
            FocusOther();
        else if (e.kind == 'f')
            FocusDemo(ctx.window);
        else if (FILE* f = std::fopen(e.text.c_str(), "w"))
            std::fclose(f);
        std::fprintf(stderr, "driver: at %lu ms %c\n", static_cast<unsigned long>(GetTickCount() - begin),
                     e.kind);
        std::fflush(stderr);
    }
    const DWORD spent = GetTickCount() - begin;
    if (spent < runMs) PumpFor(runMs - spent);
    FocusDemo(ctx.window);
    if (resizeW > 0)
    {
        ResizeClient(ctx.window, resizeW, resizeH);
        // Let the loop see the new size before quitting.
        Sleep(500);
    }

    if (close)
        PostMessageW(ctx.window, WM_CLOSE, 0, 0);
    else
        PressEscape(ctx.window);
    if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0)
    {
        std::fprintf(stderr, "driver: the demo did not end after %s\n", close ? "WM_CLOSE" : "Escape");
        TerminateProcess(pi.hProcess, 4);
        return 4;
    }
    // The debugger loop has written the last line once it has seen the exit.
    if (debugThread) WaitForSingleObject(debugThread, 5000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::fprintf(stderr, "driver: exit code %lu\n", code);
    std::fflush(stderr);
    const DWORD expected = close ? 0 : 27;
    if (code != expected)
    {
        std::fprintf(stderr, "driver: expected exit code %lu\n", expected);
        ++failures;
    }
    return failures ? 5 : 0;
}
