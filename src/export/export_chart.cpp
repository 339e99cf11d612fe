// The export sequence, one way: reload and paint (collecting areas), write
// the script; then capture the chart area, reduce its colours, encode, write.
#include "export/export_chart.h"

#include "export/color_reduction.h"
#include "export/gif_writer.h"
#include "export/image_map.h"
#include "export/snapshot.h"
#include "platform/saturate.h"
#include "platform/whole_file.h"

namespace exporting {

namespace {

void WriteFile(ExportedFile& file, std::span<const std::uint8_t> bytes) {
    platform::FileError error;
    file.written = platform::WriteWholeFile(file.name, bytes, error);
    if (!file.written)
        file.reason = error.reason;
}

// The picture's bytes, or the reason there are none.
std::optional<std::vector<std::uint8_t>> MakePicture(const ExportRequest& request, std::string& reason) {
    std::optional<WindowSnapshot> snapshot = WindowSnapshot::Open(request.chartWindow);
    if (!snapshot) {
        reason = "the chart area could not be read";
        return std::nullopt;
    }
    const std::optional<IndexedPicture> picture = ReduceColors(*snapshot, request.keepColors);
    if (!picture) {
        reason = "not enough memory for the picture";
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> gif = EncodeGif(*picture);
    if (!gif)
        reason = "not enough memory to encode the picture";
    return gif;
}

}  // namespace

ExportResult ExportChart(const ExportRequest& request, marketdata::SeriesTables& series,
                         std::optional<render::MapAreaList>& paintAreas) {
    ExportResult result;
    result.script.name = ImageMapScriptName;
    result.picture.name = ChartPictureName;

    series = marketdata::LoadAllSeries();
    InvalidateRect(request.dialog, &request.chartRect, FALSE);
    paintAreas.emplace();
    UpdateWindow(request.dialog);
    const render::MapAreaList areas = std::move(*paintAreas);
    paintAreas.reset();

    const RECT& chart = request.chartRect;
    const std::string script =
        FormatImageMapScript(SaturateToInt32(std::int64_t{chart.right} - chart.left),
                             SaturateToInt32(std::int64_t{chart.bottom} - chart.top), areas);
    WriteFile(result.script, std::span(reinterpret_cast<const std::uint8_t*>(script.data()), script.size()));

    std::optional<std::vector<std::uint8_t>> gif = MakePicture(request, result.picture.reason);
    if (gif)
        WriteFile(result.picture, *gif);
    return result;
}

}  // namespace exporting
