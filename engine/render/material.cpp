#include "render/material.h"

#include "render/device/devicehost.h"
#include "render/device/devicepipe.h"
#include "render/shaderexpand.h"
#include "core/utils.h"

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

namespace
{

bool IsWord(const char* token, const char* word)
{
    return std::strcmp(token, word) == 0;
}
void ParseError(int line)
{
    MIREL_ASSERT(false, line, "Parse error");
}

int32_t SaturateToInt32(double v)
{
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Leading decimal integer of a token, 0 when it has none; saturates at the 32-bit limits.
int32_t LeadingInt(const char* token)
{
    long long v = std::strtoll(token, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A register slot: the whole token is a decimal number 0-15.
bool ParseSlot(const char* token, int32_t& slot)
{
    char* end = nullptr;
    long v = std::strtol(token, &end, 10);
    if (end == token || *end != '\0' || v < 0 || v >= kSlotCount) return false;
    slot = static_cast<int32_t>(v);
    return true;
}

float ParseFloat(const char* token)
{
    return static_cast<float>(std::strtod(token, nullptr));
}

bool CopyName64(char (&dst)[64], const char* src)
{
    size_t n = std::strlen(src);
    if (n == 0 || n > 63) return false;
    std::memcpy(dst, src, n + 1);
    return true;
}

struct WordValue
{
    const char* word;
    int32_t value;
};

// Value of a word of the table; otherwise the fallback, reported when strict.
template <size_t N>
int32_t Lookup(const WordValue (&table)[N], const char* word, int32_t fallback, bool strict, int line)
{
    for (const WordValue& e : table)
        if (IsWord(word, e.word)) return e.value;
    if (strict) ParseError(line);
    return fallback;
}

const WordValue kCullWords[] = {
    {"none", d3d::kCullNone}, {"front", d3d::kCullFront}, {"back", d3d::kCullBack}};
const WordValue kBlendOpWords[] = {{"add", d3d::kBlendOpAdd},
                                   {"subtract", d3d::kBlendOpSubtract},
                                   {"rev_subtract", d3d::kBlendOpRevSubtract},
                                   {"min", d3d::kBlendOpMin}};
const WordValue kFactorWords[] = {{"zero", d3d::kBlendZero},
                                  {"one", d3d::kBlendOne},
                                  {"src_alpha", d3d::kBlendSrcAlpha},
                                  {"src_inv_alpha", d3d::kBlendInvSrcAlpha},
                                  {"dest_alpha", d3d::kBlendDestAlpha}};
const WordValue kFilterWords[] = {{"min_mag_mip_linear", d3d::kFilterMinMagMipLinear},
                                  {"min_mag_mip_point", d3d::kFilterMinMagMipPoint},
                                  {"compare_min_mag_linear_mip_point", d3d::kFilterCompareLinearMipPoint}};
const WordValue kAddressWords[] = {{"wrap", d3d::kAddressWrap},
                                   {"mirror", d3d::kAddressMirror},
                                   {"clamp", d3d::kAddressClamp},
                                   {"border", d3d::kAddressBorder}};
const WordValue kCompareWords[] = {{"equal", d3d::kCompareEqual}, {"never", d3d::kCompareNever}};
const WordValue kTopologyWords[] = {{"trilist", d3d::kTopologyTriangleList},
                                    {"linelist", d3d::kTopologyLineList},
                                    {"pointlist", d3d::kTopologyPointList}};
const WordValue kStageWords[] = {{"pixel", 0}, {"vertex", 1}, {"geometry", 2}, {"hull", 3}, {"domain", 4}};
const WordValue kSamplerBlockWords[] = {{"ps", 0}, {"vs", 1}, {"gs", 2}, {"hs", 3}, {"ds", 4}};
const WordValue kTextureBlockWords[] = {
    {"ps_textures", 0}, {"vs_textures", 1}, {"gs_textures", 2}, {"hs_textures", 3}, {"ds_textures", 4}};
const WordValue kKindWords[] = {{"2d", kTex2d},
                                {"tex_srv", kTexSrvEmpty},
                                {"alphatest", kTexAlphaTest},
                                {"2darray", kTex2dArray},
                                {"3d", kTex3d},
                                {"cube", kTexCube},
                                {"srv", kTexSrv},
                                {"uav", kTexUav},
                                {"depth_srv", kTexDepthSrv}};

int32_t Comparison(const char* word)
{
    return Lookup(kCompareWords, word, d3d::kCompareLessEqual, false, 0);
}

// Reads the next line and checks its keyword and token count (count between lo and hi, or
// exactly one of them when exact).
bool ExpectLine(mirel::TextParser& p, const char* keyword, int32_t lo, int32_t hi, bool either)
{
    if (!p.ReadLine() || p.lineTooLong || !IsWord(p.Token(0), keyword)) return false;
    const int32_t n = p.tokenCount;
    return either ? (n == lo || n == hi) : (n >= lo && n <= hi);
}

// Reads the line after a block keyword, which must open the block.
bool ExpectOpenBrace(mirel::TextParser& p)
{
    return p.ReadLine() && !p.lineTooLong && p.Line()[0] == '{';
}

void ReadSamplerLine(mirel::TextParser& p, SamplerRecord* stage)
{
    if (p.tokenCount < 11)
    {
        ParseError(__LINE__);
        return;
    }
    int32_t slot = 0;
    if (!ParseSlot(p.Token(2), slot))
    {
        ParseError(__LINE__);
        return;
    }
    const int32_t kind = TextureKindCode(p.Token(3));
    if (kind == kTexSrv || kind == kTexUav) return;
    SamplerRecord r = {};
    r.defined = 1;
    r.filter = Lookup(kFilterWords, p.Token(4), 0, true, __LINE__);
    r.addressU = Lookup(kAddressWords, p.Token(5), 0, true, __LINE__);
    r.addressV = Lookup(kAddressWords, p.Token(6), 0, true, __LINE__);
    r.addressW = Lookup(kAddressWords, p.Token(7), 0, true, __LINE__);
    r.comparison = Comparison(p.Token(8));
    r.minLod = IsWord(p.Token(9), "max") ? FLT_MAX : ParseFloat(p.Token(9));
    r.maxLod = IsWord(p.Token(10), "max") ? FLT_MAX : ParseFloat(p.Token(10));
    stage[slot] = r;
}

// The expanded configuration text. False on a line out of order, a wrong token count or a
// broken sampler block.
bool ReadCfgText(MaterialCfg& cfg, const char* path)
{
    mirel::TextParser p(kMaterialTokenSlots, path);
    if (!ExpectLine(p, "shader", 3, 3, false) || !CopyName64(cfg.shaderName, p.Token(2)))
        return ParseError(__LINE__), false;

    if (!ExpectLine(p, "stages", 3, INT32_MAX, false)) return ParseError(__LINE__), false;
    cfg.stageMask = 0;
    for (int32_t t = 2; t <= 6 && t < p.tokenCount; ++t)
    {
        const int32_t bit = Lookup(kStageWords, p.Token(t), -1, false, 0);
        if (bit >= 0) cfg.stageMask |= 1u << bit;
    }

    if (!ExpectLine(p, "layout", 3, 3, false)) return ParseError(__LINE__), false;
    cfg.layout = FindVertexLayout(p.Token(2));

    if (!ExpectLine(p, "prim", 3, 3, false)) return ParseError(__LINE__), false;
    cfg.topology = Lookup(kTopologyWords, p.Token(2), d3d::kTopologyTriangleList, false, 0);

    if (!ExpectLine(p, "depth", 5, 5, false)) return ParseError(__LINE__), false;
    cfg.depthEnable = IsWord(p.Token(2), "true") ? 1 : 0;
    cfg.depthWriteMask = IsWord(p.Token(3), "zero") ? d3d::kDepthWriteZero : d3d::kDepthWriteAll;
    cfg.depthFunc = Comparison(p.Token(4));

    if (!ExpectLine(p, "raster", 5, 8, true)) return ParseError(__LINE__), false;
    cfg.fillMode = IsWord(p.Token(2), "solid") ? d3d::kFillSolid : d3d::kFillWireframe;
    cfg.cullMode = Lookup(kCullWords, p.Token(3), 0, true, __LINE__);
    cfg.depthClip = IsWord(p.Token(4), "true") ? 1 : 0;
    cfg.depthBias = 0;
    cfg.depthBiasClamp = cfg.slopeScaledDepthBias = 0.0f;
    if (p.tokenCount == 8)
    {
        cfg.depthBias = SaturateToInt32(std::strtod(p.Token(5), nullptr));
        cfg.depthBiasClamp = ParseFloat(p.Token(6));
        cfg.slopeScaledDepthBias = ParseFloat(p.Token(7));
    }

    if (!ExpectLine(p, "blend", 10, 11, true)) return ParseError(__LINE__), false;
    cfg.blendEnable = IsWord(p.Token(2), "true") ? 1 : 0;
    cfg.blendOp = Lookup(kBlendOpWords, p.Token(3), 0, true, __LINE__);
    cfg.srcBlend = Lookup(kFactorWords, p.Token(4), 0, true, __LINE__);
    cfg.destBlend = Lookup(kFactorWords, p.Token(5), 0, true, __LINE__);
    cfg.blendOpAlpha = Lookup(kBlendOpWords, p.Token(6), 0, true, __LINE__);
    cfg.srcBlendAlpha = Lookup(kFactorWords, p.Token(7), 0, true, __LINE__);
    cfg.destBlendAlpha = Lookup(kFactorWords, p.Token(8), 0, true, __LINE__);
    const int32_t mask = LeadingInt(p.Token(9));
    cfg.writeMask = static_cast<uint8_t>(mask < 0 ? 0 : mask > 255 ? 255 : mask);
    cfg.alphaTest = p.tokenCount == 11 && IsWord(p.Token(10), "alphatest") ? 1 : 0;

    // Sampler blocks until the first line that is not a stage word.
    while (p.ReadLine())
    {
        const int32_t stage = Lookup(kSamplerBlockWords, p.Token(0), -1, false, 0);
        if (stage < 0 || p.lineTooLong) break;
        if (!ExpectOpenBrace(p)) return ParseError(__LINE__), false;
        for (;;)
        {
            if (!p.ReadLine() || p.lineTooLong) return ParseError(__LINE__), false;
            if (p.Line()[0] == '}') break;
            if (IsWord(p.Token(0), "sampler")) ReadSamplerLine(p, cfg.samplers[stage]);
        }
    }
    return true;
}

bool ReadBindingLine(mirel::TextParser& p, TextureBinding& b)
{
    const bool isArray = IsWord(p.Token(0), "texarray");
    if (p.tokenCount < (isArray ? 6 : 5)) return ParseError(__LINE__), false;
    b = {};
    b.resourceId = -1;
    if (!ParseSlot(p.Token(2), b.slot)) return ParseError(__LINE__), false;
    if (!CopyName64(b.name, p.Token(isArray ? 5 : 3))) return ParseError(__LINE__), false;
    const char* kindWord = p.Token(4);
    b.kind = Lookup(kKindWords, kindWord, kTex2d, true, __LINE__);
    if (isArray)
    {
        b.arrayA = LeadingInt(p.Token(3));
        b.arrayB = kindWord[0] >= '0' && kindWord[0] <= '9' ? LeadingInt(kindWord) : 0;
    }
    return true;
}

void OverrideVar(ShaderVarList& vars, const ShaderVar& v)
{
    for (int32_t i = 0; i < vars.count; ++i)
    {
        ShaderVar& target = vars.Data()[i];
        if (std::strcmp(target.name, v.name) != 0) continue;
        // Another type would move every later variable away from the shader's declaration.
        if (target.type != v.type) return ParseError(__LINE__);
        target = v;
        return;
    }
}

// The expanded .mat text after its first line.
void ReadMatText(Material& m, const char* path)
{
    mirel::TextParser p(kMaterialTokenSlots, path);
    if (!p.ReadLine() || !IsWord(p.Token(0), "config")) return ParseError(__LINE__);
    while (p.ReadLine() && !p.lineTooLong)
    {
        if (IsWord(p.Token(0), "mirel_shadervars"))
        {
            if (!ExpectOpenBrace(p)) return ParseError(__LINE__);
            for (;;)
            {
                if (!p.ReadLine()) return ParseError(__LINE__);
                if (p.Line()[0] == '}') break;
                ShaderVar v;
                if (!p.lineTooLong && ParseShaderVarLine(p, v)) OverrideVar(m.vars, v);
            }
            continue;
        }
        const int32_t stage = Lookup(kTextureBlockWords, p.Token(0), -1, false, 0);
        if (stage < 0) return;
        mirel::DTArray<TextureBinding>& list = m.bindings[stage];
        list.Clear();
        if (!ExpectOpenBrace(p)) return ParseError(__LINE__);
        for (;;)
        {
            if (!p.ReadLine()) return ParseError(__LINE__);
            if (p.Line()[0] == '}') break;
            if (p.lineTooLong || (!IsWord(p.Token(0), "texture") && !IsWord(p.Token(0), "texarray")))
                continue;
            TextureBinding b;
            if (ReadBindingLine(p, b)) list.Append(b);
        }
    }
}

bool MaterialsFolder(char (&out)[256])
{
    int n = std::snprintf(out, sizeof out, "%s/materials", mirel::GetAssetRoot());
    return n >= 0 && n <= kMaxPathLength;
}

bool CanOpen(const char* path)
{
    std::FILE* f = std::fopen(path, "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

const VertexElement kPnt[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0},
                              {"NORMAL", 0, d3d::kFormatR32G32B32Float, 0, 12, false, 0},
                              {"TEXCOORD", 0, d3d::kFormatR32G32Float, 0, 24, false, 0}};
const VertexElement kPnttb[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0},
                                {"NORMAL", 0, d3d::kFormatR32G32B32Float, 0, 12, false, 0},
                                {"TEXCOORD", 0, d3d::kFormatR32G32Float, 0, 24, false, 0},
                                {"TANGENT", 0, d3d::kFormatR32G32B32Float, 0, 32, false, 0},
                                {"BINORMAL", 0, d3d::kFormatR32G32B32Float, 0, 44, false, 0},
                                {"SV_InstanceID", 0, d3d::kFormatR32Uint, 1, 0, true, 1}};
const VertexElement kP[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0}};
const VertexElement kPc[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0},
                             {"COLOR", 0, d3d::kFormatR32G32B32A32Float, 0, 12, false, 0}};
const VertexElement kPt[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0},
                             {"TEXCOORD", 0, d3d::kFormatR32G32Float, 0, 12, false, 0}};
const VertexElement kParticle[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, false, 0},
                                   {"TEXCOORD", 0, d3d::kFormatR32G32Float, 0, 12, false, 0},
                                   {"COLOR", 0, d3d::kFormatR32G32B32A32Float, 0, 20, false, 0},
                                   {"TANGENT", 0, d3d::kFormatR32G32B32A32Float, 0, 36, false, 0}};
