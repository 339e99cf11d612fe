// `dravenholt --export` writes its two files as one: on any failure the old
// pair stays as it was, a signal or a second export in the same folder never
// leaves a mixed pair or a temporary file, symbolic links lead to the files
// replaced, and the exit status says whether both were written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "support/e2e_support.h"

namespace fs = std::filesystem;
using F = const fs::path&;
using namespace std::chrono;

namespace {

const std::string Gif = "Dravenholt.gif", Script = "DravenholtSummary.js";

// A copy of the program (so that nobody may run it too) beside work/, which
// holds a copy of the sample data.
struct Workspace {
    testsupport::TempDir dir;
    const fs::path program = dir.path() / "dravenholt", work = dir.path() / "work";
    Workspace() {
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fs::copy_file(DH_BINARY, program);
        fs::create_directory(work);
        fs::copy(testsupport::SampleDir() / "Data", work / "Data", fs::copy_options::recursive);
    }
    std::vector<std::string> Export(const std::string& size) const {
        return {program.string(), "--export", "--size", size};
    }
    testsupport::CommandResult Run(const std::string& size, std::vector<std::string> prefix = {}) const {
        const std::vector<std::string> command = Export(size);
        prefix.insert(prefix.end(), command.begin(), command.end());
        return testsupport::RunCommand(prefix, work, 120);
    }
};

// Everything below `folder` but the data, as path -> bytes ("/" for a folder).
std::map<std::string, std::string> Contents(F folder) {
    std::map<std::string, std::string> contents;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "Data")
            it.disable_recursion_pending();
        else
            contents[fs::relative(it->path(), folder)] = it->is_directory() ? "/" : testsupport::ReadFile(it->path());
    }
    return contents;
}

// The temporary files anywhere below `folder`.
std::vector<std::string> Temporaries(F folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        entry.path().filename().string().find(".tmp-") != std::string::npos ? found.push_back(entry.path()) : void();
    return found;
}

// The size both files of a pair agree on; a failure when they do not.
std::string PairSize(F gif, F script) {
    std::string error;
    const auto picture = testsupport::DecodeGif(gif, error);
    const auto map = testsupport::ParseImageMapScript(testsupport::ReadFile(script));
    if (!picture || !map.wellFormed)
        return ADD_FAILURE() << "no whole pair: " << error, "";
    const std::string size = std::to_string(picture->width) + "x" + std::to_string(picture->height);
    EXPECT_EQ(size, std::to_string(map.width) + "x" + std::to_string(map.height)) << "a mixed pair";
    return size;
}

// Starts `args` in `cwd`, output dropped; with SIGHUP ignored as nohup leaves it.
pid_t Start(F cwd, const std::vector<std::string>& args, bool ignoreHangup = false) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // Ignored before the fork, so that no hang-up finds the child without it.
    const auto hangup = ::signal(SIGHUP, ignoreHangup ? SIG_IGN : SIG_DFL);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::chdir(cwd.c_str()) != 0)
            ::_exit(127);
        ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::signal(SIGHUP, hangup);
    return pid;
}

int Wait(pid_t pid) {
    int status = -1;
    ::waitpid(pid, &status, 0);
    return status;
}

// One way the pair cannot be written, and the run's whole standard error,
// one pattern a line.
struct Failure {
    std::string name;
    std::function<void(F work)> prepare;
    std::vector<std::string> prefix;  // run the program through this
    std::vector<std::string> lines;
    bool asNobody = false;
    std::string size = "640x480";
};
void PrintTo(const Failure& f, std::ostream* out) {
    *out << f.name;
}

std::vector<Failure> Failures() {
    const auto folderFor = [](const std::string& name) {
        return [name](F work) { fs::remove(work / name), fs::create_directories(work / name / "kept"); };
    };
    const auto lines = [](const std::string& gif, const std::string& script) {
        const std::string partner = "(not written|not replaced), as .+";
        return std::vector<std::string>{"could not write " + Gif + ": " + (gif.empty() ? partner : gif),
                                        "could not write " + Script + ": " + (script.empty() ? partner : script)};
    };
    // clang-format off
    return {
        {"ReadOnlyFolder", [](F work) { fs::permissions(work, fs::perms(0222), fs::perm_options::remove); }, {},
         lines("Permission denied", ""), true},
        {"FolderNamedLikeTheScript", folderFor(Script), {}, lines("", "Is a directory")},
        {"FolderNamedLikeThePicture", folderFor(Gif), {}, lines("Is a directory", "")},
        {"FileSizeLimitBelowThePicture", [](F) {}, {"prlimit", "--fsize=4096"}, lines("File too large", "")},
        {"TooLittleMemoryForTheChart", [](F) {}, {"sh", "-c", "ulimit -v 400000; exec \"$0\" \"$@\""},
         {"not enough memory.* [0-9.]+ MiB.*"}, false, "8000x8000"},
    };
    // clang-format on
}

class ExportFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(ExportFailure, ExitsWithOneLinePerFileAndLeavesTheOldPair) {
    const Failure& f = GetParam();
    const bool root = ::geteuid() == 0;
    if ((f.asNobody && root && !testsupport::HaveProgram("setpriv")) || !testsupport::HaveProgram("prlimit"))
        GTEST_SKIP() << "no setpriv or prlimit";
#if defined(__SANITIZE_ADDRESS__)
    if (f.name == "TooLittleMemoryForTheChart")
        GTEST_SKIP() << "the address sanitizer's shadow memory does not fit under an address-space limit";
#endif
    Workspace w;
    ASSERT_EQ(w.Run("200x150").exitCode, 0);
    f.prepare(w.work);
    const auto before = Contents(w.work);
    std::vector<std::string> prefix = f.prefix;
    if (f.asNobody && root)
        prefix.insert(prefix.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    const testsupport::CommandResult run = w.Run(f.size, prefix);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    std::string expected;  // '.' stops at a line's end
    for (const std::string& line : f.lines)
        expected += "dravenholt: " + line + "\n";
    EXPECT_TRUE(std::regex_match(run.err, std::regex(expected))) << run.err;
    fs::permissions(w.work, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_TRUE(Contents(w.work) == before) << "the old pair changed or a temporary was left";
}

INSTANTIATE_TEST_SUITE_P(Pair, ExportFailure, ::testing::ValuesIn(Failures()),
                         [](const auto& info) { return info.param.name; });

// Killed at any moment with SIGINT, SIGTERM or SIGHUP, an export either
// finished or ends by that signal, its temporaries gone and the pair whole.
TEST(ExportSignals, AnInterruptedExportLeavesAWholePairAndNoTemporary) {
    Workspace w;
    const std::string sizes[] = {"1000x600", "2000x1500"};
    const auto began = steady_clock::now();
    ASSERT_EQ(w.Run(sizes[1]).exitCode, 0);
    const auto typical = duration_cast<microseconds>(steady_clock::now() - began).count();
    std::mt19937 random(1507);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 100; ++i) {
        const int signal = signals[random() % 3];
        const auto delay = microseconds(random() % (typical + 1));
        SCOPED_TRACE("run " + std::to_string(i) + ": signal " + std::to_string(signal) + " after " +
                     std::to_string(delay.count()) + " us");
        const pid_t pid = Start(w.work, w.Export(sizes[i % 2]));
        std::this_thread::sleep_for(delay);
        ::kill(pid, signal);
        const int status = Wait(pid);
        EXPECT_TRUE(status == 0 || (WIFSIGNALED(status) && WTERMSIG(status) == signal)) << "status " << status;
        EXPECT_EQ(Temporaries(w.work), std::vector<std::string>{});
        PairSize(w.work / Gif, w.work / Script);
        if (HasFailure())
            break;  // the runs after keep what this one left
    }
    // Started with SIGHUP ignored, hang-ups all along do not stop it.
    const pid_t pid = Start(w.work, w.Export(sizes[0]), true);
    int status = -1;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGHUP);
        std::this_thread::sleep_for(milliseconds(1));
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(PairSize(w.work / Gif, w.work / Script), sizes[0]);
}

