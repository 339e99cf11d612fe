// The export sequence, one way: reload and paint (collecting areas), format
// the script; capture the chart area, reduce its colours, encode; then write
// the pair as one.
#include "export/export_chart.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "export/color_reduction.h"
#include "export/gif_writer.h"
#include "export/image_map.h"
#include "export/snapshot.h"
#include "export/standby_thread.h"
#include "platform/saturate.h"
#include "platform/whole_file.h"

namespace exporting {

namespace {

// "123.4 MiB": how much memory a step needed.
std::string Mebibytes(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// Threads made before the paint (see StandbyThread).
struct Helpers {
    StandbyThread preparer;
    StandbyThread encoder;
};

// The picture's bytes, or the reason there are none. While the colours are
// reduced, a second thread encodes the rows already final; when the picture
// has too many colours for that (or no thread can be had), the encoding
// waits for the whole reduced picture. Either way the bytes are the same.
// Once the colours are reduced, `meanwhile` runs while the encoder finishes.
// The encoder is one of the helpers made before the paint.
template <typename Meanwhile>
std::optional<std::vector<std::uint8_t>> MakePicture(const ExportRequest& request, std::uint64_t pixels,
                                                     std::vector<std::uint8_t> indices, Helpers& helpers,
                                                     std::string& reason, Meanwhile meanwhile) {
    std::optional<WindowSnapshot> snapshot = WindowSnapshot::Open(request.chartWindow);
    if (!snapshot) {
        reason = "the chart area could not be read";
        return std::nullopt;
    }
    // The picture outlives the encoder, which reads its rows.
    IndexedPicture picture;
    picture.indices = std::move(indices);
    RowHandOff finalRows;
    std::optional<std::vector<std::uint8_t>> imageData;
    struct WaitForEncoder {
        StandbyThread& encoder;
        ~WaitForEncoder() { encoder.Wait(); }
    } waitOnEveryWayOut{helpers.encoder};
    if (!helpers.encoder.Run([&] {
            imageData = EncodeGifImageData(snapshot->width(), snapshot->height(), GifColorCapacity, finalRows);
        }))
        finalRows.Abandon();
    const bool reduced = ReduceColorsHandingOver(*snapshot, request.keepColors, picture, finalRows);
    if (reduced)
        meanwhile();
    helpers.encoder.Wait();
    if (!reduced) {
        reason = "not enough memory for the picture (" + Mebibytes(pixels) + " needed)";
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> gif =
        !finalRows.abandoned() && imageData ? AssembleGif(picture, *imageData) : EncodeGif(picture);
    if (!gif)
        reason = "not enough memory to encode the picture";
    return gif;
}

// Memory for the picture's indices, made beside the paint: a fresh block
// costs the system the zeroing of its every page, which the other core can
// do while the chart is drawn. The indices stay empty when they could not be
// made (the reduction then makes them, or says there is not enough memory).
void PrepareIndices(std::uint64_t pixels, StandbyThread& helper, std::vector<std::uint8_t>& indices) {
    helper.Run([pixels, &indices] {
        try {
            if (pixels <= SIZE_MAX)
                indices.resize(static_cast<std::size_t>(pixels));
        } catch (const std::bad_alloc&) {
        }
    });
}

void Fail(ExportedFile& file, const std::string& reason) {
    file.written = false;
    file.reason = reason;
}

// Puts the staged pair in place, picture first; a failure leaves the
// script's old file, so the pair on disk never mixes two exports.
void CommitPair(platform::StagedFile& gif, platform::StagedFile& script, ExportResult& result) {
    platform::FileError error;
    if (!gif.Commit(error)) {
        script.Discard();
        Fail(result.picture, error.reason);
        Fail(result.script, "not replaced, as " + result.picture.name + " could not be");
        return;
    }
    result.picture.written = true;
    if (!script.Commit(error)) {
        Fail(result.script, error.reason);
        return;
    }
    result.script.written = true;
}

}  // namespace

ExportResult ExportChart(const ExportRequest& request, marketdata::ChartFiles& files, ExportPaint& paint) {
    ExportResult result;
    result.script.name = ImageMapScriptName;
    result.picture.name = ChartPictureName;

    const RECT& chart = request.chartRect;
    const std::int64_t width = std::int64_t{chart.right} - chart.left;
    const std::int64_t height = std::int64_t{chart.bottom} - chart.top;
    if (width <= 0 || height <= 0) {
        const std::string reason = "the chart area is empty (" + std::to_string(std::max<std::int64_t>(width, 0)) +
                                   " x " + std::to_string(std::max<std::int64_t>(height, 0)) + ")";
        Fail(result.script, reason);
        Fail(result.picture, reason);
        return result;
    }
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);

    std::vector<std::uint8_t> indices;
    Helpers helpers;  // after what they write to: they end first
    PrepareIndices(pixels, helpers.preparer, indices);
    files.ReloadSeries();
    InvalidateRect(request.dialog, &request.chartRect, FALSE);
    paint = ExportPaint{};
    paint.collecting = true;
    UpdateWindow(request.dialog);
    paint.collecting = false;
    const render::MapAreaList areas = std::move(paint.areas);
    if (!paint.painted) {
        const std::string reason = "the chart could not be drawn: not enough memory for its " +
                                   std::to_string(width) + " x " + std::to_string(height) + " picture (" +
                                   Mebibytes(4 * pixels) + " needed)";
        Fail(result.script, reason);
        Fail(result.picture, reason);
        return result;
    }

    const std::string script = FormatImageMapScript(SaturateToInt32(width), SaturateToInt32(height), areas);
    const auto scriptBytes = std::span(reinterpret_cast<const std::uint8_t*>(script.data()), script.size());

    // One export at a time in a folder, and the leftovers of interrupted ones
    // gone; the script is staged while the picture is still being encoded.
    std::optional<platform::FolderLock> lock;
    platform::StagedFile stagedScript;
    platform::FileError scriptError;
    bool scriptStaged = false;
    const auto stageScript = [&] {
        if (lock)
            return;
        lock.emplace(".");
        platform::RemoveStaleTemporaries(result.picture.name);
        platform::RemoveStaleTemporaries(result.script.name);
        scriptStaged = stagedScript.Stage(result.script.name, scriptBytes, scriptError);
    };
    std::string pictureReason;
    helpers.preparer.Wait();
    const std::optional<std::vector<std::uint8_t>> gif =
        MakePicture(request, pixels, std::move(indices), helpers, pictureReason, stageScript);
    if (!gif) {
        stagedScript.Discard();
        Fail(result.picture, pictureReason);
        Fail(result.script, "not written, as " + result.picture.name + " could not be");
        return result;
    }
    stageScript();

    platform::StagedFile stagedGif;
    platform::FileError error;
    if (!stagedGif.Stage(result.picture.name, *gif, error)) {
        stagedScript.Discard();
        Fail(result.picture, error.reason);
        Fail(result.script, "not written, as " + result.picture.name + " could not be");
        return result;
    }
    if (!scriptStaged) {
        stagedGif.Discard();
        Fail(result.script, scriptError.reason);
        Fail(result.picture, "not replaced, as " + result.script.name + " could not be written");
        return result;
    }
    {
        // A signal now would leave the new picture beside the old script.
        const platform::SignalsHeld held;
        CommitPair(stagedGif, stagedScript, result);
    }
    return result;
}

}  // namespace exporting
