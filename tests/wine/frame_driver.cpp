// Drives the demo from outside like a user would: starts it, finds its window, checks the
// client size, optionally resizes it, then quits with a real Escape key press (SendInput)
// or a WM_CLOSE, and hands back the demo's exit code.
//
//   frame_driver.exe DEMO.exe [--expect W H] [--run-ms N] [--resize W H] [--close] [--marker FILE]
//
// --marker: FILE is created once the window has been up for a moment (a cue for screenshots).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    if (pid == ctx->pid && std::wcscmp(cls, L"TutorialWindowClass") == 0 && std::wcscmp(title, L"Cadora Demo") == 0)
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
    std::fprintf(stderr, "driver: client %s %ldx%ld\n", when, rc.right - rc.left, rc.bottom - rc.top);
    std::fflush(stderr);
}

bool ClientIs(HWND window, long w, long h)
{
    RECT rc{};
    GetClientRect(window, &rc);
    return rc.right - rc.left == w && rc.bottom - rc.top == h;
}

void PressEscape(HWND window)
{
    SetForegroundWindow(window);
    SetFocus(window);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: frame_driver DEMO.exe [--expect W H] [--run-ms N] [--resize W H] [--close]\n");
        return 2;
    }
    long expectW = -1, expectH = -1, resizeW = -1, resizeH = -1;
    DWORD runMs = 3000;
    bool close = false;
    const char* marker = nullptr;
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
        else if (!std::strcmp(argv[i], "--close"))
            close = true;
    }

    std::string command = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    {
        std::fprintf(stderr, "driver: cannot start %s (%lu)\n", argv[1], GetLastError());
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

    const DWORD settle = runMs < 1000 ? runMs : 1000;
    Sleep(settle);
    if (marker)
        if (FILE* f = std::fopen(marker, "w")) std::fclose(f);
    Sleep(runMs - settle);
    if (resizeW > 0)
    {
        RECT rc = {0, 0, resizeW, resizeH};
        AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(ctx.window, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
        for (int i = 0; i < 60 && !ClientIs(ctx.window, resizeW, resizeH); ++i) Sleep(50);
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
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::fprintf(stderr, "driver: exit code %lu\n", code);
    std::fflush(stderr);
    return failures ? 5 : static_cast<int>(code);
}
