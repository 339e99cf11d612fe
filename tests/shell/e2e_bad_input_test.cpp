// The whole program against damaged input. Each case copies the sample Data
// folder, damages it one way and runs `dravenholt --export` there: the run
// must end with status 0 within 10 seconds and leave a GIF that giflib reads,
// an image-map script, and nothing else. A working folder that cannot be
// written gets no file at all. A registry file of garbage must not stop the
// window from opening and closing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e_support.h"
#include "support/test_support.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int TimeLimitSeconds = 10;
constexpr uid_t NobodyId = 65534;

const std::vector<std::string> SeriesFiles = {"eSPY.txt",       "iDJI.txt",      "fES.M10.txt",      "eSPY.vw.txt",
                                              "fES.M10.vw.txt", "eSPY.25ms.txt", "fES.M10.25ms.txt", "QteTrdCnts.txt"};
const std::vector<std::string> PanelFiles = {"RibbonInfo.txt", "CNBC_Elapsed.txt", "labels.txt"};

// Every file the program reads, relative to Data/.
std::vector<std::string> AllDataFiles(const fs::path& data) {
    std::vector<std::string> files = SeriesFiles;
    files.insert(files.end(), PanelFiles.begin(), PanelFiles.end());
    for (const auto& entry : fs::directory_iterator(data / "Ribbon"))
        files.push_back("Ribbon/" + entry.path().filename().string());
    return files;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    for (;;) {
        const std::size_t bar = line.find('|', at);
        fields.push_back(line.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
        if (bar == std::string::npos)
            return fields;
        at = bar + 1;
    }
}

std::string Join(const std::vector<std::string>& parts, char separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i)
        out += (i == 0 ? "" : std::string(1, separator)) + parts[i];
    return out;
}

void Put(const fs::path& file, const std::string& content) {
    std::error_code ec;
    fs::remove_all(file, ec);
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr) << file;
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
}

// Rewrites every record line (not comments) of a file field by field.
void EditFields(const fs::path& file, const std::function<void(std::vector<std::string>&, std::size_t)>& edit) {
    std::vector<std::string> lines = Lines(testsupport::ReadFile(file));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == ';')
            continue;
        std::vector<std::string> fields = Fields(lines[i]);
        edit(fields, i);
        lines[i] = Join(fields, '|');
    }
    Put(file, Join(lines, '\n') + "\n");
}

std::string Garbage(std::size_t size, unsigned seed) {
    // Mostly raw bytes, with enough separators, digits and line ends that
    // the readers get past their first checks.
    static const std::string Salt = "|||::..,,0123456789\n\r\t -T;";
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        const std::uint32_t r = random();
        c = (r & 3) == 0 ? Salt[(r >> 8) % Salt.size()] : static_cast<char>(r >> 16);
    }
    return bytes;
}

bool IsNumber(const std::string& field) {
    return !field.empty() && field.find_first_not_of("0123456789.,-+ ") == std::string::npos &&
           field.find_first_of("0123456789") != std::string::npos;
}

// ------------------------------------------------------------------ damages

void GarbageIn(const fs::path& data, const std::string& file) {
    Put(data / file, Garbage(64 * 1024, 7));
}

void EveryFile(const fs::path& data, const std::function<void(const fs::path&)>& damage) {
    for (const std::string& file : AllDataFiles(data))
        damage(data / file);
}

// One physical line of 10 MB ahead of the real content of the files read most.
void LongLine(const fs::path& data) {
    std::string line = "14:45:00|";
    line.reserve(10 * 1024 * 1024 + 16);
    while (line.size() < 10 * 1024 * 1024)
        line += "12345|";
    line += "\n";
    for (const char* file : {"eSPY.txt", "RibbonInfo.txt", "labels.txt", "CNBC_Elapsed.txt"})
        Put(data / file, line + testsupport::ReadFile(data / file));
}

void OutOfOrder(const fs::path& data) {
    std::mt19937 random(11);
    for (const std::string& file : AllDataFiles(data)) {
        std::vector<std::string> lines = Lines(testsupport::ReadFile(data / file));
        std::shuffle(lines.begin(), lines.end(), random);
        Put(data / file, Join(lines, '\n') + "\n");
    }
}

