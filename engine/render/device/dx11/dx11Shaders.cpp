// Shader stages compiled from the expanded material sources, and their binding.
#include "render/device/dx11/dx11ResourceCommon.h"

#include "render/device/dx11/dx11Device.h"

#include <d3dcompiler.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

using namespace detail;

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
    case kStagePixel:
        ctx->PSSetShader(static_cast<ID3D11PixelShader*>(s), nullptr, 0);
        break;
    case kStageVertex:
        ctx->VSSetShader(static_cast<ID3D11VertexShader*>(s), nullptr, 0);
        break;
    case kStageGeometry:
        ctx->GSSetShader(static_cast<ID3D11GeometryShader*>(s), nullptr, 0);
        break;
    case kStageHull:
        ctx->HSSetShader(static_cast<ID3D11HullShader*>(s), nullptr, 0);
        break;
    case kStageDomain:
        ctx->DSSetShader(static_cast<ID3D11DomainShader*>(s), nullptr, 0);
        break;
    case kStageCompute:
        ctx->CSSetShader(static_cast<ID3D11ComputeShader*>(s), nullptr, 0);
        break;
    default:
        break;
    }
}

void SetStageConstants(ID3D11DeviceContext* ctx, int32_t stage, UINT slot, ID3D11Buffer* b)
{
    switch (stage)
    {
    case kStagePixel:
        ctx->PSSetConstantBuffers(slot, 1, &b);
        break;
    case kStageVertex:
        ctx->VSSetConstantBuffers(slot, 1, &b);
        break;
    case kStageGeometry:
        ctx->GSSetConstantBuffers(slot, 1, &b);
        break;
    case kStageHull:
        ctx->HSSetConstantBuffers(slot, 1, &b);
        break;
    case kStageDomain:
        ctx->DSSetConstantBuffers(slot, 1, &b);
        break;
    case kStageCompute:
        ctx->CSSetConstantBuffers(slot, 1, &b);
        break;
    default:
        break;
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
    {"mainPS", "ps_5_0", "Error creating pixel shader: %s"},
    {"mainVS", "vs_5_0", "Error creating vertex shader: %s"},
    {"mainGS", "gs_5_0", "Error creating geometry shader: %s"},
    {"mainHS", "hs_5_0", "Error creating hull shader: %s"},
    {"mainDS", "ds_5_0", "Error creating domain shader: %s"},
    {"mainCS", "cs_5_0", "Error creating compute shader: %s"},
};

ID3DBlob* Compile(const char* shaderName, const char* source, int32_t stage)
{
    ID3DBlob* code = nullptr;
    ID3DBlob* errors = nullptr;
    const HRESULT hr = D3DCompile(source, std::strlen(source) + 1, nullptr, nullptr, nullptr,
                                  kStageInfo[stage].entry, kStageInfo[stage].profile, 0, 0, &code, &errors);
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
    case kStagePixel:
        return dev->CreatePixelShader(p, n, nullptr, reinterpret_cast<ID3D11PixelShader**>(out));
    case kStageVertex:
        return dev->CreateVertexShader(p, n, nullptr, reinterpret_cast<ID3D11VertexShader**>(out));
    case kStageGeometry:
        return dev->CreateGeometryShader(p, n, nullptr, reinterpret_cast<ID3D11GeometryShader**>(out));
    case kStageHull:
        return dev->CreateHullShader(p, n, nullptr, reinterpret_cast<ID3D11HullShader**>(out));
    case kStageDomain:
        return dev->CreateDomainShader(p, n, nullptr, reinterpret_cast<ID3D11DomainShader**>(out));
    case kStageCompute:
        return dev->CreateComputeShader(p, n, nullptr, reinterpret_cast<ID3D11ComputeShader**>(out));
    default:
        return E_INVALIDARG;
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

} // namespace miResources
