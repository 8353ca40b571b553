// The options menu and the load screen drawn by their views on Wine's Direct3D from the shipped
// sheets and images, read back from the swap chain: the check boxes show their checked or
// unchecked sprite where the layout puts them, the panel lies under the rest, and the load
// screen shows its image with the progress bar.
#include "overlayviews.h"

#include "gui_rv.h"
#include "scene/camera.h"
#include "support/readback.h"
#include "render/model.h"
#include "render/render.h"
#include "frametimer.h"
#include "mainloop.h"
#include "cadora.h"
#include "cadoracompute.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace miResources;

namespace
{

constexpr int kWidth = 960, kHeight = 720;

// The sheet's box colours: amber when checked (with a dark tick in the middle), slate when not.
struct Rgb
{
    int r, g, b;
    bool Amber() const { return r > 200 && g > 150 && b < 90; }
    bool Slate() const { return r < 70 && g < 80 && b < 90 && b > r; }
    bool Dark() const { return r < 40 && g < 40 && b < 40; }
    bool Red() const { return r > 60 && g < 20 && b < 20; }
};

std::ostream& operator<<(std::ostream& o, const Rgb& c)
{
    return o << c.r << " " << c.g << " " << c.b;
}

Rgb At(const std::vector<uint8_t>& px, float x, float y)
{
    const size_t i = (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4;
    return {px[i], px[i + 1], px[i + 2]};
}

class DeviceView : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::ResetAssertReports();
        mirel::SetAssetRoot((std::string(mirel::GetExecutableDirectory()) + "/gui_assets").c_str());
        window = TestWindow(L"MirelGuiTest", kWidth, kHeight);
        OpenDevice(device, window, kWidth, kHeight);
        ASSERT_NE(device.swapChain, nullptr);
        miCamera::SetOutputSize(kWidth, kHeight);
        renderer.outputWidth = kWidth, renderer.outputHeight = kHeight;
        miRender::SetRenderer(&renderer);
        miRender::CreateSharedConstantBuffers();
        ASSERT_NE(CreateFullscreenQuad(), nullptr);
        ASSERT_GE(CreateSwapChainTarget("swapChain"), 0);
        miCadora::InstallGuiDeviceHooks();
        // The frame constants follow the sun.
        miSim::CameraEnt* sun = miSim::g_cameraManager.Create("sunCamera");
        miSim::SetPerspective(*sun, 0.7855f, 0.1f, 2000.0f, kWidth, kHeight);
        miSim::UpdateMatrices(*sun);
    }
    void TearDown() override
    {
        renderer.Shutdown();
        miRender::SetRenderer(nullptr);
        miRender::SetDeviceHost(nullptr);
        ClearDx11Resources();
        // Sheets keep texture ids of the device pools just emptied.
        miGui::SpriteSheets().Clear();
        miSim::g_cameraManager.Clear();
        DestroyWindow(window);
    }
    // Records and replays every view once over a black back buffer, read back.
    std::vector<uint8_t> Frame()
    {
        const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        device.context->ClearRenderTargetView(device.backBufferView, black);
        miRender::UpdateFrameConstants();
        renderer.RecordViews();
        renderer.ExecuteViews();
        std::vector<uint8_t> px = ReadPixels(device.backBuffer);
        px.resize(static_cast<size_t>(kWidth) * kHeight * 4);
        return px;
    }

    HWND window = nullptr;
    PlatformDevice device;
    miRender::Renderer renderer;
};

TEST_F(DeviceView, MenuCheckBoxesShowTheirStateWhereTheLayoutPutsThem)
{
    miRender::Gui_RV* view = new miRender::Gui_RV("Gui_RV");
    view->env.vsync = true;
    view->env.record = [] { return static_cast<const miCadora::DetectionRecord*>(nullptr); };
    view->env.setCadoraState = [](bool) {};
    view->env.setCameraMode = [](int32_t) {};
    renderer.AddView(view);
    renderer.InitViews();
    EXPECT_EQ(mirel::AssertReportCount(), 0);
    const std::vector<uint8_t> px = Frame();
    EXPECT_EQ(view->drawnCount, 5 + 4 + 1 + 3); // fixed widgets, fps 45-60, sweep, camera modes

    // Bare boxes (26 x 26) are probed at their fill and their middle (a dark tick when checked);
    // labelled ones at their little box 5 pixels in. Vertical sync is on, 50 fps the default
    // choice, free the camera mode.
    const miGui::OptionsMenu& m = miGui::Menu();
    const std::tuple<const char*, const miGui::Widget*, bool, bool> boxes[] = {
        {"vsync", &m.vsyncBox, true, true},
        {"variable refresh", &m.vrrBox, false, true},
        {"red bar", &m.redbarBox, false, true},
        {"50 fps", m.fpsBoxes[3], true, false},
        {"45 fps", m.fpsBoxes[2], false, false},
        {"sweep", m.fpsBoxes[6], false, false},
        {"free camera", m.cameraBoxes[2], true, false},
        {"orbit camera", m.cameraBoxes[0], false, false}};
    for (const auto& [what, w, checked, bare] : boxes)
    {
        const Rgb fill = At(px, w->x + (bare ? 4 : 7), w->y + (bare ? 4 : 7));
        EXPECT_EQ(std::make_pair(fill.Amber(), fill.Slate()), std::make_pair(checked, !checked))
            << what << " " << fill;
        const Rgb middle = At(px, w->x + 13, w->y + 13);
        EXPECT_TRUE(!bare || (checked ? middle.Dark() : middle.Slate())) << what << " " << middle;
    }
    // The panel under everything; outside it the cleared back buffer.
    const Rgb panel = At(px, 300, 200), outside = At(px, 700, 400);
    EXPECT_TRUE(panel.b >= 25 && panel.b > panel.r) << panel;
    EXPECT_LT(outside.r + outside.g + outside.b, 5) << outside;
    EXPECT_EQ(mirel::g_engineState.overlayGpuTiming.load(), 1);

    // Hidden (it draws nothing then, tested natively), the GPU timing is no longer asked for on its behalf.
    miGui::Menu().Toggle();
    renderer.ExecuteViews();
    EXPECT_EQ(mirel::g_engineState.overlayGpuTiming.load(), 0);
    EXPECT_EQ(mirel::AssertReportCount(), 0);
}

