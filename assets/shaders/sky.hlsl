// The sky box: a unit cube around the camera drawn at the far plane, showing the sky cube
// texture with the sun's disc and glow on top.
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 skyTint = 1.0 1.0 1.0 1.0;
    float sunSize = 0.9992;
}

$include VertexPNTTB

TextureCube skyTexture : register( t0 );
SamplerState skySampler : register( s0 );

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
    float3 color = skyTexture.Sample(skySampler, dir).rgb * skyTint.rgb;
    float toSun = dot(dir, -normalize(sunDirection));
    float disc = smoothstep(sunSize, 1.0, toSun);
    float glow = pow(saturate(toSun), 64.0) * 0.35;
    color += (sunColor.rgb / 255.0) * (disc + glow);
    return float4(color, 1.0);
}
