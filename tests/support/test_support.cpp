#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("dh-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back write permission that a test may have taken away.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& content) const {
    fs::path file = path_ / relative;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
    return file;
}

ScopedCwd::ScopedCwd(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool HaveProgram(const std::string& program) {
    std::string cmd = "command -v " + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

fs::path SampleDir() { return fs::path(DH_SOURCE_DIR) / "sample"; }

}  // namespace testsupport
