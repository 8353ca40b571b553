// The demo renderer on Wine's Direct3D: the scene (ground, windmill, sky box) rendered through the
// shadow, depth, opaque, sky and final passes at 640 x 360, read back from the swap chain and
// probed: sky above, grass below, the windmill in the middle, and its shadow on the ground darker
// than the sunlit ground on its other side.
#include "cadorarenderer.h"

#include "scene/siment.h"
#include "mainloop.h"
#include "scene/camera.h"
#include "support/readback.h"
#include "render/render.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace miResources;

namespace
{

constexpr int kWidth = 640, kHeight = 360;

struct Rgb
{
    double r, g, b;
    double Luma() const { return 0.3 * r + 0.59 * g + 0.11 * b; }
};

std::ostream& operator<<(std::ostream& o, const Rgb& c)
{
    return o << c.r << " " << c.g << " " << c.b;
}

// Mean colour of a 5 x 5 patch around (x, y), the edge repeated beyond the image.
Rgb Patch(const std::vector<uint8_t>& px, int x, int y)
{
    Rgb sum{0, 0, 0};
    for (int sy = y - 2; sy <= y + 2; ++sy)
        for (int sx = x - 2; sx <= x + 2; ++sx)
        {
            const uint8_t* p =
                &px[(std::clamp(sy, 0, kHeight - 1) * kWidth + std::clamp(sx, 0, kWidth - 1)) * 4];
            sum.r += p[0] / 25.0, sum.g += p[1] / 25.0, sum.b += p[2] / 25.0;
        }
    return sum;
}

// The patch around a world point's place on the screen through a camera.
Rgb Probe(const std::vector<uint8_t>& px, const miSim::CameraEnt& cam, const mirel::Vec3& p)
{
    const mirel::Mat4 vp = cam.projection * cam.view;
    float c[4];
    for (int r = 0; r < 4; ++r)
        c[r] = vp.At(r, 0) * p.x + vp.At(r, 1) * p.y + vp.At(r, 2) * p.z + vp.At(r, 3);
    const int x = static_cast<int>((c[0] / c[3] * 0.5f + 0.5f) * kWidth);
    const int y = static_cast<int>((0.5f - c[1] / c[3] * 0.5f) * kHeight);
    EXPECT_TRUE(c[3] > 0.0f && x >= 0 && y >= 0 && x < kWidth && y < kHeight) << "off screen";
    return Patch(px, x, y);
}

miSim::CameraEnt* MakeCamera(const char* name, const mirel::Vec3& position, const mirel::Vec3& rotation)
{
    miSim::CameraEnt* cam = miSim::g_cameraManager.Create(name);
    miSim::SetPerspective(*cam, 0.7855f, 0.1f, 2000.0f, kWidth, kHeight);
    cam->transform.position = position;
    cam->transform.rotation = rotation;
    cam->transform.dirty = 1;
    miSim::UpdateMatrices(*cam);
    return cam;
}

TEST(SceneRender, SkyGroundWindmillAndItsShadow)
{
    mirel::ResetAssertReports();
    mirel::SetAssetRoot((std::string(mirel::GetExecutableDirectory()) + "/scene_assets").c_str());
    HWND window = TestWindow(L"MirelSceneTest", kWidth, kHeight);
    PlatformDevice device;
    OpenDevice(device, window, kWidth, kHeight);
    ASSERT_NE(device.swapChain, nullptr);
    miCamera::SetOutputSize(kWidth, kHeight);

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
    const std::vector<uint8_t> px = ReadPixels(device.backBuffer);
    ASSERT_EQ(px.size(), static_cast<size_t>(kWidth) * kHeight * 4);

    // Off the centre line, where the windmill's cap reaches the top edge.
    const Rgb sky = Patch(px, kWidth / 8, 8), grass = Patch(px, kWidth / 2, kHeight - 8);
    EXPECT_GT(sky.b, sky.r + 30) << "sky " << sky;
    EXPECT_TRUE(grass.g > grass.r && grass.g > grass.b + 15) << "ground " << grass;
    // The body is a warm grey: neither grass-green nor sky-blue, and not the final pass's green clear.
    const Rgb tower = Probe(px, *cam, {0.0f, 1012.0f, 2.0f});
    EXPECT_TRUE(tower.r + 10 >= tower.g && tower.b < tower.r + 15) << "windmill " << tower;
    // The tower's shadow falls 10 units to its -x side; the same distance on the sun side is lit.
    const Rgb shade = Probe(px, *cam, {-10.0f, 1000.0f, 0.0f}), lit = Probe(px, *cam, {10.0f, 1000.0f, 0.0f});
    EXPECT_LT(shade.Luma(), 0.75 * lit.Luma()) << "shadow " << shade << ", lit " << lit;
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
