#include "core/props.h"
#include "core/utils.h"
#include "support/fuzz_common.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    mirel::ClearProperties();
    mirel::SetPropertyFloat("render_init.resolutionX", 1280);
    mirel::SetPropertyString("render_init.fullscreen", "true");
    mirel::SetPropertyFloat4("render_init.sunColor", 1, 2, 3, 4);
    mirel::LoadConfigFileFrom(FuzzWriteInput(data, size));
    // Strings always stay terminated within their slot.
    const char* s = mirel::GetPropertyString("render_init.fullscreen");
    if (!s || strnlen(s, 16) > 15) __builtin_trap();
    mirel::ForEachProperty(
        [](const char*, const char*, mirel::PropertyType type, const void* slot, void*)
        {
            if (type == mirel::kPropString && strnlen(static_cast<const char*>(slot), 16) > 15)
                __builtin_trap();
        },
        nullptr);
    return 0;
}
