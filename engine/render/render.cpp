#include "render/render.h"

#include "mainloop.h"
#include "frametimer.h"
#include "scene/camera.h"
#include "render/device/resources.h"
#include "render/renderer.h"

#include "core/props.h"
#include "core/utils.h"

#include <cmath>
#include <cstring>

namespace miRender
{

namespace
{

PerFrameConstants g_frame = {};
CascadedSMConstants g_shadow = {};
WorldConstants g_identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
int32_t g_perFrameId = -1;
int32_t g_cascadedId = -1;
int32_t g_identityId = -1;

bool ReadFloat4(const char* name, float out[4])
{
    mirel::PropertyType type;
    if (!mirel::PropertyTypeOf(name, &type) || type != mirel::kPropFloat4) return false;
    const float* slot = static_cast<const float*>(mirel::FindProperty(name, false));
    if (!slot) return false;
    std::memcpy(out, slot, 4 * sizeof(float));
    return true;
}
} // namespace

uint32_t SettingToCount(float value, uint32_t fallback, uint32_t maximum)
{
    if (!std::isfinite(value) || value >= mirel::kMissingFloat) return fallback;
    if (value < 1.0f) return 1;
    if (value >= static_cast<float>(maximum)) return maximum;
    return static_cast<uint32_t>(value);
}

RenderInitSettings ReadRenderSettings()
{
    RenderInitSettings s;
    const char* detect = mirel::GetPropertyString("render_init.autoDetect");
    s.autoDetect = detect && std::strncmp(detect, "auto", 16) == 0;
    s.fullscreen = mirel::IsPropertyTrue("render_init.fullscreen");
    s.vsync = mirel::IsPropertyTrue("render_init.vsyncOn");
    s.tripleBuffered = mirel::IsPropertyTrue("render_init.triple_buffered");
    s.msaaSamples = SettingToCount(mirel::GetPropertyFloat("render_init.msaaSamples"), 1, kMaxSamples);
    s.width = SettingToCount(mirel::GetPropertyFloat("render_init.resolutionX"), s.width, kMaxOutputSize);
    s.height = SettingToCount(mirel::GetPropertyFloat("render_init.resolutionY"), s.height, kMaxOutputSize);
    ReadFloat4("render_init.sunColor", s.sunColor);
    float direction[4];
    if (ReadFloat4("render_init.sunDirection", direction))
    {
        s.sunDirection[0] = direction[0];
        s.sunDirection[1] = direction[1];
    }
    return s;
}

void FillPerFrameConstants(PerFrameConstants& out, float deltaTime, float elapsedTime, uint32_t width,
                           uint32_t height, const mirel::Mat4& sunWorld, const float sunColor[4])
{
    out.deltaTime = deltaTime;
    out.elapsedTime = elapsedTime;
    out.two = 2.0f;
    out.three = 3.0f;
    out.outputWidth = static_cast<float>(width);
    out.outputHeight = static_cast<float>(height);
    out.invOutputWidth = width ? 1.0f / static_cast<float>(width) : 0.0f;
    out.invOutputHeight = height ? 1.0f / static_cast<float>(height) : 0.0f;
    // Row-major: the third column is elements 2, 6 and 10.
    out.sunDirection[0] = -sunWorld.m[2];
    out.sunDirection[1] = -sunWorld.m[6];
    out.sunDirection[2] = -sunWorld.m[10];
    out.one = 1.0f;
    std::memcpy(out.sunColor, sunColor, sizeof out.sunColor);
}

void FillCascadedSMConstants(CascadedSMConstants& out, const mirel::Mat4& view, const mirel::Mat4& projection)
{
    std::memset(out.reserved, 0, sizeof out.reserved);
    std::memcpy(out.view0, view.m, sizeof out.view0);
    std::memcpy(out.projection0, projection.m, sizeof out.projection0);
    std::memcpy(out.view1, view.m, sizeof out.view1);
    std::memcpy(out.projection1, projection.m, sizeof out.projection1);
}

PerFrameConstants& FrameConstants()
{
    return g_frame;
}
CascadedSMConstants& ShadowConstants()
{
    return g_shadow;
}
int32_t PerFrameBufferId()
{
    return g_perFrameId;
}
int32_t CascadedSMBufferId()
{
    return g_cascadedId;
}
int32_t IdentityWorldBufferId()
{
    return g_identityId;
}

void CreateSharedConstantBuffers()
{
    DeviceHost& host = GetDeviceHost();
    g_perFrameId =
        host.CreateNewConstantBuffer(miResources::kPerFrameBufferName, miResources::kRegisterPerFrame,
                                     miResources::kPerFrameBytes, &g_frame);
    g_cascadedId =
        host.CreateNewConstantBuffer(miResources::kCascadedSMBufferName, miResources::kRegisterCascadedSM,
                                     miResources::kCascadedSMBytes, &g_shadow);
    g_identityId =
        host.CreateNewConstantBuffer(miResources::kIdentityWorldBufferName, miResources::kRegisterWorld,
                                     miResources::kWorldBytes, &g_identity);
}

void UpdateFrameConstants()
{
    Renderer* renderer = GetRenderer();
    DeviceHost& host = GetDeviceHost();
    const uint32_t width = renderer ? renderer->outputWidth : 0;
    const uint32_t height = renderer ? renderer->outputHeight : 0;
    const miSim::CameraEnt* sun = miSim::FindCamera("sunCamera");
    MIREL_ASSERT(sun != nullptr, __LINE__, "Sun cam not found");
    if (sun)
    {
        static const RenderInitSettings defaults;
        const float* colour = renderer ? renderer->settings.sunColor : defaults.sunColor;
        FillPerFrameConstants(g_frame, mirel::FrameDelta(), mirel::g_frameTimer.elapsed, width, height,
                              sun->transform.world, colour);
        host.UploadConstantBuffer(g_perFrameId, &g_frame, sizeof g_frame);
    }
    // The shadow view makes its camera in its Init(); until then the block stays as it was.
    if (const miSim::CameraEnt* shadow = miSim::FindCamera("shadowCam"))
    {
        FillCascadedSMConstants(g_shadow, shadow->view, shadow->projection);
        host.UploadConstantBuffer(g_cascadedId, &g_shadow, sizeof g_shadow);
    }
}

void UpdateFrameSize()
{
    const Renderer* renderer = GetRenderer();
    if (!renderer) return;
    const uint32_t w = renderer->outputWidth, h = renderer->outputHeight;
    g_frame.outputWidth = static_cast<float>(w);
    g_frame.outputHeight = static_cast<float>(h);
    g_frame.invOutputWidth = w ? 1.0f / static_cast<float>(w) : 0.0f;
    g_frame.invOutputHeight = h ? 1.0f / static_cast<float>(h) : 0.0f;
    GetDeviceHost().UploadConstantBuffer(g_perFrameId, &g_frame, sizeof g_frame);
}

void RequestResize()
{
    if (!GetRenderer()) return;
    mirel::g_resizePending.store(1);
}

bool ApplyResolutionSettings(Renderer& renderer)
{
    const uint32_t width = SettingToCount(mirel::GetPropertyFloat("render_init.resolutionX"),
                                          renderer.outputWidth, kMaxOutputSize);
    const uint32_t height = SettingToCount(mirel::GetPropertyFloat("render_init.resolutionY"),
                                           renderer.outputHeight, kMaxOutputSize);
    if (width == renderer.outputWidth && height == renderer.outputHeight) return false;
    renderer.outputWidth = renderer.settings.width = width;
    renderer.outputHeight = renderer.settings.height = height;
    return true;
}

namespace
{
void (*g_registerMouseHandlers)() = nullptr;
} // namespace

void SetMouseHandlerRegistration(void (*registerHandlers)())
{
    g_registerMouseHandlers = registerHandlers;
}

// ---- start-up

void InitRenderDevice(void* window)
{
    Renderer* renderer = GetRenderer();
    MIREL_ASSERT(renderer != nullptr, __LINE__, "InitRenderDevice: No renderer has been set");
    if (!renderer) return;
    renderer->settings = ReadRenderSettings();
    renderer->outputWidth = renderer->settings.width;
    renderer->outputHeight = renderer->settings.height;
    DeviceHost& host = GetDeviceHost();
    host.CreateDevice(*renderer, window);
    CreateSharedConstantBuffers();
    host.BuildBuiltinModels();
    if (g_registerMouseHandlers) g_registerMouseHandlers();
}

} // namespace miRender
