// Property store: typed settings under two-part dotted names, overridden from config.ini.
#pragma once

#include <cstdint>

namespace mirel
{

enum PropertyType : uint32_t
{
    kPropFloat = 0,
    kPropFloat4 = 1,
    kPropMatrix = 3,
    kPropString = 4,
};

// Largest finite f32: the usual fallback of readers when a property is missing.
constexpr float kMissingFloat = 3.4028235e38f;

void RegisterProperty(const char* name, PropertyType type);
// First 16-byte slot of the property, or null. Valid until the next registration in its group.
void* FindProperty(const char* name, bool forWrite);
// The registered type of an existing property; false when it does not exist.
bool PropertyTypeOf(const char* name, PropertyType* type);
void SetPropertyString(const char* name, const char* text);
void SetPropertyFloat4(const char* name, float x, float y, float z, float w);
void SetPropertyFloat(const char* name, float value);

// Convenience readers with the caller's fallback.
float GetPropertyFloat(const char* name, float fallback = kMissingFloat);
// Null when missing.
const char* GetPropertyString(const char* name);
// True only when the property exists and is exactly "true".
bool IsPropertyTrue(const char* name);
// True only when the property exists and is exactly "false".
bool IsPropertyFalse(const char* name);

// Reads config.ini beside the executable, or the file SetConfigFilePath named.
void LoadConfigFile();
// Null or empty: beside the executable again. Tests run side by side from one folder and must
// not share a config.ini there.
void SetConfigFilePath(const char* path);
// Reads a given file in config.ini syntax.
void LoadConfigFileFrom(const char* path);
// The engine's start-up registrations, then the application's (may be null), then
// LoadConfigFile(), so that the file overrides both. The display settlement that follows
// (SettleDisplaySettings, which also sets the debug-hotkey switch) belongs to the caller,
// which knows the screen.
void RegisterDefaults(void (*applicationDefaults)() = nullptr);

// Set from "debug.hotkey" by the start-up settlement; never cleared there.
extern bool g_debugHotkeysEnabled;

// Drops every property (tests and shut-down).
void ClearProperties();
// Visits every slot name with its group; used by diagnostics.
void ForEachProperty(void (*visit)(const char* group, const char* variable, PropertyType type,
                                   const void* slot, void* user),
                     void* user);

} // namespace mirel
