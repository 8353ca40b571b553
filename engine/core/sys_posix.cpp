#include "core/sys.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <mutex>
#include <new>
#include <unistd.h>

namespace mirel::sys
{

int ExecutablePath(char* out, int capacity)
{
    if (capacity < 1) return 0;
    ssize_t n = readlink("/proc/self/exe", out, static_cast<size_t>(capacity - 1));
    if (n < 0) n = 0;
    out[n] = '\0';
    return static_cast<int>(n);
}

void ShowErrorBox(const char*, const char*) {}

void DebugOutput(const char* text)
{
    std::fputs(text, stderr);
}

bool EnvironmentFlag(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v && std::strcmp(v, "0") != 0;
}

bool EnvironmentValue(const char* name, char* out, int capacity)
{
    const char* v = std::getenv(name);
    if (!v || capacity < 1 || std::strlen(v) >= static_cast<size_t>(capacity)) return false;
    std::memcpy(out, v, std::strlen(v) + 1);
    return true;
}

int64_t PerformanceCounter(int64_t* frequency)
{
    if (frequency) *frequency = 1000000000;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static_assert(sizeof(std::recursive_mutex) <= 64, "storage too small");

CriticalSection::CriticalSection()
{
    new (storage_) std::recursive_mutex();
}
CriticalSection::~CriticalSection()
{
    reinterpret_cast<std::recursive_mutex*>(storage_)->~recursive_mutex();
}
void CriticalSection::Enter()
{
    reinterpret_cast<std::recursive_mutex*>(storage_)->lock();
}
void CriticalSection::Leave()
{
    reinterpret_cast<std::recursive_mutex*>(storage_)->unlock();
}

namespace
{
struct EventImpl
{
    std::mutex m;
    std::condition_variable cv;
    bool signalled = false;
};
} // namespace

AutoResetEvent::AutoResetEvent(const char16_t*) : impl_(new EventImpl) {}
AutoResetEvent::~AutoResetEvent()
{
    delete static_cast<EventImpl*>(impl_);
}
bool AutoResetEvent::Valid() const
{
    return impl_ != nullptr;
}

void AutoResetEvent::Set()
{
    auto* e = static_cast<EventImpl*>(impl_);
    {
        std::lock_guard<std::mutex> lock(e->m);
        e->signalled = true;
    }
    e->cv.notify_one();
}

void AutoResetEvent::Wait()
{
    auto* e = static_cast<EventImpl*>(impl_);
    std::unique_lock<std::mutex> lock(e->m);
    e->cv.wait(lock, [e] { return e->signalled; });
    e->signalled = false;
}

bool AutoResetEvent::WaitFor(uint32_t ms)
{
    auto* e = static_cast<EventImpl*>(impl_);
    std::unique_lock<std::mutex> lock(e->m);
    if (!e->cv.wait_for(lock, std::chrono::milliseconds(ms), [e] { return e->signalled; })) return false;
    e->signalled = false;
    return true;
}

} // namespace mirel::sys
