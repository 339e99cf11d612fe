// The image-map script written beside the exported picture, and the
// right-click export sequence that writes both.
#pragma once

#include "platform/win32.h"

namespace exporting {

constexpr const char* ImageMapScriptName = "DravenholtSummary.js";
constexpr const char* ChartPictureName = "Dravenholt.gif";

void OpenImageMapScript(HWND dialog);
// The same for a chart area of the given size.
void OpenImageMapScript(LONG width, LONG height);
void AddMapArea(const RECT& rect, const char* link, const char* altText);
void CloseImageMapScript();
void ExportChart(HWND dialog);

}  // namespace exporting
