// The load screen: a dark gradient with a light band, faded in by fadeIn; the progress bar's
// strip stays clear so the bar drawn before it shows through.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float fadeIn = 0.0;
    float4 topColor = 0.05 0.06 0.09 1.0;
    float4 bottomColor = 0.12 0.1 0.14 1.0;
    float4 barStrip = 0.1 0.86 0.9 0.9;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

float4 mainPS(ScreenOut i) : SV_Target
{
    // barStrip: left, top, right, bottom of the progress bar in texture coordinates.
    if (i.uv.x >= barStrip.x && i.uv.x <= barStrip.z && i.uv.y >= barStrip.y && i.uv.y <= barStrip.w)
    {
        discard;
    }
    float3 color = lerp(topColor.rgb, bottomColor.rgb, i.uv.y);
    float band = exp(-abs(i.uv.y - 0.45) * 40.0) * 0.25;
    color += float3(band, band * 0.8, band * 0.5);
    return float4(color * fadeIn, 1.0);
}