// Leftovers of exports that died where nothing could clean up are removed by
// the next export; anything that may still be in use, or is not a leftover, stays.
TEST(ExportStaleTemporaries, ThoseOfDeadProcessesGoTheRestStay) {
    Workspace w;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    Wait(child);
    const std::string dead = std::to_string(child), live = std::to_string(::getpid());
    const std::vector<std::string> stale = {Gif + ".tmp-" + dead + "-0", Script + ".tmp-" + dead + "-17"};
    std::vector<std::string> kept = {Gif + ".tmp-" + live + "-0", Script + ".tmp-" + live + "-3",
                                     "dravenholt.gif.tmp-" + dead + "-1", "Other.gif.tmp-" + dead + "-1"};
    for (const std::string& odd :
         {dead, dead + "-", dead + "-1x", "x" + dead + "-1", "-" + dead + "-1", dead + "-2.bak", "+" + dead + "-1",
          " " + dead + "-1", "0" + dead + "-1", dead + "-01"})
        kept.push_back(Gif + ".tmp-" + odd);
    for (const auto& names : {stale, kept})
        for (const std::string& name : names)
            std::ofstream(w.work / name) << name;
    ASSERT_EQ(w.Run("100x100").exitCode, 0);
    std::set<std::string> expected(kept.begin(), kept.end());
    expected.insert({"Data", Gif, Script});
    EXPECT_EQ(testsupport::Entries(w.work), expected);
    for (const std::string& name : kept)
        EXPECT_EQ(testsupport::ReadFile(w.work / name), name);
}

// A small export started while a large one runs, at staggered moments:
// whichever writes last, the pair on disk is one export's.
TEST(ExportConcurrency, ExportsIntoOneFolderTakeTurns) {
    Workspace w;
    const auto began = steady_clock::now();
    ASSERT_EQ(w.Run("3000x3000").exitCode, 0);
    const auto typical = steady_clock::now() - began;
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE("second export started at " + std::to_string(i) + "/16 of the first's time");
        const pid_t large = Start(w.work, w.Export("3000x3000"));
        std::this_thread::sleep_for(milliseconds(2) + typical * i / 16);
        const pid_t small = Start(w.work, w.Export("100x100"));
        EXPECT_EQ(Wait(small), 0);
        EXPECT_EQ(Wait(large), 0);
        EXPECT_EQ(Temporaries(w.work), std::vector<std::string>{});
        PairSize(w.work / Gif, w.work / Script);
    }
}

// Links lead to the files replaced, wherever and however many hops away;
// the links stay, and the files keep their permission bits.
TEST(ExportLinks, TheFilesLinksLeadToAreReplacedKeepingTheirModes) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // name -> text, "@" the folder above work/
        std::string gif, script;                                 // where they lead
    };
    // clang-format off
    const Case cases[] = {
        {"relative", {{"work/" + Gif, "pictures/chart.gif"}, {"work/" + Script, "pictures/map.js"}},
         "work/pictures/chart.gif", "work/pictures/map.js"},
        {"absolute, into another folder", {{"work/" + Gif, "@/other/chart.gif"}, {"work/" + Script, "@/other/map.js"}},
         "other/chart.gif", "other/map.js"},
        {"chains of two, relative to each link's folder",
         {{"work/" + Gif, "../other/hop.gif"}, {"other/hop.gif", "final/chart.gif"},
          {"work/" + Script, "@/other/hop.js"}, {"other/hop.js", "final/map.js"}},
         "other/final/chart.gif", "other/final/map.js"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Workspace w;
        const fs::path& top = w.dir.path();
        for (const std::string& target : {c.gif, c.script}) {
            fs::create_directories((top / target).parent_path());
            std::ofstream(top / target) << "old";
            fs::permissions(top / target, fs::perms(0640));
        }
        for (const auto& [name, text] : c.links)
            fs::create_symlink(std::regex_replace(text, std::regex("@"), top.string()), top / name);
        const testsupport::CommandResult run = w.Run("320x200");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const auto& [name, text] : c.links)
            EXPECT_TRUE(fs::is_symlink(top / name)) << name << " is no longer a link";
        EXPECT_EQ(PairSize(top / c.gif, top / c.script), "320x200");
        for (const std::string& target : {c.gif, c.script})
            EXPECT_EQ(fs::status(top / target).permissions(), fs::perms(0640)) << target;
        EXPECT_EQ(Temporaries(top), std::vector<std::string>{});
    }
    // New files get what the umask leaves of 0666.
    for (const auto& [umask, mode] : {std::pair("022", 0644), std::pair("077", 0600)}) {
        SCOPED_TRACE(std::string("umask ") + umask);
        Workspace w;
        EXPECT_EQ(w.Run("320x200", {"sh", "-c", std::string("umask ") + umask + "; exec \"$0\" \"$@\""}).exitCode, 0);
        for (const std::string& name : {Gif, Script})
            EXPECT_EQ(fs::status(w.work / name).permissions(), fs::perms(mode)) << name;
    }
}

}  // namespace
