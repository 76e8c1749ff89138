// Registration for the current user, without administrator rights: the classes under
// HKCU\Software\Classes\CLSID and the thumbnail and preview handlers under
// SystemFileAssociations\.stl, which Windows consults whichever program is the default for
// .stl (https://learn.microsoft.com/windows/win32/shell/thumbnail-providers,
// https://learn.microsoft.com/windows/win32/shell/how-to-register-a-preview-handler and
// https://learn.microsoft.com/windows/win32/shell/fa-file-types). Windows merges
// HKCU\Software\Classes into HKEY_CLASSES_ROOT for the user's processes.
#include <shlobj.h>

#include "diag/base.h"
#include "shell/shell_module_win.h"

namespace {

// {e357fccd-a995-4576-b01f-234630154e96}: IThumbnailProvider, the handler's ShellEx key.
#define THUMBNAIL_HANDLER L"{e357fccd-a995-4576-b01f-234630154e96}"
#define CLASS_KEY L"Software\\Classes\\CLSID\\" VANTOREL_THUMBNAIL_CLASS_TEXT
#define STL_KEY L"Software\\Classes\\SystemFileAssociations\\.stl"
// {8895b1c6-b41f-4c1c-a562-0d564250836f}: IPreviewHandler, the preview handler's ShellEx key.
#define PREVIEW_HANDLER L"{8895b1c6-b41f-4c1c-a562-0d564250836f}"
#define PREVIEW_CLASS_KEY L"Software\\Classes\\CLSID\\" VANTOREL_PREVIEW_CLASS_TEXT
#define PREVIEW_NAME L"Vantorel STL preview"
// The system's preview host (prevhost.exe) on 64-bit Windows runs the handler in its own
// process; the list names the handlers Explorer may load there (how-to-register page above).
#define PREVIEW_HOST_APPID L"{6d2b5079-2f0b-48dd-ab7f-97cec514d30b}"
#define PREVIEW_LIST_KEY L"Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers"

// A key to make, with a value when `name` is not null ("" is the default value). A null
// `value` stands for the module's own path. Written in order, removed in reverse; a key is
// removed only when nothing else lives in it.
struct RegistryRow {
    const wchar_t* key;
    const wchar_t* name;
    const wchar_t* value;
};

const wchar_t kModulePath[] = L"";

const RegistryRow kRows[] = {
    {L"Software\\Classes\\CLSID", nullptr, nullptr},
    {CLASS_KEY, L"", L"Vantorel STL thumbnails"},
    {CLASS_KEY L"\\InprocServer32", L"", kModulePath},
    {CLASS_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {PREVIEW_CLASS_KEY, L"", PREVIEW_NAME},
    {PREVIEW_CLASS_KEY, L"AppID", PREVIEW_HOST_APPID},
    {PREVIEW_CLASS_KEY L"\\InprocServer32", L"", kModulePath},
    {PREVIEW_CLASS_KEY L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"Software\\Classes\\SystemFileAssociations", nullptr, nullptr},
    {STL_KEY, nullptr, nullptr},
    {STL_KEY L"\\ShellEx", nullptr, nullptr},
    {STL_KEY L"\\ShellEx\\" THUMBNAIL_HANDLER, L"", VANTOREL_THUMBNAIL_CLASS_TEXT},
    {STL_KEY L"\\ShellEx\\" PREVIEW_HANDLER, L"", VANTOREL_PREVIEW_CLASS_TEXT},
    {PREVIEW_LIST_KEY, VANTOREL_PREVIEW_CLASS_TEXT, PREVIEW_NAME},
};

const u32 kRowCount = sizeof kRows / sizeof kRows[0];

u32 textUnits(const wchar_t* text) {
    u32 n = 0;
    while (text[n])
        ++n;
    return n;
}

// The row's value: its text, or the module's path for kModulePath.
const wchar_t* rowValue(const RegistryRow& row, const wchar_t* modulePath) {
    return row.value == kModulePath ? modulePath : row.value;
}

// Removes the row's value when it is still ours, then its key when empty.
void removeRow(const RegistryRow& row, const wchar_t* modulePath) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, row.key, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (row.name) {
        wchar_t stored[MAX_PATH + 1] = {};
        DWORD bytes = sizeof stored - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key, row.name, nullptr, &type, reinterpret_cast<BYTE*>(stored), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ && CompareStringOrdinal(stored, -1, rowValue(row, modulePath), -1, FALSE) == CSTR_EQUAL)
            RegDeleteValueW(key, row.name);
    }
    DWORD subkeys = 1;
    DWORD values = 1;
    bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    RegCloseKey(key);
    if (empty)
        RegDeleteKeyW(HKEY_CURRENT_USER, row.key);
}

bool modulePath(wchar_t* path) {
    DWORD units = GetModuleFileNameW(shellModule, path, MAX_PATH);
    return units != 0 && units < MAX_PATH;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    wchar_t path[MAX_PATH];
    if (!modulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    for (u32 i = kRowCount; i-- > 0;)
        removeRow(kRows[i], path);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!modulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    for (u32 i = 0; i < kRowCount; ++i) {
        const RegistryRow& row = kRows[i];
        HKEY key;
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, row.key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            const wchar_t* value = rowValue(row, path);
            if (row.name)
                status = RegSetValueExW(key, row.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                        (textUnits(value) + 1) * sizeof(wchar_t));
            RegCloseKey(key);
        }
        if (status != ERROR_SUCCESS) {
            // Half a registration is none: what was written goes again.
            DllUnregisterServer();
            return HRESULT_FROM_WIN32(status);
        }
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    return S_OK;
}
