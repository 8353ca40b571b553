// Materials and material configurations: the records read from "materials/<name>.mat" and
// "materials/<cfg>.matcfg", the vertex-layout table, the code snippets of the shader passes,
// and the pools they live in.
#pragma once

#include "core/datastructs.h"
#include "render/device/resources.h"

#include <cstdint>

namespace miResources
{

// Stage order of every per-stage table.
enum ShaderStage : int32_t
{
    kStagePixel = 0,
    kStageVertex = 1,
    kStageGeometry = 2,
    kStageHull = 3,
    kStageDomain = 4,
    kStageCompute = 5,
};
constexpr int32_t kStageCount = 6;
constexpr int32_t kSlotCount = 16;

// Binding and sampler kind words of the files, by code.
enum TextureKind : int32_t
{
    kTex2d = 0,
    kTexSrvEmpty = 1, // "tex_srv"
    kTexAlphaTest = 2,
    kTex2dArray = 3,
    kTex3d = 4,
    kTexCube = 5,
    kTexSrv = 6,
    kTexUav = 7,
    kTexDepthSrv = 8,
};
// Code of a kind word, -1 for a word outside the nine.
int32_t TextureKindCode(const char* word);

// Direct3D 11 enumeration values the records hold (the portable code has no Direct3D headers).
namespace d3d
{
constexpr int32_t kFillWireframe = 2, kFillSolid = 3;
constexpr int32_t kCullNone = 1, kCullFront = 2, kCullBack = 3;
constexpr int32_t kBlendZero = 1, kBlendOne = 2, kBlendSrcAlpha = 5, kBlendInvSrcAlpha = 6,
                  kBlendDestAlpha = 7;
constexpr int32_t kBlendOpAdd = 1, kBlendOpSubtract = 2, kBlendOpRevSubtract = 3, kBlendOpMin = 4;
constexpr int32_t kDepthWriteZero = 0, kDepthWriteAll = 1;
constexpr int32_t kCompareNever = 1, kCompareEqual = 3, kCompareLessEqual = 4;
constexpr int32_t kFilterMinMagMipPoint = 0, kFilterMinMagMipLinear = 0x15,
                  kFilterCompareLinearMipPoint = 0x94;
constexpr int32_t kAddressWrap = 1, kAddressMirror = 2, kAddressClamp = 3, kAddressBorder = 4;
constexpr int32_t kTopologyPointList = 1, kTopologyLineList = 2, kTopologyTriangleList = 4;
constexpr int32_t kFormatR32G32B32A32Float = 2, kFormatR32G32B32Float = 6, kFormatR32G32Float = 16,
                  kFormatR32Float = 41, kFormatR32Uint = 42;
} // namespace d3d

struct VertexElement
{
    const char* semantic;
    int32_t semanticIndex;
    int32_t format; // DXGI_FORMAT
    int32_t inputSlot;
    int32_t offset;
    bool perInstance;
    int32_t stepRate;
};

struct VertexLayout
{
    const char* name;
    const VertexElement* elements;
    int32_t elementCount;
    uint32_t stride;
};

constexpr int32_t kVertexLayoutCount = 7;
// Null outside 0 .. kVertexLayoutCount - 1.
const VertexLayout* GetVertexLayout(int32_t index);
// Index of a layout name, -1 when it is none of them.
int32_t FindVertexLayout(const char* name);
// The renderer's depth-only material for a vertex layout, plain or alpha-tested.
const char* DepthMaterialName(int32_t layout, bool alphaTested);

struct SamplerRecord
{
    uint8_t defined;
    int32_t filter;
    int32_t addressU, addressV, addressW;
    int32_t comparison;
    float minLod, maxLod;
};

// A snippet body cut out of a source by the snippet pass; text holds length characters, a
// terminator and zero padding (length + 40 bytes in all).
class CodeSnippet : public mirel::ManagedResource
{
  public:
    ~CodeSnippet() override { OnRelease(); }
    void OnRelease() override;

    int32_t length = 0;
    char* text = nullptr;
};

class MaterialCfg : public mirel::ManagedResource
{
  public:
    ~MaterialCfg() override { MaterialCfg::OnRelease(); }
    void OnCreate() override;
    void OnRelease() override;

