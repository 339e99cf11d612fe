// The main dialog's template (resource 110), as a resource compiler writes a
// plain dialog template.
#pragma once

#include <span>

#include "platform/win32.h"

namespace shell {

std::span<const BYTE> MainDialogTemplate();

}  // namespace shell