const VertexElement kStrand[] = {{"POSITION", 0, d3d::kFormatR32G32B32Float, 0, 0, true, 0},
                                 {"DISTANCE", 0, d3d::kFormatR32Float, 0, 12, true, 0},
                                 {"NORMAL", 0, d3d::kFormatR32G32B32Float, 0, 16, true, 0},
                                 {"TANGENT", 0, d3d::kFormatR32G32B32Float, 0, 28, true, 0},
                                 {"SV_InstanceID", 0, d3d::kFormatR32Uint, 0, 40, true, 0}};
const VertexLayout kLayouts[kVertexLayoutCount] = {
    {"pnt", kPnt, 3, 32}, {"pnttb", kPnttb, 6, 56},       {"p", kP, 1, 12},          {"pc", kPc, 2, 28},
    {"pt", kPt, 2, 20},   {"particle", kParticle, 4, 52}, {"strand", kStrand, 5, 44}};

MaterialCfgPool* g_cfgPool = nullptr;
} // namespace

int32_t TextureKindCode(const char* word)
{
    return Lookup(kKindWords, word ? word : "", -1, false, 0);
}

const VertexLayout* GetVertexLayout(int32_t index)
{
    return index >= 0 && index < kVertexLayoutCount ? &kLayouts[index] : nullptr;
}

