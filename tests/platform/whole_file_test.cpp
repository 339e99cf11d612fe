// Files written whole or not at all: what is left behind after each way a
// write can fail, staging without committing, and the reasons given; the
// helper threads that must not take the signals which remove staged files.
#include "platform/whole_file.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/helper_thread.h"
#include "support/e2e_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

class WholeFile : public ::testing::Test {
protected:
    fs::path target() const { return dir.path() / "out.gif"; }
    std::set<std::string> Entries() const { return testsupport::Entries(dir.path()); }
    // The error's text must be the system's for its number.
    static void ExpectSystemError(const platform::FileError& error, int code) {
        EXPECT_EQ(error.code, code);
        EXPECT_EQ(error.reason, std::strerror(code));
    }

    testsupport::TempDir dir;
};

TEST_F(WholeFile, ReplacesTheTargetAndLeavesNothingElse) {
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile(target(), Bytes("first"), error)) << error.reason;
    ASSERT_TRUE(platform::WriteWholeFile(target(), Bytes("second, longer"), error)) << error.reason;
    EXPECT_EQ(testsupport::ReadFile(target()), "second, longer");
    ASSERT_TRUE(platform::WriteWholeFile(target(), {}, error)) << error.reason;
    EXPECT_EQ(testsupport::ReadFile(target()), "");
    EXPECT_TRUE(fs::exists(target()));
    EXPECT_EQ(Entries(), std::set<std::string>{"out.gif"});
}

// A write cut short by the file size limit (the signal ignored, so write
// reports EFBIG after a partial write) keeps the old file and removes the
// temporary one.
TEST_F(WholeFile, AWriteCutShortKeepsTheOldFile) {
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile(target(), Bytes("old"), error));
    const std::vector<std::uint8_t> large(64 * 1024, 'n');
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = platform::WriteWholeFile(target(), large, error);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    ExpectSystemError(error, EFBIG);
    EXPECT_EQ(testsupport::ReadFile(target()), "old");
    EXPECT_EQ(Entries(), std::set<std::string>{"out.gif"});
}

TEST_F(WholeFile, AFolderInTheWayOrNoFolderAtAllLeavesNothing) {
    struct Case {
        const char* what;
        fs::path target;
        int code;
    };
    fs::create_directory(dir.path() / "taken");
    dir.Write("taken/inside.txt", "kept");
    dir.Write("plain", "a file");
    const Case cases[] = {
        {"a folder of that name", dir.path() / "taken", EISDIR},
        {"no such folder", dir.path() / "missing" / "out.gif", ENOENT},
        {"a file where a folder should be", dir.path() / "plain" / "out.gif", ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::FileError error;
        EXPECT_FALSE(platform::WriteWholeFile(c.target, Bytes("new"), error));
        ExpectSystemError(error, c.code);
        EXPECT_EQ(Entries(), (std::set<std::string>{"plain", "taken"}));
        EXPECT_EQ(testsupport::Entries(dir.path() / "taken"), std::set<std::string>{"inside.txt"});
        EXPECT_EQ(testsupport::ReadFile(dir.path() / "plain"), "a file");
    }
}

TEST_F(WholeFile, AStagedFileWaitsBesideItsTargetUntilCommitted) {
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile(target(), Bytes("old"), error));
    platform::StagedFile staged;
    EXPECT_FALSE(staged.staged());
    ASSERT_TRUE(staged.Stage(target(), Bytes("new"), error)) << error.reason;
    EXPECT_TRUE(staged.staged());
    // Staged: the bytes are on disk under another name, the target unchanged.
    EXPECT_EQ(testsupport::ReadFile(target()), "old");
    std::set<std::string> names = Entries();
    ASSERT_EQ(names.size(), 2u);
    names.erase("out.gif");
    EXPECT_EQ(testsupport::ReadFile(dir.path() / *names.begin()), "new");
    ASSERT_TRUE(staged.Commit(error)) << error.reason;
    EXPECT_FALSE(staged.staged());
    EXPECT_EQ(testsupport::ReadFile(target()), "new");
    EXPECT_EQ(Entries(), std::set<std::string>{"out.gif"});
    // Nothing staged: nothing to commit, and no system error behind it.
    EXPECT_FALSE(staged.Commit(error));
    EXPECT_EQ(error.code, 0);
    EXPECT_FALSE(error.reason.empty());
    EXPECT_EQ(testsupport::ReadFile(target()), "new");
    // A folder in the target's place is refused at once, before a partner
    // file could be committed; one that appears later fails the commit,
    // which takes its staged bytes away.
    fs::create_directory(dir.path() / "taken");
    EXPECT_FALSE(staged.Stage(dir.path() / "taken", Bytes("x"), error));
    ExpectSystemError(error, EISDIR);
    EXPECT_EQ(Entries(), (std::set<std::string>{"out.gif", "taken"}));
    fs::remove(dir.path() / "taken");
    ASSERT_TRUE(staged.Stage(dir.path() / "taken", Bytes("x"), error)) << error.reason;
    fs::create_directory(dir.path() / "taken");
    EXPECT_FALSE(staged.Commit(error));
    ExpectSystemError(error, EISDIR);
    EXPECT_FALSE(staged.staged());
    EXPECT_EQ(Entries(), (std::set<std::string>{"out.gif", "taken"}));
}

