// The options menu and the load screen drawn by their views on Wine's Direct3D from the shipped
// sheets and images, read back from the swap chain: the check boxes show their checked or
// unchecked sprite where the layout puts them, the panel lies under the rest, and the load
// screen shows its image with the progress bar. The images are kept beside the program.
#include "overlayviews.h"

#include "core/utils.h"
#include "gui_rv.h"
#include "scene/camera.h"
#include "render/device/dx11/dx11Device.h"
#include "support/readback.h"
#include "render/device/dx11/dx11Resources.h"
#include "render/model.h"
#include "render/render.h"
#include "frametimer.h"
#include "mainloop.h"
#include "cadora.h"
#include "cadoracompute.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace miResources;

namespace
{

constexpr uint32_t kWidth = 960, kHeight = 720;

std::vector<uint8_t> ReadBackBuffer(PlatformDevice& d)
{
    return ReadPixels(d.device, d.context, d.backBuffer);
}

struct Rgb
{
    int r, g, b;
};

Rgb At(const std::vector<uint8_t>& px, float x, float y)
{
    const size_t i = (static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4;
    return {px[i], px[i + 1], px[i + 2]};
}

void WritePpm(const std::string& path, const std::vector<uint8_t>& px)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%u %u\n255\n", kWidth, kHeight);
    for (size_t i = 0; i < px.size(); i += 4)
        std::fwrite(&px[i], 1, 3, f);
    std::fclose(f);
}

// The sheet's box colours: amber when checked (with a dark tick in the middle), slate when not.
bool IsAmber(const Rgb& c)
{
    return c.r > 200 && c.g > 150 && c.b < 90;
}
bool IsSlate(const Rgb& c)
{
    return c.r < 70 && c.g < 80 && c.b < 90 && c.b > c.r;
}
bool IsDark(const Rgb& c)
{
    return c.r < 40 && c.g < 40 && c.b < 40;
}

class DeviceView : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        mirel::SetAssertEcho(true);
        mirel::ResetAssertReports();
        dir = mirel::GetExecutableDirectory();
        mirel::SetAssetRoot((dir + "/gui_assets").c_str());

        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MirelGuiTest";
        RegisterClassW(&wc);
        RECT rect{0, 0, static_cast<LONG>(kWidth), static_cast<LONG>(kHeight)};
        AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
        window =
            CreateWindowExW(0, wc.lpszClassName, L"gui", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                            rect.bottom - rect.top, nullptr, nullptr, wc.hInstance, nullptr);
        ShowWindow(window, SW_SHOW);
        InstallDx11Resources();
        RenderSettings s;
        ListUsableAdapters(s);
        s.width = kWidth;
        s.height = kHeight;
        device.Init(window, s);
        ASSERT_NE(device.swapChain, nullptr);
        RenderSettings sized = device.settings;
        sized.width = kWidth;
        sized.height = kHeight;
        device.Resize(sized);
        miCamera::SetOutputSize(static_cast<int32_t>(kWidth), static_cast<int32_t>(kHeight));

        renderer.outputWidth = kWidth;
        renderer.outputHeight = kHeight;
        miRender::SetRenderer(&renderer);
        miRender::CreateSharedConstantBuffers();
        ASSERT_NE(CreateFullscreenQuad(), nullptr);
        ASSERT_GE(CreateSwapChainTarget("swapChain"), 0);
        miCadora::InstallGuiDeviceHooks();
        // The frame constants follow the sun.
        miSim::CameraEnt* sun = miSim::g_cameraManager.Create("sunCamera");
        miSim::SetPerspective(*sun, 0.7855f, 0.1f, 2000.0f, static_cast<int32_t>(kWidth),
                              static_cast<int32_t>(kHeight));
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
    // Records and replays every view once over a black back buffer and reads it back.
    std::vector<uint8_t> Frame(const char* imageName)
    {
        const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        device.context->ClearRenderTargetView(device.backBufferView, black);
        miRender::UpdateFrameConstants();
        renderer.RecordViews();
        renderer.ExecuteViews();
        std::vector<uint8_t> px = ReadBackBuffer(device);
        const char* out = std::getenv("MIREL_TEST_OUTPUT");
        const std::string image = std::string(out && *out ? out : dir.c_str()) + "/" + imageName;
        WritePpm(image, px);
        std::printf("image: %s\n", image.c_str());
        return px;
    }

