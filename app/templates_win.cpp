// The templates are emitted at compile time: each emitter writes one header record field
// by field (as 16-bit units, low half first) or one text, and a first pass with no output
// counts the units so that the read-only array has exactly the template's size.
#include "app/templates_win.h"

#include "app/main_window_win.h"

namespace {

struct Emitter {
    u16* units;  // null: count only
    u32 count;
};

constexpr void emitUnit(Emitter& out, u16 value) {
    if (out.units)
        out.units[out.count] = value;
    ++out.count;
}

constexpr void emitU32(Emitter& out, u32 value) {
    emitUnit(out, u16(value));
    emitUnit(out, u16(value >> 16));
}

// A NUL-terminated text with its terminator.
constexpr void emitText(Emitter& out, const wchar_t* text) {
    for (;; ++text) {
        emitUnit(out, u16(*text));
        if (*text == 0)
            return;
    }
}

// Dialog items start on 4-byte boundaries; the template itself is 4-byte aligned.
constexpr void alignItem(Emitter& out) {
    if (out.count & 1)
        emitUnit(out, 0);
}

constexpr void emitRecord(Emitter& out, const DialogHeader& header) {
    emitUnit(out, header.version);
    emitUnit(out, header.signature);
    emitU32(out, header.helpId);
    emitU32(out, header.exStyle);
    emitU32(out, header.style);
    emitUnit(out, header.itemCount);
    emitUnit(out, u16(header.x));
    emitUnit(out, u16(header.y));
    emitUnit(out, u16(header.width));
    emitUnit(out, u16(header.height));
}

constexpr void emitRecord(Emitter& out, const DialogFont& font) {
    emitUnit(out, font.pointSize);
    emitUnit(out, font.weight);
    emitUnit(out, u16(font.italic | font.charset << 8));
}

constexpr void emitRecord(Emitter& out, const DialogItemHeader& item) {
    emitU32(out, item.helpId);
    emitU32(out, item.exStyle);
    emitU32(out, item.style);
    emitUnit(out, u16(item.x));
    emitUnit(out, u16(item.y));
    emitUnit(out, u16(item.width));
    emitUnit(out, u16(item.height));
    emitU32(out, item.id);
}

constexpr void emitRecord(Emitter& out, const MenuHeader& header) {
    emitUnit(out, header.version);
    emitUnit(out, header.offset);
}

constexpr void emitRecord(Emitter& out, const MenuPopupHeader& popup) {
    emitUnit(out, popup.option);
}

constexpr void emitRecord(Emitter& out, const MenuItemHeader& item) {
    emitUnit(out, item.option);
    emitUnit(out, item.id);
}

template <u32 N>
struct alignas(4) TemplateUnits {
    u16 units[N];
};

// ---- The main window

constexpr u32 kDialogStyle = WS_VISIBLE | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW | DS_SETFONT | DS_FIXEDSYS;
static_assert(kDialogStyle == 0x12CF0048);

constexpr u16 kControlCount = sizeof kControls / sizeof kControls[0];

constexpr u32 emitDialog(u16* units) {
    Emitter out = {units, 0};
    emitRecord(out, DialogHeader{1, 0xFFFF, 0, 0, kDialogStyle, kControlCount, -32768, -32768, -32768, -32768});
    emitUnit(out, 0);  // no menu
    emitUnit(out, 0);  // the standard dialog class
    emitText(out, L"Vantorel STL Viewer");
    emitRecord(out, DialogFont{8, FW_NORMAL, 0, 0});
    emitText(out, L"MS Shell Dlg 2");
    for (const ControlRow& row : kControls) {
        alignItem(out);
        // Placed by the layout at the first WM_SIZE.
        emitRecord(out, DialogItemHeader{0, 0, row.style, 0, 0, 128, 128, row.id});
        if (row.classOrdinal) {
            emitUnit(out, 0xFFFF);
            emitUnit(out, row.classOrdinal);
        } else {
            emitText(out, row.className);
        }
        emitText(out, row.text);
        emitUnit(out, 0);  // no creation data
    }
    return out.count;
}

// A template emitted into read-only data at compile time: one pass to count its units,
// one to write them.
template <u32 (*emit)(u16*)>
constexpr TemplateUnits<emit(nullptr)> buildTemplate() {
    TemplateUnits<emit(nullptr)> units = {};
    emit(units.units);
    return units;
}

constexpr auto kDialog = buildTemplate<emitDialog>();

// ---- The menu

struct MenuRow {
    bool popup;
    u16 option;  // MF_GRAYED, MF_CHECKED; MF_END is added by the emitter
    u16 id;
    const wchar_t* text;
};

constexpr MenuRow kMenu[] = {
    {true, 0, 0, L"File"},
    {false, 0, kCommandOpen, L"&Open \u2026\tCtrl+O"},
    {false, MF_GRAYED, kCommandPreviousFile, L"Previous File\tLeft"},
    {false, MF_GRAYED, kCommandNextFile, L"&Next File\tRight"},
    {false, 0, 0, L""},
    {false, 0, kCommandExit, L"&Exit\tEsc"},
    {true, 0, 0, L"&View"},
    {false, 0, kCommandFlipZoom, L"Flip Zoom\t"},
    {false, 0, kCommandWireframe, L"Wireframe\t"},
    {false, 0, kCommandShowOpenEdges, L"Show Open Edges\t"},
    {false, 0, kCommandDefaultMaterial, L"Select Default Material \u2026\t"},
    {true, 0, 0, L"Help"},
    {false, 0, kCommandAbout, L"About \u2026\t"},
};
constexpr u32 kMenuRows = sizeof kMenu / sizeof kMenu[0];

constexpr u32 emitMenu(u16* units) {
    Emitter out = {units, 0};
    emitRecord(out, MenuHeader{0, 0});
    for (u32 i = 0; i < kMenuRows; ++i) {
        const MenuRow& row = kMenu[i];
        bool lastPopup = true;
        for (u32 j = i + 1; j < kMenuRows; ++j)
            lastPopup &= !kMenu[j].popup;
        if (row.popup) {
            emitRecord(out, MenuPopupHeader{u16(MF_POPUP | (lastPopup ? MF_END : 0))});
        } else {
            bool lastInPopup = i + 1 == kMenuRows || kMenu[i + 1].popup;
            emitRecord(out, MenuItemHeader{u16(row.option | (lastInPopup ? MF_END : 0)), row.id});
        }
        emitText(out, row.text);
    }
    return out.count;
}

constexpr auto kMenuTemplate = buildTemplate<emitMenu>();

}  // namespace

const ACCEL kAccelerators[2] = {
    {FVIRTKEY | FCONTROL, 'O', kCommandOpen},
    {FVIRTKEY, VK_ESCAPE, kCommandExit},
};
static_assert(sizeof(ACCEL) == 6 && (FVIRTKEY | FCONTROL) == 0x09);

const DLGTEMPLATE* mainDialogTemplate() {
    return reinterpret_cast<const DLGTEMPLATE*>(kDialog.units);
}

const MENUTEMPLATEW* mainMenuTemplate() {
    return reinterpret_cast<const MENUTEMPLATEW*>(kMenuTemplate.units);
}