// The load screen after its fade-in with the scene half built: the image, and the progress bar
// showing through its strip, filled to the middle.
TEST_F(DeviceView, LoadScreenShowsItsImageAndTheProgress)
{
    renderer.AddView(new miRender::LoadScreen_RV("ls"));
    renderer.InitViews();
    miCadora::DemoState& state = miCadora::State();
    state.fade = 0.0f, state.loadStarted = false, state.loadProgress = 0.5f;
    mirel::g_frameTimer.delta = 1.5f;
    const std::vector<uint8_t> px = Frame();

    // The title's first letter (image 1024 x 512 over the whole screen) and the dark around it.
    const Rgb letter = At(px, 306.0f * kWidth / 1024, 192.0f * kHeight / 512),
              around = At(px, 200.0f * kWidth / 1024, 192.0f * kHeight / 512);
    EXPECT_GT(letter.r + letter.g + letter.b, 600) << letter;
    EXPECT_LT(around.r + around.g + around.b, 120) << around;
    const float barY = 0.88f * kHeight;
    const Rgb filled = At(px, 0.3f * kWidth, barY), empty = At(px, 0.7f * kWidth, barY);
    EXPECT_TRUE(filled.r > 150 && filled.g < 60) << filled;
    EXPECT_TRUE(empty.r > 15 && empty.r < 80) << empty;
    EXPECT_EQ(mirel::AssertReportCount(), 0);
}

// The frame-time graph: red lines in the upper right band only once the ring is full, none before.
TEST_F(DeviceView, FrameTimeGraphDrawsInTheUpperRightBand)
{
    miCadora::State().targetFps = 60.0f;
    renderer.AddView(new miRender::SnappyOverlay_RV("Snappy_RV"));
    // Made at one output size, drawn at another after the loop's rebuild; the camera module then
    // rebuilds every projection made for another size, as it does every step.
    miCamera::SetOutputSize(640, 480);
    renderer.InitViews();
    miCamera::SetOutputSize(kWidth, kHeight);
    renderer.RebuildSizeDependent();
    miSim::CameraEnt* camera = miSim::FindCamera("snappyOverlay");
    ASSERT_NE(camera, nullptr);
    miSim::UpdateMatrices(*camera);
    auto redCount = [](const std::vector<uint8_t>& px, int x0, int y0, int x1, int y1)
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += At(px, static_cast<float>(x), static_cast<float>(y)).Red();
        return n;
    };
    const int w = kWidth, h = kHeight;
    // 30 alternating frames of 55 and 60 fps; the 31st sample is still one short of a full ring.
    for (int frame = 0; frame < 30; ++frame)
        mirel::g_frameTimer.delta = frame % 2 ? 1.0f / 60.0f : 1.0f / 55.0f, Frame();
    mirel::g_frameTimer.delta = 1.0f / 60.0f;
    const std::vector<uint8_t> early = Frame();
    EXPECT_EQ(redCount(early, 0, 0, w, h), 0);
    // The 32nd sample draws; eight more on target make the newest part flat.
    for (int frame = 0; frame < 8; ++frame)
        Frame();
    const std::vector<uint8_t> px = Frame();
    // x from 0 to 0.97 and y from 0.7 to 1.0 of the -1..1 square: the right half's top 15 %.
    EXPECT_GT(redCount(px, w / 2, 0, w, h * 15 / 100 + 1), w / 4);
    EXPECT_EQ(redCount(px, 0, 0, w / 2 - 1, h), 0);
    EXPECT_EQ(redCount(px, 0, h * 15 / 100 + 2, w, h), 0);
    EXPECT_EQ(mirel::AssertReportCount(), 0);
}

} // namespace
