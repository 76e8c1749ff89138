#include "app/dialog_thread_win.h"

#include <commdlg.h>
#include <objbase.h>

#include "stl/heap.h"

namespace {

// One dialog at a time; read and written on the user-interface thread only.
bool dialogUp = false;

bool showDialog(DialogRequest* request) {
    if (request->kind == kOpenFileDialog) {
        OPENFILENAMEW dialog = {};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = request->owner;
        dialog.lpstrFilter = L"Stereolithography (*.stl)\0*.stl\0All Files\0*.*\0";
        dialog.lpstrFile = request->path;
        dialog.nMaxFile = kDialogPathUnits - 1;
        dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
        return GetOpenFileNameW(&dialog) != FALSE;
    }
    CHOOSECOLORW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = request->owner;
    dialog.rgbResult = request->colour;
    dialog.lpCustColors = request->customColours;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorW(&dialog))
        return false;
    request->colour = dialog.rgbResult;
    return true;
}

// Since Windows Vista GetOpenFileNameW shows the shell's item dialog, a COM object for
// single-threaded apartments; shell calls from a multithreaded apartment are not supported
// ("CoInitializeEx" and KB 287087, Microsoft). So the dialog gets a thread that joins one.
DWORD WINAPI dialogThread(void* parameter) {
    DialogRequest* request = static_cast<DialogRequest*>(parameter);
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    request->chosen = SUCCEEDED(com) && showDialog(request);
    if (SUCCEEDED(com))
        CoUninitialize();
    // A full message queue refuses the post for a moment; the owner goes only with the process.
    while (!PostMessageW(request->owner, kDialogClosed, 0, reinterpret_cast<LPARAM>(request))) {
        if (!IsWindow(request->owner)) {
            deallocate(request);
            return 0;
        }
        Sleep(10);
    }
    return 0;
}

}  // namespace

bool startDialog(HWND owner, u8 kind, u16 purpose, COLORREF colour, COLORREF* customColours) {
    if (dialogUp)
        return false;
    DialogRequest* request = static_cast<DialogRequest*>(allocate(sizeof(DialogRequest)));
    if (!request)
        return false;
    request->owner = owner;
    request->customColours = customColours;
    request->colour = colour;
    request->purpose = purpose;
    request->kind = kind;
    request->chosen = 0;
    request->path[0] = 0;
    // Disabled before the thread starts, so that no second command can come from the user
    // before the dialog's own modal loop disables the owner; a disabled window still paints.
    EnableWindow(owner, FALSE);
    HANDLE thread = CreateThread(nullptr, 0, dialogThread, request, 0, nullptr);
    if (!thread) {
        EnableWindow(owner, TRUE);
        deallocate(request);
        return false;
    }
    CloseHandle(thread);
    dialogUp = true;
    return true;
}

DialogRequest* dialogClosed(LPARAM lParam) {
    DialogRequest* request = reinterpret_cast<DialogRequest*>(lParam);
    dialogUp = false;
    EnableWindow(request->owner, TRUE);
    SetForegroundWindow(request->owner);
    return request;
}

void finishDialog(DialogRequest* request) {
    deallocate(request);
}