// Every number becomes one of the values at the edges of 32 bits.
void LimitsOf32Bits(const fs::path& data) {
    static const std::vector<std::string> Limits = {
        "4294967295",  "4294967296",   "2147483647",    "2147483648", "-2147483648", "42949672.95",
        "21474836.47", "-21474836.48", "4,294,967,295", "0",          "0.01",        "99999999999999999999"};
    for (const std::string& file : AllDataFiles(data)) {
        if (file == "RibbonInfo.txt")
            continue;  // its columns would mostly point past every line
        EditFields(data / file, [](std::vector<std::string>& fields, std::size_t line) {
            for (std::size_t i = 1; i < fields.size(); ++i) {
                if (IsNumber(fields[i]))
                    fields[i] = Limits[(line + i) % Limits.size()];
            }
        });
    }
    // Divisors and columns at the limits too, on rows that still load.
    Put(data / "RibbonInfo.txt",
        "Big divisor|3|2|4294967295|Data\\Ribbon\\ALDR.txt|a.htm|a\n"
        "Signed divisor|2|1|2147483648|Data\\Ribbon\\BRCH.txt|b.htm|b\n"
        "Far column|4294967295|2|0|Data\\Ribbon\\CEDR.txt|c.htm|c\n"
        "Odd rule|3|4294967295|0|Data\\Ribbon\\DGWD.txt|d.htm|d\n"
        "Sum|3|2|0|Data\\Ribbon\\ELMW.txt|e.htm|e\n");
}

// Every other record gets an impossible time.
void ImpossibleTimes(const fs::path& data) {
    static const std::vector<std::string> Times = {
        "99:99:99", "24:00:00", "14:99:99.9999", "99999999999", "-1:-1:-1", "::::", "", "14:42:30.99999999999"};
    for (const std::string& file : AllDataFiles(data)) {
        if (file == "RibbonInfo.txt")
            continue;
        const bool labels = file == "labels.txt";
        EditFields(data / file, [&](std::vector<std::string>& fields, std::size_t line) {
            if (line % 2 != 0)
                return;
            for (std::size_t at : labels ? std::vector<std::size_t>{1, 6} : std::vector<std::size_t>{0}) {
                if (at < fields.size())
                    fields[at] = Times[(line / 2 + at) % Times.size()];
            }
        });
    }
}

// 1,000 configuration lines: the sample's rows over and over, with lines that
// name no file, comments and short lines among them.
void RibbonOfThousandLines(const fs::path& data) {
    std::vector<std::string> rows;
    for (const std::string& line : Lines(testsupport::ReadFile(data / "RibbonInfo.txt"))) {
        if (!line.empty() && line[0] != ';')
            rows.push_back(line);
    }
    ASSERT_FALSE(rows.empty());
    std::string config;
    for (int i = 0; i < 1000; ++i) {
        switch (i % 5) {
            case 0:
                config +=
                    "Gone " + std::to_string(i) + "|3|2|0|Data\\Ribbon\\missing" + std::to_string(i) + ".txt|x|y\n";
                break;
            case 1:
                config += "; comment " + std::to_string(i) + "\n";
                break;
            default:
                config += rows[static_cast<std::size_t>(i) % rows.size()] + "\n";
                break;
        }
    }
    Put(data / "RibbonInfo.txt", config);
}

// 100,000 labels inside the window, every kind, font and colour, some with links.
void LabelsOfHundredThousandLines(const fs::path& data) {
    std::string labels;
    labels.reserve(100000 * 80);
    char line[256];
    for (int i = 0; i < 100000; ++i) {
        const int second = 52950 + i * 630 / 100000;
        const int target = 52950 + (i * 7) % 631;
        std::snprintf(line, sizeof line, "T|%02d:%02d:%02d|-%d.%02d|%d|%d|%d|%s|-%d.00|label %d|%s|alt %d\n",
                      second / 3600, second / 60 % 60, second % 60, i % 9, i % 100, i % 4, i % 16, i % 5,
                      i % 3 == 0 ? (std::to_string(target / 3600) + ":" + std::to_string(target / 60 % 60) + ":" +
                                    std::to_string(target % 60))
                                       .c_str()
                                 : "",
                      i % 8, i, i % 10 == 0 ? "notes/x.htm" : "", i);
        labels += line;
    }
    Put(data / "labels.txt", labels);
}

