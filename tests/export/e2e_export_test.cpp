// The exported files end to end: the picture, read back by an independent
// decoder, is the chart area just painted; bad sizes write nothing and a file
// that cannot be written is reported; a headless browser shows the picture
// with the map the data files call for, texts with quotes and angle brackets
// leaving the page intact, links that would run a script neither kept nor run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/color_reduction.h"
#include "export/gif_writer.h"
#include "export/image_map.h"
#include "export/snapshot.h"
#include "platform/user_internal.h"
#include "platform/whole_file.h"
#include "shell/chart_window.h"
#include "shell/main_dialog.h"
#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::DecodedGif;
using testsupport::RunCommand;

namespace {

#define SKIP_WITHOUT(have, what) \
    if (!(have))                 \
    GTEST_SKIP() << what << " is not installed"

// The sample's chart has more than 256 colours (smoothed text): the picture
// must be the chart area's pixels reduced with the chart's own colours kept.
TEST(SampleChartExport, GifIsTheChartAreaJustPaintedReducedKeepingTheChartsColours) {
    SKIP_WITHOUT(testsupport::HaveGiflib, "the GIF decoding library");
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    platform::HeadlessConfig config;
    config.script = {platform::InputEvent::RightClicked(10, 10), platform::InputEvent::KeyPressed(VK_ESCAPE)};
    platform::UseHeadlessBackend(std::move(config));
    std::vector<exporting::ExportResult> results;
    std::optional<exporting::IndexedPicture> shown;  // the chart area as the export left it
    int w = 0, h = 0;
    EXPECT_EQ(shell::RunChartWindow(nullptr,
                                    [&](const exporting::ExportResult& result) {
                                        results.push_back(result);
                                        HWND chart = GetDlgItem(platform::ActiveWindow(), shell::ChartPlaceholderId);
                                        if (auto snapshot = exporting::WindowSnapshot::Open(chart)) {
                                            w = int(snapshot->width()), h = int(snapshot->height());
                                            shown = exporting::ReduceColors(*snapshot, render::ColorTableFills());
                                        }
                                    }),
              0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].Complete()) << results[0].script.reason << results[0].picture.reason;
    EXPECT_EQ(std::tie(results[0].script.name, results[0].picture.name),
              std::tuple("DravenholtSummary.js", "Dravenholt.gif"));
    ASSERT_TRUE(shown);
    std::string error;
    const std::optional<DecodedGif> gif = testsupport::DecodeGif(dir.path() / "Dravenholt.gif", error);
    ASSERT_TRUE(gif) << error;
    EXPECT_EQ(std::tie(gif->width, gif->height, gif->imageCount, gif->imageWidth), std::tuple(w, h, 1, w));
    EXPECT_EQ(gif->colors, shown->colors);
    EXPECT_TRUE(gif->indices == shown->indices) << "the picture is not the chart area's";
    const auto script = testsupport::ParseImageMapScript(testsupport::ReadFile(dir.path() / "DravenholtSummary.js"));
    EXPECT_TRUE(script.wellFormed && std::tuple(script.width, script.height) == std::tuple(w, h));
}

// ------------------------------------------------------------- the browser

// The page reports what the browser made of the script, texts percent-encoded
// so that the dumped DOM holds them without markup escaping.
constexpr const char* PageText = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>
<script src="DravenholtSummary.js"></script>
<p id="after">after the script</p>
<pre id="report">not run</pre>
<script>
window.addEventListener('load', function () {
  var e = encodeURIComponent, img = document.images[0], areas = document.getElementsByTagName('area');
  var out = ['images ' + document.images.length + ' maps ' + document.getElementsByTagName('map').length +
             ' after ' + !!document.getElementById('after') + ' injected ' + !!document.getElementById('injected')];
  if (img)
    out.push(img.naturalWidth + 'x' + img.naturalHeight + ' shown ' + img.width + 'x' + img.height + ' ' + e(img.useMap));
  for (var k = 0; k < areas.length; ++k)
    out.push(areas[k].parentNode.tagName + ' ' + areas[k].getAttribute('shape') + ' ' + areas[k].getAttribute('coords') +
             ' ' + e(areas[k].getAttribute('href')) + ' ' + e(areas[k].getAttribute('alt')));
  document.getElementById('report').textContent = out.join('\n');
});
</script></body></html>
)";

