// Reads the viewer's settings into its window at start-up.
#include "app/main_window_win.h"

#include "render/view_window_win.h"

void readSettings(MainWindow* main) {
    StoredSettings settings = readStoredSettings();
    main->defaultObjectColour = unpackColour(settings.defaultObjectColour);
    if (!settings.flipZoom)
        return;
    main->flipZoom = 1;
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = MFS_CHECKED;
    SetMenuItemInfoW(main->menu, kCommandFlipZoom, FALSE, &item);
    if (ViewState* state = viewStateOf(control(main, kViewId)))
        state->flipZoom = true;
}
