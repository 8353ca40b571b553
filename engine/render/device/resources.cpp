#include "render/device/resources.h"

#include "core/utils.h"

#include <cstring>

namespace miResources
{

namespace
{

uint32_t FloatBits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Truncation toward zero that stays defined for every float.
uint32_t IntBits(float f)
{
    int32_t v;
    if (!(f == f))
        v = 0;
    else if (f >= 2147483647.0f)
        v = INT32_MAX;
    else if (f <= -2147483648.0f)
        v = INT32_MIN;
    else
        v = static_cast<int32_t>(f);
    return static_cast<uint32_t>(v);
}
} // namespace

int32_t ShaderVarWords(int32_t type)
{
    switch (type)
    {
    case kVarFloat:
    case kVarInt:
        return 1;
    case kVarFloat3:
    case kVarInt3:
        return 3;
    case kVarFloat4:
    case kVarInt4:
        return 4;
    case kVarMatrix:
        return 16;
    default:
        return 0;
    }
}

int32_t CountShaderVarWords(const ShaderVarList& vars)
{
    int32_t words = 0;
    for (int32_t i = 0; i < vars.count; ++i)
        words += ShaderVarWords(vars.Data()[i].type);
    return words;
}

void PackShaderVars(const ShaderVarList& vars, uint32_t* out)
{
    for (int32_t i = 0; i < vars.count; ++i)
    {
        const ShaderVar& v = vars.Data()[i];
        const int32_t words = ShaderVarWords(v.type);
        if (v.type == kVarMatrix)
            for (int32_t k = 0; k < 16; ++k)
                *out++ = FloatBits(v.matrix[k]);
        else if (v.type >= kVarInt)
            for (int32_t k = 0; k < words; ++k)
                *out++ = IntBits(v.value[k]);
        else
            for (int32_t k = 0; k < words; ++k)
                *out++ = FloatBits(v.value[k]);
    }
}

bool FindVarOffset(const ShaderVarList& vars, const char* name, int32_t& offset)
{
    offset = 0;
    for (int32_t i = 0; i < vars.count; ++i)
    {
        const ShaderVar& v = vars.Data()[i];
        if (name && std::strcmp(v.name, name) == 0)
        {
            MIREL_ASSERT(v.type == kVarFloat, __LINE__, "Updating var types that don't match");
            return true;
        }
        offset += ShaderVarWords(v.type);
    }
    return false;
}

} // namespace miResources
