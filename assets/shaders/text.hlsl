// Sprite-font glyph quads: positions in pixels from the top left, y down; the glyph atlas at
// t0 gives the coverage in alpha.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 textColor = 1.0 1.0 1.0 1.0;
}

$include VertexPT
$include ScreenOut

Texture2D glyphTexture : register( t0 );
SamplerState glyphSampler : register( s0 );

ScreenOut mainVS(VertexPT v)
{
    ScreenOut o;
    float2 ndc = v.position.xy * 2.0 * invScreenSize - 1.0;
    o.position = float4(ndc.x, -ndc.y, 0.5, 1.0);
    o.uv = v.uv;
    return o;
}

float4 mainPS(ScreenOut i) : SV_Target
{
    float coverage = glyphTexture.Sample(glyphSampler, i.uv).a;
    return float4(textColor.rgb, textColor.a * coverage);
}
