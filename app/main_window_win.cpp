// The main window's dialog procedure: one small handler per message, each taking the
// window's record, which travels in GWLP_USERDATA from WM_INITDIALOG on.
#include "app/main_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/templates_win.h"
#include "render/view_window_win.h"

namespace {

enum : u16 { kAppIcon = 101 };

void setIcons(HWND window) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    HANDLE big = LoadImageW(module, MAKEINTRESOURCEW(kAppIcon), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
    if (!big)
        return;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    HANDLE small = LoadImageW(module, MAKEINTRESOURCEW(kAppIcon), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                              GetSystemMetrics(SM_CYSMICON), 0);
    if (small)
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void addListItems(HWND list, const wchar_t* first, const wchar_t* second) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(first));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(second));
    EnableWindow(list, FALSE);
}

void layout(MainWindow* main, int width, int height);

INT_PTR onInitDialog(HWND window, MainWindow* main) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(main));
    main->window = window;
    main->activeAccelerators = nullptr;
    if (main->menu)
        SetMenu(window, main->menu);
    main->job = nullptr;
    main->walker = nullptr;
    main->fileShown = false;
    main->meshCheck = nullptr;
    main->flipZoom = 0;
    main->wireframe = 0;
    main->showOpenEdges = 0;
    main->textSink = ReportSink{main, windowTextSink};
    main->translator = makeMessageTranslator(&main->textSink);

    HWND viewWindow = control(main, kViewId);
    ShowWindow(viewWindow, SW_HIDE);
    if (ViewState* state = viewStateOf(viewWindow))
        state->sink = &main->translator;
    setIcons(window);

    HWND tree = control(main, kTreeId);
    // Checkboxes are added after creation: the tree view makes its state images then.
    SetWindowLongPtrW(tree, GWL_STYLE, GetWindowLongPtrW(tree, GWL_STYLE) | TVS_CHECKBOXES);
    SendMessageW(tree, TVM_SETEXTENDEDSTYLE, TVS_EX_DOUBLEBUFFER, TVS_EX_DOUBLEBUFFER);

    addListItems(control(main, kSpaceListId), L"Y up", L"Z up");
    EnableWindow(control(main, kMaterialCheckId), FALSE);
    EnableWindow(control(main, kSwatchId), FALSE);
    addListItems(control(main, kColourOrderListId), L"RGB", L"BGR");

    main->swatchBrush = nullptr;
    main->materialColour.fourth = 0;
    main->defaultObjectColour = unpackColour(kDefaultObjectColour);
    readSettings(main);

    // Files dropped from Explorer open as File, Open does.
    DragAcceptFiles(window, TRUE);
    // The first WM_SIZE came before the record was attached.
    RECT client;
    GetClientRect(window, &client);
    layout(main, client.right, client.bottom);
    return TRUE;
}

INT_PTR onCommandMessage(MainWindow* main, WPARAM wParam) {
    onCommand(main, LOWORD(wParam), HIWORD(wParam));
    return FALSE;
}

INT_PTR onTimer(MainWindow* main, WPARAM timer, LPARAM callback) {
    if (callback == 0 && timer == kMeshCheckTimer)
        onMeshCheckTimer(main);
    else if (callback == 0 && timer == kReloadTimer)
        onReloadTimer(main);
    else if (callback == 0)
        onProgressTimer(main, timer);
    return FALSE;
}

INT_PTR onNotify(MainWindow* main, const NMHDR* header) {
    if (header->idFrom == kTreeId)
        return onSolidsTreeNotify(main, header);
    return FALSE;
}

INT_PTR onCtlColorStatic(MainWindow* main, HWND child) {
    if (GetDlgCtrlID(child) != kSwatchId)
        return 0;
    return reinterpret_cast<INT_PTR>(main->swatchBrush);
}

RECT dialogRect(HWND window, int x, int y, int width, int height) {
    RECT rect = {x, y, width, height};
    MapDialogRect(window, &rect);
    return rect;
}

