// vantorel.exe: the viewer's entry point and main routine. The program carries no C
// runtime, so the entry point runs the static initialisers itself; the main routine
// builds the window and runs the message loop for the rest of the process. The process
// ends from the main window's WM_CLOSE, never by returning.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/main_window_win.h"
#include "app/runtime.h"
#include "app/templates_win.h"
#include "diag/stage_stamps.h"
#include "render/view_window_win.h"

namespace {

void runMessageLoop(MainWindow* main) {
    for (;;) {
        HWND window = main->window;
        HACCEL accelerators = main->activeAccelerators;
        MSG message;
        if (GetMessageW(&message, nullptr, 0, 0) <= 0)
            return;
        if (accelerators) {
            // Windows of other owners (a shell window, say) get no dialog handling.
            if (message.hwnd != window && !IsChild(window, message.hwnd)) {
                DispatchMessageW(&message);
                continue;
            }
            if (TranslateAcceleratorW(window, accelerators, &message))
                continue;
        }
        if (IsDialogMessageW(window, &message))
            continue;
        DispatchMessageW(&message);
    }
}

// The template leaves position and size to the system. Wine makes a window of no height
// of that; such a window gets three quarters of the work area, as Windows gives.
void sizeUnsizedWindow(HWND window) {
    RECT rect, minimum = {kMinimumWidth, kMinimumHeight, 0, 0};
    GetWindowRect(window, &rect);
    MapDialogRect(window, &minimum);
    if (rect.right - rect.left >= minimum.left && rect.bottom - rect.top >= minimum.top)
        return;
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int width = (work.right - work.left) * 3 / 4, height = (work.bottom - work.top) * 3 / 4;
    SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

[[noreturn]] void runViewer() {
    HWND foreground = GetForegroundWindow();  // before any window of ours exists
    CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE);
    // The tree view and the progress bar are common controls: their classes are registered
    // by InitCommonControlsEx before a window of them is made ("InitCommonControlsEx",
    // Microsoft Learn; with version 6 a template's controls may otherwise fail to be made).
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HINSTANCE module = GetModuleHandleW(nullptr);
    registerViewClass(module);

    // Lives here for the whole process: this routine never returns.
    MainWindow main = {};
    main.menu = LoadMenuIndirectW(mainMenuTemplate());
    main.accelerators = CreateAcceleratorTableW(const_cast<ACCEL*>(kAccelerators), 2);
    CreateDialogIndirectParamW(module, mainDialogTemplate(), nullptr, mainWindowProc, reinterpret_cast<LPARAM>(&main));
    sizeUnsizedWindow(main.window);
    stampStage(kStampWindowReady);

    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);  // kept, never freed
    if (arguments && count >= 2) {
        beginLoad(&main, arguments[1]);
        restartFolderWalker(&main.walker, main.menu, arguments[1], foreground);
    }
    SetForegroundWindow(main.window);
    runMessageLoop(&main);
    // Only a quit message from outside ends the loop: end as closing the window does.
    TerminateProcess(GetCurrentProcess(), 0);
    for (;;)
        ExitProcess(0);
}

}  // namespace

extern "C" [[noreturn]] void viewerEntry() {
    stampStage(kStampEntry);
    runStaticInitialisers();
    runViewer();
}
