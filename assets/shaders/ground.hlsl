// The ground plane: grass tones from a cheap value noise, lit and shadowed like the windmill.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 grassLight = 0.36 0.5 0.2 1.0;
    float4 grassDark = 0.2 0.33 0.12 1.0;
    float noiseScale = 0.15;
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
    float2 p = i.worldPos.xz * noiseScale;
    float n = ValueNoise(p) * 0.65 + ValueNoise(p * 4.0) * 0.35;
    float3 albedo = lerp(grassDark.rgb, grassLight.rgb, n);
    float shadow = ShadowFactor(i.worldPos, shadowBias);
    float3 specular = float3(0.0, 0.0, 0.0);
    float3 color = SunLight(i.normal, i.worldPos, albedo, float4(specular, 1.0), ambient, shadow);
    return float4(ApplyFog(color, i.worldPos, fogDensity), 1.0);
}
