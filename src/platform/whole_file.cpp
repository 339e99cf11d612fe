#include "platform/whole_file.h"
#include "platform/whole_file_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

// The temporaries staged and not yet committed, where a signal handler can
// find them: fixed slots, each name written before its slot is marked used,
// so a handler on any thread sees whole names only.
constexpr int StagedSlots = 16;
struct StagedSlot {
    volatile sig_atomic_t used;
    char path[PATH_MAX];
};
StagedSlot Staged[StagedSlots];

int Remember(const std::string& path) {
    if (path.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < StagedSlots; ++i) {
        if (Staged[i].used == 0) {
            std::memcpy(Staged[i].path, path.c_str(), path.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            Staged[i].used = 1;
            return i;
        }
    }
    return -1;  // more at once than the program ever stages: not cleaned on a signal
}

void Forget(int slot) {
    if (slot >= 0)
        Staged[slot].used = 0;
}

extern "C" void RemoveStagedAndEnd(int signal) {
    const int saved = errno;
    for (StagedSlot& slot : Staged) {
        if (slot.used != 0)
            ::unlink(slot.path);
    }
    // The handler was reset on entry and the signal is not held: ending as
    // the signal ends a process.
    ::raise(signal);
    errno = saved;
}

// The file a target name leads to: through symbolic links (a relative one
// from its own folder) to a file or to a name that does not exist yet. A
// loop of links leaves the name itself.
std::string FinalTarget(const std::string& target) {
    std::string path = target;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof link)
            return target;
        std::string next(link, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next = path.substr(0, slash + 1) + next;
        path = std::move(next);
    }
    return target;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file beside `target` that no other name refers to: the pid keeps
// processes apart, a counter the files of one process, O_EXCL the rest.
// Remembered for the signal handler from before it exists.
int CreateTemporary(const std::string& target, std::string& path, int& slot, FileError& error) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = target + TemporaryMark + std::to_string(static_cast<long>(::getpid())) + "-" +
                                std::to_string(counter++);
        slot = Remember(candidate);
        // 0666: the umask decides the mode, as for any new file.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            path = std::move(candidate);
            return fd;
        }
        const int code = errno;
        Forget(slot);
        slot = -1;
        if (code != EEXIST) {
            error = ErrorFromErrno(code);
            return -1;
        }
    }
    error = ErrorFromErrno(EEXIST);
    return -1;
}

}  // namespace

bool StagedFile::Stage(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error) {
    Discard();
    const std::string final = FinalTarget(target);
    struct stat existing;
    const bool exists = ::stat(final.c_str(), &existing) == 0;
    // A folder in the target's place could not be replaced at commit: say so now,
    // before a partner file is put in place.
    if (exists && S_ISDIR(existing.st_mode)) {
        error = ErrorFromErrno(EISDIR);
        return false;
    }
    std::string path;
    int slot = -1;
    const int fd = CreateTemporary(final, path, slot, error);
    if (fd < 0)
        return false;
    // The file replaced keeps its permission bits.
    if (exists && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
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
        Forget(slot);
        return false;
    }
    target_ = final;
    temporary_ = std::move(path);
    slot_ = slot;
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
    Forget(std::exchange(slot_, -1));
    return true;
}

void StagedFile::Discard() {
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    Forget(std::exchange(slot_, -1));
}

FolderLock::FolderLock(const std::string& folder) {
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0)
        return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
}

bool FolderLock::held() const {
    return fd_ >= 0;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0)
        ::close(fd_);  // closing lets the lock go
}

void RemoveStaleTemporaries(const std::string& target) {
    const std::string final = FinalTarget(target);
    const std::string folder = FolderOf(final);
    const std::size_t slash = final.rfind('/');
    const std::string prefix = (slash == std::string::npos ? final : final.substr(slash + 1)) + TemporaryMark;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        const std::optional<std::uint32_t> pid = TemporaryOwner(name, prefix);
        if (!pid || *pid > 0x7FFFFFFFu || static_cast<pid_t>(*pid) == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(*pid), 0) == 0 || errno != ESRCH)
            continue;  // its process lives (or is not ours to ask about)
        ::unlinkat(::dirfd(dir), name, 0);
    }
    ::closedir(dir);
}

SignalsHeld::SignalsHeld() {
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, signal);
    held_ = ::pthread_sigmask(SIG_BLOCK, &ending, &previous_) == 0;
}

SignalsHeld::~SignalsHeld() {
    if (held_)
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void RemoveStagedFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemoveStagedAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller chose to ignore (nohup) stays ignored.
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
