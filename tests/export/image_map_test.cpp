// The image-map script: its exact lines, escaping of texts, a fresh script at
// every export, and no file at all where none can be written.
#include "export/image_map.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace exporting;

namespace {

const std::string Head701x500 =
    "document.write(\"<img src='Dravenholt.gif' width='701' height='500' alt='Dravenholt' "
    "usemap='#dhmap'style='border: 1px lightgrey solid;' />\");\r\n"
    "document.write(\"<map name='dhmap'>\");\r\n";
const std::string Tail = "document.write(\"</map>\");\r\n";

std::string Script(const testsupport::TempDir& dir) {
    return testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
}

std::size_t EntryCount(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++n;
    return n;
}

}  // namespace

TEST(ImageMapScript, ThreeLinesWhenNothingAddsAnArea) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    OpenImageMapScript(701, 500);
    CloseImageMapScript();
    EXPECT_EQ(Script(dir), Head701x500 + Tail);
    EXPECT_EQ(EntryCount(dir.path()), 1u);  // no temporary left behind
}

TEST(ImageMapScript, AreaLinesPutTheTextBeforeTheLink) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    OpenImageMapScript(701, 500);
    AddMapArea(RECT{10, 20, 110, 35}, "http://example.com/a?b=1&c=2", "Opening bell");
    AddMapArea(RECT{-5, 0, 0, 2147483647}, "", "");
    CloseImageMapScript();
    EXPECT_EQ(Script(dir),
              Head701x500 +
                  "document.write(\"  <area shape='rect' coords='10,20,110,35' alt='Opening bell' "
                  "href='http://example.com/a?b=1&c=2' />\");\r\n"
                  "document.write(\"  <area shape='rect' coords='-5,0,0,2147483647' alt='' href='' />\");\r\n" +
                  Tail);
}

TEST(ImageMapScript, TextsCannotBreakTheScriptOrTheMarkup) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    OpenImageMapScript(3, 4);
    AddMapArea(RECT{1, 2, 3, 4}, "a'b\"c\\d", "x<y>z\r\n\tq&amp;");
    AddMapArea(RECT{1, 2, 3, 4}, nullptr, nullptr);
    CloseImageMapScript();
    const std::string script = Script(dir);
    EXPECT_NE(script.find("alt='x&lt;y&gt;z   q&amp;' href='a&#39;b&quot;c\\\\d' />\");\r\n"), std::string::npos)
        << script;
    EXPECT_NE(script.find("alt='' href='' />"), std::string::npos);
    // Every line is one complete call ending in CR LF.
    std::size_t lines = 0;
    for (std::size_t at = 0; at < script.size();) {
        const std::size_t end = script.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = script.substr(at, end - at);
        EXPECT_EQ(line.rfind("document.write(\"", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 3), "\");") << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 5u);
}

TEST(ImageMapScript, EveryExportWritesItAnewAndOnlyWhileOpen) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    AddMapArea(RECT{0, 0, 1, 1}, "l", "t");  // nothing is open: no file
    CloseImageMapScript();
    EXPECT_FALSE(fs::exists(dir.path() / "DravenholtSummary.js"));

    OpenImageMapScript(701, 500);
    AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
    AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
    CloseImageMapScript();
    AddMapArea(RECT{0, 0, 1, 1}, "late", "late");  // after closing: ignored
    OpenImageMapScript(701, 500);
    CloseImageMapScript();
    EXPECT_EQ(Script(dir), Head701x500 + Tail);
}

TEST(ImageMapScript, ScriptIsReplacedOnlyWhenComplete) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    dir.Write("DravenholtSummary.js", "previous script");
    OpenImageMapScript(701, 500);
    AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
    // Until it is closed, readers still see the previous script.
    EXPECT_EQ(Script(dir), "previous script");
    CloseImageMapScript();
    EXPECT_EQ(Script(dir).substr(0, Head701x500.size()), Head701x500);
    EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(ImageMapScript, UnwritableFolderLeavesNoFile) {
    testsupport::TempDir dir;
    const fs::path gone = dir.path() / "gone";
    fs::create_directory(gone);
    {
        testsupport::ScopedCwd cwd(gone);
        fs::remove(gone);  // the working directory no longer exists: nothing can be created in it
        OpenImageMapScript(701, 500);
        AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
        CloseImageMapScript();
    }
    EXPECT_EQ(EntryCount(dir.path()), 0u);

    // A read-only folder, as a user without privileges sees it.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const bool root = ::geteuid() == 0;
    {
        testsupport::ScopedCwd cwd(dir.path());
        if (root && ::seteuid(65534) != 0)
            GTEST_SKIP() << "cannot drop root privileges";
        OpenImageMapScript(701, 500);
        AddMapArea(RECT{0, 0, 1, 1}, "l", "t");
        CloseImageMapScript();
        if (root) {
            ASSERT_EQ(::seteuid(0), 0);
        }
    }
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(EntryCount(dir.path()), 0u);
}
