// Depth only with the alpha test, vertex layout "pnttb".
@include common/constants.hlsl
@include common/snippets.hlsl
@include common/depth.hlsl

mirel_shadervars
{
    float alphaRef = 0.5;
}

$include VertexPNTTB
$include DepthOut

DepthOut mainVS(VertexPNTTB v)
{
    return ProjectDepth(v.position, v.uv);
}

$include DepthAlphaPS
