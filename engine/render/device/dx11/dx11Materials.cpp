// Material configurations: their state objects and the pipe's view of them.
#include "render/device/dx11/dx11ResourceCommon.h"

#include "render/device/dx11/dx11Device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace miResources
{

using namespace detail;

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
    // Until Create fills it, no draw may use it: zeroed shader ids would bind shader 0 to every stage.
    pipeInfo.id = -1;
}

void PlatformMaterialCfg::OnRelease()
{
    SafeRelease(raster);
    SafeRelease(biasedRaster);
    SafeRelease(depthState);
    SafeRelease(blend);
    for (auto& stage : samplerStates)
        for (auto*& s : stage)
            SafeRelease(s);
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
            Check(dev->CreateSamplerState(&d, &samplerStates[s][i]), __LINE__,
                  "D3D error CreateSamplerState");
            samplerKeys[s * kSlotCount + i] = miRender::SamplerKey{
                1, r.filter, r.addressU, r.addressV, r.addressW, r.comparison, r.minLod, r.maxLod};
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
    dd.FrontFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_INCR, D3D11_STENCIL_OP_KEEP,
                    D3D11_COMPARISON_ALWAYS};
    dd.BackFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_DECR, D3D11_STENCIL_OP_KEEP,
                   D3D11_COMPARISON_ALWAYS};
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
    p.blendKey = {blendEnable,   srcBlend,       destBlend,    blendOp,
                  srcBlendAlpha, destBlendAlpha, blendOpAlpha, writeMask};
    p.depthKey = {depthEnable, depthWriteMask, depthFunc};
    p.topology = topology;
    p.alphaTest = alphaTest != 0;
    std::memcpy(p.shaderIds, shaderIds, sizeof p.shaderIds);
    p.samplerKeys = samplerKeys;
    p.samplers = samplerObjects;
}

} // namespace miResources
