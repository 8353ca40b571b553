// The sweeping red bar, drawn into its own target; alpha marks the bar for the final pass.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float bar_position = 0.0;
    float barWidth = 0.04;
    float4 barColor = 0.9 0.05 0.03 1.0;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

float4 mainPS(ScreenOut i) : SV_Target
{
    // The phase runs past 1 so that the bar leaves the screen before it starts again.
    float left = bar_position - barWidth;
    float inside = step(left, i.uv.x) * step(i.uv.x, bar_position);
    return float4(barColor.rgb, barColor.a * inside);
}
