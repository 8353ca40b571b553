// The windmill's body and blades: sun light, the sun's shadow map and distance fog.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 albedo = 0.55 0.42 0.3 1.0;
    float4 specular = 0.08 0.08 0.08 24.0;
    float ambient = 0.6;
    float shadowBias = 0.6;
    float fogDensity = 0.0008;
}

$include VertexPNTTB
$include LitOut
$include LitVS
$include ShadowLookup
$include SunLight
$include Fog

float4 mainPS(LitOut i) : SV_Target
{
    // A faint plank pattern along the texture coordinates keeps large faces from looking flat.
    float planks = 0.9 + 0.1 * step(0.5, frac(i.uv.y * 12.0));
    float shadow = ShadowFactor(i.worldPos, shadowBias);
    float3 color = SunLight(i.normal, i.worldPos, albedo.rgb * planks, specular, ambient, shadow);
    return float4(ApplyFog(color, i.worldPos, fogDensity), albedo.a);
}
