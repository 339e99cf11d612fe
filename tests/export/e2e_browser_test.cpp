// The exported files in a real browser (headless Chromium): a page that runs
// DravenholtSummary.js shows Dravenholt.gif at the scripted size with an
// image map whose areas are the linked labels, ribbon rows and broadcast
// heading read from the data files, in drawing order, each hit where the
// script places it; texts with quotes and angle brackets neither break the
// page nor change on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "export/image_map.h"
#include "export/snapshot.h"
#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::RunCommand;

namespace {

// ------------------------------------------------ the data files, read here

// The areas the export should write, derived from the data files by rules
// of their own, independent of the program's readers.
struct ExpectedArea {
    std::string href;
    std::string alt;
};

std::vector<std::string> FileLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// '|'-separated fields without their line end, blanks trimmed; the last
// field keeps its trailing blanks, and an empty last field does not count.
std::vector<std::string> Fields(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (fields.size() < 32) {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
        const std::size_t bar = line.find('|', at);
        if (bar == std::string::npos) {
            if (at < line.size())
                fields.push_back(line.substr(at));
            break;
        }
        std::size_t end = bar;
        while (end > at && IsBlank(line[end - 1]))
            --end;
        fields.push_back(line.substr(at, end - at));
        at = bar + 1;
    }
    return fields;
}

std::string Field(const std::vector<std::string>& fields, std::size_t n, std::size_t limit = std::string::npos) {
    return n < fields.size() ? fields[n].substr(0, limit) : std::string{};
}

// "H:M:S" with optional ".mmm", as whole seconds of the day.
long Seconds(const std::string& time) {
    long parts[3] = {0, 0, 0};
    std::size_t n = 0;
    for (char c : time) {
        if (c >= '0' && c <= '9') {
            parts[n] = parts[n] * 10 + (c - '0');
        } else if (c == ':' && n < 2) {
            ++n;
        } else {
            break;
        }
    }
    return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

// Digits after blanks, with ',' between digit groups.
unsigned long Count(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    unsigned long value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] >= '0' && text[at] <= '9')
            value = value * 10 + static_cast<unsigned long>(text[at] - '0');
        else if (text[at] != ',')
            break;
    }
    return value;
}

constexpr long WindowFirstSecond = 14 * 3600 + 42 * 60 + 30;
constexpr long WindowLastSecond = 14 * 3600 + 53 * 60;
constexpr int RibbonRowLimit = 16;

std::vector<ExpectedArea> ExpectedAreas(const fs::path& root) {
    std::vector<ExpectedArea> areas;
    // Labels of type T anchored in the window, up to the first one after it.
    for (const std::string& line : FileLines(root / "Data" / "labels.txt")) {
        if (!line.empty() && line[0] == ';')
            continue;
        const auto f = Fields(line);
        if (f.size() < 7)
            continue;
        const long s = Seconds(f[1]);
        if (s < WindowFirstSecond)
            continue;
        if (s > WindowLastSecond)
            break;
        if (f[0].empty() || f[0][0] != 'T')
            continue;
        if (!Field(f, 9).empty())
            areas.push_back({Field(f, 9), Field(f, 10)});
    }
    // Ribbon rows whose series file opens, at most 16 of them.
    int rows = 0;
    for (const std::string& line : FileLines(root / "Data" / "RibbonInfo.txt")) {
        if ((!line.empty() && line[0] == ';') || rows == RibbonRowLimit)
            continue;
        const auto f = Fields(line);
        if (f.size() < 4 || Count(f[1]) == 0)
            continue;
        std::string series = Field(f, 4);
        for (char& c : series) {
            if (c == '\\')
                c = '/';
        }
        if (series.empty() || !fs::is_regular_file(root / series))
            continue;
        ++rows;
        if (!Field(f, 5).empty())
            areas.push_back({Field(f, 5, 255), Field(f, 6, 63)});
    }
    // The broadcast heading, with an empty text, when its strip is drawn.
    std::optional<std::string> headingLink;
    int events = 0;
    for (const std::string& line : FileLines(root / "Data" / "CNBC_Elapsed.txt")) {
        if (!line.empty() && line[0] == ';')
            continue;
        const auto f = Fields(line);
        if (f.size() < 2)
            continue;
        if (!headingLink)
            headingLink = Field(f, 2, 127);
        else
            ++events;
    }
    if (rows > 0 && events > 0 && headingLink)
        areas.push_back({*headingLink, ""});
    return areas;
}

// ------------------------------------------------------------- the browser

