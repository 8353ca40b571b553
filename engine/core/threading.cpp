#include "core/threading.h"
#include "core/utils.h"

#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <functional>
#include <thread>
#endif

namespace miThreads
{

namespace
{
int32_t g_slotCount = 0;
ThreadSlot* g_slots = nullptr;

#ifdef _WIN32
DWORD WINAPI ThreadEntry(LPVOID param)
{
    WorkerMain(static_cast<Job*>(param));
    return 0;
}
#endif

void SpinWhileRunning(const ThreadSlot& slot)
{
    while (slot.state.load(std::memory_order_acquire) == kSlotRunning)
    {
#ifdef _WIN32
        SwitchToThread();
#else
        std::this_thread::yield();
#endif
    }
}

// The worker checks the flag right after each wake-up, so it leaves between two runs; a run that
// already began is awaited by the join, never cut short.
void StopWorker(ThreadSlot& slot)
{
    if (!slot.thread) return;
    slot.stopRequested.store(true, std::memory_order_release);
    if (slot.startEvent) slot.startEvent->Set();
#ifdef _WIN32
    HANDLE thread = static_cast<HANDLE>(slot.thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    auto* thread = static_cast<std::thread*>(slot.thread);
    if (thread->joinable()) thread->join();
    delete thread;
#endif
    slot.thread = nullptr;
}

void ReleaseSlots()
{
    for (int32_t i = 0; i < g_slotCount; ++i)
    {
        StopWorker(g_slots[i]);
        delete g_slots[i].startEvent;
        g_slots[i].startEvent = nullptr;
    }
    delete[] g_slots;
    g_slots = nullptr;
    g_slotCount = 0;
}

// A pool still standing at exit is shut down the same way, so no worker outlives its slot.
struct ExitGuard
{
    ~ExitGuard()
    {
        if (!g_slots) return;
        for (int32_t i = 0; i < g_slotCount; ++i)
            SpinWhileRunning(g_slots[i]);
        ReleaseSlots();
    }
} g_exitGuard;
} // namespace

void CreateThreadPool()
{
    if (g_slots) DestroyThreadPool();
    g_slotCount = 1;
    g_slots = new ThreadSlot[static_cast<size_t>(g_slotCount)]();
    for (int32_t i = 0; i < g_slotCount; ++i)
    {
        char name[64];
        std::snprintf(name, sizeof name, "%s_%d", "Mirel_ThreadPoolSem_", static_cast<int>(i));
        g_slots[i].startEvent = new mirel::sys::AutoResetEvent(mirel::ToWide(name));
        g_slots[i].state.store(kSlotWaiting);
    }
}

void StartWorker(ThreadSlot* slot, Job* job)
{
    if (!slot || !job || slot->thread) return;
    job->slot = slot;
    slot->stopRequested.store(false);
#ifdef _WIN32
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, job, 0, &id);
    slot->thread = thread;
    slot->threadId = thread ? static_cast<uint32_t>(id) : 0u;
#else
    auto* thread = new std::thread(WorkerMain, job);
    slot->threadId = static_cast<uint32_t>(std::hash<std::thread::id>{}(thread->get_id()));
    slot->thread = thread;
#endif
}

void SignalAll()
{
    for (int32_t i = 0; i < g_slotCount; ++i)
    {
        if (g_slots[i].startEvent && g_slots[i].startEvent->Valid()) g_slots[i].startEvent->Set();
    }
}

void DestroyThreadPool()
{
    MIREL_ASSERT(g_slotCount >= 1, 130, "Bad thread slot");
    // No slot to read: a pool that never existed, or one already shut down.
    if (g_slotCount < 1) return;
    for (int32_t i = 0; i < g_slotCount; ++i)
        SpinWhileRunning(g_slots[i]);
    ReleaseSlots();
}

void WorkerMain(Job* job)
{
    ThreadSlot* slot = job->slot;
    slot->job = job;
    // Without an event the slot is never signalled, so its job never runs.
    if (!slot->startEvent || !slot->startEvent->Valid()) return;
    for (;;)
    {
        slot->state.store(kSlotWaiting, std::memory_order_release);
        slot->startEvent->Wait();
        if (slot->stopRequested.load(std::memory_order_acquire)) return;
        slot->state.store(kSlotRunning, std::memory_order_release);
        if (job->Execute(slot))
            job->OnSuccess();
        else
            job->OnFailure();
        slot->state.store(kSlotFinished, std::memory_order_release);
    }
}

int SlotCount()
{
    return g_slotCount;
}

ThreadSlot* GetSlot(int index)
{
    if (!g_slots || index < 0 || index >= g_slotCount) return nullptr;
    return &g_slots[index];
}

} // namespace miThreads
