// Writing a file so that it appears whole or not at all: the bytes go to a
// fresh temporary file in the target's folder, flushed to the disk, which
// then replaces the target in one rename. A target that is a symbolic link
// stays one: the file it leads to is replaced, and an existing file keeps its
// permission bits. The export, the registry and the framebuffer dump all
// write through here.
#pragma once

#ifndef _WIN32
#include <signal.h>
#endif

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
    std::string target_;     // the file the target name leads to
    std::string temporary_;
    int slot_ = -1;          // where a signal handler finds the temporary
};

// Stage and commit in one.
bool WriteWholeFile(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error);

// Holds an advisory lock on a folder while it lives, so that writers of one
// folder take turns; the lock is the folder's own, so nothing is left behind.
// Where the folder cannot be locked, the writer goes on without.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const;

private:
#ifdef _WIN32
    void* mutex_ = nullptr;  // a named mutex: Windows locks no folder
#else
    int fd_ = -1;
#endif
};

// Removes the temporary files of `target` left by processes that no longer
// exist (a power cut, a kill that could not be caught).
void RemoveStaleTemporaries(const std::string& target);

// Holds SIGINT, SIGTERM and SIGHUP back from this thread while it lives, so
// that files committed together are all in place (or none) before one of
// these ends the process. A thread started meanwhile keeps them held for good.
// On Windows the same holds for a console's Ctrl+C, Ctrl+Break and close.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
#ifndef _WIN32
    sigset_t previous_{};
#endif
    bool held_ = false;
};

// From now on SIGINT, SIGTERM and SIGHUP first remove the temporary files
// staged and not yet committed, then end the process as they would have;
// SIGXFSZ no longer ends it (the write that went too far fails instead).
// On Windows the console's Ctrl+C, Ctrl+Break and close do the same.
void RemoveStagedFilesOnSignals();

}  // namespace platform
