// The main window's dialog template, the menu template and the accelerator table, all in
// read-only data. The templates are built when the program is compiled, by the emitters
// in templates.cpp, from the header records below; their variable-length tails (texts and
// ordinals) follow each record as the comments say.
#pragma once

#include <windows.h>

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

const DLGTEMPLATE* mainDialogTemplate();
const MENUTEMPLATEW* mainMenuTemplate();
extern const ACCEL kAccelerators[2];
