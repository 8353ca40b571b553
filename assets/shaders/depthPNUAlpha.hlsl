// Depth only with the alpha test, vertex layout "pnt".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

mirel_shadervars
{
    float alphaRef = 0.5;
}

$include VertexPNT
$include DepthOut

DepthOut mainVS(VertexPNT v)
{
    return ProjectDepth(v.position, v.uv);
}

$include DepthAlphaPS
