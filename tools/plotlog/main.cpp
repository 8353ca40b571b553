// plotlog LOG PNG [FIRST COUNT]: the load controller's log as a plot, and its tracking figures
// after the first 3 s on standard output.
#include "plotdraw.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5)
    {
        std::fprintf(stderr, "usage: plotlog LOG PNG [FIRST COUNT]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "plotlog: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::vector<plotlog::Sample> samples = plotlog::ParseLog(text.str());
    if (argc == 5)
    {
        const size_t first = std::strtoul(argv[3], nullptr, 10), count = std::strtoul(argv[4], nullptr, 10);
        if (first >= samples.size())
            samples.clear();
        else
            samples = std::vector<plotlog::Sample>(
                samples.begin() + static_cast<std::ptrdiff_t>(first),
                samples.begin() + static_cast<std::ptrdiff_t>(std::min(samples.size(), first + count)));
    }
    if (samples.empty())
    {
        std::fprintf(stderr, "plotlog: no controller lines in %s\n", argv[1]);
        return 1;
    }
    const std::vector<uint8_t> png = plotlog::EncodePng(plotlog::Plot(samples, 1200, 600));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (png.empty() || !out)
    {
        std::fprintf(stderr, "plotlog: cannot write %s\n", argv[2]);
        return 1;
    }
    const plotlog::Tracking t = plotlog::Measure(samples, 3.0f, 1.0f);
    std::printf("frames %zu, after 3 s: %d frames, %.1f%% within 1 ms, settled at %.2f s\n", samples.size(),
                t.frames, 100.0f * t.withinFraction, t.settleSeconds);
    return 0;
}
