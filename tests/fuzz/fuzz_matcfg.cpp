// A material configuration file through its three passes, its reader and its shader's expansion.
#include "support/fuzz_material_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmat::Setup();
    fuzzmat::Write("materials/fuzzed.matcfg", data, size);
    miResources::MaterialCfg cfg;
    std::strcpy(cfg.name, "fuzzed");
    miResources::ParseMaterialCfg(cfg);
    fuzzmat::CheckConfig(cfg);
    for (const auto& stage : cfg.samplers)
        for (const auto& s : stage)
            if (s.defined > 1) __builtin_trap();
    fuzzmat::CheckNoTempFiles();
    return 0;
}