std::optional<std::string> FindChromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        if (testsupport::HaveProgram(name))
            return std::string(name);
    }
    return std::nullopt;
}

// The page: the script, then a report of what the browser made of it, written
// into <pre id="report"> on load. Texts are percent-encoded so that the
// dumped DOM holds them without any markup escaping.
constexpr const char* PageText = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>export check</title></head><body>
<script src="DravenholtSummary.js"></script>
<p id="after">after the script</p>
<pre id="report">not run</pre>
<script>
window.addEventListener('load', function () {
  var e = function (s) { return s === null ? '%00' : encodeURIComponent(s); };
  var out = [];
  var imgs = document.getElementsByTagName('img');
  var maps = document.getElementsByTagName('map');
  var areas = document.getElementsByTagName('area');
  out.push('images ' + imgs.length);
  out.push('maps ' + maps.length + ' ' + (maps.length ? e(maps[0].name) : '-'));
  out.push('after ' + (document.getElementById('after') !== null ? 1 : 0));
  out.push('injected ' + (document.getElementById('injected') !== null ? 1 : 0));
  if (imgs.length) {
    var i = imgs[0];
    out.push('img ' + i.naturalWidth + ' ' + i.naturalHeight + ' ' + i.width + ' ' + i.height + ' ' +
             (i.complete ? 1 : 0) + ' ' + e(i.getAttribute('usemap')) + ' ' + e(i.getAttribute('alt')));
  }
  for (var k = 0; k < areas.length; ++k) {
    var a = areas[k];
    out.push('area ' + e(a.getAttribute('shape')) + ' ' + e(a.getAttribute('coords')) + ' ' +
             e(a.getAttribute('href')) + ' ' + e(a.getAttribute('alt')) + ' ' + (a.parentNode === maps[0] ? 1 : 0));
  }
  // Which area the pointer finds at each area's centre.
  if (imgs.length) {
    var img = imgs[0];
    for (var k = 0; k < areas.length; ++k) {
      var c = areas[k].getAttribute('coords').split(',').map(Number);
      var cx = (c[0] + c[2]) / 2, cy = (c[1] + c[3]) / 2;
      var r0 = img.getBoundingClientRect();
      window.scrollTo(Math.max(0, window.scrollX + r0.left + cx - 100), Math.max(0, window.scrollY + r0.top + cy - 100));
      var r = img.getBoundingClientRect();
      var hit = document.elementFromPoint(r.left + img.clientLeft + cx, r.top + img.clientTop + cy);
      var found = -1;
      for (var j = 0; j < areas.length; ++j) { if (areas[j] === hit) found = j; }
      out.push('hit ' + k + ' ' + found);
    }
  }
  out.push('end');
  document.getElementById('report').textContent = out.join('\n');
});
</script>
</body></html>
)";

struct PageArea {
    std::string shape, coords, href, alt;
    bool inMap = false;
};
struct PageReport {
    bool complete = false;  // the report ran to its end
    int images = -1, maps = -1;
    std::string mapName;
    bool after = false, injected = true;
    int naturalWidth = -1, naturalHeight = -1, width = -1, height = -1;
    bool loaded = false;
    std::string usemap, imgAlt;
    std::vector<PageArea> areas;
    std::vector<int> hits;  // per area, the area found at its centre (-1 none)
};

std::string PercentDecode(const std::string& text) {
    if (text == "%00")
        return std::string(1, '\0');  // null attribute
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<PageReport> ReadReport(const std::string& dom) {
    const std::string open = "<pre id=\"report\">";
    const std::size_t start = dom.find(open);
    if (start == std::string::npos)
        return std::nullopt;
    const std::size_t end = dom.find("</pre>", start);
    if (end == std::string::npos)
        return std::nullopt;
    std::istringstream lines(dom.substr(start + open.size(), end - start - open.size()));
    PageReport r;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "images") {
            in >> r.images;
        } else if (key == "maps") {
            std::string name;
            in >> r.maps >> name;
            r.mapName = PercentDecode(name);
        } else if (key == "after" || key == "injected") {
            int v = 0;
            in >> v;
            (key == "after" ? r.after : r.injected) = v != 0;
        } else if (key == "img") {
            int loaded = 0;
            std::string usemap, alt;
            in >> r.naturalWidth >> r.naturalHeight >> r.width >> r.height >> loaded >> usemap >> alt;
            r.loaded = loaded != 0;
            r.usemap = PercentDecode(usemap);
            r.imgAlt = PercentDecode(alt);
        } else if (key == "area") {
            // An empty text encodes to nothing: split on single blanks.
            std::vector<std::string> parts;
            std::string rest = line.substr(5);
            for (std::size_t at = 0;;) {
                const std::size_t blank = rest.find(' ', at);
                parts.push_back(rest.substr(at, blank == std::string::npos ? std::string::npos : blank - at));
                if (blank == std::string::npos)
                    break;
                at = blank + 1;
            }
            if (parts.size() != 5)
                return std::nullopt;
            r.areas.push_back({PercentDecode(parts[0]), PercentDecode(parts[1]), PercentDecode(parts[2]),
                               PercentDecode(parts[3]), parts[4] == "1"});
        } else if (key == "hit") {
            int k = -1, found = -1;
            in >> k >> found;
            r.hits.push_back(found);
        } else if (key == "end") {
            r.complete = true;
        }
    }
    return r;
}

