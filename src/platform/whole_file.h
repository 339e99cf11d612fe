// Writing a file so that it appears whole or not at all: the bytes go to a
// fresh temporary file in the target's folder, flushed to the disk, which
// then replaces the target in one rename. The export, the registry and the
// framebuffer dump all write through here.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform {

// Why a file could not be written, for the user.
struct FileError {
    int code = 0;        // the system's error number; 0 when there was none
    std::string reason;  // the system's text for it, or ours
};

// The bytes of one file, written beside its target and not yet in place.
// Dropping it unplaced removes the temporary file.
class StagedFile {
public:
    StagedFile() = default;
    // Movable, not copyable: one owner removes the temporary.
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;
    ~StagedFile();

    // Writes `bytes` completely to a new temporary file beside `target`;
    // false with `error` set when any step fails (nothing is then left).
    bool Stage(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error);
    // Puts the staged file in place of its target.
    bool Commit(FileError& error);
    // Removes the staged file, if any.
    void Discard();

    bool staged() const { return !temporary_.empty(); }

private:
    std::string target_;
    std::string temporary_;
};

// Stage and commit in one.
bool WriteWholeFile(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error);

}  // namespace platform
