// The final pass onto the swap chain: the scene, a light vignette, and the overlay target
// (red bar or fading load screen) blended over it by redbarFade.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float redbarFade = 0.0;
    float vignette = 0.25;
    float exposure = 1.0;
}

$include VertexPT
$include ScreenOut
$include FullscreenVS

Texture2D sceneTexture : register( t0 );
Texture2D overlayTexture : register( t1 );
SamplerState pointSampler : register( s0 );

float4 mainPS(ScreenOut i) : SV_Target
{
    float3 scene = sceneTexture.Sample(pointSampler, i.uv).rgb * exposure;
    float2 centred = i.uv * 2.0 - 1.0;
    scene *= 1.0 - vignette * dot(centred, centred) * 0.5;
    float4 overlay = overlayTexture.Sample(pointSampler, i.uv);
    float weight = saturate(redbarFade * overlay.a);
    return float4(lerp(scene, overlay.rgb, weight), 1.0);
}
