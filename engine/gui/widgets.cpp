#include "gui/widgets.h"

#include "render/device/devicehost.h"

#include <algorithm>
#include <cstring>

namespace miGui
{

namespace
{

mirel::MiArray<Widget*>& Registry()
{
    static mirel::MiArray<Widget*> registry(16, true);
    return registry;
}

float Clamp(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

const Sprite* SpriteOf(const Widget& w, int32_t index)
{
    const SpriteSheet* sheet = BatchSheet(w.batch);
    return sheet ? sheet->At(index) : nullptr;
}

// Size from the widget's main sprite; a sheet without it leaves the widget empty (and unhittable).
void TakeSize(Widget& w, int32_t index)
{
    const Sprite* s = SpriteOf(w, index);
    const SpriteSheet* sheet = BatchSheet(w.batch);
    if (!s && !(sheet && sheet->missingReported))
    {
        MIREL_ASSERT(false, __LINE__, "Sprite not found: %d", index);
        if (sheet) sheet->missingReported = true;
    }
    w.width = s ? s->width : 0.0f;
    w.height = s ? s->height : 0.0f;
}

void AppendQuad(SpriteBatch& batch, const SpriteSheet& sheet, const Sprite& s, float left, float top)
{
    if (!batch.vertices || batch.vertexCount + kVerticesPerQuad > batch.quadCapacity * kVerticesPerQuad)
        return;
    const float right = left + s.width;
    const float bottom = top - s.height;
    const float tw = sheet.texWidth > 0.0f ? sheet.texWidth : 1.0f;
    const float th = sheet.texHeight > 0.0f ? sheet.texHeight : 1.0f;
    const float u0 = s.x / tw, u1 = (s.x + s.width) / tw;
    const float v0 = s.y / th, v1 = (s.y + s.height) / th;
    SpriteVertex* v = batch.vertices + batch.vertexCount;
    v[0] = {left, top, 0.0f, u0, v0};
    v[1] = {right, top, 0.0f, u1, v0};
    v[2] = {left, bottom, 0.0f, u0, v1};
    v[3] = {right, top, 0.0f, u1, v0};
    v[4] = {right, bottom, 0.0f, u1, v1};
    v[5] = {left, bottom, 0.0f, u0, v1};
    batch.vertexCount += kVerticesPerQuad;
}

} // namespace

void InitBatch(SpriteBatch& batch, const char* sheetName, int32_t quads, float texWidth, float texHeight)
{
    SpriteSheet* sheet = SpriteSheets().Find(sheetName);
    if (!sheet) sheet = LoadSpriteSheet(sheetName, texWidth, texHeight);
    FreeBatch(batch);
    batch.sheetId = sheet ? sheet->handle : -1;
    batch.quadCapacity = quads > 0 ? quads : 0;
    batch.vertices = batch.quadCapacity > 0
                         ? new SpriteVertex[static_cast<size_t>(batch.quadCapacity) * kVerticesPerQuad]()
                         : nullptr;
    batch.vertexCount = 0;
    batch.bufferId = miRender::GetDeviceHost().CreateVertexBuffer(batch.quadCapacity * kVerticesPerQuad,
                                                                  sizeof(SpriteVertex));
}

void FreeBatch(SpriteBatch& batch)
{
    if (batch.bufferId >= 0) miRender::GetDeviceHost().ReleaseVertexBuffer(batch.bufferId);
    batch.bufferId = -1;
    delete[] batch.vertices;
    batch.vertices = nullptr;
    batch.vertexCount = 0;
    batch.quadCapacity = 0;
}

SpriteSheet* BatchSheet(const SpriteBatch& batch)
{
    return SpriteSheets().FromHandle(batch.sheetId);
}

void CheckboxWidget::OnMouseButton(const miInput::MouseEvent& event)
{
    if (event.leftDown != 0 || !Contains(event.x, event.y)) return;
    state = state ? 0 : 1;
    if (callback) callback(*this, event);
}

void SliderWidget::OnMouseButton(const miInput::MouseEvent& event)
{
    if (!Contains(event.x, event.y)) return;
    state = event.leftDown != 0 ? 1 : 0;
}

void SliderWidget::OnMouseMove(const miInput::MouseEvent& event)
{
    if (!state || !Contains(event.x, event.y)) return;
    knobOffset = Clamp(event.x - x - 5.0f, 0.0f, trackLength);
    // A track too short to move on keeps the value at the lower end instead of 0/0.
    const float t = trackLength > 0.0f ? Clamp(knobOffset / trackLength, 0.0f, 1.0f) : 0.0f;
    value = t * range + min;
    if (callback) callback(*this, event);
}

void SliderWidget::SetValue(float v)
{
    const float t = range != 0.0f ? Clamp((v - min) / range, 0.0f, 1.0f) : 0.0f;
    value = t * range + min;
    knobOffset = t * trackLength;
}

void SliderWidget::SetRange(float lo, float hi)
{
    min = lo;
    max = hi;
    range = hi - lo;
    SetValue(value);
}

int32_t WidgetCount()
{
    return Registry().count;
}

void RegisterWidget(Widget* widget)
{
    if (!widget) return;
    for (int32_t i = 0; i < Registry().count; ++i)
        if (Registry().data[i] == widget) return;
    Registry().Push(widget);
}

void UnregisterWidget(Widget* widget)
{
    auto& r = Registry();
    int32_t out = 0;
    for (int32_t i = 0; i < r.count; ++i)
        if (r.data[i] != widget) r.data[out++] = r.data[i];
    r.count = out;
}

void ClearWidgets()
{
    Registry().Clear();
}

void DispatchMouse(int32_t kind, const miInput::MouseEvent& event)
{
    auto& r = Registry();
    // A callback may create or drop widgets; walk by index against the live count.
    for (int32_t i = 0; i < r.count; ++i)
    {
        Widget* w = r.data[i];
        if (kind == 0)
            w->OnMouseMove(event);
        else if (kind == 1)
            w->OnMouseButton(event);
        else if (kind == 2)
            w->OnMouseOther(event);
    }
}

void RegisterGuiListeners()
{
    miInput::RegisterMouseListener(0, [](const miInput::MouseEvent& e) { DispatchMouse(0, e); });
    miInput::RegisterMouseListener(1, [](const miInput::MouseEvent& e) { DispatchMouse(1, e); });
    miInput::RegisterMouseListener(2, [](const miInput::MouseEvent& e) { DispatchMouse(2, e); });
}

void InitCheckbox(CheckboxWidget& box, int32_t spriteA, int32_t spriteB, bool checked, float texWidth,
                  float texHeight)
{
    RegisterWidget(&box);
    box.kind = WidgetKind::kCheckbox;
    box.callback = nullptr;
    box.spriteA = spriteA;
    box.spriteB = spriteB;
    box.state = checked ? 1 : 0;
    InitBatch(box.batch, "options", 1, texWidth, texHeight);
    box.x = kUnplaced;
    box.y = -kUnplaced;
    TakeSize(box, checked ? spriteB : spriteA);
}

void InitSlider(SliderWidget& slider, const char* sheetName, int32_t spriteA, int32_t spriteB, float min,
                float max, float value)
{
    RegisterWidget(&slider);
    slider.kind = WidgetKind::kSlider;
    slider.callback = nullptr;
    slider.state = 0;
    slider.spriteA = spriteA;
    slider.spriteB = spriteB;
    slider.min = min;
    slider.max = max;
    slider.range = max - min;
    slider.value = value;
    InitBatch(slider.batch, sheetName, 2, 256.0f, 256.0f);
    slider.x = kUnplaced;
    slider.y = -kUnplaced;
    TakeSize(slider, spriteA);
    slider.trackLength = Clamp(slider.width - 20.0f, 0.0f, kUnplaced);
    const float t = slider.range != 0.0f ? Clamp((value - min) / slider.range, 0.0f, 1.0f) : 0.0f;
    slider.knobOffset = t * slider.trackLength;
}

void InitFrame(FrameWidget& frame)
{
    RegisterWidget(&frame);
    frame.kind = WidgetKind::kFrame;
    frame.callback = nullptr;
    frame.spriteA = frame.spriteB = kFrameSprite;
    InitBatch(frame.batch, "options", 1, 1024.0f, 1024.0f);
    frame.x = kUnplaced;
    frame.y = -kUnplaced;
    TakeSize(frame, kFrameSprite);
}

void ReleaseWidget(Widget& widget)
{
    FreeBatch(widget.batch);
    UnregisterWidget(&widget);
}

void BuildQuads(Widget& w, float outW, float outH)
{
    w.batch.vertexCount = 0;
    const SpriteSheet* sheet = BatchSheet(w.batch);
    if (!sheet) return;
    const int32_t main = w.kind == WidgetKind::kCheckbox && w.state ? w.spriteB : w.spriteA;
    const Sprite* s = sheet->At(main);
    if (!s) return;
    const float left = w.x - outW * 0.5f + s->anchorx;
    const float top = outH * 0.5f - w.y - s->anchory;
    AppendQuad(w.batch, *sheet, *s, left, top);
    if (w.kind != WidgetKind::kSlider) return;
    const SliderWidget& slider = static_cast<const SliderWidget&>(w);
    const Sprite* knob = sheet->At(w.spriteB);
    if (!knob) return;
    const float kx = w.x + slider.knobOffset + 10.0f - knob->width * 0.5f;
    const float ky = w.y - (knob->height * 0.5f - 12.0f);
    AppendQuad(w.batch, *sheet, *knob, kx - outW * 0.5f + knob->anchorx, outH * 0.5f - ky - knob->anchory);
}

} // namespace miGui
