#include "render/device/dx11/dx11Resources.h"

#include "render/device/devicehost.h"
#include "render/device/dx11/dx11Device.h"
#include "compute/computecontext.h"
#include "core/utils.h"

#include <d3dcompiler.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

namespace
{
constexpr const char* kSource = "render/device/dx11/dx11Resources";

void Fail(int line, const char* message) { mirel::Assert(false, kSource, line, "%s", message); }
bool Check(HRESULT hr, int line, const char* message)
{
    if (FAILED(hr)) Fail(line, message);
    return SUCCEEDED(hr);
}

// The recipe every named resource follows: an existing one is reset in place (keeping its id).
template <typename T>
T* FindOrCreate(mirel::ObjectManagerPooled<T>& pool, const char* name)
{
    if (T* existing = pool.Find(name))
    {
        existing->OnRelease();
        existing->OnCreate();
        return existing;
    }
    return pool.Create(name);
}

DXGI_FORMAT TypelessOf(uint32_t format)
{
    switch (format)
    {
    case DXGI_FORMAT_R8G8B8A8_UNORM: return DXGI_FORMAT_R8G8B8A8_TYPELESS;
    case DXGI_FORMAT_R16G16B16A16_FLOAT: return DXGI_FORMAT_R16G16B16A16_TYPELESS;
    case DXGI_FORMAT_R32_FLOAT: return DXGI_FORMAT_R32_TYPELESS;
    default: return DXGI_FORMAT_UNKNOWN;
    }
}

PooledMaterialCfgs<PlatformMaterialCfg>& PlatformCfgs()
{
    static PooledMaterialCfgs<PlatformMaterialCfg> pool(32);
    return pool;
}
} // namespace

mirel::ObjectManagerPooled<PlatformRenderTarget>& RenderTargets()
{
    static mirel::ObjectManagerPooled<PlatformRenderTarget> pool(32);
    return pool;
}
mirel::ObjectManagerPooled<PlatformTexture>& Textures()
{
    static mirel::ObjectManagerPooled<PlatformTexture> pool(128);
    return pool;
}
mirel::ObjectManagerPooled<PlatformGPUResource>& GpuResources()
{
    static mirel::ObjectManagerPooled<PlatformGPUResource> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformShader>& Shaders()
{
    static mirel::ObjectManagerPooled<PlatformShader> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformConstantBuffer>& ConstantBuffers()
{
    static mirel::ObjectManagerPooled<PlatformConstantBuffer> pool(256);
    return pool;
}
mirel::ObjectManagerPooled<PlatformStructuredBuffer>& StructuredBuffers()
{
    static mirel::ObjectManagerPooled<PlatformStructuredBuffer> pool(32);
    return pool;
}
mirel::ObjectManagerPooled<PlatformDynamicVertexBuffer>& DynamicVertexBuffers()
{
    static mirel::ObjectManagerPooled<PlatformDynamicVertexBuffer> pool(64);
    return pool;
}
PooledModels<PlatformModel>& PlatformModels()
{
    static PooledModels<PlatformModel> pool(kModelCapacity);
    return pool;
}

// ---- render targets

void PlatformRenderTarget::OnCreate()
{
    texture = nullptr;
    depthTexture = nullptr;
    depthView = nullptr;
    colorView = nullptr;
    colorSrv = nullptr;
    depthSrv = nullptr;
    borrowed = 0;
}

void PlatformRenderTarget::OnRelease()
{
    if (borrowed)
    {
        OnCreate();
        return;
    }
    SafeRelease(texture);
    SafeRelease(depthTexture);
    if (depthTargetId == -1)
        SafeRelease(depthView);
    else
        depthView = nullptr;
    SafeRelease(colorView);
    SafeRelease(colorSrv);
    SafeRelease(depthSrv);
}

void PlatformRenderTarget::Create(uint32_t w, uint32_t h, uint32_t fmt, bool hasDepth, int32_t samples)
{
    width = w;
    height = h;
    minDepth = 0.0f;
    maxDepth = 1.0f;
    left = top = 0;
    format = fmt;
    ID3D11Device* dev = CurrentD3DDevice();
    const DXGI_FORMAT typeless = TypelessOf(fmt);
    if (typeless == DXGI_FORMAT_UNKNOWN)
    {
        Fail(__LINE__, "Trying to use a render target format that isn't supported");
        return;
    }
    if (!dev) return;
    if (samples < 1) samples = 1;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = typeless;
    td.SampleDesc.Count = static_cast<UINT>(samples);
    td.Usage = D3D11_USAGE_DEFAULT;
    td.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &texture), __LINE__, "D3D CreateTexture2D error")) return;
    const bool ms = samples >= 2;
    D3D11_RENDER_TARGET_VIEW_DESC rd{};
    rd.Format = static_cast<DXGI_FORMAT>(fmt);
    rd.ViewDimension = ms ? D3D11_RTV_DIMENSION_TEXTURE2DMS : D3D11_RTV_DIMENSION_TEXTURE2D;
    Check(dev->CreateRenderTargetView(texture, &rd, &colorView), __LINE__, "D3D CreateRenderTargetView error");
    if (depthTargetId != -1)
    {
        PlatformRenderTarget* owner = RenderTargets().FromHandle(depthTargetId);
        if (!owner)
            Fail(__LINE__, "Trying to use a depth target that doesn't exist");
        else
            depthView = owner->depthView;
    }
    else if (hasDepth)
    {
        D3D11_TEXTURE2D_DESC dd = td;
        dd.Format = DXGI_FORMAT_R32_TYPELESS;
        dd.BindFlags = D3D11_BIND_DEPTH_STENCIL | D3D11_BIND_SHADER_RESOURCE;
        if (Check(dev->CreateTexture2D(&dd, nullptr, &depthTexture), __LINE__, "D3D CreateTexture2D error"))
        {
            D3D11_DEPTH_STENCIL_VIEW_DESC dv{};
            dv.Format = DXGI_FORMAT_D32_FLOAT;
            dv.ViewDimension = samples <= 1 ? D3D11_DSV_DIMENSION_TEXTURE2D : D3D11_DSV_DIMENSION_TEXTURE2DMS;
            Check(dev->CreateDepthStencilView(depthTexture, &dv, &depthView), __LINE__,
                  "D3D CreateDepthStencilView error");
            D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
            sv.Format = DXGI_FORMAT_R32_FLOAT;
            sv.ViewDimension = ms ? D3D11_SRV_DIMENSION_TEXTURE2DMS : D3D11_SRV_DIMENSION_TEXTURE2D;
            sv.Texture2D.MipLevels = 1;
            Check(dev->CreateShaderResourceView(depthTexture, &sv, &depthSrv), __LINE__,
                  "D3D CreateShaderResourceView error");
        }
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC cs{};
    cs.Format = static_cast<DXGI_FORMAT>(fmt);
    cs.ViewDimension = ms ? D3D11_SRV_DIMENSION_TEXTURE2DMS : D3D11_SRV_DIMENSION_TEXTURE2D;
    cs.Texture2D.MipLevels = 1;
    Check(dev->CreateShaderResourceView(texture, &cs, &colorSrv), __LINE__, "D3D CreateShaderResourceView error");
}

