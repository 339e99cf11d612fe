// Helpers shared by the tests: temporary folders, file writing, skipping when
// an outside tool is missing.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes `content` to path()/relative, creating folders on the way.
    std::filesystem::path Write(const std::string& relative, const std::string& content) const;

private:
    std::filesystem::path path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::filesystem::path& dir);
    ~ScopedCwd();

private:
    std::filesystem::path previous_;
};

std::string ReadFile(const std::filesystem::path& file);
// True when `program` is found on PATH.
bool HaveProgram(const std::string& program);
// The shipped sample data folder (holding Data/).
std::filesystem::path SampleDir();

}  // namespace testsupport
