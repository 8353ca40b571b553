// The few operating-system services core code needs: Win32 in the Windows build,
// a portable equivalent with the same semantics natively.
#pragma once

#include <cstdint>

namespace mirel::sys
{

// Full path of the running program into out (bounded); returns its length, 0 on failure.
int ExecutablePath(char* out, int capacity);
// Modal error box (Windows); elsewhere nothing.
void ShowErrorBox(const char* title, const char* message);
// Debugger output line (OutputDebugStringA); elsewhere stderr.
void DebugOutput(const char* text);
bool EnvironmentFlag(const char* name);
// Value of an environment variable into out (bounded); false when unset or too long.
bool EnvironmentValue(const char* name, char* out, int capacity);
// High-resolution counter (QueryPerformanceCounter); *frequency receives counts per second.
int64_t PerformanceCounter(int64_t* frequency);

// Recursive lock (CRITICAL_SECTION on Windows).
class CriticalSection
{
  public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter();
    void Leave();

  private:
    alignas(8) unsigned char storage_[64];
};

class ScopedLock
{
  public:
    explicit ScopedLock(CriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~ScopedLock() { cs_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

  private:
    CriticalSection& cs_;
};

// Auto-reset event: a Set wakes exactly one Wait; Sets while nobody waits collapse into one.
class AutoResetEvent
{
  public:
    // name may be null; on Windows it names the kernel event.
    explicit AutoResetEvent(const char16_t* name = nullptr);
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;
    bool Valid() const;
    void Set();
    void Wait();
    // Waits at most ms milliseconds; true when signalled.
    bool WaitFor(uint32_t ms);

  private:
    void* impl_ = nullptr;
};

} // namespace mirel::sys
