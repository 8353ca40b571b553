// Menu widgets: a frame, check boxes and sliders, each drawing screen-space quads from one
// sprite sheet and answering the mouse.
#pragma once

#include "gui/spritesheet.h"
#include "input/input.h"

#include <cstdint>

namespace miGui
{

struct SpriteVertex
{
    float x, y, z, u, v;
};
static_assert(sizeof(SpriteVertex) == 20, "sprite vertices are 20 bytes");

constexpr int32_t kVerticesPerQuad = 6;

struct SpriteBatch
{
    int32_t sheetId = -1;
    SpriteVertex* vertices = nullptr;
    int32_t bufferId = -1;
    int32_t vertexCount = 0;
    int32_t quadCapacity = 0;
};

// The sheet is loaded only when none of that name exists, so its first texture size wins.
// A batch initialised again gives up its previous vertices and buffer first. The buffer is the
// device host's vertex buffer for the batch (none without a device).
void InitBatch(SpriteBatch& batch, const char* sheetName, int32_t quads, float texWidth, float texHeight);
void FreeBatch(SpriteBatch& batch);
SpriteSheet* BatchSheet(const SpriteBatch& batch);

class Widget;
using WidgetCallback = void (*)(Widget& widget, const miInput::MouseEvent& event);

// Position before the first layout: far off screen, so nothing hits it.
constexpr float kUnplaced = 3.4028235e38f;

enum class WidgetKind : uint8_t
{
    kFrame,
    kCheckbox,
    kSlider,
};

class Widget
{
  public:
    virtual ~Widget() = default;
    virtual void OnMouseMove(const miInput::MouseEvent&) {}
    virtual void OnMouseButton(const miInput::MouseEvent&) {}
    virtual void OnMouseOther(const miInput::MouseEvent&) {}

    // Window pixels, y downward, edges included.
    bool Contains(float px, float py) const
    {
        return x <= px && px <= x + width && y <= py && py <= y + height;
    }

    float x = kUnplaced;
    float y = -kUnplaced;
    float width = 0.0f;
    float height = 0.0f;
    WidgetCallback callback = nullptr;
    SpriteBatch batch;
    int32_t spriteA = 0;
    int32_t spriteB = 0;
    uint8_t state = 0; // checked (check boxes) or pressed (sliders)
    WidgetKind kind = WidgetKind::kFrame;
};

class FrameWidget : public Widget
{
};

class CheckboxWidget : public Widget
{
  public:
    void OnMouseButton(const miInput::MouseEvent& event) override;
    bool Checked() const { return state != 0; }
};

// Its callback runs after each move of the knob by the mouse.
class SliderWidget : public Widget
{
  public:
    void OnMouseMove(const miInput::MouseEvent& event) override;
    void OnMouseButton(const miInput::MouseEvent& event) override;
    // Moves the knob to the value's place on the track (clamped to the range).
    void SetValue(float v);
    void SetRange(float lo, float hi);

    float min = 0.0f;
    float max = 1.0f;
    float value = 0.0f;
    float range = 1.0f;
    float trackLength = 0.0f;
    float knobOffset = 0.0f;
};

// Every created widget, in creation order; the mouse listeners walk it.
int32_t WidgetCount();
void RegisterWidget(Widget* widget);
// A widget about to be deleted must leave the registry first.
void UnregisterWidget(Widget* widget);
void ClearWidgets();

// Slot kind 0, 1 or 2 of every registered widget, in registry order.
void DispatchMouse(int32_t kind, const miInput::MouseEvent& event);
// Registers the three listeners (mouse kinds 0, 1, 2) with the input system.
void RegisterGuiListeners();

void InitCheckbox(CheckboxWidget& box, int32_t spriteA, int32_t spriteB, bool checked, float texWidth,
                  float texHeight);
void InitSlider(SliderWidget& slider, const char* sheetName, int32_t spriteA, int32_t spriteB, float min,
                float max, float value);
constexpr int32_t kFrameSprite = 23;
void InitFrame(FrameWidget& frame);
// Drops a widget's vertex array, vertex buffer and registry entry.
void ReleaseWidget(Widget& widget);

// Rebuilds the widget's quads for an output of W x H pixels (centred coordinates, y up); a
// quad that does not fit the batch, or whose sprite the sheet lacks, is skipped.
void BuildQuads(Widget& widget, float outW, float outH);

} // namespace miGui
