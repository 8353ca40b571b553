#include "gui/spritesheet.h"

#include "render/device/devicehost.h"

#include <cstdlib>
#include <cstring>

namespace miGui
{

namespace
{
// key=value with exactly one '='; false for any other token.
bool SplitKeyValue(const char* token, char* key, int keySize, const char** value)
{
    const char* eq = std::strchr(token, '=');
    if (!eq || std::strchr(eq + 1, '=')) return false;
    const int len = static_cast<int>(eq - token);
    if (len >= keySize) return false;
    std::memcpy(key, token, static_cast<size_t>(len));
    key[len] = '\0';
    *value = eq + 1;
    return true;
}

} // namespace

mirel::ObjectManagerPooled<SpriteSheet>& SpriteSheets()
{
    static mirel::ObjectManagerPooled<SpriteSheet> pool(kSpriteSheetPoolSize);
    return pool;
}

int32_t ReadSpriteRecords(mirel::TextParser& in, SpriteSheet& sheet)
{
    if (!in.ReadLine()) return 0;
    long n = 0;
    char key[64];
    const char* value = nullptr;
    for (int t = 0; t < in.tokenCount; ++t)
        if (SplitKeyValue(in.Token(t), key, sizeof key, &value) && std::strcmp(key, "numSprites") == 0)
            n = std::strtol(value, nullptr, 10);
    int32_t read = 0;
    // A count larger than the file stops at its end rather than inventing records.
    for (long i = 0; i < n && in.ReadLine(); ++i)
    {
        Sprite s = {};
        for (int t = 0; t < in.tokenCount; ++t)
        {
            if (!SplitKeyValue(in.Token(t), key, sizeof key, &value)) continue;
            const float f = std::strtof(value, nullptr);
            if (std::strcmp(key, "id") == 0)
                s.id = static_cast<int32_t>(std::strtol(value, nullptr, 10));
            else if (std::strcmp(key, "x") == 0)
                s.x = f;
            else if (std::strcmp(key, "y") == 0)
                s.y = f;
            else if (std::strcmp(key, "lrx") == 0)
                s.lrx = f;
            else if (std::strcmp(key, "lry") == 0)
                s.lry = f;
            else if (std::strcmp(key, "width") == 0)
                s.width = f;
            else if (std::strcmp(key, "height") == 0)
                s.height = f;
            else if (std::strcmp(key, "anchorx") == 0)
                s.anchorx = f;
            else if (std::strcmp(key, "anchory") == 0)
                s.anchory = f;
        }
        if (sheet.sprites.Append(s) < 0) break;
        ++read;
    }
    return read;
}

SpriteSheet* LoadSpriteSheet(const char* name, float texWidth, float texHeight)
{
    if (SpriteSheet* existing = SpriteSheets().Find(name)) return existing;
    SpriteSheet* sheet = SpriteSheets().Create(name);
    if (!sheet) return nullptr;
    sheet->sprites.Clear();
    sheet->texWidth = texWidth;
    sheet->texHeight = texHeight;
    sheet->textureId = -1;

    char path[512];
    std::snprintf(path, sizeof path, "%s/%s/%s.%s", mirel::GetAssetRoot(), "gui", name, "txt");
    mirel::TextParser in(16, path);
    MIREL_ASSERT(in.IsOpen(), 91, "Menu file not found: %s", path);
    if (in.IsOpen()) ReadSpriteRecords(in, *sheet);
    sheet->missingReported = !in.IsOpen();

    char file[128];
    std::snprintf(file, sizeof file, "%s.png", name);
    sheet->textureId = miRender::GetDeviceHost().LoadTextureFile(file);
    return sheet;
}

} // namespace miGui