// A first price of 0.01 and then 100.00 for the rest of the window: a rise
// of a million percent.
void TinyFirstPrice(const fs::path& data) {
    auto clock = [](int second, int ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", second / 3600, second / 60 % 60, second % 60, ms);
        return std::string(text);
    };
    std::string price;
    std::string weighted;
    for (int s = 52950; s <= 53580; ++s) {
        price += clock(s, 0) + (s == 52950 ? "|0.01|100|Q\n" : "|100.00|100|Q\n");
        weighted += clock(s, 0) + (s == 52950 ? "|X|1|1|1|1\n" : "|X|1|1|10000|1\n");
    }
    std::string ticks;
    for (int ms = 52962800; ms <= 52966300; ms += 25) {
        ticks += clock(ms / 1000, ms % 1000) +
                 (ms == 52962800 ? "|X|T|1|1|1|1|1|1|1|1|1\n" : "|X|T|10000|1|1|1|1|10000|1|1|10000\n");
    }
    for (const char* file : {"eSPY.txt", "iDJI.txt", "fES.M10.txt"})
        Put(data / file, price);
    for (const char* file : {"eSPY.vw.txt", "fES.M10.vw.txt"})
        Put(data / file, weighted);
    for (const char* file : {"eSPY.25ms.txt", "fES.M10.25ms.txt", "QteTrdCnts.txt"})
        Put(data / file, ticks);
}

// ------------------------------------------------------------- running

enum class RunAs { Self, NobodyWhenRoot };
// Picture: a GIF and a script; PictureWithoutAreas: the same, and no label,
// ribbon row or heading could be read, so the script has no area.
enum class Expect { Picture, PictureWithoutAreas, NoFiles };

struct BadInputCase {
    std::string name;
    std::function<void(const fs::path& data)> damage;
    RunAs runAs = RunAs::Self;
    Expect expect = Expect::Picture;
    // Damage applied to the working folder itself, after the data.
    std::function<void(const fs::path& work)> prepareWork = nullptr;
};

void PrintTo(const BadInputCase& badCase, std::ostream* out) {
    *out << badCase.name;
}

std::vector<BadInputCase> Cases() {
    std::vector<BadInputCase> cases;
    std::vector<std::string> garbageTargets = SeriesFiles;
    garbageTargets.insert(garbageTargets.end(), PanelFiles.begin(), PanelFiles.end());
    garbageTargets.push_back("Ribbon/ALDR.txt");
    for (const std::string& file : garbageTargets) {
        std::string name = "GarbageIn_" + file;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        cases.push_back({name, [file](const fs::path& data) { GarbageIn(data, file); }});
    }
    cases.push_back({"LineOf10MB", LongLine});

    // Nothing readable: the chart is drawn empty, and nothing gets an area.
    const auto everyFile = [](std::function<void(const fs::path&)> damage) {
        return [damage](const fs::path& data) { EveryFile(data, damage); };
    };
    const auto nothingReadable = [&](std::string name, std::function<void(const fs::path&)> damage) {
        cases.push_back({std::move(name), std::move(damage), RunAs::Self, Expect::PictureWithoutAreas});
    };
    nothingReadable("EmptyFiles", everyFile([](const fs::path& f) { Put(f, ""); }));
    nothingReadable("DirectoriesForFiles", everyFile([](const fs::path& f) {
                        fs::remove(f);
                        fs::create_directory(f);
                    }));
    nothingReadable("FifosWithoutWriter", everyFile([](const fs::path& f) {
                        fs::remove(f);
                        ASSERT_EQ(::mkfifo(f.c_str(), 0644), 0) << f;
                    }));
    nothingReadable("NoDataFolder", [](const fs::path& data) { fs::remove_all(data); });
    nothingReadable("DataIsAFile", [](const fs::path& data) {
        fs::remove_all(data);
        Put(data, "not a folder\n");
    });
    // chmod 000 stops everyone but root: as root the program runs as nobody,
    // in a working folder that nobody may write.
    cases.push_back({"UnreadableFiles", everyFile([](const fs::path& f) { fs::permissions(f, fs::perms::none); }),
                     RunAs::NobodyWhenRoot, Expect::PictureWithoutAreas, [](const fs::path& work) {
                         if (::geteuid() == 0) {
                             ASSERT_EQ(::chown(work.c_str(), NobodyId, NobodyId), 0);
                         }
                     }});
    cases.push_back({"LinesOutOfTimeOrder", OutOfOrder});
    cases.push_back({"NumbersAtTheLimitsOf32Bits", LimitsOf32Bits});
    cases.push_back({"ImpossibleTimes", ImpossibleTimes});
    cases.push_back({"RibbonConfigurationOf1000Lines", RibbonOfThousandLines});
    cases.push_back({"LabelsOf100000Lines", LabelsOfHundredThousandLines});
    // Ribbon rows may name any file: endless ones (a device, a pseudo file
    // that reports size 0 but reads on for ever) must not stall the paint.
    cases.push_back({"RibbonRowsNamingEndlessFiles", [](const fs::path& data) {
                         Put(data / "RibbonInfo.txt",
                             "Pages|3|2|0|/proc/self/pagemap|p.htm|p\n"
                             "Zeros|3|2|0|/dev/zero|z.htm|z\n"
                             "Noise|3|2|0|/dev/urandom|n.htm|n\n"
                             "ALDR trades|3|2|0|Data\\Ribbon\\ALDR.txt|a.htm|a\n");
                     }});
    cases.push_back({"FirstPrice001Then100", TinyFirstPrice});
    // Nothing may be created where the program runs: no picture, no script,
    // no temporary file left over.
    cases.push_back({"UnwritableWorkingFolder", [](const fs::path&) {}, RunAs::NobodyWhenRoot, Expect::NoFiles,
                     [](const fs::path& work) {
                         fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                                   fs::perms::group_exec | fs::perms::others_read |
                                                   fs::perms::others_exec);
                     }});
    return cases;
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

