// Shader variables, the constant-buffer register map every shader sees, and what material
// loading needs from the device layer's resource pools.
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


// The device layer's pools as material loading needs them. Ids are pool handles, -1 = none.
class ResourceHost
{
  public:
    virtual ~ResourceHost() = default;
    virtual int32_t FindGpuResource(const char* name) = 0;
    // The entry of that name, created empty when missing (a render target or buffer of that
    // name fills it later and keeps the id).
    virtual int32_t FindOrCreateGpuResource(const char* name) = 0;
    virtual int32_t FindTexture(const char* name) = 0;
    // Creates the texture and loads it as its binding kind says: from a texture file (2d,
    // alphatest), as a DDS (cube), or not at all (tex_srv, 2darray, 3d). Returns the texture's
    // id; gpuResourceId receives the GPU-resource entry made for it, -1 when none.
    virtual int32_t CreateTexture(const char* name, int32_t kind, int32_t& gpuResourceId) = 0;
    // Re-creates (release and reset when it exists) or creates the named constant buffer with
    // this register, byte size and data pointer, then builds its device buffer. Returns its id.
    virtual int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t byteSize, void* data) = 0;
};

// Without a host (native builds, tests of the readers) bindings and constant buffers stay
// unresolved: ids remain -1 while the constant data is still packed.
ResourceHost* GetResourceHost();
void SetResourceHost(ResourceHost* host);

} // namespace miResources
