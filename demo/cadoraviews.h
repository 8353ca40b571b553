// The demo's view list and the seams through which the overlay views join it. The renderer
// owns every view; the overlay and menu views are made by their own modules' factories, which
// the application hands to the renderer before start-up. A slot without a factory stays empty
// and is skipped.
#pragma once

#include <cstdint>

namespace miRender
{

class RenderView;

enum CadoraViewIndex : int32_t
{
    kViewLoadScreen = 0,
    kViewShadow = 1,
    kViewZPrepass = 2,
    kViewOpaque = 3,
    kViewSky = 4,
    kViewAtmosphere = 5,
    kViewRedbar = 6,
    kViewGui = 7,
    kViewDebug = 8,
    kViewSnappy = 9,
    kCadoraViewCount = 10,
};

// Names in list order (the order of recording and execution).
extern const char* const kCadoraViewNames[kCadoraViewCount];

// Factories of the views other modules own; each returns a new view constructed with the name
// of its slot. Defined by those modules (load screen, red bar and frame-time graph: the overlays;
// options menu: the GUI; statistics: the debug view).
RenderView* CreateLoadScreenView();
RenderView* CreateRedbarView();
RenderView* CreateGuiView();
RenderView* CreateDebugView();
RenderView* CreateSnappyView();

using ViewFactory = RenderView* (*)();
// Installs the factory of one of the slots kViewLoadScreen, kViewRedbar .. kViewSnappy; the
// scene slots are the renderer's own and refuse one. Call before the renderer's CreateViews().
bool SetCadoraViewFactory(int32_t index, ViewFactory factory);
ViewFactory CadoraViewFactory(int32_t index);

// The enabled flags for one frame, from the loading progress (0 .. 1.1), the loading-done flag
// and the frame-time graph's switch. Slots 1-5 keep their flags once the scene is ready.
void ApplyViewStates(bool (&enabled)[kCadoraViewCount], float loadProgress, bool sceneReady,
                     bool snappyVisible);

} // namespace miRender
