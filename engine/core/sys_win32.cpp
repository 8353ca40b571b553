#include "core/sys.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace mirel::sys
{

int ExecutablePath(char* out, int capacity)
{
    if (capacity < 1) return 0;
    DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(capacity));
    if (n == 0 || n >= static_cast<DWORD>(capacity)) n = 0;
    out[n] = '\0';
    return static_cast<int>(n);
}

void ShowErrorBox(const char* title, const char* message)
{
    // OK/Cancel with Cancel as default; the answer is not used.
    MessageBoxA(nullptr, message, title, MB_OKCANCEL | MB_DEFBUTTON2);
}

void DebugOutput(const char* text)
{
    OutputDebugStringA(text);
}

bool EnvironmentFlag(const char* name)
{
    char buf[16];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n > 0 && n < sizeof buf && std::strcmp(buf, "0") != 0;
}

bool EnvironmentValue(const char* name, char* out, int capacity)
{
    if (capacity < 1) return false;
    DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(capacity));
    return n > 0 && n < static_cast<DWORD>(capacity);
}

int64_t PerformanceCounter(int64_t* frequency)
{
    LARGE_INTEGER f, c;
    if (frequency) *frequency = QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
    QueryPerformanceCounter(&c);
    return c.QuadPart;
}

static_assert(sizeof(CRITICAL_SECTION) <= 64, "storage too small");

CriticalSection::CriticalSection()
{
    InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
CriticalSection::~CriticalSection()
{
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
void CriticalSection::Enter()
{
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}
void CriticalSection::Leave()
{
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_));
}

AutoResetEvent::AutoResetEvent(const char16_t* name)
    : impl_(CreateEventW(nullptr, FALSE, FALSE, reinterpret_cast<LPCWSTR>(name)))
{
}
AutoResetEvent::~AutoResetEvent()
{
    if (impl_) CloseHandle(static_cast<HANDLE>(impl_));
}
bool AutoResetEvent::Valid() const
{
    return impl_ != nullptr;
}
void AutoResetEvent::Set()
{
    if (impl_) SetEvent(static_cast<HANDLE>(impl_));
}
void AutoResetEvent::Wait()
{
    if (impl_) WaitForSingleObject(static_cast<HANDLE>(impl_), INFINITE);
}
bool AutoResetEvent::WaitFor(uint32_t ms)
{
    return impl_ && WaitForSingleObject(static_cast<HANDLE>(impl_), ms) == WAIT_OBJECT_0;
}

} // namespace mirel::sys
