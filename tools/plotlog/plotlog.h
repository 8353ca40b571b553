// Reads the load controller's log and draws target against measured frame time and the group
// count, frame by frame, into an RGB image written as PNG.
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

struct Image
{
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb; // width x height x 3, top row first

    Image(int32_t w, int32_t h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3, 255) {}
    void Set(int32_t x, int32_t y, const uint8_t c[3]);
    const uint8_t* At(int32_t x, int32_t y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t n);
// An 8-bit RGB PNG whose zlib stream uses stored (uncompressed) blocks.
std::vector<uint8_t> EncodePng(const Image& image);

// Colours of the plot.
extern const uint8_t kTargetColour[3];
extern const uint8_t kMeasuredColour[3];
extern const uint8_t kThreadsColour[3];

// Top two thirds: frame times (0 to the largest, grid every 5 ms); bottom third: group count.
Image Plot(const std::vector<Sample>& samples, int32_t width, int32_t height);

// Tracking figures over the frames after skipSeconds of summed measured frame time.
struct Tracking
{
    int32_t frames;
    float withinFraction; // |current - target| <= toleranceMs
    float settleSeconds;  // time of the first frame after which none leaves the tolerance for 1 s; <0 never
};
Tracking Measure(const std::vector<Sample>& samples, float skipSeconds, float toleranceMs);

} // namespace plotlog
