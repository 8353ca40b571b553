#include "core/props.h"
#include "core/datastructs.h"
#include "core/utils.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace mirel
{

bool g_debugHotkeysEnabled = false;

namespace
{

struct Slot
{
    unsigned char bytes[16];
};
struct SlotName
{
    char text[64];
};
struct Entry
{
    int32_t slot = -1;
    PropertyType type = kPropFloat;
};
struct Group
{
    std::unordered_map<std::string, Entry> entries;
    DTArray<Slot> slots;
    DTArray<SlotName> names;
};

std::unordered_map<std::string, Group>& Store()
{
    static std::unordered_map<std::string, Group> store;
    return store;
}

// Cuts at every '.', dropping empty pieces; valid names have exactly two.
bool SplitName(const char* name, std::string& group, std::string& variable)
{
    if (!name) return false;
    std::string pieces[3];
    int count = 0;
    const char* p = name;
    while (*p)
    {
        while (*p == '.')
            ++p;
        if (!*p) break;
        const char* start = p;
        while (*p && *p != '.')
            ++p;
        if (count == 3) return false;
        pieces[count++].assign(start, static_cast<size_t>(p - start));
    }
    if (count != 2) return false;
    group = std::move(pieces[0]);
    variable = std::move(pieces[1]);
    return true;
}

SlotName MakeSlotName(const std::string& base, const char* suffix)
{
    SlotName n{};
    std::snprintf(n.text, sizeof n.text, "%s%s", base.c_str(), suffix);
    return n;
}

const Entry* FindEntry(const char* name, Group** groupOut)
{
    std::string group, variable;
    if (!SplitName(name, group, variable)) return nullptr;
    auto g = Store().find(group);
    if (g == Store().end()) return nullptr;
    auto e = g->second.entries.find(variable);
    if (e == g->second.entries.end() || e->second.slot < 0) return nullptr;
    if (groupOut) *groupOut = &g->second;
    return &e->second;
}

bool IsPlainNumber(const char* text)
{
    if (!*text) return false;
    for (const char* p = text; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || *p == '.')) return false;
    return true;
}

// A number of any sign, as a whole token (for text written to an existing float).
bool ParseWholeFloat(const char* text, float* out)
{
    char* end = nullptr;
    float v = std::strtof(text, &end);
    if (end == text || *end != '\0') return false;
    *out = v;
    return true;
}

// The text between the first opener and the next closer (or the end), at most 256 characters.
std::string Between(const char* text, char open, char close)
{
    const char* start = std::strchr(text, open);
    if (!start) return std::string();
    ++start;
    const char* end = std::strchr(start, close);
    size_t n = end ? static_cast<size_t>(end - start) : std::strlen(start);
    if (n > 256) n = 256;
    return std::string(start, n);
}

void StoreConfigText(const std::string& name, const char* text)
{
    PropertyType type;
    if (PropertyTypeOf(name.c_str(), &type) && type != kPropString)
    {
        // A negative or signed number given for an existing float still means a number;
        // anything else would turn the slot's bytes into garbage, so it is left alone.
        float v;
        if (type == kPropFloat && ParseWholeFloat(text, &v)) SetPropertyFloat(name.c_str(), v);
        return;
    }
    SetPropertyString(name.c_str(), text);
}

void StoreConfigNumber(const std::string& name, const char* token)
{
    float v = static_cast<float>(std::atof(token));
    PropertyType type;
    if (PropertyTypeOf(name.c_str(), &type) && type != kPropFloat)
    {
        if (type == kPropString)
            SetPropertyString(name.c_str(), token);
        else if (float* f = static_cast<float*>(FindProperty(name.c_str(), true)))
            f[0] = v;
        return;
    }
    SetPropertyFloat(name.c_str(), v);
}
} // namespace

void RegisterProperty(const char* name, PropertyType type)
{
    std::string group, variable;
    if (!SplitName(name, group, variable))
    {
        MIREL_ASSERT(false, 111, "Parse error");
        return;
    }
    Group& g = Store()[group];
    if (g.entries.count(variable)) return;
    Entry e;
    e.slot = g.slots.count;
    e.type = type;
    g.entries.emplace(variable, e);
    const int slots = type == kPropMatrix ? 4 : 1;
    static const char* const kSuffix[4] = {"", "_1", "_2", "_3"};
    for (int i = 0; i < slots; ++i)
    {
        g.slots.Append(Slot{});
        g.names.Append(MakeSlotName(variable, kSuffix[i]));
    }
}

void* FindProperty(const char* name, bool /*forWrite*/)
{
    Group* g = nullptr;
    const Entry* e = FindEntry(name, &g);
    if (!e) return nullptr;
    return &g->slots.ElemAt(e->slot);
}

bool PropertyTypeOf(const char* name, PropertyType* type)
{
    const Entry* e = FindEntry(name, nullptr);
    if (!e) return false;
    if (type) *type = e->type;
    return true;
}

void SetPropertyString(const char* name, const char* text)
{
    if (!text) return;
    const size_t length = std::strlen(text);
    MIREL_ASSERT(length < 16, 302, "Prop Strings are limited to 16 bytes");
    RegisterProperty(name, kPropString);
    char* slot = static_cast<char*>(FindProperty(name, true));
    if (!slot) return;
    std::memset(slot, 0, 16);
    // Longer texts keep their first 15 characters.
    std::memcpy(slot, text, length < 15 ? length : 15);
}

