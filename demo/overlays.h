// The overlays' frame logic: the load screen's fades, the red bar's sweep and fade, and the
// frame-time graph's sample ring. The views feed their results to the materials.
#pragma once

#include <cstdint>

namespace miCadora
{

struct LoadScreenFrame
{
    bool fadingIn = false; // "fadeIn" of "loadScreen" takes fadeIn
    float fadeIn = 0.0f;
    bool fadingOut = false; // drawn into "redbar"; "redbarFade" of "atmosphere" takes redbarFade
    float redbarFade = 0.0f;
    float loadBar = 0.0f; // "load_progress" of "loadBar"
};

// One update step of dt seconds, on the demo state's fade. loadStarted turns true when the fade-in
// completes; sceneReady turns true (and stays) when the fade-out ends.
LoadScreenFrame StepLoadScreen(float dt, bool& loadStarted, float loadProgress, bool& sceneReady);

struct RedbarFrame
{
    bool draw = false;    // false while fully faded out
    bool setFade = false; // "redbarFade" of "atmosphere" takes redbarFade this frame
    float redbarFade = 0.0f;
    float barPosition = 0.0f;
};

// On the demo state's fade and barPosition. Slider speed s (clamped to [0, 10]) moves the bar
// s * 0.48 screen widths per second.
RedbarFrame StepRedbar(float dt, bool visible, float speedSlider);

struct LineVertex
{
    float x, y, z, r, g, b, a;
};
static_assert(sizeof(LineVertex) == 28, "line vertices are 28 bytes");

// The one debug-line list of the process: every view that draws lines writes here, and the
// device's "lineDrawBuffer" uploads from here. The statistics view empties it each frame; the
// state's debugLineCount counts its vertices.
constexpr int32_t kDebugLineCapacity = 200;
LineVertex* DebugLines();

// The last 32 frame times, drawn oldest to newest against a band of +-0.5 ms around the target.
class FrameTimeGraph
{
  public:
    static constexpr int32_t kSamples = 32;
    static constexpr int32_t kSegments = kSamples - 1;

    void Reset();
    void Add(float frameMs);
    bool Full() const { return full_; }
    // Sample i in time order, 0 the oldest kept.
    float Sample(int32_t i) const;
    // Writes the segments' vertex pairs (nothing until the ring is full, or for a target rate
    // that is not positive); returns the vertex count.
    int32_t BuildLines(float targetFps, LineVertex* out, int32_t capacity) const;

  private:
    float samples_[kSamples] = {};
    int32_t writeIndex_ = 0; // next slot to write; the oldest sample once full
    bool full_ = false;
};

// Graph height of a frame time: 0.7 (0.5 ms or more too fast) to 1.0 (0.5 ms or more too slow).
float GraphY(float frameMs, float targetFps);

} // namespace miCadora