void PlatformRenderTarget::Resolve(const char* targetName)
{
    PlatformRenderTarget* target = RenderTargets().Find(targetName);
    if (!target)
    {
        Fail(__LINE__, "Resolve, can't find render target");
        return;
    }
    if (CurrentContext() && texture && target->texture)
        CurrentContext()->ResolveSubresource(target->texture, 0, texture, 0, static_cast<DXGI_FORMAT>(target->format));
}

namespace
{
int32_t MakeGpuResource(const char* name, uint32_t kind, int32_t refId, uint32_t writable)
{
    PlatformGPUResource* r = GpuResources().Find(name);
    if (!r) r = GpuResources().Create(name);
    if (!r) return -1;
    r->OnCreate();
    r->writable = writable;
    r->kind = kind;
    if (kind == kGpuTexture) r->textureId = refId;
    if (kind == kGpuRenderTargetColour) r->renderTargetId = refId;
    if (kind == kGpuRenderTargetDepth) r->depthRenderTargetId = refId;
    if (kind == kGpuStructuredBuffer) r->structuredBufferId = refId;
    r->Create();
    return r->handle;
}
} // namespace

int32_t CreateRenderTarget(const char* name, uint32_t width, uint32_t height, uint32_t format, bool hasDepth,
                           int32_t depthTargetId, int32_t samples)
{
    PlatformRenderTarget* rt = FindOrCreate(RenderTargets(), name);
    if (!rt) return -1;
    if (samples == -1)
        samples = CurrentDevice() ? static_cast<int32_t>(CurrentDevice()->settings.msaaSamples) : 1;
    rt->depthTargetId = depthTargetId;
    rt->Create(width, height, format, hasDepth, samples);
    MakeGpuResource(name, kGpuRenderTargetColour, rt->handle, 0);
    if (hasDepth)
    {
        char depthName[80];
        std::snprintf(depthName, sizeof depthName, "%s_depth", name);
        MakeGpuResource(depthName, kGpuRenderTargetDepth, rt->handle, 0);
    }
    return rt->handle;
}

int32_t CreateSwapChainTarget(const char* name)
{
    PlatformDevice* device = CurrentDevice();
    PlatformRenderTarget* rt = FindOrCreate(RenderTargets(), name);
    if (!rt || !device) return -1;
    rt->depthTargetId = -1;
    rt->width = device->settings.width;
    rt->height = device->settings.height;
    rt->format = DXGI_FORMAT_R8G8B8A8_UNORM;
    rt->borrowed = 1;
    rt->colorView = device->backBufferView;
    rt->depthView = device->depthView;
    MakeGpuResource(name, kGpuRenderTargetColour, rt->handle, 0);
    return rt->handle;
}

// ---- textures

void PlatformTexture::OnCreate()
{
    data = nullptr;
    width = height = 0;
    gpuResourceId = -1;
    texture = nullptr;
    srv = nullptr;
    uav = nullptr;
}

void PlatformTexture::OnRelease()
{
    std::free(data);
    data = nullptr;
    SafeRelease(srv);
    SafeRelease(uav);
    SafeRelease(texture);
}

namespace
{
bool TexturePath(const char* name, wchar_t (&wide)[512], char (&narrow)[512])
{
    const char* root = mirel::GetAssetRoot();
    if (std::snprintf(narrow, sizeof narrow, "%s/%s/%s", root ? root : ".", "textures", name) >=
        static_cast<int>(sizeof narrow))
        return false;
    return MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, 512) > 0;
}

void RegisterTextureResource(PlatformTexture& t)
{
    if (GpuResources().Find(t.name))
    {
        mirel::Assert(false, kSource, __LINE__, "There is already a resource for this render target: %s", t.name);
        return;
    }
    t.gpuResourceId = MakeGpuResource(t.name, kGpuTexture, t.handle, 0);
}

bool IsDds(const char* name)
{
    const char* ext = std::strrchr(name, '.');
    return ext && (std::strcmp(ext, ".dds") == 0 || std::strcmp(ext, ".DDS") == 0);
}
} // namespace

void PlatformTexture::LoadFile()
{
    wchar_t wide[512];
    char path[512];
    if (!TexturePath(name, wide, path)) return;
    ID3D11Device* dev = CurrentD3DDevice();
    if (IsDds(name))
    {
        if (FAILED(CreateDDSTextureFromFile(dev, wide, &texture, &srv)))
        {
            mirel::Assert(false, kSource, __LINE__, "Error Loading dds texture: CreateDDSTextureFromFile: %s", path);
            return;
        }
    }
    else if (FAILED(CreateWICTextureFromFile(dev, CurrentContext(), wide, &texture, &srv)))
    {
        mirel::Assert(false, kSource, __LINE__, "Error Loading texture: CreateWICTextureFromFile: %s", path);
        return;
    }
    width = height = 256;
    RegisterTextureResource(*this);
}