// The lines the page should report for a w x h picture and its areas.
std::vector<std::string> ExpectedReport(int w, int h, const std::vector<testsupport::ScriptArea>& areas) {
    const auto uri = [](const std::string& text) {  // as encodeURIComponent writes it
        std::string out;
        for (const unsigned char c : text) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += std::isalnum(c) || std::strchr("-_.!~*'()", c) ? std::string(1, char(c)) : std::string(hex);
        }
        return out;
    };
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::vector<std::string> lines = {"images 1 maps 1 after true injected false",
                                      size + " shown " + size + " %23dhmap"};
    for (const auto& a : areas) {
        const RECT& r = a.rect;
        lines.push_back("MAP rect " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                        std::to_string(r.right) + "," + std::to_string(r.bottom) + " " + uri(a.href) + " " +
                        uri(a.alt));
    }
    return lines;
}

// Loads `page` running the script in `dir` in the headless browser; its report.
std::vector<std::string> LoadPage(const fs::path& dir, std::string& diagnostics, const char* page = PageText) {
    std::ofstream(dir / "check.html") << page;
    const testsupport::TempDir profile;
    const CommandResult run = RunCommand(
        {"chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile.path().string(),
         "--virtual-time-budget=3000", "--dump-dom", "file://" + (dir / "check.html").string()},
        dir, 90);
    diagnostics = run.out.substr(0, 3000) + "\n" + run.err;
    const std::size_t start = run.out.find("<pre id=\"report\">"), end = run.out.find("</pre>", start);
    std::vector<std::string> lines;
    std::istringstream report(start == std::string::npos ? "" : run.out.substr(start + 17, end - start - 17));
    for (std::string line; std::getline(report, line);)
        lines.push_back(line);
    return lines;
}

// '|'-separated fields of a data file's lines but comments.
std::vector<std::vector<std::string>> Records(const fs::path& file) {
    std::vector<std::vector<std::string>> records;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        std::istringstream split(line.substr(0, line.find('\r')));
        records.emplace_back();
        for (std::string field; std::getline(split, field, '|');)
            records.back().push_back(field);
        if (line.empty() || line[0] == ';')
            records.pop_back();
    }
    return records;
}

