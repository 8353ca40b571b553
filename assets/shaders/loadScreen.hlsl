// The load screen: its image faded in by fadeIn; the progress bar's strip stays clear so the
// bar drawn before it shows through.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float fadeIn = 0.0;
    float4 barStrip = 0.1 0.86 0.9 0.9;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

Texture2D loadImage : register( t0 );
SamplerState loadSampler : register( s0 );

float4 mainPS(ScreenOut i) : SV_Target
{
    // barStrip: left, top, right, bottom of the progress bar in texture coordinates.
    if (i.uv.x >= barStrip.x && i.uv.x <= barStrip.z && i.uv.y >= barStrip.y && i.uv.y <= barStrip.w)
    {
        discard;
    }
    float3 color = loadImage.Sample(loadSampler, i.uv).rgb;
    return float4(color * fadeIn, 1.0);
}