class BadInputTest : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(BadInputTest, ExportEndsCleanlyInTime) {
    const BadInputCase& badCase = GetParam();
    const bool asNobody = badCase.runAs == RunAs::NobodyWhenRoot && ::geteuid() == 0;
    if (asNobody && !testsupport::HaveProgram("setpriv"))
        GTEST_SKIP() << "running as root and setpriv is missing: cannot take the privileges away";

    testsupport::TempDir dir;
    // Everyone may pass through; for a run as nobody the program is copied
    // here, so that nobody can start it wherever the build lives.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::path program = DH_BINARY;
    if (asNobody) {
        program = dir.path() / "dravenholt";
        fs::copy_file(DH_BINARY, program);
    }
    const fs::path work = dir.path() / "work";
    fs::create_directory(work);
    fs::copy(testsupport::SampleDir() / "Data", work / "Data", fs::copy_options::recursive);
    badCase.damage(work / "Data");
    if (badCase.prepareWork)
        badCase.prepareWork(work);
    if (HasFatalFailure())
        return;
    const std::set<std::string> before = Entries(work);

    std::vector<std::string> command;
    if (asNobody)
        command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    command.push_back(program.string());
    command.push_back("--export");
    const auto start = std::chrono::steady_clock::now();
    const testsupport::CommandResult result = testsupport::RunCommand(command, work, TimeLimitSeconds);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(result.exitCode, 0) << badCase.name << ": " << result.err;
    EXPECT_LT(seconds, TimeLimitSeconds) << badCase.name << " took " << seconds << " s";
    RecordProperty("seconds", std::to_string(seconds));

    // Exactly the expected files: no temporary left over beside them.
    std::set<std::string> expected = before;
    if (badCase.expect != Expect::NoFiles)
        expected.insert({"Dravenholt.gif", "DravenholtSummary.js"});
    EXPECT_EQ(Entries(work), expected) << badCase.name;
    fs::permissions(work, fs::perms::owner_all, fs::perm_options::add);
    if (badCase.expect == Expect::NoFiles)
        return;

    const testsupport::ParsedScript script =
        testsupport::ParseImageMapScript(testsupport::ReadFile(work / "DravenholtSummary.js"));
    EXPECT_TRUE(script.wellFormed) << badCase.name;
    if (badCase.expect == Expect::PictureWithoutAreas) {
        EXPECT_TRUE(script.areas.empty()) << badCase.name << ": " << script.areas.size() << " areas";
    }
    EXPECT_EQ(script.width, 1801);
    EXPECT_EQ(script.height, 977);
#if defined(DH_HAVE_GIFLIB)
    std::string error;
    const auto gif = testsupport::DecodeGif(work / "Dravenholt.gif", error);
    ASSERT_TRUE(gif.has_value()) << badCase.name << ": giflib: " << error;
    EXPECT_EQ(gif->width, 1801);
    EXPECT_EQ(gif->height, 977);
    EXPECT_EQ(gif->imageCount, 1);
#else
    GTEST_SKIP() << "giflib is not available to decode the picture";
#endif
}

INSTANTIATE_TEST_SUITE_P(DamagedData, BadInputTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<BadInputCase>& info) { return info.param.name; });

// ------------------------------------------------- the window and a bad registry

// Standard output and error go to `log`, or nowhere.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv, const fs::path& cwd,
            const fs::path& log = "/dev/null") {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status (-1 for a signal), or nullopt when the process did not end in time.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr)
            out += buffer;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

