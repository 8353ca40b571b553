// A private copy of the shipped asset tree for the material and shader fuzz targets, and the
// checks every run ends with.
#pragma once

#include "core/utils.h"
#include "render/material.h"
#include "render/shaderexpand.h"
#include "support/fuzz_common.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace fuzzmat
{

inline std::string g_root;

// Once per process: the tree, the asset root, silent reports.
inline void Setup()
{
    if (!g_root.empty()) return;
    char name[] = "/tmp/mirel-fuzz-assets-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    g_root = name;
    std::filesystem::copy(MIREL_SOURCE_ASSETS, g_root, std::filesystem::copy_options::recursive);
    mirel::SetAssetRoot(g_root.c_str());
    mirel::SetAssertEcho(false);
    std::atexit([] { std::filesystem::remove_all(g_root); });
}

inline void Write(const char* relative, const uint8_t* data, size_t size)
{
    FuzzWriteInput(data, size, (g_root + "/" + relative).c_str());
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
    for (const auto& e : std::filesystem::recursive_directory_iterator(g_root))
        if (e.path().filename().string().rfind("expanded", 0) == 0) __builtin_trap();
}

} // namespace fuzzmat