// Each control of the table at its place: the areas follow the window's size, the panel's
// lines keep their size at the panel's left edge.
void layout(MainWindow* main, int width, int height) {
    HWND window = main->window;
    RECT margin = dialogRect(window, kMargin, kMargin, 0, 0);
    RECT panel = dialogRect(window, kPanelWidth, kMessagesHeight, 0, 0);
    RECT lines = dialogRect(window, 0, kPanelLinesHeight, 0, 0);
    int mx = margin.left, my = margin.top, pw = panel.left, ph = panel.top, th = lines.top;
    int viewWidth = width - pw - 3 * mx;
    int viewHeight = height - ph - 3 * my;
    int panelLeft = width - pw - mx;
    const RECT areas[] = {
        {0, 0, 0, 0},  // kAreaPanelLines: from each row's own rectangle
        {mx, my, viewWidth, viewHeight},
        {mx, height - ph - my, viewWidth, ph},
        {panelLeft, th + 2 * my, pw, height - th - 3 * my},
    };
    if (HDWP batch = BeginDeferWindowPos(sizeof kControls / sizeof kControls[0])) {
        for (const ControlRow& row : kControls) {
            RECT place = areas[row.area];  // left, top, width, height
            if (row.area == kAreaPanelLines) {
                place = dialogRect(window, row.x, row.y, row.width, row.height);
                place.left += panelLeft;
            }
            HWND child = control(main, row.id);
            if (child && batch)
                batch = DeferWindowPos(batch, child, nullptr, place.left, place.top, place.right, place.bottom,
                                       SWP_NOZORDER | SWP_NOREDRAW | SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
        }
        if (batch)
            EndDeferWindowPos(batch);
    }
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    InvalidateRect(window, nullptr, TRUE);
}

INT_PTR onSize(MainWindow* main, WPARAM kind, LPARAM size) {
    if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
        layout(main, i16(LOWORD(size)), i16(HIWORD(size)));
    return FALSE;
}

INT_PTR onGetMinMaxInfo(MainWindow* main, MINMAXINFO* info) {
    RECT minimum = dialogRect(main->window, kMinimumWidth, kMinimumHeight, 0, 0);
    info->ptMinTrackSize.x = minimum.left;
    info->ptMinTrackSize.y = minimum.top;
    return FALSE;
}

INT_PTR onActivate(MainWindow* main, WPARAM state) {
    main->activeAccelerators = LOWORD(state) != WA_INACTIVE ? main->accelerators : nullptr;
    return FALSE;
}

BOOL CALLBACK forwardSysColorChange(HWND child, LPARAM) {
    SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

INT_PTR onSysColorChange(MainWindow* main) {
    EnumChildWindows(main->window, forwardSysColorChange, 0);
    return FALSE;
}

// Nothing is torn down: the system frees the process's heaps, views and windows at once.
INT_PTR onClose() {
    TerminateProcess(GetCurrentProcess(), 0);
    return TRUE;
}

}  // namespace

MainWindow* mainWindowOf(HWND window) {
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

HWND control(const MainWindow* main, u16 id) {
    return GetDlgItem(main->window, id);
}

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return onInitDialog(window, reinterpret_cast<MainWindow*>(lParam));
    MainWindow* main = mainWindowOf(window);
    if (!main)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return onCommandMessage(main, wParam);
    case WM_TIMER:
        return onTimer(main, wParam, lParam);
    case WM_NOTIFY:
        return onNotify(main, reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLORSTATIC:
        return onCtlColorStatic(main, reinterpret_cast<HWND>(lParam));
    case WM_SIZE:
        return onSize(main, wParam, lParam);
    case WM_GETMINMAXINFO:
        return onGetMinMaxInfo(main, reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_ACTIVATE:
        return onActivate(main, wParam);
    case WM_SYSCOLORCHANGE:
        return onSysColorChange(main);
    case WM_CLOSE:
        return onClose();
    case WM_DROPFILES:
        openDroppedFiles(main, reinterpret_cast<HDROP>(wParam));
        return FALSE;
    case kLoadCompleted:
        onLoadCompleted(main, reinterpret_cast<LoadJob*>(wParam));
        return FALSE;
    case kTreeChecksChanged:
        syncTreeChecks(main);
        return FALSE;
    case kDialogClosed:
        onDialogClosed(main, lParam);
        return FALSE;
    case kMeshChecked:
        onMeshChecked(main, reinterpret_cast<MeshCheckRun*>(lParam));
        return FALSE;
    case kFileChanged:
        onFileChanged(main, wParam);
        return FALSE;
    }
    return FALSE;
}