    std::string dir;
    HWND window = nullptr;
    PlatformDevice device;
    miRender::Renderer renderer;
};

TEST_F(DeviceView, MenuCheckBoxesShowTheirStateWhereTheLayoutPutsThem)
{
    miRender::Gui_RV* view = new miRender::Gui_RV("Gui_RV");
    view->env.refreshHz = 60;
    view->env.vsync = true;
    view->env.record = [] { return static_cast<const miCadora::DetectionRecord*>(nullptr); };
    view->env.setCadoraState = [](bool) {};
    view->env.setCameraMode = [](int32_t) {};
    renderer.AddView(view);
    renderer.InitViews();
    EXPECT_EQ(mirel::AssertReportCount(), 0);

    const std::vector<uint8_t> px = Frame("gui_menu.ppm");
    EXPECT_EQ(view->drawnCount, 5 + 4 + 1 + 3); // fixed widgets, fps 45-60, sweep, camera modes

    ASSERT_EQ(px.size(), static_cast<size_t>(kWidth) * kHeight * 4);

    const miGui::OptionsMenu& m = miGui::Menu();
    // Bare boxes (26 x 26): vertical sync checked, variable refresh and red bar not.
    struct Box
    {
        const char* what;
        const miGui::Widget* w;
        bool checked;
    } boxes[] = {{"vsync", &m.vsyncBox, true},
                 {"variable refresh", &m.vrrBox, false},
                 {"red bar", &m.redbarBox, false}};
    for (const Box& b : boxes)
    {
        const Rgb fill = At(px, b.w->x + 4, b.w->y + 4);
        const Rgb middle = At(px, b.w->x + 13, b.w->y + 13);
        if (b.checked)
        {
            EXPECT_TRUE(IsAmber(fill)) << b.what << " " << fill.r << " " << fill.g << " " << fill.b;
            EXPECT_TRUE(IsDark(middle)) << b.what << " " << middle.r << " " << middle.g << " " << middle.b;
        }
        else
        {
            EXPECT_TRUE(IsSlate(fill)) << b.what << " " << fill.r << " " << fill.g << " " << fill.b;
            EXPECT_TRUE(IsSlate(middle)) << b.what << " " << middle.r << " " << middle.g << " " << middle.b;
        }
    }
    // Labelled boxes: the little box 5 pixels in; 50 fps is the default choice, free the camera mode.
    struct Labelled
    {
        const char* what;
        const miGui::Widget* w;
        bool checked;
    } labelled[] = {{"50 fps", m.fpsBoxes[3], true},
                    {"45 fps", m.fpsBoxes[2], false},
                    {"sweep", m.fpsBoxes[6], false},
                    {"free camera", m.cameraBoxes[2], true},
                    {"orbit camera", m.cameraBoxes[0], false}};
    for (const Labelled& l : labelled)
    {
        const Rgb c = At(px, l.w->x + 7, l.w->y + 7);
        EXPECT_EQ(IsAmber(c), l.checked) << l.what << " " << c.r << " " << c.g << " " << c.b;
        if (!l.checked)
        {
            EXPECT_TRUE(IsSlate(c)) << l.what << " " << c.r << " " << c.g << " " << c.b;
        }
    }
    // The panel under everything; outside it the cleared back buffer.
    const Rgb panel = At(px, 300, 200);
    EXPECT_GE(panel.b, 25) << panel.r << " " << panel.g << " " << panel.b;
    EXPECT_GT(panel.b, panel.r) << panel.r << " " << panel.g << " " << panel.b;
    const Rgb outside = At(px, 700, 400);
    EXPECT_LT(outside.r + outside.g + outside.b, 5) << outside.r << " " << outside.g << " " << outside.b;

    EXPECT_EQ(mirel::g_engineState.overlayGpuTiming.load(), 1);

    // Hidden: nothing is drawn, and the GPU timing is no longer asked for on its behalf.
    miGui::Menu().Toggle();
    renderer.ExecuteViews();
    EXPECT_EQ(view->drawnCount, 0);
    EXPECT_EQ(mirel::g_engineState.overlayGpuTiming.load(), 0);
    EXPECT_EQ(mirel::AssertReportCount(), 0);
}

