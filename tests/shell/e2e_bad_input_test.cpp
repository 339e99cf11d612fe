// The whole program against damaged input: each case damages a copy of the
// sample Data folder one way and runs `dravenholt --export` there. It must end
// with status 0, leaving a GIF an independent decoder reads, the image-map script and nothing
// else; a folder it cannot write gets nothing at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <regex>
#include <sstream>

#include "support/e2e_support.h"

namespace fs = std::filesystem;
using F = const fs::path&;

namespace {

void Put(F file, const std::string& content) {
    fs::remove_all(file);
    std::ofstream(file, std::ios::binary) << content;
}

void EveryFile(F data, const std::function<void(F)>& damage) {
    std::vector<fs::path> files;  // all found before the first is damaged
    for (const auto& entry : fs::recursive_directory_iterator(data))
        entry.is_regular_file() ? files.push_back(entry.path()) : void();
    std::for_each(files.begin(), files.end(), damage);
}

// Replaces the k-th match of `pattern` in each file but the ribbon configuration with replace(k, match).
void EveryMatch(F data, const char* pattern,
                const std::function<std::string(std::size_t, const std::string&)>& replace) {
    const std::regex expression(pattern);
    EveryFile(data, [&](F file) {
        const std::string text = testsupport::ReadFile(file);
        std::string out;
        std::size_t k = 0, tail = 0;
        for (std::sregex_iterator m(text.begin(), text.end(), expression), end; m != end; ++m, ++k) {
            out += m->prefix().str() + replace(k, m->str());
            tail = std::size_t(m->position() + m->length());
        }
        if (file.filename() != "RibbonInfo.txt")
            Put(file, out + text.substr(tail));
    });
}

const std::vector<std::string> Limits = {
    "4294967295", "4294967296", "2147483647", "2147483648",   "-2147483648",   "42949672.95",
    "0",          "0.01",       "-1",         "-21474836.48", "4,294,967,295", "99999999999999999999"};
const std::vector<std::string> Times = {"99:99:99", "24:00:00", "14:99:99.9999", "-1:-1:-1", "::::", ""};

// What the run must leave, and how it is made: Unreadable runs as nobody when
// root (chmod stops everyone else), Unwritable too, in a folder it cannot write.
enum class Kind { Picture, NoAreas, Unreadable, Unwritable };
struct Case {
    std::string name;
    std::function<void(F data)> damage;
    Kind kind = Kind::Picture;
};
// Test listings show the case's name rather than its bytes.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (std::string file : {"eSPY", "iDJI", "fES.M10", "eSPY.vw", "fES.M10.vw", "eSPY.25ms", "fES.M10.25ms",
                             "QteTrdCnts", "RibbonInfo", "CNBC_Elapsed", "labels", "Ribbon/ALDR"}) {
        std::string name = "GarbageIn_" + std::regex_replace(file, std::regex("[./]"), "_");
        cases.push_back({name, [file](F data) {
                             // Random bytes and enough separators, digits and line ends to pass first checks.
                             std::mt19937 rng(7);
                             std::string bytes(64 * 1024, 0);
                             for (char& c : bytes)
                                 c = rng() % 4 ? char(rng()) : "|||::..,,0123456789\n\r\t -T;"[rng() % 26];
                             Put(data / (file + ".txt"), bytes);
                         }});
    }
    const auto every = [](void (*damage)(F)) { return [=](F data) { EveryFile(data, damage); }; };
    cases.push_back({"EmptyFiles", every([](F f) { Put(f, ""); }), Kind::NoAreas});
    cases.push_back({"DirectoriesForFiles", every([](F f) { fs::remove(f), fs::create_directory(f); }), Kind::NoAreas});
    cases.push_back({"FifosForFiles", every([](F f) { fs::remove(f), ::mkfifo(f.c_str(), 0644); }), Kind::NoAreas});
    cases.push_back({"UnreadableFiles", every([](F f) { fs::permissions(f, fs::perms::none); }), Kind::Unreadable});
    cases.push_back({"UnwritableWorkingFolder", [](F) {}, Kind::Unwritable});
    cases.push_back({"LineOf10MB", [](F data) {  // ahead of the real content of the files read most
                         std::string line = "14:45:00|";
                         while (line.size() < 10 << 20)
                             line += "12345|";
                         for (const char* file : {"eSPY.txt", "RibbonInfo.txt", "labels.txt", "CNBC_Elapsed.txt"})
                             Put(data / file, line + "\n" + testsupport::ReadFile(data / file));
                     }});
    cases.push_back({"LinesOutOfTimeOrder", every([](F f) {
                         std::vector<std::string> lines;
                         std::istringstream in(testsupport::ReadFile(f));
                         for (std::string line; std::getline(in, line);)
                             lines.push_back(line + "\n");
                         std::shuffle(lines.begin(), lines.end(), std::mt19937(11));
                         Put(f, std::accumulate(lines.begin(), lines.end(), std::string()));
                     })});
    cases.push_back({"NumbersAtTheLimitsOf32Bits", [](F data) {
                         EveryMatch(data, R"(\|-?[0-9][0-9.,]*(?=[|\r\n]))",
                                    [](std::size_t k, auto&) { return "|" + Limits[k % Limits.size()]; });
                         Put(data / "RibbonInfo.txt",  // divisors and columns at the limits too
                             "Big divisor|3|2|4294967295|Data\\Ribbon\\ALDR.txt|a|a\n"
                             "Far column|4294967295|2|0|Data\\Ribbon\\CEDR.txt|c|c\n"
                             "Odd rule|3|4294967295|2147483648|Data\\Ribbon\\DGWD.txt|d|d\n");
                     }});
    cases.push_back({"ImpossibleTimes", [](F data) {  // every other time
                         EveryMatch(data, "[0-9]+:[0-9]+:[0-9.]+", [](std::size_t k, const std::string& time) {
                             return k % 2 ? time : Times[k / 2 % Times.size()];
                         });
                     }});
    cases.push_back({"FirstPrice001Then100", [](F data) {  // a rise of a million percent
                         EveryMatch(data, R"(\|[0-9]+\.[0-9]+(?=[|\r\n]))",
                                    [](std::size_t k, auto&) { return k == 0 ? "|0.01" : "|100.00"; });
                     }});
    cases.push_back({"RibbonConfigurationOf1000Lines", [](F data) {  // rows, rows naming missing files, comments
                         std::string config;
                         for (int i = 0; i < 750; ++i)  // 1,000 lines
                             config +=
                                 i % 3 ? "Row|3|2|0|Data\\Ribbon\\ALDR.txt|a|a\n" : "; comment\nGone|3|2|0|x|g|g\n";
                         Put(data / "RibbonInfo.txt", config);
                     }});
    cases.push_back({"LabelsOf100000Lines", [](F data) {  // every kind, font and colour, some with links
                         std::string labels;
                         char line[160];
                         for (int i = 0, s = 52950; i < 100000; s = 52950 + ++i * 630 / 100000) {
                             std::snprintf(line, sizeof line, "T|%02d:%02d:%02d|-%d.%02d|%d|%d|%d|%s|-%d.00|%d|%s|a\n",
                                           s / 3600, s / 60 % 60, s % 60, i % 9, i % 100, i % 4, i % 16, i % 5,
                                           i % 3 ? "" : "14:50:00", i % 8, i, i % 10 ? "" : "notes/x.htm");
                             labels += line;
                         }
                         Put(data / "labels.txt", labels);
                     }});
    // Ribbon rows may name any file; endless ones must not stall the paint.
    cases.push_back({"RibbonRowsNamingEndlessFiles", [](F data) {
                         Put(data / "RibbonInfo.txt",
                             "Pages|3|2|0|/proc/self/pagemap|p|p\nZeros|3|2|0|/dev/zero|z|z\n"
                             "Row|3|2|0|Data\\Ribbon\\ALDR.txt|a|a\n");
                     }});
    return cases;
}