// Loads `page` in headless Chromium and reads the report it wrote.
std::optional<PageReport> LoadPage(const std::string& chromium, const fs::path& page, std::string& diagnostics) {
    const testsupport::TempDir profile;
    const CommandResult run =
        RunCommand({chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1280,900",
                    "--user-data-dir=" + profile.path().string(), "--virtual-time-budget=3000", "--dump-dom",
                    "file://" + page.string()},
                   page.parent_path(), 90);
    diagnostics = "exit " + std::to_string(run.exitCode) + "\n" + run.out.substr(0, 4000) + "\n" +
                  run.err.substr(run.err.size() > 4000 ? run.err.size() - 4000 : 0);
    if (run.exitCode != 0)
        return std::nullopt;
    return ReadReport(run.out);
}

std::string Coords(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// The area a pointer at the centre of area k should find: the first area
// of the map whose rectangle holds that point; nullopt when the point lies
// on some area's edge or outside the picture, where browsers may differ.
std::optional<int> AreaAtCentreOf(const std::vector<RECT>& rects, std::size_t k, int width, int height) {
    const RECT& c = rects[k];
    if (c.left >= c.right || c.top >= c.bottom)
        return std::nullopt;
    const double x = (c.left + c.right) / 2.0, y = (c.top + c.bottom) / 2.0;
    if (x <= 0 || y <= 0 || x >= width || y >= height)
        return std::nullopt;
    for (std::size_t j = 0; j < rects.size(); ++j) {
        const RECT& r = rects[j];
        const bool onEdge = ((x == r.left || x == r.right) && y >= r.top && y <= r.bottom) ||
                            ((y == r.top || y == r.bottom) && x >= r.left && x <= r.right);
        if (onEdge)
            return std::nullopt;
    }
    for (std::size_t j = 0; j < rects.size(); ++j) {
        const RECT& r = rects[j];
        if (x > r.left && x < r.right && y > r.top && y < r.bottom)
            return static_cast<int>(j);
    }
    return -1;
}

int GifSide(const std::string& gif, std::size_t at) {
    return static_cast<unsigned char>(gif[at]) | (static_cast<unsigned char>(gif[at + 1]) << 8);
}

// The browser's areas are the expected links and texts, in order, at the
// coordinates of the script's area lines.
void ExpectAreas(const PageReport& report, const testsupport::ParsedScript& script,
                 const std::vector<ExpectedArea>& expected) {
    ASSERT_EQ(script.areas.size(), expected.size()) << "area lines in the script";
    ASSERT_EQ(report.areas.size(), expected.size()) << "areas in the page";
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto& area = report.areas[k];
        EXPECT_EQ(area.shape, "rect") << k;
        EXPECT_EQ(area.coords, Coords(script.areas[k].rect)) << k;
        EXPECT_EQ(area.href, expected[k].href) << k;
        EXPECT_EQ(area.alt, expected[k].alt) << k;
        EXPECT_TRUE(area.inMap) << k;
    }
}

// Copies the sample's data into `dir`, runs the export there, and loads a
// page with the result.
struct ExportedPage {
    std::string gif;
    testsupport::ParsedScript script;
    std::optional<PageReport> report;
    std::string diagnostics;
};
ExportedPage ExportAndLoad(const std::string& chromium, const fs::path& dir) {
    ExportedPage result;
    const CommandResult exported = RunCommand({DH_BINARY, "--export"}, dir);
    result.diagnostics = exported.err;
    if (exported.exitCode != 0)
        return result;
    result.gif = testsupport::ReadFile(dir / "Dravenholt.gif");
    result.script = testsupport::ParseImageMapScript(testsupport::ReadFile(dir / "DravenholtSummary.js"));
    const fs::path page = dir / "check.html";
    std::ofstream(page) << PageText;
    result.report = LoadPage(chromium, page, result.diagnostics);
    return result;
}

