// The demo renderer on Wine's Direct3D: the scene (ground, windmill, sky box) rendered through the
// shadow, depth, opaque, sky and final passes at 640 x 360, read back from the swap chain and
// probed: sky above, grass below, the windmill in the middle, and its shadow on the ground darker
// than the sunlit ground on its other side. The image is kept as scene_render.ppm.
#include "cadorarenderer.h"

#include "scene/siment.h"
#include "core/utils.h"
#include "mainloop.h"
#include "scene/camera.h"
#include "render/device/dx11/dx11Device.h"
#include "support/readback.h"
#include "render/device/dx11/dx11Resources.h"
#include "render/render.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace miResources;

namespace
{

constexpr uint32_t kWidth = 640, kHeight = 360;

struct Rgb
{
    double r, g, b;
    double Luma() const { return 0.3 * r + 0.59 * g + 0.11 * b; }
};

std::vector<uint8_t> ReadBackBuffer(PlatformDevice& d)
{
    return ReadPixels(d.device, d.context, d.backBuffer);
}

// Mean colour of a 5 x 5 patch around (x, y).
Rgb Patch(const std::vector<uint8_t>& px, int x, int y)
{
    Rgb sum{0, 0, 0};
    int n = 0;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
        {
            const int sx = x + dx, sy = y + dy;
            if (sx < 0 || sy < 0 || sx >= static_cast<int>(kWidth) || sy >= static_cast<int>(kHeight))
                continue;
            const uint8_t* p = &px[(static_cast<size_t>(sy) * kWidth + sx) * 4];
            sum.r += p[0], sum.g += p[1], sum.b += p[2];
            ++n;
        }
    return n ? Rgb{sum.r / n, sum.g / n, sum.b / n} : sum;
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

// Screen position of a world point through a camera.
bool Project(const miSim::CameraEnt& cam, const mirel::Vec3& p, int& x, int& y)
{
    const mirel::Mat4 vp = cam.projection * cam.view;
    float c[4];
    for (int r = 0; r < 4; ++r)
        c[r] = vp.At(r, 0) * p.x + vp.At(r, 1) * p.y + vp.At(r, 2) * p.z + vp.At(r, 3);
    if (c[3] <= 0.0f) return false;
    x = static_cast<int>((c[0] / c[3] * 0.5f + 0.5f) * kWidth);
    y = static_cast<int>((0.5f - c[1] / c[3] * 0.5f) * kHeight);
    return x >= 0 && y >= 0 && x < static_cast<int>(kWidth) && y < static_cast<int>(kHeight);
}

miSim::CameraEnt* MakeCamera(const char* name, const mirel::Vec3& position, const mirel::Vec3& rotation)
{
    miSim::CameraEnt* cam = miSim::g_cameraManager.Create(name);
    miSim::SetPerspective(*cam, 0.7855f, 0.1f, 2000.0f, static_cast<int32_t>(kWidth),
                          static_cast<int32_t>(kHeight));
    cam->transform.position = position;
    cam->transform.rotation = rotation;
    cam->transform.dirty = 1;
    miSim::UpdateMatrices(*cam);
    return cam;
}

TEST(SceneRender, SkyGroundWindmillAndItsShadow)
{
    mirel::SetAssertEcho(true);
    mirel::ResetAssertReports();
    const std::string dir = mirel::GetExecutableDirectory();
    mirel::SetAssetRoot((dir + "/scene_assets").c_str());

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MirelSceneTest";
    RegisterClassW(&wc);
    RECT rect{0, 0, static_cast<LONG>(kWidth), static_cast<LONG>(kHeight)};
    AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window =
        CreateWindowExW(0, wc.lpszClassName, L"scene", WS_OVERLAPPEDWINDOW, 0, 0, rect.right - rect.left,
                        rect.bottom - rect.top, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    InstallDx11Resources();
    RenderSettings s;
    ListUsableAdapters(s);
    s.width = kWidth;
    s.height = kHeight;
    PlatformDevice device;
    device.Init(window, s);
    ASSERT_NE(device.swapChain, nullptr);
    // The mode choice may pick the desktop's size; the test's size is set explicitly.
    RenderSettings sized = device.settings;
    sized.width = kWidth;
    sized.height = kHeight;
    device.Resize(sized);
    miCamera::SetOutputSize(static_cast<int32_t>(kWidth), static_cast<int32_t>(kHeight));

    miRender::CadoraRenderer renderer;
    miRender::SetRenderer(&renderer);
    renderer.outputWidth = kWidth;
    renderer.outputHeight = kHeight;
    const float built = 1.1f;
    renderer.loadProgress = &built;
    mirel::g_engineState.loadingDone.store(1);
    miRender::CreateSharedConstantBuffers();
    ASSERT_NE(CreateFullscreenQuad(), nullptr);

    // The sun shines toward -x and down at 45 degrees; the camera looks at the windmill from +z.
    MakeCamera("sunCamera", {0, 0, 0}, {-45.0f, 90.0f, 0.0f});
    miSim::CameraEnt* cam = MakeCamera("mainCamera", {0.0f, 1030.0f, 80.0f}, {-10.6f, 0.0f, 0.0f});

    renderer.CreateRenderTargets();
    renderer.Init(&device, &renderer);
    renderer.CreateViews();
    renderer.InitViews();
    miSim::BuildDynamicEnt("ground", "ground", {0.0f, 1000.0f, 0.0f}, {0, 0, 0});
    miSim::FindDynamicEnt("ground")->flags &= ~static_cast<uint32_t>(miSim::kEntityCastsShadow);
    miSim::BuildDynamicEnt("windmill_base0", "windmill_base", {0.0f, 1000.0f, 0.0f}, {0, 0, 0});
    miSim::BuildDynamicEnt("windmill_blade0", "windmill_blades", {3.8f, 1050.84f, 0.0f}, {0, 0, 0});
    EXPECT_EQ(mirel::AssertReportCount(), 0);

    for (int frame = 0; frame < 3; ++frame)
    {
        for (int32_t i = 0; i < miSim::g_cameraManager.Count(); ++i)
            miSim::UpdateMatrices(*miSim::g_cameraManager.AtIndex(i));
        renderer.RecordViews();
        miRender::UpdateFrameConstants();
        renderer.ExecuteViews();
    }
    const std::vector<uint8_t> px = ReadBackBuffer(device);
    ASSERT_EQ(px.size(), static_cast<size_t>(kWidth) * kHeight * 4);
    const char* out = std::getenv("MIREL_TEST_OUTPUT");
    const std::string image = std::string(out && *out ? out : dir.c_str()) + "/scene_render.ppm";
    WritePpm(image, px);
    std::printf("scene image: %s\n", image.c_str());

    // Off the centre line, where the windmill's cap reaches the top edge.
    const Rgb sky = Patch(px, kWidth / 8, 8);
    const Rgb grass = Patch(px, kWidth / 2, kHeight - 8);
    EXPECT_GT(sky.b, sky.r + 30) << "sky " << sky.r << " " << sky.g << " " << sky.b;
    EXPECT_GT(grass.g, grass.r) << "ground " << grass.r << " " << grass.g << " " << grass.b;
    EXPECT_GT(grass.g, grass.b + 15) << "ground " << grass.r << " " << grass.g << " " << grass.b;

    int x = 0, y = 0;
    ASSERT_TRUE(Project(*cam, {0.0f, 1012.0f, 2.0f}, x, y));
    const Rgb tower = Patch(px, x, y);
    // The body is a warm grey: neither grass-green nor sky-blue, and not the final pass's green clear.
    EXPECT_GE(tower.r + 10, tower.g) << "windmill " << tower.r << " " << tower.g << " " << tower.b;
    EXPECT_LT(tower.b, tower.r + 15) << "windmill " << tower.r << " " << tower.g << " " << tower.b;

    // The tower's shadow falls 10 units to its -x side; the same distance on the sun side is lit.
    int sx = 0, sy = 0, lx = 0, ly = 0;
    ASSERT_TRUE(Project(*cam, {-10.0f, 1000.0f, 0.0f}, sx, sy));
    ASSERT_TRUE(Project(*cam, {10.0f, 1000.0f, 0.0f}, lx, ly));
    const Rgb shade = Patch(px, sx, sy), lit = Patch(px, lx, ly);
    std::printf(
        "probes: sky %.0f %.0f %.0f, ground %.0f %.0f %.0f, windmill %.0f %.0f %.0f, shadow %.0f, lit %.0f\n",
        sky.r, sky.g, sky.b, grass.r, grass.g, grass.b, tower.r, tower.g, tower.b, shade.Luma(), lit.Luma());
    EXPECT_LT(shade.Luma(), 0.75 * lit.Luma());
    EXPECT_GT(shade.g, shade.b) << "the shadowed region is still grass";
    EXPECT_EQ(mirel::AssertReportCount(), 0);

    renderer.Shutdown();
    miRender::SetRenderer(nullptr);
    miSim::ClearScenePools();
    miRender::SetDeviceHost(nullptr);
    ClearDx11Resources();
    DestroyWindow(window);
}

} // namespace
