// Shader variables and the constant-buffer register map every shader sees.
#pragma once

#include "core/datastructs.h"

#include <cstdint>

namespace miResources
{

class Material;

// Constant-buffer registers: b0 per frame, b1 per view, b2 shadow cascades, b3 world matrix,
// b4 the material's own variables (the generated "ConstantBuffer" block).
enum ConstantRegister : int32_t
{
    kRegisterPerFrame = 0,
    kRegisterView = 1,
    kRegisterCascadedSM = 2,
    kRegisterWorld = 3,
    kRegisterMaterial = 4,
};

constexpr const char* kPerFrameBufferName = "perFrame";
constexpr const char* kCascadedSMBufferName = "cascadedSM";
constexpr const char* kIdentityWorldBufferName = "physicsIdentityWorldConstant";
// Appended to an entity's name for its world buffer, and to a material's name for its own.
constexpr const char* kEntityBufferSuffix = "_entConst";
constexpr const char* kMaterialBufferSuffix = "_matConst";

constexpr int32_t kPerFrameBytes = 64;
constexpr int32_t kViewBytes = 304;
constexpr int32_t kCascadedSMBytes = 272;
constexpr int32_t kWorldBytes = 64;

enum ShaderVarType : int32_t
{
    kVarFloat = 0,
    kVarFloat3 = 1,
    kVarFloat4 = 2,
    kVarInt = 3,
    kVarInt3 = 4,
    kVarInt4 = 5,
    kVarMatrix = 6,
};

// One variable of a shader's variable block. Int types keep their values as floats here and
// are truncated when packed. Matrices are row by row.
struct ShaderVar
{
    char name[64];
    int32_t type;
    float value[4];
    float matrix[16];
};

using ShaderVarList = mirel::DTArray<ShaderVar>;

// 32-bit words a variable of the type takes in the constant data: 1, 3, 4, 1, 3, 4, 16; 0 for
// a type outside the seven.
int32_t ShaderVarWords(int32_t type);
int32_t CountShaderVarWords(const ShaderVarList& vars);

// Writes the variables in list order, words(type) each, into out (room for
// CountShaderVarWords words). Int components are truncated toward zero, saturating at the
// 32-bit limits; NaN packs as 0.
void PackShaderVars(const ShaderVarList& vars, uint32_t* out);

// Word offset of the named variable in the packed layout. The variable must be a float
// (reported otherwise, the offset is still returned). Not found: false, offset = total words.
bool FindVarOffset(const ShaderVarList& vars, const char* name, int32_t& offset);

} // namespace miResources
