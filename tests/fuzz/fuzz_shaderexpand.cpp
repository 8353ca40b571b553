// A shader source through the variable reader and the four expansion passes.
#include "support/fuzz_material_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmat::Setup();
    fuzzmat::Write("shaders/fuzzed.hlsl", data, size);
    miResources::MaterialCfg cfg;
    std::strcpy(cfg.shaderName, "fuzzed");
    miResources::ReadShaderVars("fuzzed", cfg.vars);
    bool ok = miResources::ExpandShaderSource(cfg);
    if (ok != (cfg.source != nullptr)) __builtin_trap();
    fuzzmat::CheckConfig(cfg);
    fuzzmat::CheckNoTempFiles();
    return 0;
}
