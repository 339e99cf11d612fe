// The image-map script written beside the exported picture, and the
// right-click export sequence that writes both.
#pragma once

#include "platform/win32.h"

namespace exporting {

void OpenImageMapScript(HWND dialog);
void AddMapArea(const RECT& rect, const char* link, const char* altText);
void CloseImageMapScript();
void ExportChart(HWND dialog);

}  // namespace exporting
