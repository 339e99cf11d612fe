// The right click's export: reload the series, paint the chart now while
// collecting its image-map areas, then write the script and the picture.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "marketdata/series.h"
#include "platform/win32.h"
#include "render/panel.h"

namespace exporting {

struct ExportedFile {
    std::string name;
    bool written = false;
    std::string reason;  // why not, when not written
};

// What the export wrote, and why not where it did not.
struct ExportResult {
    ExportedFile script;
    ExportedFile picture;
    bool Complete() const { return script.written && picture.written; }
};

struct ExportRequest {
    HWND dialog = nullptr;       // painted at once through UpdateWindow
    RECT chartRect{};            // the chart area, in the dialog's client coordinates
    HWND chartWindow = nullptr;  // the control whose pixels are the picture
    std::span<const COLORREF> keepColors;  // kept exact if colours must be reduced
};

// `series` is reloaded; `paintAreas` is where the dialog's paint collects
// image-map areas while it is engaged (the paint engages nothing itself).
ExportResult ExportChart(const ExportRequest& request, marketdata::SeriesTables& series,
                         std::optional<render::MapAreaList>& paintAreas);

}  // namespace exporting