class BadInputTest : public ::testing::TestWithParam<Case> {};

TEST_P(BadInputTest, ExportEndsCleanly) {
    const Case& c = GetParam();
    const bool asNobody = (c.kind == Kind::Unreadable || c.kind == Kind::Unwritable) && ::geteuid() == 0;
    if (asNobody && !testsupport::HaveProgram("setpriv"))
        GTEST_SKIP() << "running as root without setpriv: cannot take the privileges away";
    if (!testsupport::HaveGiflib || !testsupport::HaveProgram("timeout"))
        GTEST_SKIP() << "no GIF decoder library or no timeout program";
    testsupport::TempDir dir;
    // Nobody may pass through, and starts a copy of the program.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::path program = dir.path() / "dravenholt", work = dir.path() / "work";
    fs::copy_file(DH_BINARY, program);
    fs::create_directory(work);
    fs::copy(testsupport::SampleDir() / "Data", work / "Data", fs::copy_options::recursive);
    c.damage(work / "Data");
    if (c.kind == Kind::Unreadable && asNobody) {
        ASSERT_EQ(::chown(work.c_str(), 65534, 65534), 0);
    }
    if (c.kind == Kind::Unwritable)
        fs::permissions(work, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    std::set<std::string> expected = testsupport::Entries(work);  // and no temporary file left
    if (c.kind != Kind::Unwritable)
        expected.insert({"Dravenholt.gif", "DravenholtSummary.js"});
    std::vector<std::string> command = {program.string(), "--export"};
    if (asNobody)
        command.insert(command.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    // Killed if it hangs (an endless file read to its end, say): a hang
    // fails here rather than stalling the whole suite.
    const testsupport::CommandResult result = testsupport::RunCommand(command, work, 120);
    EXPECT_EQ(result.exitCode, c.kind == Kind::Unwritable ? 1 : 0) << result.err;
    EXPECT_EQ(testsupport::Entries(work), expected);
    // Without a window, the run's only way to say what it could not write.
    const bool warned = result.err.find("could not write DravenholtSummary.js") != std::string::npos &&
                        result.err.find("could not write Dravenholt.gif") != std::string::npos;
    EXPECT_EQ(warned, c.kind == Kind::Unwritable) << result.err;
    fs::permissions(work, fs::perms::owner_all, fs::perm_options::add);
    if (c.kind == Kind::Unwritable)
        return;
    const auto script = testsupport::ParseImageMapScript(testsupport::ReadFile(work / "DravenholtSummary.js"));
    EXPECT_TRUE(script.wellFormed && script.width == 1801 && script.height == 977);
    EXPECT_TRUE(c.kind == Kind::Picture || script.areas.empty()) << script.areas.size() << " areas";
    std::string error;
    const auto gif = testsupport::DecodeGif(work / "Dravenholt.gif", error);
    ASSERT_TRUE(gif) << "decoder: " << error;
    EXPECT_EQ(std::tie(gif->width, gif->height, gif->imageCount), std::tuple(1801, 977, 1));
}

INSTANTIATE_TEST_SUITE_P(DamagedData, BadInputTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