// --------------------------------------------------------------- the tests

TEST(BrowserPage, SampleExportShowsThePictureAndMapsEveryLinkedElement) {
    const auto chromium = FindChromium();
    if (!chromium)
        GTEST_SKIP() << "chromium is not installed";
    testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    const std::vector<ExpectedArea> expected = ExpectedAreas(dir.path());
    ASSERT_FALSE(expected.empty()) << "the sample should have linked elements";

    const ExportedPage exported = ExportAndLoad(*chromium, dir.path());
    const std::string& gif = exported.gif;
    const auto& script = exported.script;
    const auto& report = exported.report;
    ASSERT_GE(gif.size(), 10u) << exported.diagnostics;
    ASSERT_EQ(gif.substr(0, 6), "GIF87a");
    ASSERT_TRUE(script.wellFormed);
    ASSERT_TRUE(report.has_value()) << exported.diagnostics;
    ASSERT_TRUE(report->complete) << exported.diagnostics;

    // The picture, at the size the script gives it, which is its own size.
    EXPECT_EQ(report->images, 1);
    EXPECT_TRUE(report->loaded);
    EXPECT_EQ(report->naturalWidth, GifSide(gif, 6));
    EXPECT_EQ(report->naturalHeight, GifSide(gif, 8));
    EXPECT_EQ(report->width, script.width);
    EXPECT_EQ(report->height, script.height);
    EXPECT_EQ(report->naturalWidth, script.width);
    EXPECT_EQ(report->naturalHeight, script.height);
    EXPECT_EQ(report->imgAlt, "Dravenholt");
    EXPECT_EQ(report->usemap, "#dhmap");
    EXPECT_EQ(report->maps, 1);
    EXPECT_EQ(report->mapName, "dhmap");
    EXPECT_TRUE(report->after);

    // The map: labels, ribbon rows, heading, each where the script put it.
    ExpectAreas(*report, script, expected);
    std::vector<RECT> rects;
    for (const auto& area : script.areas)
        rects.push_back(area.rect);
    // A pointer over an area finds it (or an earlier one it lies under).
    ASSERT_EQ(report->hits.size(), expected.size());
    int checkedHits = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto want = AreaAtCentreOf(rects, k, script.width, script.height);
        if (!want)
            continue;
        ++checkedHits;
        EXPECT_EQ(report->hits[k], *want) << "centre of area " << k << " " << Coords(rects[k]);
    }
    EXPECT_GT(checkedHits, 0);
}

// Data that exercises the rules for which elements get an area: labels of
// other types, before the window, without a link, on its last second and
// after the line that ends the reading; ribbon rows that do not load, rows
// without a link, and more loadable rows than the ribbon holds.
TEST(BrowserPage, EdgeDataMapsOnlyTheLinkedElementsThatAreDrawn) {
    const auto chromium = FindChromium();
    if (!chromium)
        GTEST_SKIP() << "chromium is not installed";
    testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    dir.Write("Data/labels.txt",
              "; edge cases\n"
              "T|14:40:00|-1.00|0|1|0|||before the window|notes/early.htm|Early\n"
              "N|14:43:00|-1.00|0|1|0|||a note|notes/note.htm|Note\n"
              "T|14:42:30.999|-1.00|0|1|0|||first second|notes/first.htm|First second\n"
              "T|14:44:00|-2.50|0|10|2|||no alt text|notes/noalt.htm\n"
              "T|14:45:00|-2.00|0|10|0|||no link||Ignored\n"
              " ;T|14:46:00|-2.00|0|10|0|||blank before the semicolon|notes/semi.htm|Semi\n"
              "T|14:47:00|-3.00|3|10|4|14:46:00|-2.00|big font|notes/big.htm|Big \"font\" <b>\n"
              "T|14:53:00.000|-3.00|0|1|0|||last second|notes/last.htm|Last second\n"
              "T|14:53:01|-3.00|0|1|0|||after the window|notes/after.htm|After\n"
              "T|14:50:00|-3.00|0|1|0|||inside, after the stop|notes/late.htm|Late\n");
    std::vector<std::string> series;
    for (const auto& e : fs::directory_iterator(dir.path() / "Data" / "Ribbon"))
        series.push_back(e.path().filename().string());
    ASSERT_FALSE(series.empty());
    std::sort(series.begin(), series.end());
    std::string ribbon = "; rows\nMISSING|3|2|0|Data\\Ribbon\\NOT-THERE.txt|ribbon.htm#missing|Missing\n";
    ribbon += "ZERO|0|2|0|Data\\Ribbon\\" + series[0] + "|ribbon.htm#zero|Column zero\n";
    ribbon += "SHORT|3|2\nNOLINK|3|2|0|Data\\Ribbon\\" + series[0] + "||No link\n";
    for (int row = 0; row < 20; ++row) {
        const std::string n = std::to_string(row);
        ribbon += "ROW " + n + "|3|2|0|Data\\Ribbon\\" + series[row % series.size()] + "|ribbon.htm#row" + n + "|Row " +
                  n + "\n";
    }
    dir.Write("Data/RibbonInfo.txt", ribbon);

    const std::vector<ExpectedArea> expected = ExpectedAreas(dir.path());
    std::vector<std::string> hrefs;
    for (const auto& e : expected)
        hrefs.push_back(e.href);
    ASSERT_GE(hrefs.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(hrefs.begin(), hrefs.begin() + 4),
              (std::vector<std::string>{"notes/first.htm", "notes/noalt.htm", "notes/big.htm", "notes/last.htm"}));
    EXPECT_EQ(hrefs.size(), 4u + 15u + 1u) << "four labels, the 15 linked rows of 16, the heading";

    const ExportedPage exported = ExportAndLoad(*chromium, dir.path());
    ASSERT_TRUE(exported.script.wellFormed) << exported.diagnostics;
    ASSERT_TRUE(exported.report.has_value()) << exported.diagnostics;
    ASSERT_TRUE(exported.report->complete) << exported.diagnostics;
    EXPECT_EQ(exported.report->images, 1);
    EXPECT_TRUE(exported.report->loaded);
    ExpectAreas(*exported.report, exported.script, expected);
}

