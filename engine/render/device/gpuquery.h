// The GPU timing ring: each frame's start and end timestamps go into one entry, read back only
// when the ring comes round to it again, so the CPU never waits on the frame it just submitted.
#pragma once

#include <cstdint>

namespace miResources
{

struct QuerySet
{
    int32_t index = 0;
    uint8_t started = 0;
    uint8_t pending = 0;
    void* eventQuery = nullptr;
    void* startQuery = nullptr;
    void* endQuery = nullptr;
};

// What the ring needs of a device; the Direct3D 11 one lives with the device, tests fake it.
class GpuQuerySource
{
  public:
    enum Result
    {
        kReady,
        kNotReady,
        kFailed,
    };
    virtual ~GpuQuerySource() = default;
    // Creates the entry's three queries; false (reported) on failure.
    virtual bool CreateQueries(QuerySet& set) = 0;
    virtual void ReleaseQueries(QuerySet& set) = 0;
    // Records a timestamp (the query's End).
    virtual void Timestamp(void* query) = 0;
    virtual Result ReadTimestamp(void* query, uint64_t& ticks) = 0;
    // Ticks per second, waiting for the answer.
    virtual double MeasureFrequency() = 0;
};

class GpuQueryRing
{
  public:
    static constexpr int32_t kDefaultSize = 2;
    static constexpr const char* kSizeProperty = "debug.gpuQueryRingBufferSize";

    GpuQueryRing() = default;
    ~GpuQueryRing();
    GpuQueryRing(const GpuQueryRing&) = delete;
    GpuQueryRing& operator=(const GpuQueryRing&) = delete;

    void CreateRing(GpuQuerySource* source);
    void ReleaseRing();
    void BeginFrameQuery();
    void EndFrameQuery();
    // Milliseconds of the entry read back this frame, 0 when none was.
    float ReadFrameQuery();

    // Seconds on a monotonic clock; tests script it.
    using Clock = double (*)();
    void SetClock(Clock clock) { clock_ = clock; }

    QuerySet* entries = nullptr;
    int32_t writeIndex = 0;
    int32_t readIndex = 0;
    double stopwatchStart = 0.0;
    float sampleSum = 0.0f;
    int32_t sampleCount = 0;
    float averageMs = 0.0f;
    float lastMs = 0.0f;
    int32_t size = kDefaultSize;
    double frequency = 0.0;

  private:
    float EntryMs(QuerySet& set);
    double Now() const;

    GpuQuerySource* source_ = nullptr;
    Clock clock_ = nullptr;
};

// Set once a measured frame lies outside 0 to 5 seconds; never cleared.
bool GpuTimingBroken();
// Tests start from a clean state.
void ResetGpuTimingBroken();

} // namespace miResources
