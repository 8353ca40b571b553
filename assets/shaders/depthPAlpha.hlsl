// Depth only with the alpha test, vertex layout "p".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

mirel_shadervars
{
    float alphaRef = 0.5;
}

$include VertexP
$include DepthOut

DepthOut mainVS(VertexP v)
{
    return ProjectDepth(v.position, float2(0.5, 0.5));
}

$include DepthAlphaPS