TEST(BrowserPage, QuotesAndAngleBracketsInTextsKeepThePageIntact) {
    const auto chromium = FindChromium();
    if (!chromium)
        GTEST_SKIP() << "chromium is not installed";
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());

    testsupport::MemoryPicture picture(40, 30);
    picture.Fill(RECT{0, 0, 40, 30}, RGB(255, 255, 255));
    picture.Fill(RECT{5, 5, 35, 25}, RGB(0, 0, 153));
    const exporting::DibSnapshot snapshot = exporting::CaptureDib(picture.dc, 40, 30, 8, 256);
    ASSERT_TRUE(testsupport::SaveSnapshotAsGif(snapshot, dir.path() / "Dravenholt.gif"));

    struct Text {
        RECT rect;
        std::string href, alt;
    };
    const std::vector<Text> texts = {
        {{0, 0, 20, 15}, "notes/it's.htm?a=1&b=2", "He said \"sell\" <now>"},
        {{20, 0, 40, 15}, "a\\b\\\\c", "</map></script><b>bold</b> & more"},
        {{0, 15, 20, 30}, "\"quoted\"", "');document.write('<p id=injected>x</p>');//"},
        {{20, 15, 40, 30}, "", ""},
        {{-5, -5, 45, 35}, "5 > 4 < 6", "S&P 500 'down'"},
    };
    exporting::OpenImageMapScript(40, 30);
    for (const Text& t : texts)
        exporting::AddMapArea(t.rect, t.href.c_str(), t.alt.c_str());
    exporting::CloseImageMapScript();

    const fs::path page = dir.path() / "check.html";
    std::ofstream(page) << PageText;
    std::string diagnostics;
    const auto report = LoadPage(*chromium, page, diagnostics);
    ASSERT_TRUE(report.has_value()) << diagnostics;
    ASSERT_TRUE(report->complete) << diagnostics;

    EXPECT_EQ(report->images, 1);
    EXPECT_TRUE(report->loaded);
    EXPECT_EQ(report->naturalWidth, 40);
    EXPECT_EQ(report->naturalHeight, 30);
    EXPECT_EQ(report->width, 40);
    EXPECT_EQ(report->height, 30);
    EXPECT_EQ(report->maps, 1);
    EXPECT_TRUE(report->after) << "the markup after the script survives";
    EXPECT_FALSE(report->injected) << "a text wrote markup of its own";
    ASSERT_EQ(report->areas.size(), texts.size()) << diagnostics;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        EXPECT_EQ(report->areas[k].coords, Coords(texts[k].rect)) << k;
        EXPECT_EQ(report->areas[k].href, texts[k].href) << k;
        EXPECT_EQ(report->areas[k].alt, texts[k].alt) << k;
        EXPECT_TRUE(report->areas[k].inMap) << k;
    }
}

}  // namespace
