#include "render/device/gpuquery.h"

#include "core/props.h"

#include <chrono>

namespace miResources
{

namespace
{
bool g_broken = false;
}

bool GpuTimingBroken()
{
    return g_broken;
}
void ResetGpuTimingBroken()
{
    g_broken = false;
}

GpuQueryRing::~GpuQueryRing()
{
    ReleaseRing();
}

double GpuQueryRing::Now() const
{
    if (clock_) return clock_();
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void GpuQueryRing::CreateRing(GpuQuerySource* source)
{
    ReleaseRing();
    source_ = source;
    mirel::PropertyType type;
    if (mirel::PropertyTypeOf(kSizeProperty, &type))
        size = static_cast<int32_t>(mirel::GetPropertyFloat(kSizeProperty, static_cast<float>(kDefaultSize)));
    // A non-positive size would index an empty ring.
    if (size < 1) size = 1;
    if (size > 64) size = 64;
    entries = new QuerySet[static_cast<size_t>(size)];
    for (int32_t i = 0; i < size; ++i)
    {
        entries[i].index = i;
        if (source_) source_->CreateQueries(entries[i]);
    }
    writeIndex = 0;
    readIndex = 0;
    stopwatchStart = Now();
    sampleSum = 0.0f;
    sampleCount = 0;
    frequency = source_ ? source_->MeasureFrequency() : 0.0;
    for (int32_t i = 0; i < size - 1; ++i)
    {
        QuerySet& e = entries[writeIndex];
        if (source_) source_->Timestamp(e.startQuery);
        e.started = 1;
        if (source_) source_->Timestamp(e.endQuery);
        e.pending = 1;
        writeIndex = (writeIndex + 1) % size;
    }
}

void GpuQueryRing::ReleaseRing()
{
    if (!entries) return;
    for (int32_t i = 0; i < size; ++i)
        if (source_) source_->ReleaseQueries(entries[i]);
    delete[] entries;
    entries = nullptr;
}

void GpuQueryRing::BeginFrameQuery()
{
    if (!entries) return;
    QuerySet& e = entries[writeIndex];
    if (source_) source_->Timestamp(e.startQuery);
    e.started = 1;
}

void GpuQueryRing::EndFrameQuery()
{
    if (!entries) return;
    QuerySet& e = entries[writeIndex];
    if (!e.started) return;
    if (source_) source_->Timestamp(e.endQuery);
    e.pending = 1;
    writeIndex = (writeIndex + 1) % size;
}

float GpuQueryRing::EntryMs(QuerySet& set)
{
    if (!set.started || !source_) return 0.0f;
    uint64_t start = 0, end = 0;
    GpuQuerySource::Result r;
    while ((r = source_->ReadTimestamp(set.startQuery, start)) == GpuQuerySource::kNotReady)
    {
    }
    // A failed read (a lost device) has no answer to wait for.
    if (r == GpuQuerySource::kFailed) return 0.0f;
    while ((r = source_->ReadTimestamp(set.endQuery, end)) == GpuQuerySource::kNotReady)
    {
    }
    if (r == GpuQuerySource::kFailed || frequency <= 0.0) return 0.0f;
    const double seconds = (static_cast<double>(end) - static_cast<double>(start)) / frequency;
    if (seconds < 0.0 || seconds > 5.0) g_broken = true;
    return static_cast<float>(seconds * 1000.0);
}

float GpuQueryRing::ReadFrameQuery()
{
    float ms = 0.0f;
    if (entries && entries[readIndex].pending)
    {
        ms = EntryMs(entries[readIndex]);
        readIndex = (readIndex + 1) % size;
    }
    lastMs = ms;
    sampleSum += ms;
    ++sampleCount;
    const double now = Now();
    if (now - stopwatchStart > 1.0)
    {
        averageMs = sampleCount > 0 ? sampleSum / static_cast<float>(sampleCount) : 0.0f;
        sampleSum = 0.0f;
        sampleCount = 0;
        stopwatchStart = now;
    }
    return ms;
}

} // namespace miResources