    int32_t fillMode = 0;
    int32_t cullMode = 0;
    int32_t depthBias = 0;
    float depthBiasClamp = 0.0f;
    float slopeScaledDepthBias = 0.0f;
    uint8_t depthClip = 0;
    uint8_t blendEnable = 0;
    int32_t blendOp = 0, srcBlend = 0, destBlend = 0;
    int32_t blendOpAlpha = 0, srcBlendAlpha = 0, destBlendAlpha = 0;
    uint8_t writeMask = 0;
    uint8_t depthEnable = 0;
    int32_t depthWriteMask = 0;
    int32_t depthFunc = 0;
    uint8_t alphaTest = 0;
    SamplerRecord samplers[kStageCount][kSlotCount] = {};
    uint32_t stageMask = 0; // bit s = stage s (pixel .. domain)
    int32_t layout = -1;
    int32_t topology = 0;
    uint32_t sourceLength = 0;
    char* source = nullptr; // fully expanded shader text, NUL-terminated; owned
    char shaderName[64] = {};
    int32_t shaderIds[kStageCount] = {-1, -1, -1, -1, -1, -1};
    ShaderVarList vars{"matcfgVars"};
};

struct TextureBinding
{
    char name[64];
    int32_t kind;
    int32_t slot;
    int32_t arrayA, arrayB;
    int32_t resourceId;
};

class Material : public mirel::ManagedResource
{
  public:
    void OnCreate() override;
    void OnRelease() override;

    // Reads the .mat file and, when it is new or forced, its configuration.
    void Load(bool forceConfigReload);
    // Turns every binding into GPU-resource ids through the resource host.
    void ResolveTextures();
    // Packs the variables into constantData and makes the "<name>_matConst" buffer.
    void BuildConstants();

    char configName[64] = {};
    int32_t configId = -1;
    ShaderVarList vars{"materialVars"};
    mirel::DTArray<TextureBinding> bindings[kStageCount];
    int32_t srvIds[kStageCount][kSlotCount];
    int32_t uavIds[kStageCount][kSlotCount];
    int32_t constantBufferId = -1;
    int32_t alphaTestTextureId = -1;
    uint32_t* constantData = nullptr; // owned; the constant buffer's data points here
    int32_t constantWordCount = 0;    // words in constantData

    Material();
    ~Material() override { Material::OnRelease(); }
};

// The configuration pool holds the device layer's derived configuration class; material code
// reaches whichever pool is installed through this interface.
class MaterialCfgPool
{
  public:
    virtual ~MaterialCfgPool() = default;
    virtual MaterialCfg* Find(const char* name) = 0;
    virtual MaterialCfg* Create(const char* name) = 0;
    virtual MaterialCfg* FromHandle(int32_t id) = 0;
    virtual int32_t Count() = 0;
    virtual MaterialCfg* AtIndex(int32_t index) = 0;
    virtual void Clear() = 0;
};

template <typename T> class PooledMaterialCfgs : public MaterialCfgPool
{
  public:
    explicit PooledMaterialCfgs(int32_t capacity = 32) : manager(capacity) {}
    MaterialCfg* Find(const char* name) override { return manager.Find(name); }
    MaterialCfg* Create(const char* name) override { return manager.Create(name); }
    MaterialCfg* FromHandle(int32_t id) override { return manager.FromHandle(id); }
    int32_t Count() override { return manager.Count(); }
    MaterialCfg* AtIndex(int32_t index) override { return manager.AtIndex(index); }
    void Clear() override { manager.Clear(); }

    mirel::ObjectManagerPooled<T> manager;
};

// Pools: materials (capacity 32), code snippets (20000), and the installed configuration pool
// (by default one of plain records, capacity 32; the device layer installs its own).
mirel::ObjectManagerPooled<Material>& MaterialManager();
mirel::ObjectManagerPooled<CodeSnippet>& SnippetManager();
MaterialCfgPool& MaterialCfgs();
// Null restores the default pool.
void SetMaterialCfgs(MaterialCfgPool* pool);

// Fills the configuration from "materials/<name>.matcfg" (the configuration's name), its
// shader's variable block and expanded source, then calls its Create(). False when the file
// is missing or malformed; the configuration then keeps what was read so far and Create() is
// not called.
bool ParseMaterialCfg(MaterialCfg& cfg);

// The full recipe every user follows: find (release and reset) or create, Load,
// ResolveTextures, BuildConstants. Null when the pool is full.
Material* LoadMaterial(const char* name, bool forceConfigReload = false);

// The material's variable as FindVarOffset finds it in its list.
bool FindVarOffset(const Material& material, const char* name, int32_t& offset);
// Stores a float variable's new value into the material's constant data, which the next draw
// uploads. False when the material has no such float variable or no constant buffer.
bool SetMaterialFloat(Material& material, const char* name, float value);

} // namespace miResources
