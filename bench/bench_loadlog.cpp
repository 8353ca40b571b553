// The cost per frame of the controller's log line: LogPrint, which flushes every line so that a
// killed program keeps its log, against the same line left in the stdio buffer.
#include "loadcontrol.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace
{

constexpr const char* kLine = "TargetMs: %f, CurrentMs: %f, ComputeThreads: %d, AddedThreads: %d\n";

std::string LogPath()
{
    return "/tmp/bench_loadlog_" + std::to_string(getpid()) + ".txt";
}

// Arg 1: LogPrint as the controller calls it; 0: the line formatted into the buffer only.
void BM_FrameLogLine(benchmark::State& state)
{
    const std::string path = LogPath();
    miCadora::LoadState st;
    st.log = std::fopen(path.c_str(), "a+");
    if (!st.log)
    {
        state.SkipWithError("cannot open the log");
        return;
    }
    st.logTime = state.range(1) != 0;
    int32_t threads = 1234;
    for (auto _ : state)
    {
        if (state.range(0))
            miCadora::LogPrint(st, kLine, 25.0, 24.87, threads, 3);
        else
            std::fprintf(st.log, kLine, 25.0, 24.87, threads, 3);
        benchmark::DoNotOptimize(++threads);
    }
    std::fclose(st.log);
    std::remove(path.c_str());
}
BENCHMARK(BM_FrameLogLine)->ArgNames({"flushed", "time"})->Args({0, 0})->Args({1, 0})->Args({1, 1});

} // namespace
