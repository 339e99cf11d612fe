// Text: fonts resolved with fontconfig, glyphs rendered with FreeType.
#include "platform/gdi_internal.h"

namespace platform {

HFONT StockSystemFont() {
    static HFONT__ font;
    return &font;
}

}  // namespace platform