void PlatformTexture::LoadDds()
{
    wchar_t wide[512];
    char path[512];
    if (!TexturePath(name, wide, path)) return;
    if (FAILED(CreateDDSTextureFromFile(CurrentD3DDevice(), wide, &texture, &srv)))
    {
        mirel::Assert(false, kSource, __LINE__, "Error Loading dds texture: CreateDDSTextureFromFile: %s", path);
        return;
    }
    RegisterTextureResource(*this);
}

void PlatformTexture::CreateDynamic(uint32_t w, uint32_t h, uint32_t fmt)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev) return;
    width = w;
    height = h;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = static_cast<DXGI_FORMAT>(fmt);
    td.SampleDesc.Count = 1;
    td.Usage = D3D11_USAGE_DYNAMIC;
    td.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    td.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    ID3D11Texture2D* t = nullptr;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &t), __LINE__, "Error creating Texture2D")) return;
    texture = t;
    D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
    sv.Format = td.Format;
    sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    sv.Texture2D.MipLevels = 1;
    if (!Check(dev->CreateShaderResourceView(t, &sv, &srv), __LINE__, "Error creating ShaderResourceView")) return;
    if (GpuResources().Find(name))
    {
        Fail(__LINE__, "Resource already exists");
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuTexture, handle, 0);
}

void PlatformTexture::CreateWritable(uint32_t w, uint32_t h, uint32_t fmt)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev) return;
    width = w;
    height = h;
    D3D11_TEXTURE2D_DESC td{};
    td.Width = w;
    td.Height = h;
    td.MipLevels = 1;
    td.ArraySize = 1;
    td.Format = static_cast<DXGI_FORMAT>(fmt);
    td.SampleDesc.Count = 1;
    td.Usage = D3D11_USAGE_DEFAULT;
    td.BindFlags = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    ID3D11Texture2D* t = nullptr;
    if (!Check(dev->CreateTexture2D(&td, nullptr, &t), __LINE__, "Error creating Texture2D")) return;
    texture = t;
    D3D11_SHADER_RESOURCE_VIEW_DESC sv{};
    sv.Format = td.Format;
    sv.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    sv.Texture2D.MipLevels = 1;
    if (!Check(dev->CreateShaderResourceView(t, &sv, &srv), __LINE__, "Error creating ShaderResourceView")) return;
    D3D11_UNORDERED_ACCESS_VIEW_DESC uv{};
    uv.Format = td.Format;
    uv.ViewDimension = D3D11_UAV_DIMENSION_TEXTURE2D;
    if (!Check(dev->CreateUnorderedAccessView(t, &uv, &uav), __LINE__, "Error creating unordered access view")) return;
    PlatformGPUResource* existing = GpuResources().Find(name);
    if (existing && existing->srv)
    {
        Fail(__LINE__, "Resource already exists");
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuTexture, handle, 1);
}

int32_t LoadTexture(const char* name)
{
    if (PlatformTexture* t = Textures().Find(name)) return t->handle;
    PlatformTexture* t = Textures().Create(name);
    if (!t) return -1;
    t->LoadFile();
    return t->handle;
}

// ---- GPU resources

void PlatformGPUResource::OnCreate()
{
    writable = 0;
    kind = kGpuTexture;
    textureId = renderTargetId = depthRenderTargetId = structuredBufferId = -1;
    uav = nullptr;
    srv = nullptr;
}

void PlatformGPUResource::Create()
{
    switch (kind)
    {
    case kGpuStructuredBuffer:
        if (PlatformStructuredBuffer* b = StructuredBuffers().FromHandle(structuredBufferId))
        {
            srv = b->srv;
            uav = b->uav;
        }
        else
            Fail(__LINE__, "Structured buffer not found in GPU Resource");
        break;
    case kGpuTexture:
        if (PlatformTexture* t = Textures().FromHandle(textureId))
        {
            srv = t->srv;
            uav = t->uav;
        }
        else
            Fail(__LINE__, "Texture not found in GPU Resource");
        break;
    case kGpuRenderTargetColour:
        if (PlatformRenderTarget* rt = RenderTargets().FromHandle(renderTargetId))
            srv = rt->colorSrv;
        else
            Fail(__LINE__, "Render Target not found in GPU Resource");
        break;
    case kGpuRenderTargetDepth:
        if (PlatformRenderTarget* rt = RenderTargets().FromHandle(depthRenderTargetId))
            srv = rt->depthSrv;
        else
            Fail(__LINE__, "Render Target not found in GPU Resource");
        break;
    default: break;
    }
}

// ---- shaders

void PlatformShader::OnCreate()
{
    inputLayout = nullptr;
    shader = nullptr;
}

void PlatformShader::OnRelease()
{
    SafeRelease(inputLayout);
    SafeRelease(shader);
}

