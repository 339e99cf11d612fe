#include "export/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace exporting {

TempFile CreateTempBeside(const std::string& target) {
    // A per-process counter keeps two files of one run apart; the pid keeps
    // runs apart; O_EXCL settles any remaining clash.
    static unsigned counter = 0;
    TempFile temp;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            target + ".tmp-" + std::to_string(static_cast<long>(::getpid())) + "-" + std::to_string(counter++);
        // 0666 so that the umask decides the final file's mode, as for any new file.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp.fd = fd;
            temp.path = std::move(candidate);
            return temp;
        }
        if (errno != EEXIST)
            break;
    }
    return temp;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = ::write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CommitTemp(TempFile& temp, const std::string& target) {
    if (temp.path.empty())
        return false;
    bool good = true;
    if (temp.fd >= 0) {
        if (::fsync(temp.fd) != 0 && errno != EINVAL && errno != EROFS)
            good = false;
        if (::close(temp.fd) != 0)
            good = false;
        temp.fd = -1;
    }
    if (good && std::rename(temp.path.c_str(), target.c_str()) == 0) {
        temp.path.clear();
        return true;
    }
    DiscardTemp(temp);
    return false;
}

void DiscardTemp(TempFile& temp) {
    if (temp.fd >= 0) {
        ::close(temp.fd);
        temp.fd = -1;
    }
    if (!temp.path.empty()) {
        ::unlink(temp.path.c_str());
        temp.path.clear();
    }
}

}  // namespace exporting
