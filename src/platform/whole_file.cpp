#include "platform/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform {

namespace {

FileError ErrorFromErrno(int code) {
    return FileError{code, std::strerror(code)};
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count, FileError& error) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = ErrorFromErrno(errno);
            return false;
        }
        if (written == 0) {
            error = ErrorFromErrno(ENOSPC);
            return false;
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

// A new file beside `target` that no other name refers to: the pid keeps
// processes apart, a counter the files of one process, O_EXCL the rest.
int CreateTemporary(const std::string& target, std::string& path, FileError& error) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            target + ".tmp-" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(counter++);
        // 0666: the umask decides the mode, as for any new file.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            path = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) {
            error = ErrorFromErrno(errno);
            return -1;
        }
    }
    error = ErrorFromErrno(EEXIST);
    return -1;
}

}  // namespace

StagedFile::StagedFile(StagedFile&& other) noexcept
    : target_(std::move(other.target_)), temporary_(std::exchange(other.temporary_, {})) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, {});
    }
    return *this;
}

StagedFile::~StagedFile() {
    Discard();
}

bool StagedFile::Stage(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error) {
    Discard();
    std::string path;
    const int fd = CreateTemporary(target, path, error);
    if (fd < 0)
        return false;
    bool good = WriteAll(fd, bytes.data(), bytes.size(), error);
    // A file system that cannot sync (or a read-only one that let us create
    // the file) has nothing more to flush.
    if (good && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        error = ErrorFromErrno(errno);
        good = false;
    }
    if (::close(fd) != 0 && good) {
        error = ErrorFromErrno(errno);
        good = false;
    }
    if (!good) {
        ::unlink(path.c_str());
        return false;
    }
    target_ = target;
    temporary_ = std::move(path);
    return true;
}

bool StagedFile::Commit(FileError& error) {
    if (temporary_.empty()) {
        error = FileError{0, "nothing was written"};
        return false;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = ErrorFromErrno(errno);
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void StagedFile::Discard() {
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool WriteWholeFile(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error) {
    StagedFile file;
    return file.Stage(target, bytes, error) && file.Commit(error);
}

}  // namespace platform
