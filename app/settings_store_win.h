// The two settings that outlive the process, as 32-bit values under one key of the current
// user's hive: "FlipZoom" and "ShowOpenEdges" (0 off, anything else on) and
// "DefaultObjectColor" (red in the top byte, then green, blue and a fourth byte). Reading is silent (a missing value, or one of
// another type or size, is the default); a failed write is reported, and the setting keeps
// its new value for the run.
#pragma once

#include <windows.h>

#include "diag/report.h"

extern const wchar_t kSettingsKey[];  // under HKEY_CURRENT_USER

// F0 F0 F0 with the fourth byte FF, red in the lowest byte as meshes take colours.
enum : u32 { kDefaultObjectColour = 0xFFF0F0F0 };

extern const wchar_t kFlipZoomSetting[];             // "FlipZoom"
extern const wchar_t kDefaultObjectColourSetting[];  // "DefaultObjectColor"
extern const wchar_t kShowOpenEdgesSetting[];        // "ShowOpenEdges"

// What the settings say, with the defaults where they are missing or unreadable.
struct StoredSettings {
    bool flipZoom;
    u32 defaultObjectColour;  // red in the lowest byte, as meshes take colours
    bool showOpenEdges;
};
StoredSettings readStoredSettings();
// The user's default object colour, or kDefaultObjectColour without one.
u32 readDefaultObjectColour();

// A stored colour has its bytes in the reverse order of a mesh colour.
inline u32 storedColourFrom(u32 meshColour) {
    return __builtin_bswap32(meshColour);
}

HKEY openSettingsForWriting(const ReportSink* sink);
bool writeSettingValue(HKEY key, const wchar_t* name, u32 value, const ReportSink* sink);