namespace
{
void SetStageShader(ID3D11DeviceContext* ctx, int32_t stage, ID3D11DeviceChild* s)
{
    switch (stage)
    {
    case kStagePixel: ctx->PSSetShader(static_cast<ID3D11PixelShader*>(s), nullptr, 0); break;
    case kStageVertex: ctx->VSSetShader(static_cast<ID3D11VertexShader*>(s), nullptr, 0); break;
    case kStageGeometry: ctx->GSSetShader(static_cast<ID3D11GeometryShader*>(s), nullptr, 0); break;
    case kStageHull: ctx->HSSetShader(static_cast<ID3D11HullShader*>(s), nullptr, 0); break;
    case kStageDomain: ctx->DSSetShader(static_cast<ID3D11DomainShader*>(s), nullptr, 0); break;
    case kStageCompute: ctx->CSSetShader(static_cast<ID3D11ComputeShader*>(s), nullptr, 0); break;
    default: break;
    }
}

void SetStageConstants(ID3D11DeviceContext* ctx, int32_t stage, UINT slot, ID3D11Buffer* b)
{
    switch (stage)
    {
    case kStagePixel: ctx->PSSetConstantBuffers(slot, 1, &b); break;
    case kStageVertex: ctx->VSSetConstantBuffers(slot, 1, &b); break;
    case kStageGeometry: ctx->GSSetConstantBuffers(slot, 1, &b); break;
    case kStageHull: ctx->HSSetConstantBuffers(slot, 1, &b); break;
    case kStageDomain: ctx->DSSetConstantBuffers(slot, 1, &b); break;
    case kStageCompute: ctx->CSSetConstantBuffers(slot, 1, &b); break;
    default: break;
    }
}

void BindBuffer(int32_t stage, const char* name)
{
    PlatformConstantBuffer* cb = ConstantBuffers().Find(name);
    if (cb && cb->buffer && cb->registerSlot >= 0 && CurrentContext())
        SetStageConstants(CurrentContext(), stage, static_cast<UINT>(cb->registerSlot), cb->buffer);
}

const struct
{
    const char* entry;
    const char* profile;
    const char* createError;
} kStageInfo[kStageCount] = {
    {"mainPS", "ps_5_0", "Error creating pixel shader: %s"},    {"mainVS", "vs_5_0", "Error creating vertex shader: %s"},
    {"mainGS", "gs_5_0", "Error creating geometry shader: %s"}, {"mainHS", "hs_5_0", "Error creating hull shader: %s"},
    {"mainDS", "ds_5_0", "Error creating domain shader: %s"},   {"mainCS", "cs_5_0", "Error creating compute shader: %s"},
};

ID3DBlob* Compile(const char* shaderName, const char* source, int32_t stage)
{
    ID3DBlob* code = nullptr;
    ID3DBlob* errors = nullptr;
    const HRESULT hr = D3DCompile(source, std::strlen(source) + 1, nullptr, nullptr, nullptr, kStageInfo[stage].entry,
                                  kStageInfo[stage].profile, 0, 0, &code, &errors);
    if (FAILED(hr))
    {
        const char* text = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        std::printf("%s\n", text);
        std::fflush(stdout);
        mirel::Assert(false, kSource, __LINE__, "Shader compile error: %s \n %s", shaderName, text);
        SafeRelease(code);
    }
    SafeRelease(errors);
    return code;
}

HRESULT CreateStageObject(ID3D11Device* dev, int32_t stage, ID3DBlob* code, ID3D11DeviceChild** out)
{
    const void* p = code->GetBufferPointer();
    const SIZE_T n = code->GetBufferSize();
    switch (stage)
    {
    case kStagePixel: return dev->CreatePixelShader(p, n, nullptr, reinterpret_cast<ID3D11PixelShader**>(out));
    case kStageVertex: return dev->CreateVertexShader(p, n, nullptr, reinterpret_cast<ID3D11VertexShader**>(out));
    case kStageGeometry: return dev->CreateGeometryShader(p, n, nullptr, reinterpret_cast<ID3D11GeometryShader**>(out));
    case kStageHull: return dev->CreateHullShader(p, n, nullptr, reinterpret_cast<ID3D11HullShader**>(out));
    case kStageDomain: return dev->CreateDomainShader(p, n, nullptr, reinterpret_cast<ID3D11DomainShader**>(out));
    case kStageCompute: return dev->CreateComputeShader(p, n, nullptr, reinterpret_cast<ID3D11ComputeShader**>(out));
    default: return E_INVALIDARG;
    }
}
} // namespace

void PlatformShader::Bind(int32_t constantBufferId)
{
    PlatformConstantBuffer* cb = ConstantBuffers().FromHandle(constantBufferId);
    if (!cb)
    {
        Fail(__LINE__, "ConstBuffer not found");
        return;
    }
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!ctx)
    {
        Fail(__LINE__, "No device");
        return;
    }
    SetStageShader(ctx, stage, shader);
    if (cb->registerSlot >= 0) SetStageConstants(ctx, stage, static_cast<UINT>(cb->registerSlot), cb->buffer);
}

void PlatformShader::BindByName(const char* constantBufferName)
{
    PlatformConstantBuffer* cb = ConstantBuffers().Find(constantBufferName);
    if (!cb)
    {
        Fail(__LINE__, "Const buffer not found");
        return;
    }
    Bind(cb->handle);
}

int32_t CompileMaterialStage(const char* shaderName, const char* source, int32_t stage, int32_t layout)
{
    if (stage < 0 || stage >= kStageCount || !source) return -1;
    PlatformShader* s = FindOrCreate(Shaders(), shaderName);
    if (!s) return -1;
    s->layout = layout;
    s->vertexStride = 0;
    ID3DBlob* code = Compile(shaderName, source, stage);
    if (!code) return s->handle;
    if (!ConstantBuffers().Find(kPerFrameBufferName)) Fail(__LINE__, "Per Frame const buffer not found");
    if (!ConstantBuffers().Find(kCascadedSMBufferName)) Fail(__LINE__, "cascadedSM const buffer not found");
    ID3D11Device* dev = CurrentD3DDevice();
    if (dev && FAILED(CreateStageObject(dev, stage, code, &s->shader)))
        mirel::Assert(false, kSource, __LINE__, kStageInfo[stage].createError, shaderName);
    if (dev && stage == kStageVertex && layout >= 0)
    {
        const VertexLayout* vl = GetVertexLayout(layout);
        if (vl)
        {
            D3D11_INPUT_ELEMENT_DESC elements[16];
            const int32_t n = vl->elementCount < 16 ? vl->elementCount : 16;
            for (int32_t i = 0; i < n; ++i)
            {
                const VertexElement& e = vl->elements[i];
                elements[i] = D3D11_INPUT_ELEMENT_DESC{e.semantic,
                                                       static_cast<UINT>(e.semanticIndex),
                                                       static_cast<DXGI_FORMAT>(e.format),
                                                       static_cast<UINT>(e.inputSlot),
                                                       static_cast<UINT>(e.offset),
                                                       e.perInstance ? D3D11_INPUT_PER_INSTANCE_DATA
                                                                     : D3D11_INPUT_PER_VERTEX_DATA,
                                                       static_cast<UINT>(e.stepRate)};
            }
            if (FAILED(dev->CreateInputLayout(elements, static_cast<UINT>(n), code->GetBufferPointer(),
                                              code->GetBufferSize(), &s->inputLayout)))
                mirel::Assert(false, kSource, __LINE__, "Error creating input layout: %s", shaderName);
            s->vertexStride = vl->stride;
        }
    }
    s->stage = stage;
    BindBuffer(stage, kPerFrameBufferName);
    BindBuffer(stage, kCascadedSMBufferName);
    code->Release();
    return s->handle;
}