TEST_F(WholeFile, DiscardingDroppingOrRestagingRemovesTheStagedBytes) {
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile(target(), Bytes("old"), error));
    const std::set<std::string> only{"out.gif"};
    {
        SCOPED_TRACE("discarded");
        platform::StagedFile staged;
        ASSERT_TRUE(staged.Stage(target(), Bytes("new"), error));
        staged.Discard();
        EXPECT_FALSE(staged.staged());
        EXPECT_EQ(Entries(), only);
        EXPECT_FALSE(staged.Commit(error));
    }
    {
        SCOPED_TRACE("dropped");
        platform::StagedFile staged;
        ASSERT_TRUE(staged.Stage(target(), Bytes("new"), error));
    }
    EXPECT_EQ(Entries(), only);
    {
        SCOPED_TRACE("staged twice, moved, assigned over");
        platform::StagedFile first;
        ASSERT_TRUE(first.Stage(target(), Bytes("one"), error));
        ASSERT_TRUE(first.Stage(target(), Bytes("two"), error));
        EXPECT_EQ(Entries().size(), 2u);
        platform::StagedFile moved(std::move(first));
        EXPECT_FALSE(first.staged());
        EXPECT_TRUE(moved.staged());
        platform::StagedFile other;
        ASSERT_TRUE(other.Stage(dir.path() / "other.js", Bytes("three"), error));
        EXPECT_EQ(Entries().size(), 3u);
        other = std::move(moved);  // the staged "three" goes
        EXPECT_EQ(Entries().size(), 2u);
        ASSERT_TRUE(other.Commit(error)) << error.reason;
    }
    EXPECT_EQ(Entries(), only);
    EXPECT_EQ(testsupport::ReadFile(target()), "two");
}

}  // namespace

// A helper thread leaves the signals that end the program to the main thread
// (whose handler removes staged files) and keeps off its maker's processor,
// on all the others the process may use.
TEST(HelperThreads, TakeNoEndingSignalsAndKeepOffTheirMakersProcessor) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    sigset_t held;
    sigemptyset(&held);
    int processors = 0;
    std::atomic<bool> made{false};  // the maker sets the processors once the thread exists
    std::thread helper = platform::HelperThread([&] {
        while (!made)
            std::this_thread::yield();
        pthread_sigmask(SIG_BLOCK, nullptr, &held);
        cpu_set_t own;
        CPU_ZERO(&own);
        if (sched_getaffinity(0, sizeof own, &own) == 0)
            processors = CPU_COUNT(&own);
    });
    made = true;
    helper.join();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        EXPECT_TRUE(sigismember(&held, signal)) << signal;
    sigset_t own;
    pthread_sigmask(SIG_BLOCK, nullptr, &own);
    EXPECT_FALSE(sigismember(&own, SIGTERM));  // the maker's mask is as it was
    const int all = CPU_COUNT(&allowed);
    EXPECT_EQ(processors, all > 1 ? all - 1 : all);
}
