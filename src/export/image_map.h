// The image-map script written beside the exported picture: it writes the
// picture and a map of its clickable areas into a web page.
#pragma once

#include <string>

#include "platform/win32.h"
#include "render/panel.h"

namespace exporting {

constexpr const char* ImageMapScriptName = "DravenholtSummary.js";
constexpr const char* ChartPictureName = "Dravenholt.gif";

// The whole script for a picture of width x height with these areas; lines
// end in CR LF.
std::string FormatImageMapScript(LONG width, LONG height, const render::MapAreaList& areas);

}  // namespace exporting