bool CompileComputeShader(PlatformShader& shader, const char* source)
{
    SafeRelease(shader.shader);
    ID3DBlob* code = source ? Compile(shader.name, source, kStageCompute) : nullptr;
    if (!code) return false;
    if (!ConstantBuffers().Find(kPerFrameBufferName)) Fail(__LINE__, "Per Frame Const buffer not found");
    ID3D11Device* dev = CurrentD3DDevice();
    const bool ok = dev && SUCCEEDED(CreateStageObject(dev, kStageCompute, code, &shader.shader));
    if (!ok) Fail(__LINE__, "Error Creating compute shader");
    code->Release();
    shader.stage = kStageCompute;
    BindBuffer(kStageCompute, kPerFrameBufferName);
    return ok;
}

// ---- constant buffers

void PlatformConstantBuffer::OnCreate()
{
    registerSlot = -1;
    byteSize = 0;
    data = nullptr;
    buffer = nullptr;
}

void PlatformConstantBuffer::OnRelease() { SafeRelease(buffer); }

void PlatformConstantBuffer::Create()
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || byteSize <= 0) return;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = static_cast<UINT>((byteSize + 15) / 16 * 16);
    d.Usage = D3D11_USAGE_DYNAMIC;
    d.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    d.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    if (!Check(dev->CreateBuffer(&d, nullptr, &buffer), __LINE__, "D3D error CreateBuffer")) return;
    Upload();
}

void PlatformConstantBuffer::Upload()
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!ctx || !buffer || !data) return;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(ctx->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    std::memcpy(m.pData, data, static_cast<size_t>(byteSize));
    ctx->Unmap(buffer, 0);
}

int32_t CreateConstantBuffer(const char* name, int32_t registerSlot, int32_t byteSize, void* data)
{
    PlatformConstantBuffer* cb = FindOrCreate(ConstantBuffers(), name);
    if (!cb) return -1;
    cb->registerSlot = registerSlot;
    cb->byteSize = byteSize;
    cb->data = data;
    cb->Create();
    return cb->handle;
}

// ---- structured buffers

namespace
{

// Bytes of one element of a typed buffer's view; 0 for a format no buffer here is viewed as.
UINT TypedElementBytes(uint32_t format)
{
    switch (format)
    {
    case DXGI_FORMAT_R32_FLOAT:
    case DXGI_FORMAT_R32_UINT:
    case DXGI_FORMAT_R32_SINT:
        return 4;
    case DXGI_FORMAT_R32G32_FLOAT:
    case DXGI_FORMAT_R32G32_UINT:
    case DXGI_FORMAT_R32G32_SINT:
        return 8;
    case DXGI_FORMAT_R32G32B32A32_FLOAT:
    case DXGI_FORMAT_R32G32B32A32_UINT:
    case DXGI_FORMAT_R32G32B32A32_SINT:
        return 16;
    default:
        return 0;
    }
}

} // namespace

void PlatformStructuredBuffer::OnCreate()
{
    writable = 0;
    numElems = stride = 0;
    gpuResourceId = -1;
    initialContent = 0;
    readable = 0;
    readPointer = nullptr;
    typedFormat = 0;
    buffer = nullptr;
    uav = nullptr;
    srv = nullptr;
    staging = nullptr;
    cpuCopy = nullptr;
}

void PlatformStructuredBuffer::OnRelease()
{
    SafeRelease(uav);
    SafeRelease(srv);
    SafeRelease(buffer);
    SafeRelease(staging);
    std::free(cpuCopy);
    cpuCopy = nullptr;
    readPointer = nullptr;
}

