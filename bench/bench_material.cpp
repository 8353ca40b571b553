// Start-up cost of materials: expanding the whole shipped shader set, and loading every shipped
// material with its configuration, on a private copy of the asset tree.
#include "core/utils.h"
#include "render/material.h"
#include "render/shaderexpand.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using namespace miResources;

struct Tree
{
    Tree()
    {
        char name[] = "/tmp/mirel-bench-assets-XXXXXX";
        if (!mkdtemp(name)) std::abort();
        root = name;
        fs::copy(MIREL_SOURCE_ASSETS, root, fs::copy_options::recursive);
        mirel::SetAssetRoot(root.c_str());
        mirel::SetAssertEcho(false);
        const fs::path materials = fs::path(root) / "materials";
        for (const auto& e : fs::recursive_directory_iterator(materials))
        {
            std::string n = e.path().lexically_relative(materials).replace_extension("").generic_string();
            if (e.path().extension() == ".mat") this->materials.push_back(n);
        }
        for (const auto& e : fs::directory_iterator(fs::path(root) / "shaders"))
            if (e.path().extension() == ".hlsl") shaders.push_back(e.path().stem().string());
    }
    ~Tree() { fs::remove_all(root); }

    std::string root;
    std::vector<std::string> materials, shaders;
};

Tree& Assets()
{
    static Tree tree;
    return tree;
}

void BM_ExpandShaderSet(benchmark::State& state)
{
    Tree& tree = Assets();
    for (auto _ : state)
    {
        for (const std::string& shader : tree.shaders)
        {
            MaterialCfg cfg;
            std::strcpy(cfg.shaderName, shader.c_str());
            ReadShaderVars(cfg.shaderName, cfg.vars);
            if (!ExpandShaderSource(cfg)) state.SkipWithError("expansion failed");
            benchmark::DoNotOptimize(cfg.source);
        }
    }
    state.counters["shaders"] = static_cast<double>(tree.shaders.size());
}
BENCHMARK(BM_ExpandShaderSet)->Unit(benchmark::kMillisecond);

// Every material from scratch: its file, its configuration and the configuration's shader.
void BM_LoadAllMaterials(benchmark::State& state)
{
    Tree& tree = Assets();
    for (auto _ : state)
    {
        MaterialManager().Clear();
        MaterialCfgs().Clear();
        for (const std::string& name : tree.materials)
            benchmark::DoNotOptimize(LoadMaterial(name.c_str()));
    }
    if (mirel::AssertReportCount() != 0) state.SkipWithError("a material reported a failure");
    state.counters["materials"] = static_cast<double>(tree.materials.size());
    state.counters["configurations"] = static_cast<double>(MaterialCfgs().Count());
}
BENCHMARK(BM_LoadAllMaterials)->Unit(benchmark::kMillisecond);

// The .mat files alone, their configurations already loaded.
void BM_ReloadMaterialFiles(benchmark::State& state)
{
    Tree& tree = Assets();
    for (const std::string& name : tree.materials)
        LoadMaterial(name.c_str());
    for (auto _ : state)
        for (const std::string& name : tree.materials)
            benchmark::DoNotOptimize(LoadMaterial(name.c_str()));
}
BENCHMARK(BM_ReloadMaterialFiles)->Unit(benchmark::kMillisecond);

} // namespace
