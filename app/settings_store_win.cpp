#include "app/settings_store_win.h"

const wchar_t kSettingsKey[] = L"Software\\Vantorel";
const wchar_t kFlipZoomSetting[] = L"FlipZoom";
const wchar_t kDefaultObjectColourSetting[] = L"DefaultObjectColor";
const wchar_t kShowOpenEdgesSetting[] = L"ShowOpenEdges";

namespace {

#pragma pack(push, 1)
// The arguments of kSettingsKeyFailed and kSettingsValueFailed, passed by address.
struct SettingsKeyFailure {
    HKEY root;
    const wchar_t* path;
    u32 status;
};

struct SettingsValueFailure {
    HKEY key;
    const wchar_t* name;
    u32 status;
};
#pragma pack(pop)

}  // namespace

namespace {

bool readSettingValue(HKEY key, const wchar_t* name, u32* value) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != 4)
        return false;
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    return true;
}

}  // namespace

HKEY openSettingsForWriting(const ReportSink* sink) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS)
        return key;
    if (sink) {
        SettingsKeyFailure failure = {HKEY_CURRENT_USER, kSettingsKey, u32(status)};
        report(sink, kSettingsKeyFailed, reinterpret_cast<uptr>(&failure));
    }
    return nullptr;
}

bool writeSettingValue(HKEY key, const wchar_t* name, u32 value, const ReportSink* sink) {
    LSTATUS status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    if (status == ERROR_SUCCESS)
        return true;
    if (sink) {
        SettingsValueFailure failure = {key, name, u32(status)};
        report(sink, kSettingsValueFailed, reinterpret_cast<uptr>(&failure));
    }
    return false;
}

StoredSettings readStoredSettings() {
    StoredSettings settings = {false, kDefaultObjectColour, false};
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return settings;
    u32 value;
    if (readSettingValue(key, kFlipZoomSetting, &value))
        settings.flipZoom = value != 0;
    if (readSettingValue(key, kShowOpenEdgesSetting, &value))
        settings.showOpenEdges = value != 0;
    if (readSettingValue(key, kDefaultObjectColourSetting, &value))
        settings.defaultObjectColour = __builtin_bswap32(value);
    RegCloseKey(key);
    return settings;
}

u32 readDefaultObjectColour() {
    return readStoredSettings().defaultObjectColour;
}
