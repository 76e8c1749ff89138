// Reads the viewer's settings into its window at start-up.
#include "app/main_window_win.h"

#include "render/view_window_win.h"

void readSettings(MainWindow* main) {
    StoredSettings settings = readStoredSettings();
    main->defaultObjectColour = unpackColour(settings.defaultObjectColour);
    main->flipZoom = settings.flipZoom;
    main->showOpenEdges = settings.showOpenEdges;
    const struct {
        u16 command;
        bool on;
    } toggles[] = {{kCommandFlipZoom, settings.flipZoom}, {kCommandShowOpenEdges, settings.showOpenEdges}};
    for (const auto& toggle : toggles) {
        MENUITEMINFOW item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE;
        item.fState = toggle.on ? MFS_CHECKED : 0;
        SetMenuItemInfoW(main->menu, toggle.command, FALSE, &item);
    }
    if (ViewState* state = viewStateOf(control(main, kViewId))) {
        state->flipZoom = settings.flipZoom;
        state->showOpenEdges = settings.showOpenEdges;
    }
}
