#include "window_win32.h"

#include "input/input.h"
#include "mainloop.h"
#include "pump.h"

#include "core/props.h"

#include <atomic>
#include <climits>

namespace mirel
{

namespace
{

HWND g_window = nullptr;
// Kept by the window procedure: GetFocus() answers only for the calling thread's queue, and the
// pad is polled on the update thread once loading is over.
std::atomic<bool> g_hasFocus{false};

// A function handed to the window's thread; whichever of the caller and the window procedure
// lets go last frees it, so a caller that stopped waiting leaves nothing dangling.
const UINT kRunOnWindowThread = WM_APP + 1;
struct WindowCall
{
    void (*fn)();
    HANDLE done;
    std::atomic<int> holders{2};
};
void Release(WindowCall* call)
{
    if (call->holders.fetch_sub(1) != 1) return;
    CloseHandle(call->done);
    delete call;
}

// The two XInput 1.4 records we read, declared here so the library is never linked.
struct PadReading
{
    WORD buttons;
    BYTE leftTrigger;
    BYTE rightTrigger;
    SHORT thumbLX, thumbLY, thumbRX, thumbRY;
};
struct PadState
{
    DWORD packetNumber;
    PadReading gamepad;
};
using GetStateFn = DWORD(WINAPI*)(DWORD, PadState*);

class Win32Input : public miInput::InputPlatform
{
  public:
    bool LoadPad() override
    {
        if (!library_) library_ = LoadLibraryW(L"xinput1_4.dll");
        if (!library_) return false;
        getState_ =
            reinterpret_cast<GetStateFn>(reinterpret_cast<void*>(GetProcAddress(library_, "XInputGetState")));
        GetProcAddress(library_, "XInputGetCapabilities");
        return getState_ != nullptr;
    }

    bool ReadPad(miInput::RawPad& out) override
    {
        if (!getState_) return false;
        PadState state{};
        if (getState_(0, &state) != ERROR_SUCCESS) return false;
        out.buttons = state.gamepad.buttons;
        out.leftTrigger = state.gamepad.leftTrigger;
        out.rightTrigger = state.gamepad.rightTrigger;
        out.thumbLX = state.gamepad.thumbLX;
        out.thumbLY = state.gamepad.thumbLY;
        out.thumbRX = state.gamepad.thumbRX;
        out.thumbRY = state.gamepad.thumbRY;
        return true;
    }

    bool WindowHasFocus() override { return g_hasFocus.load(); }

    bool KeyHeld(char key) override { return GetAsyncKeyState(static_cast<unsigned char>(key)) != 0; }

    bool CursorPosition(float& x, float& y) override
    {
        POINT p;
        if (!GetCursorPos(&p) || !g_window || !ScreenToClient(g_window, &p)) return false;
        x = static_cast<float>(p.x);
        y = static_cast<float>(p.y);
        return true;
    }

  private:
    HMODULE library_ = nullptr;
    GetStateFn getState_ = nullptr;
};

Win32Input g_win32Input;

// Window sizes from the properties; missing or absurd values fall back to the work area so
// window creation always gets a size it can honour.
LONG ClientExtent(const char* name, int screenMetric)
{
    const float value = GetPropertyFloat(name, kMissingFloat);
    const int screen = GetSystemMetrics(screenMetric);
    if (!(value >= 1.0f) || value > static_cast<float>(INT_MAX)) return screen > 0 ? screen : 640;
    return static_cast<LONG>(value);
}

} // namespace

void InstallWin32Input()
{
    miInput::SetInputPlatform(&g_win32Input);
}

bool RunOnWindowThread(void (*fn)(), unsigned long timeoutMs)
{
    if (!g_window || !fn) return false;
    if (GetWindowThreadProcessId(g_window, nullptr) == GetCurrentThreadId())
    {
        fn();
        return true;
    }
    auto* call = new WindowCall{fn, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!call->done || !PostMessageW(g_window, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(call)))
    {
        if (call->done) CloseHandle(call->done);
        delete call;
        return false;
    }
    const bool ran = WaitForSingleObject(call->done, timeoutMs) == WAIT_OBJECT_0;
    Release(call);
    return ran;
}

HWND MainWindowHandle()
{
    return g_window;
}

HRESULT CreateMainWindow(HINSTANCE instance, int showCommand, const wchar_t* title)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(107));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"TutorialWindowClass";
    if (!RegisterClassExW(&wc)) return E_FAIL;

    RECT rc = {0, 0, ClientExtent("render_init.resolutionX", SM_CXSCREEN),
               ClientExtent("render_init.resolutionY", SM_CYSCREEN)};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    g_window =
        CreateWindowExW(0, L"TutorialWindowClass", title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance, nullptr);
    if (!g_window) return E_FAIL;
    ShowWindow(g_window, showCommand);
    UpdateWindow(g_window);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_DESTROY:
        g_hasFocus.store(false);
        PostQuitMessage(0);
        return 0;
    case kRunOnWindowThread:
    {
        auto* call = reinterpret_cast<WindowCall*>(lParam);
        call->fn();
        SetEvent(call->done);
        Release(call);
        return 0;
    }
    case WM_SETFOCUS:
        g_hasFocus.store(true);
        return 0;
    case WM_KILLFOCUS:
        g_hasFocus.store(false);
        return 0;
    case WM_ACTIVATE:
        // Deactivated or minimised: the focus goes, even where no WM_KILLFOCUS follows.
        if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam) != 0) g_hasFocus.store(false);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SIZE:
    {
        RECT rc;
        GetClientRect(window, &rc);
        if (rc.right - rc.left == 0 || rc.bottom - rc.top == 0) return 0;
        OnWindowResized(rc.right - rc.left, rc.bottom - rc.top);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_PAINT:
    {
        PAINTSTRUCT ps;
        BeginPaint(window, &ps);
        EndPaint(window, &ps);
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunMessageLoop()
{
    MSG msg{};
    PumpState state;
    for (;;)
    {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (!state.paused) RunLoopPass();
            if (msg.message == WM_QUIT || LoopStopResult()) break;
            continue;
        }
        // The pump runs on the window's own thread, where GetFocus() is valid.
        if (GetFocus() == g_window)
        {
            UINT ch = 0;
            if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN || msg.message == WM_KEYUP)
                ch = MapVirtualKeyW(static_cast<UINT>(msg.wParam), MAPVK_VK_TO_CHAR);
            if (RouteFocusedMessage(state, msg.message, msg.wParam, ch) == Route::kQuit) break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (msg.message == WM_QUIT) break;
    }
    Shutdown();
    // A lost device ends the program with the failing result (an HRESULT) as its exit code.
    if (const uint32_t lost = LoopStopResult()) return static_cast<int>(lost);
    // The last message decides: WM_QUIT carries 0, the Escape key-down VK_ESCAPE (27), so a
    // caller can tell the two exits apart.
    return static_cast<int>(msg.wParam);
}

} // namespace mirel
