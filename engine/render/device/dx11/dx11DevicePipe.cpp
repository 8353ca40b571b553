// The Direct3D 11 side of the pipe's records: each executor unpacks its payload and makes one
// immediate-context call (or one call per stage form).
#include "render/device/dx11/dx11Device.h"
#include "render/device/dx11/dx11Resources.h"

#include <cstring>

namespace miResources
{

using namespace miRender;

namespace
{
// Records are packed without alignment; payloads are copied out before use.
template <typename P> P Load(const void* p)
{
    P v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

ID3D11DeviceContext* Ctx()
{
    return CurrentContext();
}

void Viewport(const void* p)
{
    const auto v = Load<ViewportPayload>(p);
    D3D11_VIEWPORT vp{v.x, v.y, v.width, v.height, v.minDepth, v.maxDepth};
    Ctx()->RSSetViewports(1, &vp);
}
void Targets(const void* p)
{
    const auto t = Load<TargetsPayload>(p);
    Ctx()->OMSetRenderTargets(t.count, reinterpret_cast<ID3D11RenderTargetView* const*>(t.rtv),
                              static_cast<ID3D11DepthStencilView*>(t.dsv));
}
void ClearColour(const void* p)
{
    const auto c = Load<ClearColourPayload>(p);
    if (c.rtv) Ctx()->ClearRenderTargetView(static_cast<ID3D11RenderTargetView*>(c.rtv), c.colour);
}
void ClearDepth(const void* p)
{
    const auto c = Load<ClearDepthPayload>(p);
    if (c.dsv)
        Ctx()->ClearDepthStencilView(static_cast<ID3D11DepthStencilView*>(c.dsv), D3D11_CLEAR_DEPTH, c.depth,
                                     0);
}
void Raster(const void* p)
{
    Ctx()->RSSetState(static_cast<ID3D11RasterizerState*>(Load<StatePayload>(p).state));
}
void Blend(const void* p)
{
    const float factor[4] = {0, 0, 0, 0};
    Ctx()->OMSetBlendState(static_cast<ID3D11BlendState*>(Load<StatePayload>(p).state), factor, 0xFFFFFFFFu);
}
void Depth(const void* p)
{
    Ctx()->OMSetDepthStencilState(static_cast<ID3D11DepthStencilState*>(Load<StatePayload>(p).state), 0);
}
void Layout(const void* p)
{
    Ctx()->IASetInputLayout(static_cast<ID3D11InputLayout*>(Load<StatePayload>(p).state));
}
void Vertices(const void* p)
{
    const auto v = Load<VertexBufferPayload>(p);
    ID3D11Buffer* b = static_cast<ID3D11Buffer*>(v.buffer);
    const UINT offset = 0;
    Ctx()->IASetVertexBuffers(0, 1, &b, &v.stride, &offset);
}
void Indices(const void* p)
{
    Ctx()->IASetIndexBuffer(static_cast<ID3D11Buffer*>(Load<IndexBufferPayload>(p).buffer),
                            DXGI_FORMAT_R32_UINT, 0);
}
void Topology(const void* p)
{
    Ctx()->IASetPrimitiveTopology(static_cast<D3D11_PRIMITIVE_TOPOLOGY>(Load<TopologyPayload>(p).topology));
}
void Shader(const void* p)
{
    const auto s = Load<ShaderPayload>(p);
    ID3D11DeviceContext* c = Ctx();
    switch (s.stage)
    {
    case 0:
        c->PSSetShader(static_cast<ID3D11PixelShader*>(s.shader), nullptr, 0);
        break;
    case 1:
        c->VSSetShader(static_cast<ID3D11VertexShader*>(s.shader), nullptr, 0);
        break;
    case 2:
        c->GSSetShader(static_cast<ID3D11GeometryShader*>(s.shader), nullptr, 0);
        break;
    case 3:
        c->HSSetShader(static_cast<ID3D11HullShader*>(s.shader), nullptr, 0);
        break;
    case 4:
        c->DSSetShader(static_cast<ID3D11DomainShader*>(s.shader), nullptr, 0);
        break;
    case 5:
        c->CSSetShader(static_cast<ID3D11ComputeShader*>(s.shader), nullptr, 0);
        break;
    default:
        break;
    }
}
void Sampler(const void* p)
{
    const auto s = Load<SamplerPayload>(p);
    ID3D11SamplerState* st = static_cast<ID3D11SamplerState*>(s.sampler);
    ID3D11DeviceContext* c = Ctx();
    const UINT slot = static_cast<UINT>(s.slot);
    switch (s.stage)
    {
    case 0:
        c->PSSetSamplers(slot, 1, &st);
        break;
    case 1:
        c->VSSetSamplers(slot, 1, &st);
        break;
    case 2:
        c->GSSetSamplers(slot, 1, &st);
        break;
    case 3:
        c->HSSetSamplers(slot, 1, &st);
        break;
    case 4:
        c->DSSetSamplers(slot, 1, &st);
        break;
    case 5:
        c->CSSetSamplers(slot, 1, &st);
        break;
    default:
        break;
    }
}
void Resources(const void* p)
{
    const auto r = Load<ResourcesPayload>(p);
    auto* const* v = reinterpret_cast<ID3D11ShaderResourceView* const*>(r.views);
    ID3D11DeviceContext* c = Ctx();
    switch (r.stage)
    {
    case 0:
        c->PSSetShaderResources(0, kPipeSlots, v);
        break;
    case 1:
        c->VSSetShaderResources(0, kPipeSlots, v);
        break;
    case 2:
        c->GSSetShaderResources(0, kPipeSlots, v);
        break;
    case 3:
        c->HSSetShaderResources(0, kPipeSlots, v);
        break;
    case 4:
        c->DSSetShaderResources(0, kPipeSlots, v);
        break;
    case 5:
        c->CSSetShaderResources(0, kPipeSlots, v);
        break;
    default:
        break;
    }
}
void Constants(const void* p)
{
    const auto b = Load<ConstantBufferPayload>(p);
    if (b.slot < 0) return;
    ID3D11Buffer* buf = static_cast<ID3D11Buffer*>(b.buffer);
    ID3D11DeviceContext* c = Ctx();
    const UINT slot = static_cast<UINT>(b.slot);
    switch (b.stage)
    {
    case 0:
        c->PSSetConstantBuffers(slot, 1, &buf);
        break;
    case 1:
        c->VSSetConstantBuffers(slot, 1, &buf);
        break;
    case 2:
        c->GSSetConstantBuffers(slot, 1, &buf);
        break;
    case 3:
        c->HSSetConstantBuffers(slot, 1, &buf);
        break;
    case 4:
        c->DSSetConstantBuffers(slot, 1, &buf);
        break;
    case 5:
        c->CSSetConstantBuffers(slot, 1, &buf);
        break;
    default:
        break;
    }
}
void Upload(const void* p)
{
    const auto u = Load<UploadPayload>(p);
    ID3D11Buffer* b = static_cast<ID3D11Buffer*>(u.buffer);
    if (!b || !u.data) return;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(Ctx()->Map(b, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    std::memcpy(m.pData, u.data, u.bytes);
    Ctx()->Unmap(b, 0);
}
void UpdateTexture(const void* p)
{
    const auto t = Load<UpdateTexturePayload>(p);
    ID3D11Resource* r = static_cast<ID3D11Resource*>(t.texture);
    if (!r || !t.data) return;
    D3D11_MAPPED_SUBRESOURCE m{};
    if (FAILED(Ctx()->Map(r, 0, D3D11_MAP_WRITE_DISCARD, 0, &m))) return;
    const uint8_t* src = static_cast<const uint8_t*>(t.data);
    uint8_t* dst = static_cast<uint8_t*>(m.pData);
    for (uint32_t row = 0; row < t.height; ++row)
        std::memcpy(dst + static_cast<size_t>(row) * m.RowPitch, src + static_cast<size_t>(row) * t.width * 4,
                    t.width * 4);
    Ctx()->Unmap(r, 0);
}
void Draw(const void* p)
{
    Ctx()->Draw(Load<DrawPayload>(p).count, 0);
}
void DrawIndexed(const void* p)
{
    Ctx()->DrawIndexed(Load<DrawPayload>(p).count, 0, 0);
}
void DrawIndexedInstanced(const void* p)
{
    const auto d = Load<DrawPayload>(p);
    Ctx()->DrawIndexedInstanced(d.count, d.instances, 0, 0, 0);
}
void TargetsAndUavs(const void* p)
{
    const auto t = Load<TargetsAndUavsPayload>(p);
    Ctx()->OMSetRenderTargetsAndUnorderedAccessViews(
        t.targetCount, reinterpret_cast<ID3D11RenderTargetView* const*>(t.rtv),
        static_cast<ID3D11DepthStencilView*>(t.dsv), t.firstSlot, t.uavCount,
        reinterpret_cast<ID3D11UnorderedAccessView* const*>(t.uavs), t.initialCounts);
}
void ComputeUav(const void* p)
{
    const auto u = Load<ComputeUavPayload>(p);
    ID3D11UnorderedAccessView* views[8] = {static_cast<ID3D11UnorderedAccessView*>(u.uav)};
    const UINT n = u.count > 0 && u.count <= 8 ? static_cast<UINT>(u.count) : 1;
    Ctx()->CSSetUnorderedAccessViews(static_cast<UINT>(u.slot), n, views, nullptr);
}
void DispatchGroups(const void* p)
{
    const auto d = Load<DispatchPayload>(p);
    Ctx()->Dispatch(d.x, d.y, d.z);
}
void ClearUav(const void* p)
{
    const auto c = Load<ClearUavPayload>(p);
    const UINT v[4] = {c.value, c.value, c.value, c.value};
    if (c.uav) Ctx()->ClearUnorderedAccessViewUint(static_cast<ID3D11UnorderedAccessView*>(c.uav), v);
}

const PipeExecutors kTable = {{Viewport,       Targets,    ClearColour,    ClearDepth,
                               Raster,         Blend,      Depth,          Layout,
                               Vertices,       Indices,    Topology,       Shader,
                               Sampler,        Resources,  Constants,      Upload,
                               UpdateTexture,  Draw,       DrawIndexed,    DrawIndexedInstanced,
                               TargetsAndUavs, ComputeUav, DispatchGroups, ClearUav}};
static_assert(sizeof(kTable.exec) / sizeof(kTable.exec[0]) == kOpCount, "one executor per operation");
} // namespace

const PipeExecutors& Dx11PipeExecutors()
{
    return kTable;
}

} // namespace miResources
