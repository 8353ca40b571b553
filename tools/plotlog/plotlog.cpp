#include "plotlog.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace plotlog
{

bool ParseLine(const char* line, Sample& out)
{
    if (line[0] == '[')
    {
        const char* end = std::strchr(line, ']');
        if (!end) return false;
        line = end + 1;
    }
    Sample s{};
    char tail = 0;
    const int n = std::sscanf(line, "TargetMs: %f, CurrentMs: %f, ComputeThreads: %d, AddedThreads: %d%c",
                              &s.targetMs, &s.currentMs, &s.threads, &s.added, &tail);
    if (n < 4 || (n == 5 && tail != '\n' && tail != '\r')) return false;
    if (!std::isfinite(s.targetMs) || !std::isfinite(s.currentMs)) return false;
    out = s;
    return true;
}

std::vector<Sample> ParseLog(const std::string& text)
{
    std::vector<Sample> samples;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
    {
        Sample s;
        if (ParseLine(line.c_str(), s)) samples.push_back(s);
    }
    return samples;
}

Tracking Measure(const std::vector<Sample>& samples, float skipSeconds, float toleranceMs)
{
    Tracking t{0, 0.0f, -1.0f};
    std::vector<double> at(samples.size());
    double clock = 0.0;
    for (size_t i = 0; i < samples.size(); ++i)
        at[i] = clock += samples[i].currentMs / 1000.0;
    int32_t inside = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (at[i] <= skipSeconds) continue;
        ++t.frames;
        inside += std::fabs(samples[i].currentMs - samples[i].targetMs) <= toleranceMs;
    }
    t.withinFraction = t.frames ? static_cast<float>(inside) / static_cast<float>(t.frames) : 0.0f;
    // Settled from frame i when every frame of the following second is within the tolerance.
    for (size_t i = 0; i < samples.size() && t.settleSeconds < 0.0f; ++i)
    {
        if (at.back() < at[i] + 1.0) break;
        bool stays = true;
        for (size_t j = i; j < samples.size() && at[j] < at[i] + 1.0 && stays; ++j)
            stays = std::fabs(samples[j].currentMs - samples[j].targetMs) <= toleranceMs;
        if (stays) t.settleSeconds = static_cast<float>(at[i]);
    }
    return t;
}

} // namespace plotlog
