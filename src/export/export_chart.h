// The right click's export: reload the series, paint the chart now while
// collecting its image-map areas, then write the script and the picture.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "marketdata/chart_files.h"
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

// The export's own paint: while `collecting`, the dialog's paint adds the
// image-map areas it draws and says whether it drew the chart at all.
struct ExportPaint {
    bool collecting = false;
    render::MapAreaList areas;
    bool painted = false;
};

struct ExportRequest {
    HWND dialog = nullptr;       // painted at once through UpdateWindow
    RECT chartRect{};            // the chart area, in the dialog's client coordinates
    HWND chartWindow = nullptr;  // the control whose pixels are the picture
    std::span<const COLORREF> keepColors;  // kept exact if colours must be reduced
};

// The series of `files` are reloaded (a file read again only if it
// changed); `paint` is what the dialog's paint fills in while the export
// engages it. The two files are a pair: both are written to temporary files
// first, then the picture is put in place, then the script; when either
// cannot be written, neither is replaced. Exports into one folder take turns.
ExportResult ExportChart(const ExportRequest& request, marketdata::ChartFiles& files, ExportPaint& paint);

}  // namespace exporting