template <typename F>
bool Eventually(F condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return condition();
}

// Ends a child that has not been reaped yet.
void Stop(pid_t& pid) {
    if (pid > 0 && !WaitExit(pid, 0ms)) {
        ::kill(pid, SIGTERM);
        if (!WaitExit(pid, 3000ms)) {
            ::kill(pid, SIGKILL);
            WaitExit(pid, 3000ms);
        }
    }
    pid = -1;
}

// Stops a child still running when the scope ends, however the test ends.
struct StopOnExit {
    pid_t& pid;
    ~StopOnExit() { Stop(pid); }
};

// An X server on the first free display from :141 on; its pid, or -1.
pid_t StartXvfb(std::string& display, const fs::path& cwd) {
    for (int n = 141; n < 190; ++n) {
        if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) || fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
            continue;
        display = ":" + std::to_string(n);
        pid_t xvfb = Spawn({"Xvfb", display, "-noreset", "-nolisten", "tcp", "-screen", "0", "1920x1080x24"}, {}, cwd);
        if (xvfb <= 0)
            continue;
        // Ready once it answers a client (its socket appears earlier); one
        // that gave up, the display being taken after all, leaves this loop.
        // -noreset: a reset after each last client leaves moments in which
        // the next one is refused.
        bool exited = false;
        const bool ready = Eventually(
            [&] {
                exited = WaitExit(xvfb, 0ms).has_value();
                return exited || !Capture("DISPLAY=" + display + " xdotool getdisplaygeometry 2>/dev/null").empty();
            },
            5000ms);
        if (ready && !exited)
            return xvfb;
        if (!exited)
            Stop(xvfb);
    }
    return -1;
}

// A 44-byte placement of the extremes of every field, in REGEDIT4 form.
std::string ExtremePlacementRegistry() {
    const std::int32_t fields[11] = {44,        -1,        0x7FFFFFFF, INT32_MIN, INT32_MIN, INT32_MAX,
                                     INT32_MAX, INT32_MIN, INT32_MIN,  INT32_MAX, INT32_MAX};
    std::string hex;
    for (std::int32_t field : fields) {
        const auto value = static_cast<std::uint32_t>(field);
        for (int b = 0; b < 4; ++b) {
            char byte[4];
            std::snprintf(byte, sizeof byte, "%02x", (value >> (8 * b)) & 0xFF);
            hex += (hex.empty() ? "" : ",") + std::string(byte);
        }
    }
    return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]\n\"Main_WndPl\"=hex:" + hex + "\n";
}

TEST(BadRegistryTest, WindowOpensAndClosesOnEscape) {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (!testsupport::HaveProgram(tool))
            GTEST_SKIP() << tool << " is not installed";
    }
    testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);

    std::string display;
    pid_t xvfb = StartXvfb(display, dir.path());
    const StopOnExit stopXvfb{xvfb};
    ASSERT_GT(xvfb, 0) << "no X display could be started";

    const std::vector<std::pair<std::string, std::string>> registries = {
        {"binary garbage", Garbage(8192, 3)},
        {"a REGEDIT4 header, then garbage",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]\n" + Garbage(4096, 5)},
        {"a placement of extreme values", ExtremePlacementRegistry()},
    };
    for (const auto& [what, content] : registries) {
        SCOPED_TRACE(what);
        const fs::path config = dir.path() / "config";
        dir.Write("config/dravenholt/registry.reg", content);
        const fs::path log = dir.path() / "program.log";
        pid_t program =
            Spawn({DH_BINARY}, {"DISPLAY=" + display, "XDG_CONFIG_HOME=" + config.string()}, dir.path(), log);
        const StopOnExit stopProgram{program};
        ASSERT_GT(program, 0);
        std::string window;
        const bool shown = Eventually(
            [&] {
                window = Capture("DISPLAY=" + display + " xdotool search --name 'Tarvo Draven Holt' 2>/dev/null");
                return !window.empty() && window.find('\n') == std::string::npos;
            },
            8000ms);
        EXPECT_TRUE(shown) << "no window appeared: " << testsupport::ReadFile(log);
        if (shown)
            Capture("DISPLAY=" + display + " xdotool key --window " + window + " Escape 2>/dev/null");
        const std::optional<int> status = WaitExit(program, 8000ms);
        EXPECT_EQ(status, std::optional<int>(0))
            << "still running after Escape, or failed: " << testsupport::ReadFile(log);
        if (status)
            program = -1;  // reaped
    }
}

}  // namespace