void PlatformStructuredBuffer::Create()
{
    if (numElems < 1)
    {
        Fail(__LINE__, "Structured buffer num elems <= 0");
        return;
    }
    if (stride < 1)
    {
        Fail(__LINE__, "Structured buffer stride <= 0");
        return;
    }
    ID3D11Device* dev = CurrentD3DDevice();
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!dev || !ctx) return;
    const UINT bytes = static_cast<UINT>(stride) * static_cast<UINT>(numElems);
    // The typed form views the same bytes in elements of its format.
    const bool typed = typedFormat != 0;
    const UINT elementBytes = typed ? TypedElementBytes(typedFormat) : static_cast<UINT>(stride);
    const UINT elements = elementBytes ? bytes / elementBytes : 0;
    if (typed && (elements == 0 || bytes % elementBytes != 0))
    {
        Fail(__LINE__, "Structured buffer stride <= 0");
        return;
    }
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = bytes;
    d.Usage = D3D11_USAGE_DEFAULT;
    d.BindFlags = D3D11_BIND_UNORDERED_ACCESS | D3D11_BIND_SHADER_RESOURCE;
    d.MiscFlags = typed ? 0 : D3D11_RESOURCE_MISC_BUFFER_STRUCTURED;
    d.StructureByteStride = typed ? 0 : static_cast<UINT>(stride);
    if (!Check(dev->CreateBuffer(&d, nullptr, &buffer), __LINE__, "D3D error CreateBuffer")) return;
    const DXGI_FORMAT viewFormat = typed ? static_cast<DXGI_FORMAT>(typedFormat) : DXGI_FORMAT_UNKNOWN;
    if (writable)
    {
        D3D11_UNORDERED_ACCESS_VIEW_DESC u{};
        u.Format = viewFormat;
        u.ViewDimension = D3D11_UAV_DIMENSION_BUFFER;
        u.Buffer.FirstElement = 0;
        u.Buffer.NumElements = elements;
        Check(dev->CreateUnorderedAccessView(buffer, &u, &uav), __LINE__, "D3D error CreateUnorderedAccessView");
    }
    D3D11_SHADER_RESOURCE_VIEW_DESC s{};
    s.Format = viewFormat;
    s.ViewDimension = D3D11_SRV_DIMENSION_BUFFER;
    s.Buffer.FirstElement = 0;
    s.Buffer.NumElements = elements;
    Check(dev->CreateShaderResourceView(buffer, &s, &srv), __LINE__, "D3D error CreateShaderResourceView");
    if (initialContent != 2)
    {
        if (typed)
        {
            // A clear through a float-format view converts the value instead of copying its
            // bits, so the typed form is filled byte for byte.
            void* fill = std::malloc(bytes);
            if (fill)
            {
                std::memset(fill, initialContent == 1 ? 0xFF : 0, bytes);
                ctx->UpdateSubresource(buffer, 0, nullptr, fill, bytes, bytes);
            }
            std::free(fill);
        }
        else if (uav)
        {
            const UINT v = initialContent == 1 ? 0xFFFFFFFFu : 0u;
            const UINT values[4] = {v, v, v, v};
            ctx->ClearUnorderedAccessViewUint(uav, values);
        }
        else
        {
            void* zeros = std::calloc(bytes, 1);
            if (zeros) ctx->UpdateSubresource(buffer, 0, nullptr, zeros, bytes, bytes);
            std::free(zeros);
        }
    }
    if (readable)
    {
        D3D11_BUFFER_DESC sd = d;
        sd.Usage = D3D11_USAGE_STAGING;
        sd.BindFlags = 0;
        sd.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        Check(dev->CreateBuffer(&sd, nullptr, &staging), __LINE__, "D3D error CreateBuffer");
    }
    PlatformGPUResource* entry = GpuResources().Find(name);
    if (entry && entry->srv)
    {
        mirel::Assert(false, kSource, __LINE__, "Gpu resource already exists: %s", name);
        return;
    }
    gpuResourceId = MakeGpuResource(name, kGpuStructuredBuffer, handle, writable);
}

void* PlatformStructuredBuffer::ReadBack()
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!staging || !ctx) return nullptr;
    ctx->CopyResource(staging, buffer);
    D3D11_MAPPED_SUBRESOURCE m{};
    if (!Check(ctx->Map(staging, 0, D3D11_MAP_READ, 0, &m), __LINE__, "D3D error Map")) return nullptr;
    const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(numElems);
    if (!cpuCopy) cpuCopy = static_cast<uint8_t*>(std::malloc(bytes));
    if (cpuCopy) std::memcpy(cpuCopy, m.pData, bytes);
    ctx->Unmap(staging, 0);
    readPointer = cpuCopy;
    return readPointer;
}

// ---- dynamic vertex buffers

void PlatformDynamicVertexBuffer::OnCreate()
{
    count = stride = 0;
    data = nullptr;
    buffer = nullptr;
}

void PlatformDynamicVertexBuffer::OnRelease() { SafeRelease(buffer); }

void PlatformDynamicVertexBuffer::Create()
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || count == 0 || stride == 0) return;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = stride * count;
    d.Usage = D3D11_USAGE_DYNAMIC;
    d.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    d.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    D3D11_SUBRESOURCE_DATA init{data, 0, 0};
    Check(dev->CreateBuffer(&d, data ? &init : nullptr, &buffer), __LINE__, "D3D error CreateBuffer");
}

