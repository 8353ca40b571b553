// The ground plane: the tiled grass texture, varied by a broad value noise so the tiling does not
// show, lit and shadowed like the windmill.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 tint = 1.0 1.0 1.0 1.0;
    float tileScale = 0.05;
    float noiseScale = 0.02;
    float ambient = 0.55;
    float shadowBias = 0.8;
    float fogDensity = 0.0008;
}

$include VertexPNTTB
$include LitOut
$include LitVS
$include ShadowLookup
$include SunLight
$include Fog

Texture2D groundTexture : register( t1 );
SamplerState groundSampler : register( s1 );

float Hash(float2 p)
{
    return frac(sin(dot(p, float2(12.9898, 78.233))) * 43758.5453);
}

float ValueNoise(float2 p)
{
    float2 cell = floor(p);
    float2 f = frac(p);
    float2 w = f * f * (3.0 - 2.0 * f);
    float a = Hash(cell);
    float b = Hash(cell + float2(1.0, 0.0));
    float c = Hash(cell + float2(0.0, 1.0));
    float d = Hash(cell + float2(1.0, 1.0));
    return lerp(lerp(a, b, w.x), lerp(c, d, w.x), w.y);
}

float4 mainPS(LitOut i) : SV_Target
{
    // Two scales at an odd ratio, so the texture's repeat does not line up into a grid.
    float3 grass = lerp(groundTexture.Sample(groundSampler, i.worldPos.xz * tileScale).rgb,
                        groundTexture.Sample(groundSampler, i.worldPos.xz * tileScale * 0.273 + 0.37).rgb, 0.5);
    float variation = 0.85 + 0.3 * ValueNoise(i.worldPos.xz * noiseScale);
    float3 albedo = grass * tint.rgb * variation;
    float shadow = ShadowFactor(i.worldPos, shadowBias);
    float3 color = SunLight(i.normal, i.worldPos, albedo, float4(0.0, 0.0, 0.0, 1.0), ambient, shadow);
    return float4(ApplyFog(color, i.worldPos, fogDensity), 1.0);
}