void SetPropertyFloat4(const char* name, float x, float y, float z, float w)
{
    RegisterProperty(name, kPropFloat4);
    if (float* f = static_cast<float*>(FindProperty(name, true)))
    {
        f[0] = x;
        f[1] = y;
        f[2] = z;
        f[3] = w;
    }
}

void SetPropertyFloat(const char* name, float value)
{
    RegisterProperty(name, kPropFloat);
    if (float* f = static_cast<float*>(FindProperty(name, true))) f[0] = value;
}

float GetPropertyFloat(const char* name, float fallback)
{
    const float* f = static_cast<const float*>(FindProperty(name, false));
    return f ? f[0] : fallback;
}

const char* GetPropertyString(const char* name)
{
    return static_cast<const char*>(FindProperty(name, false));
}

bool IsPropertyTrue(const char* name)
{
    const char* s = GetPropertyString(name);
    return s && std::strncmp(s, "true", 16) == 0;
}

bool IsPropertyFalse(const char* name)
{
    const char* s = GetPropertyString(name);
    return s && std::strncmp(s, "false", 16) == 0;
}

void LoadConfigFileFrom(const char* path)
{
    TextParser parser(16, path);
    if (!parser.IsOpen()) return;
    std::string group = GetBaseName("config.ini");
    while (parser.ReadLine())
    {
        if (parser.tokenCount == 1)
        {
            if (std::strchr(parser.Line(), '#')) continue;
            const char* token = parser.Token(0);
            if (std::strchr(token, '['))
            {
                std::string section = Between(token, '[', ']');
                if (!section.empty()) group = section;
            }
        }
        else if (parser.tokenCount == 3 && std::strcmp(parser.Token(1), "=") == 0)
        {
            const std::string full = group + "." + parser.Token(0);
            const char* value = parser.Token(2);
            if (IsPlainNumber(value))
                StoreConfigNumber(full, value);
            else if (std::strchr(value, '"'))
                StoreConfigText(full, Between(value, '"', '"').c_str());
            else
                StoreConfigText(full, value);
        }
        else if (parser.tokenCount == 6 && std::strcmp(parser.Token(1), "=") == 0)
        {
            const std::string full = group + "." + parser.Token(0);
            float v[4];
            for (int i = 0; i < 4; ++i)
                v[i] = static_cast<float>(std::atof(parser.Token(2 + i)));
            PropertyType type;
            if (PropertyTypeOf(full.c_str(), &type) && type == kPropString) continue;
            SetPropertyFloat4(full.c_str(), v[0], v[1], v[2], v[3]);
        }
    }
}

namespace
{
std::string g_configPath;
}

void SetConfigFilePath(const char* path)
{
    g_configPath = path ? path : "";
}

void LoadConfigFile()
{
    if (!g_configPath.empty()) return LoadConfigFileFrom(g_configPath.c_str());
    char path[512];
#ifdef _WIN32
    std::snprintf(path, sizeof path, "%s\\%s", GetExecutableDirectory(), "config.ini");
#else
    std::snprintf(path, sizeof path, "%s/%s", GetExecutableDirectory(), "config.ini");
#endif
    LoadConfigFileFrom(path);
}

void RegisterDefaults(void (*applicationDefaults)())
{
    auto f = [](const char* name, float v)
    {
        RegisterProperty(name, kPropFloat);
        static_cast<float*>(FindProperty(name, true))[0] = v;
    };
    auto s = [](const char* name, const char* v) { SetPropertyString(name, v); };
    auto f4 = [](const char* name, float x, float y, float z, float w)
    { SetPropertyFloat4(name, x, y, z, w); };

    f("camera.translate_speed", 100);
    f("camera.rotate_speed", 200);
    f("render_desktop.resolutionX", 1280);
    f("render_desktop.resolutionY", 720);
    f("render_init.resolutionX", 1280);
    f("render_init.resolutionY", 720);
    f("render_init.monitorRefresh", 60);
    s("render_init.autoDetect", "false");
    s("render_init.fullscreen", "true");
    s("render_init.vsyncOn", "true");
    s("render_init.triple_buffered", "true");
    f("render_init.msaaSamples", 1);
    f4("render_init.fontColor", 0.5f, 0.5f, 0.5f, 1);
    f4("render_init.sunColor", 251, 248, 219, 255);
    f4("render_init.sunDirection", -72, 35, 0, 0);
    f4("camera.start_pos", 40, 55, 0, 0);
    f4("camera.start_rot", -10, 90, 0, 0);
    s("debug.hotkey", "false");
    if (applicationDefaults) applicationDefaults();

    LoadConfigFile();
}

void ClearProperties()
{
    Store().clear();
}

void ForEachProperty(void (*visit)(const char*, const char*, PropertyType, const void*, void*), void* user)
{
    for (auto& g : Store())
        for (auto& e : g.second.entries)
            visit(g.first.c_str(), e.first.c_str(), e.second.type, &g.second.slots.ElemAt(e.second.slot),
                  user);
}

} // namespace mirel
