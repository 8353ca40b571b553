// Micro-benchmarks of the pooled containers.
#include "core/datastructs.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace
{
struct Item : mirel::ManagedResource
{
    float payload[16] = {};
};

std::vector<std::string> Names(int n)
{
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back("object_" + std::to_string(i));
    return names;
}

// A full cycle: fill the pool, queue every object for release, process the queue.
void BM_CreateReleaseProcess(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = Names(n - 1);
    mirel::ObjectManagerPooled<Item> mgr(n);
    for (auto _ : state)
    {
        for (const std::string& name : names)
            benchmark::DoNotOptimize(mgr.Create(name.c_str()));
        for (int h = 0; h < n - 1; ++h)
            mgr.Release(h);
        mgr.ProcessPendingReleases();
    }
    state.SetItemsProcessed(state.iterations() * (n - 1));
}
BENCHMARK(BM_CreateReleaseProcess)->Arg(8)->Arg(128)->Arg(1024);

void BM_FindByName(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> names = Names(n - 1);
    mirel::ObjectManagerPooled<Item> mgr(n);
    for (const std::string& name : names)
        mgr.Create(name.c_str());
    size_t i = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(mgr.Find(names[i].c_str()));
        if (++i == names.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindByName)->Arg(32)->Arg(256)->Arg(20000);

void BM_FindByHandle(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    mirel::ObjectManagerPooled<Item> mgr(n);
    for (int i = 0; i < n - 1; ++i)
        mgr.Create(nullptr);
    int h = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(mgr.FromHandle(h));
        if (++h == n - 1) h = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindByHandle)->Arg(256);

// Releasing from the front moves the last live object every time.
void BM_ReleaseOneOfFull(benchmark::State& state)
{
    const int n = 256;
    mirel::ObjectManagerPooled<Item> mgr(n);
    for (int i = 0; i < n - 1; ++i)
        mgr.Create(nullptr);
    for (auto _ : state)
    {
        const int h = mgr.AtIndex(0)->handle;
        mgr.Release(h);
        mgr.ProcessPendingReleases();
        benchmark::DoNotOptimize(mgr.Create(nullptr));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReleaseOneOfFull);
} // namespace
