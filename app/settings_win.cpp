// Reads the viewer's settings into its window at start-up.
#include "app/main_window_win.h"

#include "render/view_window_win.h"

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
        main->defaultObjectColour = unpackColour(reverseColourBytes(value));
    RegCloseKey(key);
}