int32_t FindVertexLayout(const char* name)
{
    for (int32_t i = 0; i < kVertexLayoutCount; ++i)
        if (name && IsWord(name, kLayouts[i].name)) return i;
    return -1;
}

const char* DepthMaterialName(int32_t layout, bool alphaTested)
{
    if (layout == 0) return alphaTested ? "depth/depthPNUAlpha" : "depth/depthPNU";
    if (layout == 2) return alphaTested ? "depth/depthPAlpha" : "depth/depthP";
    return alphaTested ? "depth/depthPNUTBAlpha" : "depth/depthPNUTB";
}

void CodeSnippet::OnRelease()
{
    std::free(text);
    text = nullptr;
    length = 0;
}

void MaterialCfg::OnCreate()
{
    // Every field goes back to its reset value, so nothing of a previous life of the slot
    // survives a parse that stops early.
    fillMode = cullMode = depthBias = 0;
    depthBiasClamp = slopeScaledDepthBias = 0.0f;
    depthClip = blendEnable = writeMask = depthEnable = alphaTest = 0;
    blendOp = srcBlend = destBlend = blendOpAlpha = srcBlendAlpha = destBlendAlpha = 0;
    depthWriteMask = depthFunc = 0;
    std::memset(samplers, 0, sizeof samplers);
    stageMask = 0;
    layout = -1;
    topology = 0;
    source = nullptr;
    sourceLength = 0;
    shaderName[0] = '\0';
    for (int32_t& id : shaderIds)
        id = -1;
    vars.Clear();
}

