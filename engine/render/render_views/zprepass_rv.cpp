// The depth pre-pass: the main camera's depth into "worldZ", cleared to its far plane.
#include "render/renderer.h"

#include "scene/camera.h"
#include "core/utils.h"

namespace miRender
{

void ZPrepass_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("mainCamera");
    MIREL_ASSERT(camera != nullptr, __LINE__, "Main camera not found");
    cameraHandle = camera ? camera->handle : -1;
    const float far[4] = {camera ? camera->farZ : 0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("worldZ", true, true, far, 1.0f);
    pipe.SetDepthOnly(true);
    pipe.SetUseBiasedRaster(false);
}

} // namespace miRender
