// The main window's dialog template, the menu template and the accelerator table, all in
// read-only data. The templates are built when the program is compiled, by the emitters
// in templates.cpp, from the header records below; their variable-length tails (texts and
// ordinals) follow each record as the comments say.
#pragma once

#include <windows.h>

#include "app/main_window_win.h"
#include "diag/base.h"

#pragma pack(push, 1)

// Extended dialog template header (DLGTEMPLATEEX without its tail). Followed by: menu
// (0 = none), class (0 = the standard dialog class), title (NUL-terminated UTF-16), and,
// with DS_SETFONT, DialogFont and the typeface (NUL-terminated).
struct DialogHeader {
    u16 version;    // 1
    u16 signature;  // 0xFFFF
    u32 helpId;
    u32 exStyle;
    u32 style;
    u16 itemCount;
    i16 x, y, width, height;  // -32768: the system chooses
};

struct DialogFont {
    u16 pointSize;
    u16 weight;
    u8 italic;
    u8 charset;
};

// One control (DLGITEMTEMPLATEEX without its tail), starting on a 4-byte boundary.
// Followed by: class (0xFFFF and an ordinal, or a NUL-terminated name), text (a
// NUL-terminated text, empty allowed) and the 16-bit size of creation data (0).
struct DialogItemHeader {
    u32 helpId;
    u32 exStyle;
    u32 style;
    i16 x, y, width, height;
    u32 id;
};

// Standard menu template: MenuHeader, then items. A popup is MenuPopupHeader and its text,
// followed by its own items; a command item is MenuItemHeader and its text. MF_END marks
// the last item of each level.
struct MenuHeader {
    u16 version;  // 0
    u16 offset;   // 0: the items follow at once
};

struct MenuPopupHeader {
    u16 option;  // MF_POPUP, with MF_END on the last popup
};

struct MenuItemHeader {
    u16 option;  // MF_GRAYED, MF_CHECKED, MF_END
    u16 id;      // 0 with an empty text: a separator
};

#pragma pack(pop)

static_assert(sizeof(DialogHeader) == 26 && sizeof(DialogFont) == 6 && sizeof(DialogItemHeader) == 24);
static_assert(sizeof(MenuHeader) == 4 && sizeof(MenuPopupHeader) == 2 && sizeof(MenuItemHeader) == 4);

// Predefined control classes by ordinal.
enum : u16 { kButtonClass = 0x80, kEditClass = 0x81, kStaticClass = 0x82, kComboBoxClass = 0x85 };

// ---- The main window's controls

// The window's layout, in dialog units: the 3D view (or the progress bar in its place) at
// the top left above the messages, the panel on the right with the tree of solids below
// its lines. The minimum size keeps every line of the panel and a usable view.
enum : i16 {
    kMargin = 2,            // around and between the areas
    kPanelWidth = 168,
    kMessagesHeight = 56,
    kPanelLinesHeight = 112,  // the panel's lines above the tree
    kMinimumWidth = 232,
    kMinimumHeight = 184,
};

// Where a control goes: one of the areas the window's size divides it into (the control
// fills it), or the panel's lines, at the row's rectangle from the panel's top-left corner.
enum ControlArea : u8 { kAreaPanelLines, kAreaView, kAreaMessages, kAreaTree };

constexpr u32 kLineStyle = WS_VISIBLE | SS_LEFT;
constexpr u32 kListStyle = WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;
constexpr u32 kViewStyle = WS_VISIBLE | WS_BORDER | WS_TABSTOP;
constexpr u32 kProgressStyle = WS_VISIBLE | WS_BORDER;
constexpr u32 kCheckStyle = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr u32 kSwatchStyle = WS_VISIBLE | WS_TABSTOP | SS_SUNKEN | SS_NOTIFY;
constexpr u32 kTreeStyle = WS_VISIBLE | WS_BORDER | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT;
constexpr u32 kMessagesStyle =
    WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
static_assert(kLineStyle == 0x10000000 && kListStyle == 0x10210003 && kViewStyle == 0x10810000 &&
              kProgressStyle == 0x10800000 && kCheckStyle == 0x10010003 && kSwatchStyle == 0x10011100 &&
              kTreeStyle == 0x10810007 && kMessagesStyle == 0x10A10844);


struct ControlRow {
    u16 id;
    u16 classOrdinal;  // 0: by name
    const wchar_t* className;
    const wchar_t* text;
    u32 style;
    ControlArea area;
    i16 x, y, width, height;  // in the panel's lines only
};

// Template order is tab order.
inline constexpr ControlRow kControls[] = {
    {kViewId, 0, L"STLView", L"", kViewStyle, kAreaView, 0, 0, 0, 0},
    {kProgressId, 0, L"msctls_progress32", L"", kProgressStyle, kAreaView, 0, 0, 0, 0},
    {kFormatLineId, kStaticClass, nullptr, L"", kLineStyle, kAreaPanelLines, 7, 7, 154, 8},
    {kDimensionsLineId, kStaticClass, nullptr, L"", kLineStyle, kAreaPanelLines, 7, 28, 154, 8},
    // The mesh line wraps onto a second line: its longer forms do not fit the panel's width. The
    // rows under it move down by 6 units to make room and still end above the tree.
    {kMeshLineId, kStaticClass, nullptr, L"", kLineStyle, kAreaPanelLines, 7, 37, 154, 16},
    {kSpaceLabelId, kStaticClass, nullptr, L"Coordinate Space:", kLineStyle, kAreaPanelLines, 7, 58, 80, 8},
    {kSpaceListId, kComboBoxClass, nullptr, L"", kListStyle, kAreaPanelLines, 111, 55, 50, 14},
    {kMaterialCheckId, kButtonClass, nullptr, L"Material:", kCheckStyle, kAreaPanelLines, 7, 79, 50, 8},
    {kSwatchId, kStaticClass, nullptr, L"", kSwatchStyle, kAreaPanelLines, 111, 76, 50, 14},
    {kColourOrderLabelId, kStaticClass, nullptr, L"Triangle Colors:", kLineStyle, kAreaPanelLines, 7, 100, 80, 8},
    {kColourOrderListId, kComboBoxClass, nullptr, L"", kListStyle, kAreaPanelLines, 111, 97, 50, 14},
    {kTreeId, 0, L"SysTreeView32", L"", kTreeStyle, kAreaTree, 0, 0, 0, 0},
    {kMessagesId, kEditClass, nullptr, L"", kMessagesStyle, kAreaMessages, 0, 0, 0, 0},
};

const DLGTEMPLATE* mainDialogTemplate();
const MENUTEMPLATEW* mainMenuTemplate();
extern const ACCEL kAccelerators[2];