void MaterialCfg::OnRelease()
{
    std::free(source);
    source = nullptr;
    sourceLength = 0;
}

Material::Material()
{
    OnCreate();
}

void Material::OnCreate()
{
    configName[0] = '\0';
    configId = -1;
    alphaTestTextureId = -1;
    constantBufferId = -1;
    constantData = nullptr;
    constantWordCount = 0;
    vars.Clear();
    for (auto& list : bindings)
        list.Clear();
    for (int32_t s = 0; s < kStageCount; ++s)
        for (int32_t i = 0; i < kSlotCount; ++i)
            srvIds[s][i] = uavIds[s][i] = -1;
}

void Material::OnRelease()
{
    std::free(constantData);
    constantData = nullptr;
    constantWordCount = 0;
}

bool ParseMaterialCfg(MaterialCfg& cfg)
{
    char path[256];
    if (!AssetPath(path, "materials", cfg.name, "matcfg") || !CanOpen(path))
    {
        MIREL_ASSERT(false, __LINE__, "Material Cfg file not found: %s", path);
        return false;
    }
    char folder[256], expanded[256];
    if (!MaterialsFolder(folder) || !ExpandMaterialText(folder, path, expanded)) return false;

    cfg.vars.Clear();
    bool ok = ReadCfgText(cfg, expanded);
    if (ok)
    {
        ShaderVarList fresh;
        ReadShaderVars(cfg.shaderName, fresh);
        for (int32_t i = 0; i < fresh.count; ++i)
            cfg.vars.Append(fresh.Data()[i]);
        ok = ExpandShaderSource(cfg);
    }
    RemoveMaterialTempFiles(folder);
    if (ok) cfg.Create();
    return ok;
}

