// A material file loaded the way every user loads one: the file, its configuration (any of the
// shipped ones, or none), texture resolution and constant packing.
#include "support/fake_device.h"
#include "support/fuzz_material_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmat::Setup();
    // A fresh host each run; its constant buffers read the packed words over the whole declared
    // size, so that a size beyond the data is caught by the sanitizers.
    static mirel::test::FakeDevice host;
    host = mirel::test::FakeDevice();
    host.onCreateConstantBuffer = [](const char*, int32_t bytes, void* words)
    {
        volatile uint8_t sum = 0;
        for (int32_t i = 0; i < bytes; ++i)
            sum = sum + static_cast<uint8_t*>(words)[i];
    };
    miRender::SetDeviceHost(&host);
    fuzzmat::Write("materials/fuzzed.mat", data, size);
    miResources::Material* m = miResources::LoadMaterial("fuzzed");
    if (!m) __builtin_trap();
    fuzzmat::CheckVars(m->vars);
    if (m->constantWordCount != miResources::CountShaderVarWords(m->vars)) __builtin_trap();
    for (const auto& list : m->bindings)
        for (int32_t i = 0; i < list.count; ++i)
        {
            const miResources::TextureBinding& b = list.Data()[i];
            if (b.slot < 0 || b.slot >= miResources::kSlotCount || strnlen(b.name, 64) > 63) __builtin_trap();
        }
    if (miResources::MaterialCfg* cfg = miResources::MaterialCfgs().FromHandle(m->configId))
        fuzzmat::CheckConfig(*cfg);
    fuzzmat::CheckNoTempFiles();
    // Configurations are parsed afresh each run so that the fuzzed name reaches the reader.
    miResources::MaterialManager().Clear();
    miResources::MaterialCfgs().Clear();
    return 0;
}
