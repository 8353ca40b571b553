// Depth only, vertex layout "pnttb".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

$include VertexPNTTB
$include DepthOut

DepthOut mainVS(VertexPNTTB v)
{
    return ProjectDepth(v.position, v.uv);
}

$include DepthPS
