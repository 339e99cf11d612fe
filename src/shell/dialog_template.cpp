// The main dialog, resource 110: a plain DLGTEMPLATE followed by its one
// DLGITEMTEMPLATE. Little-endian; strings are UTF-16; the item starts on a
// 4-byte boundary.
#include "shell/dialog_template.h"

#include <array>

namespace shell {

namespace {

// clang-format off
// Aligned as a resource is: the dialog calls read it as DWORDs.
alignas(4) constexpr std::array<BYTE, 102> TemplateBytes = {
    // style 0x80CC0040 (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT), exstyle 0
    0x40, 0x00, 0xCC, 0x80,  0x00, 0x00, 0x00, 0x00,
    // 1 item; x 0, y 0, cx 1202, cy 601 dialog units
    0x01, 0x00,  0x00, 0x00,  0x00, 0x00,  0xB2, 0x04,  0x59, 0x02,
    // no menu, the standard dialog class
    0x00, 0x00,  0x00, 0x00,
    // caption "Draven Holt"
    'D', 0, 'r', 0, 'a', 0, 'v', 0, 'e', 0, 'n', 0, ' ', 0, 'H', 0, 'o', 0, 'l', 0, 't', 0, 0, 0,
    // font: 8 point "MS Sans Serif"
    0x08, 0x00,
    'M', 0, 'S', 0, ' ', 0, 'S', 0, 'a', 0, 'n', 0, 's', 0, ' ', 0, 'S', 0, 'e', 0, 'r', 0, 'i', 0, 'f', 0, 0, 0,
    // item at offset 76: style 0x50020000 (WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT), exstyle 0
    0x00, 0x00, 0x02, 0x50,  0x00, 0x00, 0x00, 0x00,
    // x 1, y 0, cx 1200, cy 600; id 2990
    0x01, 0x00,  0x00, 0x00,  0xB0, 0x04,  0x58, 0x02,  0xAE, 0x0B,
    // class: the static control (atom 0x0082); empty text; no creation data
    0xFF, 0xFF, 0x82, 0x00,  0x00, 0x00,  0x00, 0x00,
};
// clang-format on

}  // namespace

LPCDLGTEMPLATEA MainDialogTemplate() {
    return reinterpret_cast<LPCDLGTEMPLATEA>(TemplateBytes.data());
}

}  // namespace shell
