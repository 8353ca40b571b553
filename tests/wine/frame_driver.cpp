// Drives the demo from outside like a user would: starts it, finds its window, checks the
// client size, optionally resizes it, then quits with a real Escape key press (SendInput)
// or a WM_CLOSE, and checks the demo's exit code: 27 after Escape, 0 after WM_CLOSE.
//
//   frame_driver.exe DEMO.exe [--expect W H] [--run-ms N] [--resize W H] [--close] [--marker FILE]
//
// --marker: FILE is created once the window has been up for a moment (a cue for screenshots).
// --debug-out FILE: the driver is the demo's debugger; every debugger line it sends goes to FILE.
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
    // also at the few frames per second of a loaded software rasteriser.
    Sleep(400);
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
    if (raw.empty() || !ReadProcessMemory(process, info.lpDebugStringData, raw.data(), raw.size(), &got)) return;
    std::string text;
    for (size_t i = 0; i + unit <= got; i += unit)
    {
        const unsigned c = unit == 2 ? static_cast<unsigned char>(raw[i]) | static_cast<unsigned char>(raw[i + 1]) << 8
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
        case EXIT_PROCESS_DEBUG_EVENT: running = false; break;
        default: break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    }
    if (out) std::fclose(out);
    return 0;
}

// A scripted action at a time after the window appeared.
struct Event
{
    DWORD atMs;
    char kind; // 'k' key, 'K' control+key, 'c' click, 'm' marker file
    long a, b;
    std::string text;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: frame_driver DEMO.exe [--expect W H] [--run-ms N] [--resize W H] "
                             "[--close] [--at MS key VK|ctrl-key VK|click X Y|mark FILE]...\n");
        return 2;
    }
    long expectW = -1, expectH = -1, resizeW = -1, resizeH = -1;
    DWORD runMs = 3000;
    bool close = false;
    const char* marker = nullptr;
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
        else if (!std::strcmp(argv[i], "--marker") && i + 1 < argc)
            marker = argv[++i];
        else if (!std::strcmp(argv[i], "--debug-out") && i + 1 < argc)
            debugOut = argv[++i];
        else if (!std::strcmp(argv[i], "--close"))
            close = true;
        // --at MS key VK | --at MS ctrl-key VK | --at MS click X Y | --at MS mark FILE
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
            else if (!std::strcmp(what, "click") && i + 4 < argc)
            {
                e.kind = 'c';
                e.a = std::atol(argv[i + 3]);
                e.b = std::atol(argv[i + 4]);
                i += 4;
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
        capture.ok = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
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
    const DWORD begin = GetTickCount();
    for (const Event& e : events)
    {
        const DWORD at = e.atMs < runMs ? e.atMs : runMs;
        const DWORD now = GetTickCount() - begin;
        if (at > now) Sleep(at - now);
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        if (e.kind == 'k' || e.kind == 'K')
            PressKey(ctx.window, static_cast<WORD>(e.a), e.kind == 'K');
        else if (e.kind == 'c')
            ClickAt(ctx.window, e.a, e.b);
        else if (FILE* f = std::fopen(e.text.c_str(), "w"))
            std::fclose(f);
        std::fprintf(stderr, "driver: at %lu ms %c\n", static_cast<unsigned long>(GetTickCount() - begin),
                     e.kind);
        std::fflush(stderr);
    }
    const DWORD spent = GetTickCount() - begin;
    if (spent < runMs) Sleep(runMs - spent);
    if (resizeW > 0)
    {
        RECT rc = {0, 0, resizeW, resizeH};
        AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(ctx.window, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                     SWP_NOMOVE | SWP_NOZORDER);
        for (int i = 0; i < 60 && !ClientIs(ctx.window, resizeW, resizeH); ++i)
            Sleep(50);
        // Let the loop see the new size before quitting.
        Sleep(500);
        PrintClient(ctx.window, "after resize");
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
