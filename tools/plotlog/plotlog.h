// Reads the load controller's log and sums up how well the measured frame time tracks the target.
// Free of libpng: the Windows compute test builds this part into itself (plotdraw.h draws).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plotlog
{

struct Sample
{
    float targetMs;
    float currentMs;
    int32_t threads;
    int32_t added;
};

// One log line, with or without a leading "[date time]" stamp; false for anything else.
bool ParseLine(const char* line, Sample& out);
std::vector<Sample> ParseLog(const std::string& text);

// Tracking figures over the frames after skipSeconds of summed measured frame time.
struct Tracking
{
    int32_t frames;
    float withinFraction; // |current - target| <= toleranceMs
    float settleSeconds;  // time of the first frame after which none leaves the tolerance for 1 s; <0 never
};
Tracking Measure(const std::vector<Sample>& samples, float skipSeconds, float toleranceMs);

} // namespace plotlog
