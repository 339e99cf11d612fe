// The sample's export, byte for byte, at the default size and at 640x480:
// the whole image-map script against tests/golden/<size>/DravenholtSummary.js
// and the picture's SHA-256 against tests/golden/<size>/Dravenholt.gif.sha256.
// A plot area one column wider or a table read from the wrong field moves
// pixels nothing else looks at; here any change shows.
//
// When a change is meant to alter the chart, renew the golden files and
// review `git diff tests/golden`:
//
//     tools/renew-golden
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e_support.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* Renew = "if the change is meant, run tools/renew-golden and review `git diff tests/golden`";

struct GoldenCase {
    std::string size;  // the folder under tests/golden
    std::vector<std::string> options;
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
    *os << c.size;
}

class GoldenExport : public testing::TestWithParam<GoldenCase> {};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// The first line where two texts differ, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
    const std::vector<std::string> a = Lines(got), b = Lines(want);
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && a[k] == b[k])
        ++k;
    return "line " + std::to_string(k + 1) + "\n  exported: " + (k < a.size() ? a[k] : "(end)") +
           "\n  golden:   " + (k < b.size() ? b[k] : "(end)");
}

TEST_P(GoldenExport, SampleExportIsByteForByteTheGoldenOne) {
    const GoldenCase& golden = GetParam();
    const fs::path goldenDir = fs::path(DH_SOURCE_DIR) / "tests" / "golden" / golden.size;
    const std::string script = testsupport::ReadFile(goldenDir / "DravenholtSummary.js");
    const std::string digest = testsupport::ReadFile(goldenDir / "Dravenholt.gif.sha256").substr(0, 64);
    ASSERT_TRUE(!script.empty() && digest.size() == 64) << goldenDir << " is missing; " << Renew;

    testsupport::TempDir dir;
    fs::copy(testsupport::SampleDir() / "Data", dir.path() / "Data", fs::copy_options::recursive);
    std::vector<std::string> command = {DH_BINARY, "--export"};
    command.insert(command.end(), golden.options.begin(), golden.options.end());
    const testsupport::CommandResult run = testsupport::RunCommand(command, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const std::string exported = testsupport::ReadFile(dir.path() / "DravenholtSummary.js");
    EXPECT_TRUE(exported == script) << "DravenholtSummary.js differs from the golden one at "
                                    << FirstDifference(exported, script) << "\n"
                                    << Renew;
    const testsupport::CommandResult sum = testsupport::RunCommand({"sha256sum", "Dravenholt.gif"}, dir.path());
    ASSERT_EQ(sum.exitCode, 0) << sum.err;
    EXPECT_EQ(sum.out.substr(0, 64), digest) << "Dravenholt.gif differs from the golden one; " << Renew;
}

INSTANTIATE_TEST_SUITE_P(Sizes, GoldenExport,
                         testing::Values(GoldenCase{"1801x977", {}},  // the default: no --size
                                         GoldenCase{"640x480", {"--size", "640x480"}}),
                         [](const auto& info) { return "Size" + info.param.size; });

}  // namespace
