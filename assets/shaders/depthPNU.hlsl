// Depth only, vertex layout "pnt".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

$include VertexPNT
$include DepthOut

DepthOut mainVS(VertexPNT v)
{
    return ProjectDepth(v.position, v.uv);
}

$include DepthPS
