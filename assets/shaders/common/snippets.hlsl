// Vertex formats, the full-screen vertex stage and the lighting helpers, as snippets: a
// shader pulls in only the ones it names.

snippet VertexPNTTB
{
struct VertexPNTTB
{
    float3 position : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
    float3 tangent : TANGENT;
    float3 binormal : BINORMAL;
};
}

snippet VertexPNT
{
struct VertexPNT
{
    float3 position : POSITION;
    float3 normal : NORMAL;
    float2 uv : TEXCOORD0;
};
}

snippet VertexP
{
struct VertexP
{
    float3 position : POSITION;
};
}

snippet VertexPT
{
struct VertexPT
{
    float3 position : POSITION;
    float2 uv : TEXCOORD0;
};
}

snippet VertexPC
{
struct VertexPC
{
    float3 position : POSITION;
    float4 color : COLOR0;
};
}

snippet ScreenOut
{
struct ScreenOut
{
    float4 position : SV_Position;
    float2 uv : TEXCOORD0;
};
}

// The built-in quad already lies in clip space. Snippet text is not expanded again, so
// shaders name VertexPT and ScreenOut before this one.
snippet FullscreenVS
{
ScreenOut mainVS(VertexPT v)
{
    ScreenOut o;
    o.position = float4(v.position.xy, 0.5, 1.0);
    o.uv = v.uv;
    return o;
}
}

snippet LitOut
{
struct LitOut
{
    float4 position : SV_Position;
    float3 worldPos : TEXCOORD0;
    float3 normal : TEXCOORD1;
    float2 uv : TEXCOORD2;
};
}

snippet LitVS
{
LitOut mainVS(VertexPNTTB v)
{
    LitOut o;
    float4 world = mul(float4(v.position, 1.0), objectWorld);
    o.position = mul(mul(world, viewMatrix), projMatrix);
    o.worldPos = world.xyz;
    o.normal = mul(float4(v.normal, 0.0), objectWorld).xyz;
    o.uv = v.uv;
    return o;
}
}

// The shadow test runs against the sun camera's depth buffer: comparison sampling is defined for
// depth formats only. The comparison sampler filters the test over neighbouring texels, which
// softens the shadow's edge; outside the map everything is lit. The bias is in world units.
snippet ShadowLookup
{
Texture2D shadowDepth : register( t0 );
SamplerComparisonState shadowSampler : register( s0 );
float ShadowFactor(float3 worldPos, float bias)
{
    float4 clipPos = mul(mul(float4(worldPos, 1.0), shadowView0), shadowProj0);
    float2 uv = float2(clipPos.x * 0.5 + 0.5, 0.5 - clipPos.y * 0.5);
    float inside = (uv.x >= 0.0 && uv.x <= 1.0 && uv.y >= 0.0 && uv.y <= 1.0) ? 1.0 : 0.0;
    float reference = clipPos.z / clipPos.w - bias * shadowProj0[2][2];
    float lit = shadowDepth.SampleCmpLevelZero(shadowSampler, saturate(uv), reference);
    return lerp(1.0, lit, inside);
}
}

snippet SunLight
{
float3 SunLight(float3 normal, float3 worldPos, float3 albedo, float4 specular, float ambient, float shadow)
{
    float3 n = normalize(normal);
    float3 toSun = -normalize(sunDirection);
    float3 sun = sunColor.rgb / 255.0;
    float ndl = saturate(dot(n, toSun));
    float3 toEye = normalize(cameraPosition.xyz - worldPos);
    float3 halfway = normalize(toSun + toEye);
    float highlight = pow(saturate(dot(n, halfway)), max(specular.w, 1.0)) * ndl;
    float3 sky = lerp(float3(0.18, 0.16, 0.12), float3(0.35, 0.45, 0.6), n.y * 0.5 + 0.5);
    return albedo * (sky * ambient + sun * ndl * shadow) + specular.rgb * highlight * shadow;
}
}

// Distance fog toward the horizon colour.
snippet Fog
{
float3 ApplyFog(float3 color, float3 worldPos, float density)
{
    float d = length(worldPos - cameraPosition.xyz);
    float f = 1.0 - exp(-d * density);
    return lerp(color, float3(0.62, 0.7, 0.78), saturate(f));
}
}
