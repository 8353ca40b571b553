// Render settings from the property store, the shared constant blocks every material draw sees,
// and the resolution-change bookkeeping.
#pragma once

#include "core/mimath.h"

#include <cstddef>
#include <cstdint>

namespace miRender
{

class Renderer;

struct RenderInitSettings
{
    bool autoDetect = false;
    bool fullscreen = false;
    bool vsync = false;
    bool tripleBuffered = false;
    uint32_t msaaSamples = 1;
    uint32_t width = 1280;
    uint32_t height = 720;
    float sunColor[4] = {251.0f, 248.0f, 219.0f, 255.0f};
    // Rotation of the sun camera about X and Y, degrees.
    float sunDirection[2] = {-72.0f, 35.0f};
};

// Reads every "render_init.*" setting; absent strings count as false. An absent (or non-finite)
// number keeps the default above instead of becoming a size of 3.4e38.
RenderInitSettings ReadRenderSettings();
// Integer part of a float setting, at least 1 and at most maximum; missing or NaN give fallback.
uint32_t SettingToCount(float value, uint32_t fallback, uint32_t maximum);
constexpr uint32_t kMaxOutputSize = 16384;
constexpr uint32_t kMaxSamples = 32;

// Register b0, 64 bytes.
struct PerFrameConstants
{
    float deltaTime;
    float elapsedTime;
    float two;
    float three;
    float outputWidth;
    float outputHeight;
    float invOutputWidth;
    float invOutputHeight;
    float sunDirection[3];
    float one;
    float sunColor[4];
};
static_assert(sizeof(PerFrameConstants) == 64, "perFrame block is 64 bytes");
static_assert(offsetof(PerFrameConstants, outputWidth) == 16, "output size at 16");
static_assert(offsetof(PerFrameConstants, sunDirection) == 32, "sun direction at 32");
static_assert(offsetof(PerFrameConstants, one) == 44, "1.0 at 44");
static_assert(offsetof(PerFrameConstants, sunColor) == 48, "sun colour at 48");

// Register b2, 272 bytes: two cascade entries, both from the one shadow camera.
struct CascadedSMConstants
{
    float reserved[4];
    float view0[16];
    float projection0[16];
    float view1[16];
    float projection1[16];
};
static_assert(sizeof(CascadedSMConstants) == 272, "cascadedSM block is 272 bytes");
static_assert(offsetof(CascadedSMConstants, view0) == 16, "first view at 16");
static_assert(offsetof(CascadedSMConstants, projection0) == 80, "first projection at 80");
static_assert(offsetof(CascadedSMConstants, view1) == 144, "second view at 144");
static_assert(offsetof(CascadedSMConstants, projection1) == 208, "second projection at 208");

// Register b3, 64 bytes: the identity world of draws without an entity.
struct WorldConstants
{
    float world[16];
};
static_assert(sizeof(WorldConstants) == 64, "world block is 64 bytes");

// Fills the per-frame block; the sun looks along the negated third column of its world matrix.
// A zero output size leaves the reciprocals at 0 rather than infinity.
void FillPerFrameConstants(PerFrameConstants& out, float deltaTime, float elapsedTime, uint32_t width,
                           uint32_t height, const mirel::Mat4& sunWorld, const float sunColor[4]);
void FillCascadedSMConstants(CascadedSMConstants& out, const mirel::Mat4& view,
                             const mirel::Mat4& projection);

// The blocks' storage (the constant buffers' data points here) and the ids of the buffers.
PerFrameConstants& FrameConstants();
CascadedSMConstants& ShadowConstants();
int32_t PerFrameBufferId();
int32_t CascadedSMBufferId();
int32_t IdentityWorldBufferId();

// Creates "perFrame", "cascadedSM" and "physicsIdentityWorldConstant" in that order.
void CreateSharedConstantBuffers();

// Fills and uploads the per-frame and shadow blocks at once. Without "sunCamera" this is
// reported and the per-frame block keeps its previous contents; without "shadowCam" the shadow
// block keeps its previous contents.
void UpdateFrameConstants();

// The size fields of the per-frame block follow the renderer's output size and the block is
// uploaded at once; after loading its other fields keep their last values.
void UpdateFrameSize();

// Raises the pending flag only: the rebuild runs where no recording or execution is under way
// and reads the size from the settings then, so no request is lost.
void RequestResize();

// The size the renderer should have now: "render_init.resolutionX/Y" (integer parts, at least 1).
// Stores it in the renderer and returns true when it differs from the renderer's.
bool ApplyResolutionSettings(Renderer& renderer);

} // namespace miRender
