// Sprite sheets: a PNG texture plus a text file listing the sprites cut out of it.
#pragma once

#include "core/datastructs.h"
#include "core/utils.h"

#include <cstdint>

namespace miGui
{

struct Sprite
{
    float x, y;     // top-left in texture pixels
    float lrx, lry; // kept from the file; drawing does not use them
    float anchorx, anchory;
    float width, height;
    int32_t id;
};
static_assert(sizeof(Sprite) == 36, "sprite records are 36 bytes");

class SpriteSheet : public mirel::ManagedResource
{
  public:
    void OnRelease() override
    {
        sprites.Clear();
        missingReported = false;
    }
    // Null for an index the sheet does not have.
    const Sprite* At(int32_t index) const
    {
        return index >= 0 && index < sprites.count ? &sprites.Data()[index] : nullptr;
    }

    mirel::DTArray<Sprite> sprites{"sprites"};
    int32_t textureId = -1;
    float texWidth = 0.0f;
    float texHeight = 0.0f;
    // One report per broken sheet: its missing file, or the first sprite a widget asked for in vain.
    mutable bool missingReported = false;
};

constexpr int32_t kSpriteSheetPoolSize = 20;
mirel::ObjectManagerPooled<SpriteSheet>& SpriteSheets();

// Reads the records of an open sheet file into sheet (appended in file order). Returns the
// number of records read.
int32_t ReadSpriteRecords(mirel::TextParser& in, SpriteSheet& sheet);

// Finds the sheet by name or creates it from "<asset root>/gui/<name>.txt" and the texture
// "<name>.png". The texture size is the caller's, not the image's.
SpriteSheet* LoadSpriteSheet(const char* name, float texWidth, float texHeight);

} // namespace miGui
