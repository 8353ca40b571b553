// Debug view of a one-channel depth texture (the shadow map) in the lower left quarter of the
// screen; debugType below zero hides it.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float debugType = -1.0;
    float depthRange = 200.0;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

Texture2D debugTexture : register( t0 );
SamplerState debugSampler : register( s0 );

float4 mainPS(ScreenOut i) : SV_Target
{
    float2 uv = float2(i.uv.x * 2.0, i.uv.y * 2.0 - 1.0);
    if (debugType < 0.0 || uv.x > 1.0 || uv.y < 0.0)
    {
        discard;
    }
    float d = debugTexture.Sample(debugSampler, uv).r;
    float shade = frac(d / depthRange);
    return float4(shade, shade, shade, 1.0);
}
