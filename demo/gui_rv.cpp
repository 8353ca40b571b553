#include "gui_rv.h"

#include "gui/drawbatch.h"

#include "mainloop.h"
#include "scene/camera.h"
#include "render/material.h"

namespace miRender
{

void Gui_RV::Init()
{
    RenderView::Init();
    miSim::CameraEnt* camera = miSim::FindCamera("identityOrtho1");
    if (!camera) camera = miSim::g_cameraManager.Create("identityOrtho1");
    if (camera)
    {
        miSim::SetPerspective(*camera, 0.7855f, 0.01f, 4000.0f, -1, -1);
        camera->transform.position = {0.37f, 1046.4f, 30.9f};
        camera->transform.rotation = {-22.21f, 2.69f, 0.0f};
        camera->transform.dirty = 1;
        miSim::UpdateTransform(camera->transform, false);
        const Renderer* r = GetRenderer();
        const float w = r ? static_cast<float>(r->outputWidth) : 1280.0f;
        const float h = r ? static_cast<float>(r->outputHeight) : 720.0f;
        miSim::SetOrthographic(*camera, w, h);
        miSim::UpdateMatrices(*camera);
    }
    cameraHandle = camera ? camera->handle : -1;
    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetTarget("swapChain", false, false, black, 1.0f);
    miGui::Menu().Build(env);
    miGui::RegisterMenuHotkey();
}

void Gui_RV::Execute()
{
    miGui::OptionsMenu& menu = miGui::Menu();
    menu.UpdateCameraHandOver();
    // While the menu is up its statistics want the GPU frame time.
    mirel::g_engineState.overlayGpuTiming.store(menu.shown ? 1 : 0);
    drawnCount = 0;
    if (menu.shown)
    {
        const Renderer* r = GetRenderer();
        const float w = r ? static_cast<float>(r->outputWidth) : 1280.0f;
        const float h = r ? static_cast<float>(r->outputHeight) : 720.0f;
        miGui::Widget* drawn[miGui::kMaxDrawnWidgets];
        const int32_t n = menu.Layout(w, h, drawn, miGui::kMaxDrawnWidgets);
        UpdateViewConstants();
        pipe.Begin(constantBufferId);
        pipe.SetRenderTargets(static_cast<int32_t>(targetCount), targetIds, clears);
        for (int32_t i = 0; i < n; ++i)
            if (miGui::DrawBatch(drawn[i]->batch, pipe)) ++drawnCount;
        pipe.Execute();
    }
    else
    {
        menu.Layout(0.0f, 0.0f, nullptr, 0); // parks the widgets
    }
    menu.StoreControls();
}

void Gui_RV::Shutdown()
{
    miGui::Menu().Release();
}

} // namespace miRender