void Material::Load(bool forceConfigReload)
{
    char path[256];
    if (!AssetPath(path, "materials", name, "mat") || !CanOpen(path))
    {
        MIREL_ASSERT(false, __LINE__, "Material file not found: %s", path);
        return miRender::MarkMaterialReported(handle);
    }
    {
        mirel::TextParser first(kMaterialTokenSlots, path);
        if (!first.ReadLine() || !IsWord(first.Token(0), "config") || first.tokenCount < 3 ||
            !CopyName64(configName, first.Token(2)))
            return ParseError(__LINE__), miRender::MarkMaterialReported(handle);
    }

    MaterialCfgPool& configs = MaterialCfgs();
    MaterialCfg* cfg = configs.Find(configName);
    if (!cfg || forceConfigReload)
    {
        if (cfg)
        {
            cfg->OnRelease();
            cfg->OnCreate();
        }
        else
        {
            cfg = configs.Create(configName);
        }
        if (!cfg) return;
        ParseMaterialCfg(*cfg);
    }
    configId = cfg->handle;
    // A configuration that failed to load was reported then; drawing it need not report again.
    if (!cfg->source) miRender::MarkMaterialReported(handle);

    vars.Clear();
    MaterialCfg* source = configs.FromHandle(configId);
    MIREL_ASSERT(source != nullptr, __LINE__, "MatCfg not found");
    if (!source) return;
    for (int32_t i = 0; i < source->vars.count; ++i)
        vars.Append(source->vars.Data()[i]);

    if (!CanOpen(path)) return;
    char folder[256], expanded[256];
    if (!MaterialsFolder(folder) || !ExpandMaterialText(folder, path, expanded)) return;
    ReadMatText(*this, expanded);
    RemoveMaterialTempFiles(folder);
}