// The load screen after its fade-in with the scene half built: the image, and the progress bar
// showing through its strip, filled to the middle.
TEST_F(DeviceView, LoadScreenShowsItsImageAndTheProgress)
{
    renderer.AddView(new miRender::LoadScreen_RV("ls"));
    renderer.InitViews();
    miCadora::State().fade = 0.0f;
    miCadora::State().loadStarted = false;
    miCadora::State().loadProgress = 0.5f;
    mirel::g_frameTimer.delta = 1.5f;
    const std::vector<uint8_t> px = Frame("load_screen.ppm");
    ASSERT_EQ(px.size(), static_cast<size_t>(kWidth) * kHeight * 4);
    EXPECT_TRUE(miCadora::State().loadStarted);
    EXPECT_FLOAT_EQ(miCadora::State().fade, 4.0f);

    // The title's first letter (image 1024 x 512 over the whole screen) and the dark around it.
    const Rgb letter = At(px, 306.0f * kWidth / 1024, 192.0f * kHeight / 512);
    const Rgb around = At(px, 200.0f * kWidth / 1024, 192.0f * kHeight / 512);
    EXPECT_GT(letter.r + letter.g + letter.b, 600) << letter.r << " " << letter.g << " " << letter.b;
    EXPECT_LT(around.r + around.g + around.b, 120) << around.r << " " << around.g << " " << around.b;
    const float barY = 0.88f * kHeight;
    const Rgb filled = At(px, 0.3f * kWidth, barY), empty = At(px, 0.7f * kWidth, barY);
    EXPECT_GT(filled.r, 150) << filled.r << " " << filled.g << " " << filled.b;
    EXPECT_LT(filled.g, 60) << filled.r << " " << filled.g << " " << filled.b;
    EXPECT_LT(empty.r, 80) << empty.r << " " << empty.g << " " << empty.b;
    EXPECT_GT(empty.r, 15) << empty.r << " " << empty.g << " " << empty.b;
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
    miCamera::SetOutputSize(static_cast<int32_t>(kWidth), static_cast<int32_t>(kHeight));
    renderer.RebuildSizeDependent();
    miSim::CameraEnt* camera = miSim::FindCamera("snappyOverlay");
    ASSERT_NE(camera, nullptr);
    miSim::UpdateMatrices(*camera);
    auto redCount = [](const std::vector<uint8_t>& px, int x0, int y0, int x1, int y1)
    {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
            {
                const Rgb c = At(px, static_cast<float>(x), static_cast<float>(y));
                if (c.r > 60 && c.g < 20 && c.b < 20) ++n;
            }
        return n;
    };
    const int w = static_cast<int>(kWidth), h = static_cast<int>(kHeight);
    // 30 alternating frames of 55 and 60 fps; the 31st sample is still one short of a full ring.
    for (int frame = 0; frame < 30; ++frame)
    {
        mirel::g_frameTimer.delta = frame % 2 ? 1.0f / 60.0f : 1.0f / 55.0f;
        miRender::UpdateFrameConstants();
        renderer.RecordViews();
        renderer.ExecuteViews();
    }
    mirel::g_frameTimer.delta = 1.0f / 60.0f;
    const std::vector<uint8_t> early = Frame("graph_early.ppm");
    EXPECT_EQ(redCount(early, 0, 0, w, h), 0);
    // The 32nd sample draws; eight more on target make the newest part flat.
    for (int frame = 0; frame < 8; ++frame)
        Frame("graph.ppm");
    const std::vector<uint8_t> px = Frame("graph.ppm");
    // x from 0 to 0.97 and y from 0.7 to 1.0 of the -1..1 square: the right half's top 15 %.
    const int band = redCount(px, w / 2, 0, w, h * 15 / 100 + 1);
    EXPECT_GT(band, w / 4);
    EXPECT_EQ(redCount(px, 0, 0, w / 2 - 1, h), 0);
    EXPECT_EQ(redCount(px, 0, h * 15 / 100 + 2, w, h), 0);
    EXPECT_EQ(mirel::AssertReportCount(), 0);
}

} // namespace
