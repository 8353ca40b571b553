// The sprite sheet reader, then a menu widget built and drawn from whatever it read: the
// reader must not overrun, and quads must stay inside their batch whatever the sizes are.
#include "core/utils.h"
#include "gui/spritesheet.h"
#include "gui/widgets.h"
#include "support/fuzz_common.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    mirel::SetAssertEcho(false);
    static const std::string root = "/tmp/mirel-fuzz-sheet-" + std::to_string(getpid());
    [[maybe_unused]] static const bool made = std::filesystem::create_directories(root + "/gui");
    static const std::string file = root + "/gui/options.txt";
    FuzzWriteInput(data, size, file.c_str());
    mirel::SetAssetRoot(root.c_str());
    miGui::SpriteSheets().Clear();
    miGui::ClearWidgets();

    miGui::CheckboxWidget box;
    miGui::InitCheckbox(box, 21, 22, size % 2 == 0, 1024, 1024);
    miGui::SliderWidget slider;
    miGui::InitSlider(slider, "options", 0, 1, 0.3f, 1.0f, 0.65f);
    miGui::SpriteSheet* sheet = miGui::SpriteSheets().Find("options");
    if (!sheet) __builtin_trap();
    for (int32_t i = 0; i < sheet->sprites.count; ++i)
        if (!sheet->At(i)) __builtin_trap();
    if (sheet->At(sheet->sprites.count) || sheet->At(-1)) __builtin_trap();

    box.x = box.y = slider.x = slider.y = 0.0f;
    miGui::BuildQuads(box, 1280, 720);
    miGui::BuildQuads(slider, 1280, 720);
    if (box.batch.vertexCount > 6 || slider.batch.vertexCount > 12) __builtin_trap();
    const miInput::MouseEvent e{0.0f, 0.0f, 5.0f, 5.0f, 0.0f, 1, 0, 0}; // left button down at (5, 5)
    miGui::DispatchMouse(1, e);
    miGui::DispatchMouse(0, e);
    if (slider.value != slider.value) __builtin_trap(); // NaN
    miGui::ReleaseWidget(box);
    miGui::ReleaseWidget(slider);
    std::remove(file.c_str());
    return 0;
}
