// Constant registers every shader sees. The engine writes matrices row by row for column
// vectors; HLSL reads constant-buffer matrices column-major, so they arrive transposed and
// points are transformed as mul(p, M). Register b4 is each shader's own variable block.

// b0: per frame.
cbuffer PerFrame : register( b0 )
{
    float frameDelta;
    float elapsedTime;
    float2 frameConstants;
    float2 screenSize;
    float2 invScreenSize;
    float3 sunDirection; // the way the sunlight travels
    float sunPad;
    float4 sunColor;     // 0-255 per channel
};

// b1: the render view's camera.
cbuffer PerView : register( b1 )
{
    matrix cameraWorld;
    matrix viewMatrix;
    matrix projMatrix;
    float4 frustumCornersX;
    float4 frustumCornersY;
    float4 frustumCornersZ;
    float4 viewReserved;
    float4 cameraPosition;
    float4 cameraForward;
    float4 depthParams; // near, far, 1/near, 1/far
};

// b2: the sun's shadow cascades.
cbuffer CascadedSM : register( b2 )
{
    float4 cascadeReserved;
    matrix shadowView0;
    matrix shadowProj0;
    matrix shadowView1;
    matrix shadowProj1;
};

// b3: the drawn entity's world matrix, or the identity.
cbuffer PerObject : register( b3 )
{
    matrix objectWorld;
};
