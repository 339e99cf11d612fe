// The image-map script ("DravenholtSummary.js") and the right-click export.
// The script is open only across the paint that the export forces, so only
// that paint's panels add areas to it.
#include "export/image_map.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "export/gif_writer.h"
#include "export/snapshot.h"
#include "export/temp_file.h"
#include "marketdata/series.h"
#include "platform/saturate.h"
#include "shell/chart_window.h"

namespace exporting {

namespace {

// The open script: written to a temporary file and renamed into place when
// closed, so a reader never sees half a script.
struct ImageMapScript {
    std::FILE* file = nullptr;
    TempFile temp;
};

ImageMapScript& Script() {
    static ImageMapScript script;
    return script;
}

void DiscardScript(ImageMapScript& script) {
    if (script.file != nullptr) {
        std::fclose(script.file);
        script.file = nullptr;
        script.temp.fd = -1;  // closed with the stream
    }
    DiscardTemp(script.temp);
}

// Texts go inside a double-quoted script string and single-quoted markup
// attributes; nothing in them may end either.
std::string EscapeText(const char* text) {
    std::string out;
    if (text == nullptr)
        return out;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        switch (byte) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += byte < 0x20 ? ' ' : *c;
                break;
        }
    }
    return out;
}

LONG SaturatedDifference(LONG high, LONG low) {
    return SaturateToInt32(std::int64_t{high} - low);
}

}  // namespace

void OpenImageMapScript(HWND dialog) {
    RECT chart{};
    shell::GetChartRect(dialog, chart);
    OpenImageMapScript(SaturatedDifference(chart.right, chart.left), SaturatedDifference(chart.bottom, chart.top));
}

void OpenImageMapScript(LONG width, LONG height) {
    ImageMapScript& script = Script();
    DiscardScript(script);  // an unfinished earlier script is not kept

    script.temp = CreateTempBeside(ImageMapScriptName);
    if (script.temp.fd < 0)
        return;
    script.file = ::fdopen(script.temp.fd, "wb");
    if (script.file == nullptr) {
        DiscardTemp(script.temp);
        return;
    }
    // The script's lines end in CR LF whatever the platform.
    std::fprintf(script.file,
                 "document.write(\"<img src='Dravenholt.gif' width='%d' height='%d' alt='Dravenholt' "
                 "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");\r\n",
                 static_cast<int>(width), static_cast<int>(height));
    std::fputs("document.write(\"<map name='dhmap'>\");\r\n", script.file);
}

void AddMapArea(const RECT& rect, const char* link, const char* altText) {
    ImageMapScript& script = Script();
    if (script.file == nullptr)
        return;
    std::fprintf(script.file,
                 "document.write(\"  <area shape='rect' coords='%d,%d,%d,%d' alt='%s' href='%s' />\");\r\n",
                 static_cast<int>(rect.left), static_cast<int>(rect.top), static_cast<int>(rect.right),
                 static_cast<int>(rect.bottom), EscapeText(altText).c_str(), EscapeText(link).c_str());
}

void CloseImageMapScript() {
    ImageMapScript& script = Script();
    if (script.file == nullptr)
        return;
    std::fputs("document.write(\"</map>\");\r\n", script.file);

    bool good = std::fflush(script.file) == 0 && std::ferror(script.file) == 0;
    if (good)
        ::fsync(::fileno(script.file));
    if (std::fclose(script.file) != 0)
        good = false;
    script.file = nullptr;
    script.temp.fd = -1;  // closed with the stream
    if (good) {
        CommitTemp(script.temp, ImageMapScriptName);
    } else {
        DiscardTemp(script.temp);
    }
}

void ExportChart(HWND dialog) {
    marketdata::LoadAllSeries();
    shell::InvalidateChart(dialog);
    OpenImageMapScript(dialog);
    // Paints the chart now; its panels add their areas to the open script.
    UpdateWindow(dialog);
    CloseImageMapScript();
    DibSnapshot snapshot = SaveWindowAsGif(GetDlgItem(dialog, shell::ChartPlaceholderId), ChartPictureName, 8, 256);
    snapshot.block.reset();
}

}  // namespace exporting
