// The main window, its procedure and the message pump (Windows only).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace mirel
{

// 0, or E_FAIL when the class or the window cannot be made.
HRESULT CreateMainWindow(HINSTANCE instance, int showCommand, const wchar_t* title);
HWND MainWindowHandle();
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Pumps messages, running a loop pass whenever none is waiting; shuts the engine down at the end.
int RunMessageLoop();
// The input system's Windows side: focus, GetAsyncKeyState, cursor and XInput 1.4 loaded at run time.
void InstallWin32Input();
// Runs fn on the window's thread: at once when called there, otherwise through the window's
// queue, waiting at most timeoutMs (that thread may be waiting for the caller). True when it ran.
bool RunOnWindowThread(void (*fn)(), unsigned long timeoutMs);

} // namespace mirel
