// The two settings that outlive the process, as 32-bit values under one key of the current
// user's hive. Reading is silent (a missing or odd value is the default); a failed write
// is reported, and the setting keeps its new value for this run.
#include "app/main_window_win.h"

#include "render/view_window_win.h"

const wchar_t kSettingsKey[] = L"Software\\Vantorel";

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

// "DefaultObjectColor" holds red in its top byte, then green, blue and the fourth byte.
void readSettings(MainWindow* main) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    u32 value;
    if (readSettingValue(key, L"FlipZoom", &value) && value != 0) {
        main->flipZoom = 1;
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE;
        item.fState = MFS_CHECKED;
        SetMenuItemInfoW(main->menu, kCommandFlipZoom, FALSE, &item);
        if (ViewState* view = viewStateOf(control(main, kViewId)))
            view->flipZoom = true;
    }
    if (readSettingValue(key, L"DefaultObjectColor", &value))
        main->defaultObjectColour = Colour4{u8(value >> 24), u8(value >> 16), u8(value >> 8), u8(value)};
    RegCloseKey(key);
}
