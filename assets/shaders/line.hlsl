// Coloured debug lines (the frame-time graph), layout "pc".
@include common/constants.hlsl
@include common/snippets.hlsl

mirel_shadervars
{
    float4 tint = 1.0 1.0 1.0 1.0;
}

$include VertexPC

struct LineOut
{
    float4 position : SV_Position;
    float4 color : COLOR0;
};

LineOut mainVS(VertexPC v)
{
    LineOut o;
    float4 world = mul(float4(v.position, 1.0), objectWorld);
    o.position = mul(mul(world, viewMatrix), projMatrix);
    // Overlay lines lie on the near plane of an orthographic camera; keep them inside the
    // depth range instead of letting them be clipped.
    o.position.z = clamp(o.position.z, 0.0, o.position.w);
    o.color = v.color * tint;
    return o;
}

float4 mainPS(LineOut i) : SV_Target
{
    return i.color;
}
