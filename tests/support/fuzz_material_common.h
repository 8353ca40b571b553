// A private copy of the shipped asset tree for the material and shader fuzz targets, a small
// material host, and the checks every run ends with.
#pragma once

#include "core/utils.h"
#include "render/material.h"
#include "render/shaderexpand.h"
#include "support/fake_device.h"
#include "support/fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fuzzmat
{

// The material host every run loads through; its constant buffers read the packed words over
// the whole declared size, so that a size beyond the data is caught by the sanitizers.
inline mirel::test::FakeDevice& Host()
{
    static mirel::test::FakeDevice host;
    host.onCreateConstantBuffer = [](const char*, int32_t bytes, void* data)
    {
        volatile uint8_t sum = 0;
        for (int32_t i = 0; i < bytes; ++i)
            sum = sum + static_cast<uint8_t*>(data)[i];
    };
    return host;
}

inline std::string& Root()
{
    static std::string root;
    return root;
}

// Once per process: the tree, the asset root, silent reports.
inline void Setup()
{
    if (!Root().empty()) return;
    char name[] = "/tmp/mirel-fuzz-assets-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    Root() = name;
    std::filesystem::copy(MIREL_SOURCE_ASSETS, Root(), std::filesystem::copy_options::recursive);
    mirel::SetAssetRoot(Root().c_str());
    mirel::SetAssertEcho(false);
    std::atexit([] { std::filesystem::remove_all(Root()); });
}

inline void Write(const char* relative, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen((Root() + "/" + relative).c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

inline void CheckVars(const miResources::ShaderVarList& vars)
{
    for (int32_t i = 0; i < vars.count; ++i)
        if (strnlen(vars.Data()[i].name, 64) > 63 || miResources::ShaderVarWords(vars.Data()[i].type) == 0)
            __builtin_trap();
    // Padding keeps every list on whole registers.
    if (miResources::CountShaderVarWords(vars) % 4 != 0) __builtin_trap();
}

inline void CheckConfig(const miResources::MaterialCfg& cfg)
{
    CheckVars(cfg.vars);
    if (cfg.source && cfg.source[cfg.sourceLength] != '\0') __builtin_trap();
    if (strnlen(cfg.shaderName, 64) > 63) __builtin_trap();
    if (cfg.layout < -1 || cfg.layout >= miResources::kVertexLayoutCount) __builtin_trap();
}

// No temporary expansion file may survive a run.
inline void CheckNoTempFiles()
{
    for (const auto& e : std::filesystem::recursive_directory_iterator(Root()))
        if (e.path().filename().string().rfind("expanded", 0) == 0) __builtin_trap();
}

} // namespace fuzzmat