void PlatformDynamicVertexBuffer::Update(uint32_t n, const void* newData)
{
    ID3D11DeviceContext* ctx = CurrentContext();
    if (!ctx || !buffer || !newData) return;
    // The buffer was sized for count vertices; more would be written past its end.
    if (n > count) n = count;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(ctx->Map(buffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    std::memcpy(m.pData, newData, static_cast<size_t>(stride) * n);
    ctx->Unmap(buffer, 0);
}

// ---- material configurations

void PlatformMaterialCfg::OnCreate()
{
    MaterialCfg::OnCreate();
    raster = biasedRaster = nullptr;
    depthState = nullptr;
    blend = nullptr;
    std::memset(samplerStates, 0, sizeof samplerStates);
    std::memset(samplerKeys, 0, sizeof samplerKeys);
    std::memset(samplerObjects, 0, sizeof samplerObjects);
    pipeInfo = miRender::PipeCfgInfo{};
}

void PlatformMaterialCfg::OnRelease()
{
    SafeRelease(raster);
    SafeRelease(biasedRaster);
    SafeRelease(depthState);
    SafeRelease(blend);
    for (auto& stage : samplerStates)
        for (auto*& s : stage) SafeRelease(s);
    MaterialCfg::OnRelease();
}

void PlatformMaterialCfg::Create()
{
    static const char* const kSuffix[5] = {"_pixel", "_vertex", "_geometry", "_hull", "_domain"};
    for (int32_t s = 0; s < kStageCount; ++s)
    {
        shaderIds[s] = -1;
        if (s >= 5 || !(stageMask & (1u << s))) continue;
        char stageName[96];
        std::snprintf(stageName, sizeof stageName, "%s%s", shaderName, kSuffix[s]);
        shaderIds[s] = CompileMaterialStage(stageName, source, s, layout);
    }
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev) return;
    for (int32_t s = 0; s < kStageCount; ++s)
        for (int32_t i = 0; i < kSlotCount; ++i)
        {
            const SamplerRecord& r = samplers[s][i];
            if (!r.defined) continue;
            D3D11_SAMPLER_DESC d{};
            d.Filter = static_cast<D3D11_FILTER>(r.filter);
            d.AddressU = static_cast<D3D11_TEXTURE_ADDRESS_MODE>(r.addressU);
            d.AddressV = static_cast<D3D11_TEXTURE_ADDRESS_MODE>(r.addressV);
            d.AddressW = static_cast<D3D11_TEXTURE_ADDRESS_MODE>(r.addressW);
            d.ComparisonFunc = static_cast<D3D11_COMPARISON_FUNC>(r.comparison);
            d.BorderColor[0] = 1100.0f;
            d.MaxLOD = r.maxLod;
            Check(dev->CreateSamplerState(&d, &samplerStates[s][i]), __LINE__, "D3D error CreateSamplerState");
            samplerKeys[s * kSlotCount + i] =
                miRender::SamplerKey{1, r.filter, r.addressU, r.addressV, r.addressW, r.comparison, r.minLod, r.maxLod};
            samplerObjects[s * kSlotCount + i] = samplerStates[s][i];
        }
    D3D11_RASTERIZER_DESC rd{};
    rd.FillMode = static_cast<D3D11_FILL_MODE>(fillMode);
    rd.CullMode = static_cast<D3D11_CULL_MODE>(cullMode);
    rd.FrontCounterClockwise = TRUE;
    rd.DepthClipEnable = depthClip ? TRUE : FALSE;
    Check(dev->CreateRasterizerState(&rd, &raster), __LINE__, "D3D error CreateRasterizerState");
    if (depthBias != 0 || depthBiasClamp != 0.0f || slopeScaledDepthBias != 0.0f)
    {
        D3D11_RASTERIZER_DESC bd = rd;
        bd.DepthBias = depthBias;
        bd.DepthBiasClamp = depthBiasClamp;
        bd.SlopeScaledDepthBias = slopeScaledDepthBias;
        Check(dev->CreateRasterizerState(&bd, &biasedRaster), __LINE__, "D3D error CreateRasterizerState");
    }
    D3D11_DEPTH_STENCIL_DESC dd{};
    dd.DepthEnable = depthEnable ? TRUE : FALSE;
    dd.DepthWriteMask = static_cast<D3D11_DEPTH_WRITE_MASK>(depthWriteMask);
    dd.DepthFunc = static_cast<D3D11_COMPARISON_FUNC>(depthFunc);
    dd.StencilEnable = FALSE;
    dd.StencilReadMask = dd.StencilWriteMask = 0xFF;
    dd.FrontFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_INCR, D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    dd.BackFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_DECR, D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    Check(dev->CreateDepthStencilState(&dd, &depthState), __LINE__, "D3D error CreateDepthStencilState");
    D3D11_BLEND_DESC bl{};
    bl.RenderTarget[0].BlendEnable = blendEnable ? TRUE : FALSE;
    bl.RenderTarget[0].SrcBlend = static_cast<D3D11_BLEND>(srcBlend);
    bl.RenderTarget[0].DestBlend = static_cast<D3D11_BLEND>(destBlend);
    bl.RenderTarget[0].BlendOp = static_cast<D3D11_BLEND_OP>(blendOp);
    bl.RenderTarget[0].SrcBlendAlpha = static_cast<D3D11_BLEND>(srcBlendAlpha);
    bl.RenderTarget[0].DestBlendAlpha = static_cast<D3D11_BLEND>(destBlendAlpha);
    bl.RenderTarget[0].BlendOpAlpha = static_cast<D3D11_BLEND_OP>(blendOpAlpha);
    bl.RenderTarget[0].RenderTargetWriteMask = writeMask;
    Check(dev->CreateBlendState(&bl, &blend), __LINE__, "D3D error CreateBlendState");

    miRender::PipeCfgInfo& p = pipeInfo;
    p.id = handle;
    p.raster = raster;
    p.biasedRaster = biasedRaster;
    p.blend = blend;
    p.depth = depthState;
    p.rasterKey = {fillMode, cullMode, depthBias, depthBiasClamp, slopeScaledDepthBias, depthClip};
    p.blendKey = {blendEnable, srcBlend, destBlend, blendOp, srcBlendAlpha, destBlendAlpha, blendOpAlpha, writeMask};
    p.depthKey = {depthEnable, depthWriteMask, depthFunc};
    p.topology = topology;
    p.alphaTest = alphaTest != 0;
    std::memcpy(p.shaderIds, shaderIds, sizeof p.shaderIds);
    p.samplerKeys = samplerKeys;
    p.samplers = samplerObjects;
}

// ---- models

void PlatformModel::OnCreate()
{
    Model::OnCreate();
    vertexBuffer = nullptr;
    positionBuffer = nullptr;
    indexBuffers = nullptr;
}

void PlatformModel::OnRelease()
{
    if (indexBuffers)
    {
        for (int32_t i = 0; i < surfaceCount; ++i) SafeRelease(indexBuffers[i]);
        delete[] indexBuffers;
        indexBuffers = nullptr;
    }
    Model::OnRelease();
    SafeRelease(vertexBuffer);
    SafeRelease(positionBuffer);
}

namespace
{
ID3D11Buffer* ImmutableBuffer(UINT bind, const void* data, size_t bytes)
{
    ID3D11Device* dev = CurrentD3DDevice();
    if (!dev || bytes == 0 || bytes > 0xFFFFFFFFu) return nullptr;
    D3D11_BUFFER_DESC d{};
    d.ByteWidth = static_cast<UINT>(bytes);
    d.Usage = D3D11_USAGE_IMMUTABLE;
    d.BindFlags = bind;
    D3D11_SUBRESOURCE_DATA init{data, 0, 0};
    ID3D11Buffer* b = nullptr;
    Check(dev->CreateBuffer(&d, &init, &b), __LINE__, "D3D error CreateBuffer");
    return b;
}
} // namespace

void PlatformModel::Create()
{
    vertexBuffer = ImmutableBuffer(D3D11_BIND_VERTEX_BUFFER, vertices, static_cast<size_t>(stride) * vertexCount);
    if (stride >= 12 && vertexCount > 0)
    {
        float* positions = new float[static_cast<size_t>(vertexCount) * 3];
        for (uint32_t v = 0; v < vertexCount; ++v)
            std::memcpy(positions + 3 * v, vertices + static_cast<size_t>(v) * stride, 12);
        positionBuffer = ImmutableBuffer(D3D11_BIND_VERTEX_BUFFER, positions, 12 * static_cast<size_t>(vertexCount));
        delete[] positions;
    }
    positionStride = 12;
    depthLayout = 2;
    indexBuffers = new ID3D11Buffer*[static_cast<size_t>(surfaceCount > 0 ? surfaceCount : 1)]();
    for (int32_t i = 0; i < surfaceCount; ++i)
        if (surfaces[i].indices && surfaces[i].indexCount > 0)
            indexBuffers[i] = ImmutableBuffer(D3D11_BIND_INDEX_BUFFER, surfaces[i].indices,
                                              4 * static_cast<size_t>(surfaces[i].indexCount));
}

// ---- hooks for material loading and the pipe

namespace
{
class Source final : public miRender::PipeSource
{
  public:
    bool Target(int32_t id, miRender::PipeTargetInfo& out) override
    {
        PlatformRenderTarget* rt = RenderTargets().FromHandle(id);
        if (!rt) return false;
        out = {rt->colorView, rt->depthView,
               {static_cast<float>(rt->width), static_cast<float>(rt->height), rt->minDepth, rt->maxDepth,
                static_cast<float>(rt->left), static_cast<float>(rt->top)}};
        return true;
    }
    bool Model(int32_t id, miRender::PipeModelInfo& out) override
    {
        PlatformModel* m = PlatformModels().manager.FromHandle(id);
        if (!m) return false;
        out = {m->vertexBuffer, m->positionBuffer, m->stride, m->positionStride, m->vertexCount, m->depthLayout,
               m->surfaceCount};
        return true;
    }
    bool Surface(int32_t modelId, int32_t index, miRender::PipeSurfaceInfo& out) override
    {
        PlatformModel* m = PlatformModels().manager.FromHandle(modelId);
        if (!m || index < 0 || index >= m->surfaceCount) return false;
        const ModelSurface& s = m->surfaces[index];
        out = {s.materialId, s.indexCount, s.type, m->indexBuffers ? m->indexBuffers[index] : nullptr};
        return true;
    }
    bool Material(int32_t id, miRender::PipeMaterialInfo& out) override
    {
        miResources::Material* m = MaterialManager().FromHandle(id);
        if (!m) return false;
        out = {m->configId, &m->srvIds[0][0], &m->uavIds[0][0], m->alphaTestTextureId, m->constantBufferId};
        return true;
    }
    void SetMaterialAlphaTexture(int32_t materialId, int32_t textureId) override
    {
        if (miResources::Material* m = MaterialManager().FromHandle(materialId)) m->alphaTestTextureId = textureId;
    }
    const miRender::PipeCfgInfo* Cfg(int32_t id) override
    {
        auto* cfg = static_cast<PlatformMaterialCfg*>(PlatformCfgs().FromHandle(id));
        return cfg ? &cfg->pipeInfo : nullptr;
    }
    bool Shader(int32_t id, miRender::PipeShaderInfo& out) override
    {
        PlatformShader* s = Shaders().FromHandle(id);
        if (!s) return false;
        out = {s->shader, s->inputLayout};
        return true;
    }
    bool ConstantBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().FromHandle(id);
        if (!cb) return false;
        out = {cb->buffer, cb->registerSlot, static_cast<uint32_t>(cb->byteSize), cb->data, 0};
        return true;
    }
    bool DynamicBuffer(int32_t id, miRender::PipeBufferInfo& out) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().FromHandle(id);
        if (!b) return false;
        out = {b->buffer, -1, b->count * b->stride, b->data, b->stride};
        return true;
    }
    bool Texture(int32_t id, miRender::PipeTextureInfo& out) override
    {
        PlatformTexture* t = Textures().FromHandle(id);
        if (!t) return false;
        out = {t->texture, t->width, t->height};
        return true;
    }
    bool GpuResource(int32_t id, miRender::PipeGpuResourceInfo& out) override
    {
        PlatformGPUResource* r = GpuResources().FromHandle(id);
        if (!r) return false;
        out = {r->srv, r->uav};
        return true;
    }
    int32_t FindMaterial(const char* name) override
    {
        miResources::Material* m = MaterialManager().Find(name);
        return m ? m->handle : -1;
    }
    int32_t FindConstantBuffer(const char* name) override
    {
        PlatformConstantBuffer* cb = ConstantBuffers().Find(name);
        return cb ? cb->handle : -1;
    }
    int32_t FindDynamicBuffer(const char* name) override
    {
        PlatformDynamicVertexBuffer* b = DynamicVertexBuffers().Find(name);
        return b ? b->handle : -1;
    }
    int32_t DepthMaterial(uint32_t layout, bool alphaTested) override
    {
        const char* name = DepthMaterialName(static_cast<int32_t>(layout), alphaTested);
        miResources::Material* m = name ? MaterialManager().Find(name) : nullptr;
        return m ? m->handle : -1;
    }
};

Source g_source;

int32_t ResolveModelMaterial(const char* name)
{
    if (miResources::Material* m = MaterialManager().Find(name)) return m->handle;
    miResources::Material* m = LoadMaterial(name);
    return m ? m->handle : -1;
}
} // namespace

void InstallDx11Resources()
{
    SetMaterialCfgs(&PlatformCfgs());
    SetModelPool(&PlatformModels());
    miRender::SetDeviceHost(&Dx11DeviceHost());
    miRender::SetPipeSource(&g_source);
    miRender::SetPipeExecutors(&Dx11PipeExecutors());
    SetModelMaterialResolver(ResolveModelMaterial);
    miCompute::SetUavLookup(miCompute::Dx11UavLookup);
}

void ClearDx11Resources()
{
    MaterialManager().Clear();
    PlatformModels().Clear();
    PlatformCfgs().Clear();
    GpuResources().Clear();
    RenderTargets().Clear();
    Textures().Clear();
    Shaders().Clear();
    ConstantBuffers().Clear();
    StructuredBuffers().Clear();
    DynamicVertexBuffers().Clear();
}

} // namespace miResources
