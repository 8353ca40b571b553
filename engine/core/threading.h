// The worker-thread pool: one thread per slot, each running its job once per signal.
#pragma once

#include "core/sys.h"

#include <atomic>
#include <cstdint>

namespace miThreads
{

struct ThreadSlot;

class Job
{
  public:
    virtual ~Job() = default;
    // The work of one run; true sends the worker to OnSuccess(), false to OnFailure().
    virtual bool Execute(ThreadSlot* slot) = 0;
    // Not called by the pool.
    virtual void Cancel() = 0;
    virtual void OnSuccess() = 0;
    virtual void OnFailure() = 0;

    // The slot whose worker runs this job; StartWorker sets it.
    ThreadSlot* slot = nullptr;
};

enum SlotState : int32_t
{
    kSlotWaiting = 0,
    kSlotRunning = 1,
    kSlotFinished = 2,
};

struct ThreadSlot
{
    // HANDLE on Windows; the std::thread natively.
    void* thread = nullptr;
    uint32_t threadId = 0;
    // Set by the worker itself when it starts.
    Job* job = nullptr;
    void* reserved = nullptr;
    mirel::sys::AutoResetEvent* startEvent = nullptr;
    std::atomic<int32_t> state{kSlotWaiting};
    // Checked by the worker after every wake-up; only shut-down sets it.
    std::atomic<bool> stopRequested{false};
};

// Creates the slots and their start events; no thread yet.
void CreateThreadPool();
// Binds the job to the slot and starts the slot's worker on it.
void StartWorker(ThreadSlot* slot, Job* job);
// Lets every worker run its job once more; signals given while a job runs collapse into one.
void SignalAll();
// Waits for a running job to finish, stops the workers and frees the slots.
void DestroyThreadPool();
// The worker loop; returns only when shut-down stops it.
void WorkerMain(Job* job);

int SlotCount();
// Null outside 0 .. SlotCount() - 1.
ThreadSlot* GetSlot(int index);

} // namespace miThreads
