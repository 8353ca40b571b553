// The sky box: a unit cube around the camera drawn at the far plane, with a horizon-to-zenith
// gradient and the sun's disc.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 zenithColor = 0.22 0.42 0.75 1.0;
    float4 horizonColor = 0.62 0.7 0.78 1.0;
    float sunSize = 0.9992;
}

$include VertexPNTTB

struct SkyOut
{
    float4 position : SV_Position;
    float3 direction : TEXCOORD0;
};

SkyOut mainVS(VertexPNTTB v)
{
    SkyOut o;
    // Rotation only: the cube follows the camera.
    float3 viewDir = mul(float4(v.position, 0.0), viewMatrix).xyz;
    float4 clipPos = mul(float4(viewDir, 1.0), projMatrix);
    o.position = clipPos.xyww;
    o.direction = v.position;
    return o;
}

float4 mainPS(SkyOut i) : SV_Target
{
    float3 dir = normalize(i.direction);
    float height = saturate(dir.y);
    float3 color = lerp(horizonColor.rgb, zenithColor.rgb, pow(height, 0.6));
    float toSun = dot(dir, -normalize(sunDirection));
    float disc = smoothstep(sunSize, 1.0, toSun);
    float glow = pow(saturate(toSun), 64.0) * 0.35;
    color += (sunColor.rgb / 255.0) * (disc + glow);
    return float4(color, 1.0);
}
