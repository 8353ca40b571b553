// Depth-only passes write the distance along the view direction into a one-channel target
// (the z pre-pass and the sun's shadow map); alpha-tested ones discard cut-out texels.

snippet DepthOut
{
struct DepthOut
{
    float4 position : SV_Position;
    float viewDepth : TEXCOORD0;
    float2 uv : TEXCOORD1;
};
DepthOut ProjectDepth(float3 position, float2 uv)
{
    DepthOut o;
    float4 view = mul(mul(float4(position, 1.0), objectWorld), viewMatrix);
    o.position = mul(view, projMatrix);
    // View space looks down +Z, so this is the distance in front of the camera.
    o.viewDepth = view.z;
    o.uv = uv;
    return o;
}
}

snippet DepthPS
{
float4 mainPS(DepthOut i) : SV_Target
{
    return float4(i.viewDepth, 0.0, 0.0, 1.0);
}
}

snippet DepthAlphaPS
{
Texture2D alphaTexture : register( t0 );
SamplerState alphaSampler : register( s0 );
float4 mainPS(DepthOut i) : SV_Target
{
    float alpha = alphaTexture.Sample(alphaSampler, i.uv).a;
    if (alpha < alphaRef)
    {
        discard;
    }
    return float4(i.viewDepth, 0.0, 0.0, 1.0);
}
}
