// GUI sprite quads: positions in pixels from the screen centre, y up; the sheet's texture at t0.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 spriteTint = 1.0 1.0 1.0 1.0;
}

$include VertexPT
$include ScreenOut

Texture2D sheetTexture : register( t0 );
SamplerState sheetSampler : register( s0 );

ScreenOut mainVS(VertexPT v)
{
    ScreenOut o;
    o.position = float4(v.position.xy * 2.0 * invScreenSize, 0.5, 1.0);
    o.uv = v.uv;
    return o;
}

float4 mainPS(ScreenOut i) : SV_Target
{
    return sheetTexture.Sample(sheetSampler, i.uv) * spriteTint;
}