void Material::ResolveTextures()
{
    miRender::DeviceHost* host = &miRender::GetDeviceHost();
    if (!host->HasResourcePools()) return;
    for (int32_t s = 0; s < kStageCount; ++s)
    {
        for (int32_t i = 0; i < bindings[s].count; ++i)
        {
            TextureBinding& b = bindings[s].Data()[i];
            if (b.slot < 0 || b.slot >= kSlotCount) continue;
            int32_t* table = b.kind == kTexUav ? uavIds[s] : srvIds[s];
            // A depth binding never takes the colour entry of the same name, which exists whenever
            // the target was made before the material.
            int32_t id = b.kind == kTexDepthSrv ? -1 : host->FindGpuResource(b.name);
            if (id >= 0)
            {
                table[b.slot] = id;
                // A texture another material loaded first still serves this one's alpha test.
                if (b.kind == kTexAlphaTest) alphaTestTextureId = id;
                continue;
            }
            if (b.kind == kTexSrv || b.kind == kTexUav || b.kind == kTexDepthSrv)
            {
                char entry[128];
                std::snprintf(entry, sizeof entry, b.kind == kTexDepthSrv ? "%s_depth" : "%s", b.name);
                table[b.slot] = host->FindOrCreateGpuResource(entry);
                continue;
            }
            if (b.kind < kTex2d || b.kind > kTexCube || host->FindTexture(b.name) >= 0) continue;
            int32_t gpuResource = -1;
            const auto reportsBefore = mirel::AssertReportCount();
            b.resourceId = host->CreateTexture(b.name, b.kind, gpuResource);
            if (b.kind == kTexAlphaTest) alphaTestTextureId = gpuResource;
            id = host->FindGpuResource(b.name);
            // A file that failed to load has been reported by its reader already.
            MIREL_ASSERT(id >= 0 || mirel::AssertReportCount() != reportsBefore, __LINE__,
                         "A resource should have been created: %s", b.name);
            if (id >= 0) srvIds[s][b.slot] = id;
        }
    }
}

void Material::BuildConstants()
{
    const int32_t words = CountShaderVarWords(vars);
    if (words < 1)
    {
        constantBufferId = -1;
        return;
    }
    MIREL_ASSERT(words % 4 == 0, __LINE__, "Constant buffer should be aligned on float4 boundary");
    uint32_t* data = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(words), sizeof(uint32_t)));
    if (!data) return;
    PackShaderVars(vars, data);
    uint32_t* previous = constantData;
    constantData = data;
    constantWordCount = words;
    if (miRender::DeviceHost& host = miRender::GetDeviceHost(); host.HasResourcePools())
    {
        char bufferName[128];
        std::snprintf(bufferName, sizeof bufferName, "%s%s", name, kMaterialBufferSuffix);
        constantBufferId = host.CreateConstantBuffer(bufferName, kRegisterMaterial, words * 4, constantData);
    }
    // Freed only once the buffer points at the new words.
    std::free(previous);
}

mirel::ObjectManagerPooled<Material>& MaterialManager()
{
    static mirel::ObjectManagerPooled<Material> manager(32);
    return manager;
}

mirel::ObjectManagerPooled<CodeSnippet>& SnippetManager()
{
    static mirel::ObjectManagerPooled<CodeSnippet> manager(20000);
    return manager;
}

MaterialCfgPool& MaterialCfgs()
{
    static PooledMaterialCfgs<MaterialCfg> records(32);
    return g_cfgPool ? *g_cfgPool : records;
}

void SetMaterialCfgs(MaterialCfgPool* pool)
{
    g_cfgPool = pool;
}

Material* LoadMaterial(const char* name, bool forceConfigReload)
{
    auto& materials = MaterialManager();
    Material* m = materials.Find(name);
    if (m)
    {
        m->OnRelease();
        m->OnCreate();
    }
    else
    {
        m = materials.Create(name);
    }
    if (!m) return nullptr;
    m->Load(forceConfigReload);
    m->ResolveTextures();
    m->BuildConstants();
    return m;
}

bool FindVarOffset(const Material& material, const char* name, int32_t& offset)
{
    return FindVarOffset(material.vars, name, offset);
}

bool SetMaterialFloat(Material& material, const char* name, float value)
{
    int32_t offset = 0;
    if (!FindVarOffset(material, name, offset) || material.constantBufferId == -1) return false;
    // Only a float's word takes a float; the data may also predate a change of the list.
    int32_t index = 0;
    for (; index < material.vars.count; ++index)
        if (std::strcmp(material.vars.Data()[index].name, name) == 0) break;
    if (material.vars.Data()[index].type != kVarFloat) return false;
    if (!material.constantData || offset < 0 || offset >= material.constantWordCount) return false;
    std::memcpy(&material.constantData[offset], &value, sizeof value);
    return true;
}

} // namespace miResources
