// A whole trading day of data exports exactly as the afternoon alone: the
// lines before each window are skipped and the first after it ends the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(WholeDayExport, WritesTheSameFilesAsTheSampleAfternoon) {
    if (!testsupport::HaveProgram("python3"))
        GTEST_SKIP() << "python3 is not installed";
    const testsupport::TempDir day, sample;
    const testsupport::CommandResult made = testsupport::RunCommand(
        {"python3", DH_SOURCE_DIR "/tools/make_sample_data.py", "--whole-day", (day.path() / "Data").string()},
        day.path(), 120);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    fs::copy(testsupport::SampleDir() / "Data", sample.path() / "Data", fs::copy_options::recursive);
    for (const fs::path& dir : {day.path(), sample.path()}) {
        const testsupport::CommandResult run = testsupport::RunCommand({DH_BINARY, "--export"}, dir);
        ASSERT_EQ(run.exitCode, 0) << dir << ": " << run.err;
    }
    for (const char* name : {"Dravenholt.gif", "DravenholtSummary.js"}) {
        const std::string exported = testsupport::ReadFile(day.path() / name);
        EXPECT_FALSE(exported.empty()) << name;
        EXPECT_TRUE(exported == testsupport::ReadFile(sample.path() / name)) << name << " differs";
    }
}

}  // namespace
