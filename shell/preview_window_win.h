// The preview pane's window: a child of the host's window holding the "STLView" 3D view and,
// under it, one line of text (the format, the dimensions and the mesh check). It reads its
// stream on a thread-pool thread through the load road: a file over the thumbnails' budget
// shows its sample first, then the whole file once it is read; the mesh check follows.
#pragma once

#include <windows.h>
#include <objidl.h>

// How the host wants the pane to look (IPreviewHandlerVisuals); each part counts once set.
struct PreviewLook {
    COLORREF background;
    COLORREF text;
    LOGFONTW font;
    bool hasBackground;
    bool hasText;
    bool hasFont;
};

// The window over `area` of `parent` with the load of `stream` started (the window keeps a
// reference to the stream), or null when it cannot be made. Destroying it stops the load
// without waiting for it and releases the GPU objects and everything the load made.
HWND createPreviewWindow(HWND parent, const RECT* area, IStream* stream, const PreviewLook* look);

// Applies a new look to a preview window.
void restylePreviewWindow(HWND window, const PreviewLook* look);

// The 3D view, the window's one stop for the keyboard.
HWND previewView(HWND window);
