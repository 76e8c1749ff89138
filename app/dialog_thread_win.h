// The common dialogs (File, Open and the colour dialog) on a short-lived thread of their own
// in a single-threaded apartment, while the user-interface thread stays in the process's
// multithreaded one and goes on answering messages. The owner is disabled meanwhile, as a
// modal dialog's owner is; the answer comes back as a posted kDialogClosed message.
#pragma once

#include <windows.h>

#include "diag/base.h"

// Posted to the owner when the dialog has ended; lParam is the DialogRequest.
enum : UINT { kDialogClosed = WM_APP + 8 };

enum : u8 {
    kOpenFileDialog = 1,
    kColourDialog = 2,
};

enum : u32 { kDialogPathUnits = 32768 };

#pragma pack(push, 1)
struct DialogRequest {
    HWND owner;
    COLORREF* customColours;  // the colour dialog's sixteen, untouched by others meanwhile
    COLORREF colour;          // the colour dialog's first colour, and the one chosen
    u16 purpose;              // the command that asked, for the answer
    u8 kind;
    u8 chosen;                // the user confirmed a choice
    wchar_t path[kDialogPathUnits];  // the file chosen
};
#pragma pack(pop)

// Disables `owner` and shows the dialog. False, with the owner as it was, when a dialog of
// ours is already up or the thread cannot be started.
bool startDialog(HWND owner, u8 kind, u16 purpose, COLORREF colour, COLORREF* customColours);

// For kDialogClosed: enables and activates the owner again and hands the request over; the
// caller frees it with finishDialog.
DialogRequest* dialogClosed(LPARAM lParam);
void finishDialog(DialogRequest* request);
