// The main dialog's template, as a resource compiler writes a plain dialog
// template: the header, then its one control on a 4-byte boundary.
#pragma once

#include "platform/win32.h"

namespace shell {

LPCDLGTEMPLATEA MainDialogTemplate();

}  // namespace shell