TEST(BrowserPage, SampleExportShowsThePictureAndMapsEveryLinkedElement) {
    SKIP_WITHOUT(testsupport::HaveProgram("chromium"), "the headless browser");
    testsupport::TempDir dir;
    const fs::path data = dir.path() / "Data";
    fs::copy(testsupport::SampleDir() / "Data", data, fs::copy_options::recursive);
    // The areas the data calls for, by this test's own reading: linked labels
    // of type T from 14:42:30 up to the first label after 14:53:00, linked
    // ribbon rows whose series file exists (16 at most), the broadcast heading.
    std::vector<testsupport::ScriptArea> expected;
    for (const auto& f : Records(data / "labels.txt")) {
        int h = 0, m = 0, s = 0;
        if (f.size() < 7 || std::sscanf(f[1].c_str(), "%d:%d:%d", &h, &m, &s) != 3 || h * 3600 + m * 60 + s < 52950)
            continue;
        if (h * 3600 + m * 60 + s > 53580)
            break;
        if (f[0] == "T" && f.size() > 9 && !f[9].empty())
            expected.push_back({{}, f.size() > 10 ? f[10] : "", f[9]});
    }
    int rows = 0;
    for (auto f : Records(data / "RibbonInfo.txt")) {
        f.resize(std::max<std::size_t>(f.size(), 7));
        std::replace(f[4].begin(), f[4].end(), '\\', '/');
        if (!f[4].empty() && fs::is_regular_file(dir.path() / f[4]) && ++rows <= 16 && !f[5].empty())
            expected.push_back({{}, f[6], f[5]});
    }
    expected.push_back({{}, "", Records(data / "CNBC_Elapsed.txt").at(0).at(2)});
    ASSERT_GT(expected.size(), 10u);

    const CommandResult run = RunCommand({DH_BINARY, "--export"}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto script = testsupport::ParseImageMapScript(testsupport::ReadFile(dir.path() / "DravenholtSummary.js"));
    ASSERT_TRUE(script.wellFormed);
    ASSERT_EQ(script.areas.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
        expected[k].rect = script.areas[k].rect;  // placed by the drawing; the page must keep them
    std::string diagnostics;
    EXPECT_EQ(LoadPage(dir.path(), diagnostics), ExpectedReport(script.width, script.height, expected)) << diagnostics;
}

TEST(BrowserPage, QuotesAndAngleBracketsInTextsKeepThePageIntact) {
    SKIP_WITHOUT(testsupport::HaveProgram("chromium"), "the headless browser");
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    const auto gif = exporting::EncodeGif({40, 30, std::vector<std::uint8_t>(40 * 30, 1), {0xFFFFFF, 0x3366CC}});
    platform::FileError error;
    ASSERT_TRUE(gif && platform::WriteWholeFile("Dravenholt.gif", *gif, error)) << error.reason;
    const std::vector<testsupport::ScriptArea> areas = {
        {{0, 0, 20, 15}, "He said \"sell\" <now>", "notes/it's.htm?a=1&b=2"},
        {{20, 0, 40, 15}, "</map></script><b>bold</b> & more", "a\\b\\\\c"},
        {{0, 15, 20, 30}, "');document.write('<p id=injected>x</p>');//", "\"quoted\""},
        {{-5, -5, 45, 35}, "S&P 500 'down'", ""},
    };
    render::MapAreaList mapAreas;
    for (const auto& a : areas)
        mapAreas.push_back({a.rect, a.href, a.alt});
    const std::string script = exporting::FormatImageMapScript(40, 30, mapAreas);
    ASSERT_TRUE(platform::WriteWholeFile(exporting::ImageMapScriptName,
                                         std::span(reinterpret_cast<const std::uint8_t*>(script.data()), script.size()),
                                         error));
    std::string diagnostics;
    EXPECT_EQ(LoadPage(dir.path(), diagnostics), ExpectedReport(40, 30, areas)) << diagnostics;
}

// Every area clicked, then what the links are and whether anything ran.
constexpr const char* ClickingPageText = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>check</title></head><body>
<script src="DravenholtSummary.js"></script>
<pre id="report">not run</pre>
<script>
window.addEventListener('load', function () {
  var areas = document.getElementsByTagName('area');
  for (var k = 0; k < areas.length; ++k)
    areas[k].click();
  setTimeout(function () {
    var out = ['title ' + document.title + ' areas ' + areas.length];
    for (var k = 0; k < areas.length; ++k)
      out.push(areas[k].protocol);
    document.getElementById('report').textContent = out.join('\n');
  }, 500);
});
</script></body></html>
)";

TEST(BrowserPage, LinksThatWouldRunScriptsInTheDataBecomeHarmless) {
    SKIP_WITHOUT(testsupport::HaveProgram("chromium"), "the headless browser");
    testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    // Each would change the title when followed (the page follows them all);
    // the seventh would also replace the page by its value.
    const std::string set = "document.title='pwned'";
    // clang-format off
    const std::vector<std::string> links = {
        "javascript:void(" + set + ")", "JaVaScRiPt:void(" + set + ")", "\x01javascript:void(" + set + ")",
        "java\tscript:void(" + set + ")", "&#106;avascript:void(" + set + ")", "javascript&colon;void(" + set + ")",
        "javascript:" + set, "jav&#x09;ascript:void(" + set + ")", "data:text/html,<script>opener." + set + "</script>",
        "vbscript:" + set};
    // clang-format on
    std::string labels = "; every label a link\n", ribbon = "; every row a link\n";
    const char* symbols[] = {"ALDR", "BRCH", "CEDR", "DGWD", "ELMW", "FIRR", "GNKO", "HZEL", "IRNW", "KTSR"};
    for (std::size_t k = 0; k < links.size(); ++k) {
        const std::string time = "14:4" + std::to_string(3 + k / 2) + (k % 2 ? ":30" : ":00");
        labels += "T|" + time + "|-1.00|0|12|0|||label|" + links[k] + "|alt\n";
        const std::string symbol = symbols[k];
        ribbon += symbol + "|3|2|0|Data\\Ribbon\\" + symbol + ".txt|" + links[(k + 3) % 10] + "|alt\n";
    }
    dir.Write("Data/labels.txt", labels);
    dir.Write("Data/RibbonInfo.txt", ribbon);
    dir.Write("Data/CNBC_Elapsed.txt", "14:42:00|Desk|" + links[6] + "\n00:01:00|Desk|soft\n");
    const CommandResult run = RunCommand({DH_BINARY, "--export", "--size", "900x700"}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::string diagnostics;
    const std::vector<std::string> report = LoadPage(dir.path(), diagnostics, ClickingPageText);
    ASSERT_FALSE(report.empty()) << "the page was replaced or never reported\n" << diagnostics;
    EXPECT_EQ(report[0], "title check areas 21") << diagnostics;
    const std::set<std::string> followable = {"http:", "https:", "mailto:", "ftp:", "file:"};
    for (std::size_t k = 1; k < report.size(); ++k)
        EXPECT_TRUE(followable.count(report[k])) << "area " << k << ": " << report[k];
}

}  // namespace
