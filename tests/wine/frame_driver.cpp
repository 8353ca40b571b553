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

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
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
    Say("driver: client %s %ldx%ld at %ld %ld\n", when, rc.right - rc.left, rc.bottom - rc.top, origin.x,
        origin.y);
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

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0)
{
    INPUT m = {};
    m.type = INPUT_MOUSE;
    m.mi.dx = dx;
    m.mi.dy = dy;
    m.mi.dwFlags = flags;
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

void Start(DebugCapture& d, DWORD flags)
{
    d.ok =
        CreateProcessA(nullptr, &d.command[0], nullptr, nullptr, TRUE, flags, nullptr, nullptr, &d.si, &d.pi);
    d.error = GetLastError();
}

DWORD WINAPI DebugLoop(LPVOID param)
{
    auto* d = static_cast<DebugCapture*>(param);
    Start(*d, DEBUG_ONLY_THIS_PROCESS);
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
    const struct
    {
        const char* name;
        const char** to;
    } files[] = {{"--start-when", &startWhen}, {"--marker", &marker}, {"--debug-out", &debugOut}};
    const struct
    {
        const char* name;
        long *w, *h;
    } sizes[] = {{"--expect", &expectW, &expectH}, {"--resize", &resizeW, &resizeH}};
    // The numbers each action takes (key codes in any base), or -1 for one word; a drag's first
    // word is its button.
    const struct
    {
        const char* name;
        char kind;
        int numbers;
    } actions[] = {{"key", 'k', 1},   {"ctrl-key", 'K', 1}, {"hold", 'h', 2},
                   {"click", 'c', 2}, {"resize", 'r', 2},   {"drag", 'd', 4},
                   {"type", 't', -1}, {"focus", 'f', -1},   {"mark", 'm', -1}};
    std::vector<Event> events;
    for (int i = 2; i < argc; ++i)
    {
        const char* arg = argv[i];
        for (const auto& f : files)
            if (!std::strcmp(arg, f.name) && i + 1 < argc) *f.to = argv[++i];
        for (const auto& size : sizes)
            if (!std::strcmp(arg, size.name) && i + 2 < argc)
            {
                *size.w = std::atol(argv[++i]);
                *size.h = std::atol(argv[++i]);
            }
        if (!std::strcmp(arg, "--run-ms") && i + 1 < argc)
            runMs = static_cast<DWORD>(std::atol(argv[++i]));
        else if (!std::strcmp(arg, "--close"))
            close = true;
        else if (!std::strcmp(arg, "--at") && i + 3 < argc)
        {
            Event e{static_cast<DWORD>(std::atol(argv[i + 1])), 0, {}, {}};
            const char* what = argv[i + 2];
            i += 2;
            for (const auto& a : actions)
            {
                const int words = a.numbers < 0 ? 1 : a.numbers + (a.kind == 'd');
                if (std::strcmp(what, a.name) != 0 || i + words >= argc) continue;
                e.kind = a.kind;
                if (a.numbers < 0) e.text = argv[i + 1];
                if (a.kind == 'd' && !std::strcmp(argv[i + 1], "middle")) e.kind = 'D';
                for (int n = 0; n < a.numbers; ++n)
                {
                    const char* word = argv[i + words - a.numbers + 1 + n];
                    e.v[n] = n == 0 && (a.kind == 'k' || a.kind == 'K' || a.kind == 'h')
                                 ? std::strtol(word, nullptr, 0)
                                 : std::atol(word);
                }
                i += words;
                break;
            }
            if (!e.kind)
            {
                std::fprintf(stderr, "driver: unknown action %s\n", what);
                return 2;
            }
            events.push_back(e);
        }
    }

    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    DebugCapture capture{command, si, debugOut, CreateEventW(nullptr, TRUE, FALSE, nullptr), {}, FALSE, 0};
    HANDLE debugThread = nullptr;
    if (debugOut)
    {
        debugThread = CreateThread(nullptr, 0, DebugLoop, &capture, 0, nullptr);
        WaitForSingleObject(capture.started, INFINITE);
    }
    else
        Start(capture, 0);
    const PROCESS_INFORMATION& pi = capture.pi;
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
            PressKey(ctx.window, static_cast<WORD>(e.v[0]), e.kind == 'K' ? 800 : 400, e.kind == 'K');
        else if (e.kind == 'h')
            PressKey(ctx.window, static_cast<WORD>(e.v[0]), static_cast<DWORD>(e.v[1]));
        else if (e.kind == 'd' || e.kind == 'D')
            Drag(ctx.window, e.kind == 'D', e.v[0], e.v[1], e.v[2], e.v[3]);
        else if (e.kind == 'c')
            ClickAt(ctx.window, e.v[0], e.v[1]);
        else if (e.kind == 'r')
            ResizeClient(ctx.window, e.v[0], e.v[1]);
        else if (e.kind == 't')
            TypeText(ctx.window, e.text);
        else if (e.kind == 'f' && e.text == "other")
            FocusOther();
        else if (e.kind == 'f')
            FocusDemo(ctx.window);
        else if (FILE* f = std::fopen(e.text.c_str(), "w"))
            std::fclose(f);
        Say("driver: at %lu ms %c\n", static_cast<unsigned long>(GetTickCount() - begin), e.kind);
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
        PressKey(ctx.window, VK_ESCAPE, 0);
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
    Say("driver: exit code %lu\n", code);
    const DWORD expected = close ? 0 : 27;
    if (code != expected)
    {
        std::fprintf(stderr, "driver: expected exit code %lu\n", expected);
        ++failures;
    }
    return failures ? 5 : 0;
}
