// Finds in HLSL text what Direct3D 11.0 or Microsoft's compiler refuse although Wine's compiler
// accepts it, so that a shader proven only under Wine is known to build on Windows as well.
// Portable: a text scan, no compiler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace miResources
{

enum class ShaderRule : int32_t
{
    kTypedUavLoad,     // a read of a typed UAV whose element is not one 32-bit float, int or uint
    kThreadGroupSize,  // numthreads beyond 1024 x 1024 x 64, or more than 1024 threads
    kUavRegister,      // a UAV register above u7
    kGroupSharedBytes, // more than 32768 bytes of groupshared memory
};

struct ShaderFinding
{
    ShaderRule rule;
    int32_t line; // 1-based
    std::string what;
};

std::vector<ShaderFinding> ScanPortableHlsl(const std::string& text);
const char* ShaderRuleName(ShaderRule rule);

} // namespace miResources
