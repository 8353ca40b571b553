// The load screen's progress bar: the filled part grows with load_progress.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float load_progress = 0.0;
    float4 barStrip = 0.1 0.86 0.9 0.9;
    float4 fillColor = 0.85 0.1 0.05 1.0;
    float4 emptyColor = 0.15 0.15 0.17 1.0;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

float4 mainPS(ScreenOut i) : SV_Target
{
    float progress = saturate(load_progress);
    float end = lerp(barStrip.x, barStrip.z, progress);
    float filled = step(i.uv.x, end);
    float3 color = lerp(emptyColor.rgb, fillColor.rgb, filled);
    return float4(color, 1.0);
}
