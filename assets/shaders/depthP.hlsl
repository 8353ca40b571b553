// Depth only, vertex layout "p".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

$include VertexP
$include DepthOut

DepthOut mainVS(VertexP v)
{
    return ProjectDepth(v.position, float2(0.5, 0.5));
}

$include DepthPS
