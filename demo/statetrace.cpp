// What automated runs of the whole demo watch that a screenshot cannot show: the demo's
// switches and the controlled camera, printed as trace lines when they change.
#include "statetrace.h"

#include "demostate.h"

#include "frametimer.h"
#include "optionsmenu.h"
#include "input/console.h"
#include "scene/camera.h"

#include "core/utils.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace miCadora
{

namespace
{

constexpr int32_t kUnseen = INT32_MIN;

struct Watched
{
    const char* label;
    int32_t last;
};

Watched g_watched[] = {{"menu shown", kUnseen},
                       {"camera mode", kUnseen},
                       {"statistics", kUnseen},
                       {"graph", kUnseen},
                       {"red bar", kUnseen},
                       {"blade speed", kUnseen},
                       {"variable refresh box", kUnseen},
                       {"sweep", kUnseen},
                       {"target fps", kUnseen},
                       {"debug texture", kUnseen},
                       {"keyboard locked", kUnseen},
                       {"console open", kUnseen}};

char g_lastCamera[64] = "";
float g_lastPose[5] = {};
float g_restClock = 0.0f;
bool g_reported = false;

void Watch(int index, int32_t value)
{
    Watched& w = g_watched[index];
    if (w.last == value) return;
    w.last = value;
    mirel::Trace("%s %d", w.label, static_cast<int>(value));
}

} // namespace

void TraceDemoState()
{
    if (!mirel::TraceEnabled()) return;
    const miGui::OptionsMenu& menu = miGui::Menu();
    const DemoState& s = State();
    const int32_t values[] = {menu.shown ? 1 : 0,
                              s.cameraMode,
                              s.showStats ? 1 : 0,
                              s.snappyVisible ? 1 : 0,
                              s.redbarVisible ? 1 : 0,
                              static_cast<int32_t>(std::lround(s.bladeSpeed)),
                              menu.vrrBox.state,
                              s.sweepSwitch > 0.0f ? 1 : 0,
                              static_cast<int32_t>(std::lround(s.targetFps)),
                              s.debugTextureIndex,
                              miInput::IsKeyboardLocked() ? 1 : 0,
                              miInput::ConsoleOpen() ? 1 : 0};
    for (int i = 0; i < static_cast<int>(sizeof values / sizeof values[0]); ++i)
        Watch(i, values[i]);

    const miSim::CameraEnt* camera = miCamera::ControlledCamera();
    const char* name = camera ? camera->name : "none";
    if (std::strncmp(name, g_lastCamera, sizeof g_lastCamera - 1) != 0)
    {
        std::snprintf(g_lastCamera, sizeof g_lastCamera, "%s", name);
        mirel::Trace("controlled camera %s", name);
    }
    if (!camera) return;
    // A pose is reported once the camera has held it for half a second: one line after each
    // movement, none while an animation moves it every frame.
    const mirel::Vec3& p = camera->transform.position;
    const mirel::Vec3& r = camera->transform.rotation;
    const float pose[5] = {p.x, p.y, p.z, r.x, r.y};
    if (std::memcmp(pose, g_lastPose, sizeof pose) != 0)
    {
        std::memcpy(g_lastPose, pose, sizeof pose);
        g_restClock = 0.0f;
        g_reported = false;
        return;
    }
    g_restClock += mirel::FrameDelta();
    if (g_reported || g_restClock < 0.5f) return;
    g_reported = true;
    mirel::Trace("camera %s at rest at %.2f %.2f %.2f turned %.2f %.2f", name, p.x, p.y, p.z, r.x, r.y);
}

} // namespace miCadora
