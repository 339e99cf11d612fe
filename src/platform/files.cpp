// Data files named the Windows way: "Data\eSPY.txt" is Data/eSPY.txt, found
// case-insensitively when the exact spelling is not on disk, and text mode
// reads CR LF line ends as LF so that files written on either system read alike.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace platform {

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string Join(const std::string& directory, std::string_view name) {
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    if (!path.empty() && path.back() != '/') {
        path.push_back('/');
    }
    path.append(name);
    return path;
}

// The entry of `directory` whose name equals `name` but for ASCII case; when
// several do, the one first in byte order, so the choice never depends on the
// order in which the directory lists them.
bool FindEntryIgnoringCase(const std::string& directory, std::string_view name, std::string& found) {
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view candidate(entry->d_name);
        if (EqualsIgnoringCase(candidate, name) && (!any || candidate < found)) {
            found.assign(candidate);
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

std::string ToSlashes(const char* name) {
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

// Resolves `path` component by component. A leaf that does not exist keeps its
// spelling when `leafMayBeMissing` (a file about to be created).
bool ResolvePath(const std::string& path, bool leafMayBeMissing, std::string& resolved) {
    if (Exists(path)) {
        resolved = path;
        return true;
    }
    std::vector<std::string_view> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        if (!part.empty()) {
            parts.push_back(part);
        }
        if (slash == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(slash + 1);
    }
    std::string current = (!path.empty() && path[0] == '/') ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const std::string exact = Join(current, part);
        if (part == "." || part == ".." || Exists(exact)) {
            current = exact;
            continue;
        }
        std::string entry;
        if (FindEntryIgnoringCase(current, part, entry)) {
            current = Join(current, entry);
        } else if (leafMayBeMissing && i + 1 == parts.size()) {
            current = exact;
        } else {
            return false;
        }
    }
    resolved = current;
    return !resolved.empty();
}

// Text-mode reading: a CR directly followed by LF is dropped; a lone CR stays.
// Every paint reads the ribbon files again, so this reads in blocks and
// collapses the pairs in place rather than going byte by byte.
// Only the size a file had when it was opened is read: pseudo files (procfs
// and the like) say 0 and would otherwise never end.
struct CrLfReader {
    std::FILE* raw;
    std::uint64_t remaining;
};

ssize_t ReadTranslated(void* cookie, char* buffer, std::size_t size) {
    auto* reader = static_cast<CrLfReader*>(cookie);
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, reader->remaining));
    if (size == 0) {
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, size, reader->raw);
    reader->remaining -= got;
    if (got == 0) {
        return std::ferror(reader->raw) ? -1 : 0;
    }
    char* out = static_cast<char*>(std::memchr(buffer, '\r', got));
    if (out == nullptr) {
        return static_cast<ssize_t>(got);
    }
    const char* in = out;
    const char* const end = buffer + got;
    while (in < end) {
        const char c = *in++;
        if (c == '\r') {
            if (in < end) {
                if (*in == '\n') {
                    continue;  // the LF that follows is copied next
                }
            } else {
                // The block ends on a CR: its partner, if any, is the next byte.
                const int next = reader->remaining > 0 ? getc_unlocked(reader->raw) : EOF;
                if (next == '\n') {
                    --reader->remaining;
                    *out++ = '\n';
                    break;
                }
                if (next != EOF) {
                    std::ungetc(next, reader->raw);
                }
            }
        }
        *out++ = c;
    }
    return static_cast<ssize_t>(out - buffer);
}

int CloseTranslated(void* cookie) {
    auto* reader = static_cast<CrLfReader*>(cookie);
    const int result = std::fclose(reader->raw);
    delete reader;
    return result == 0 ? 0 : EOF;
}

std::FILE* OpenTranslatedForReading(const std::string& path) {
    std::FILE* raw = std::fopen(path.c_str(), "rb");
    if (raw == nullptr) {
        return nullptr;
    }
    struct stat info;
    if (::fstat(::fileno(raw), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(raw);
        return nullptr;
    }
    auto* reader = new CrLfReader{raw, static_cast<std::uint64_t>(info.st_size)};
    cookie_io_functions_t functions{};
    functions.read = ReadTranslated;
    functions.close = CloseTranslated;
    std::FILE* file = ::fopencookie(reader, "r", functions);
    if (file == nullptr) {
        std::fclose(raw);
        delete reader;
    }
    return file;
}

DataFileStamp StampOf(const struct stat& info) {
    DataFileStamp stamp{};
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changedNs = std::int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace

}  // namespace platform

std::FILE* OpenDataFile(LPCSTR name, LPCSTR mode) {
    if (name == nullptr || mode == nullptr || name[0] == '\0' || mode[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    const bool reading = mode[0] == 'r';
    const bool binary = std::strchr(mode, 'b') != nullptr;
    const bool update = std::strchr(mode, '+') != nullptr;

    std::string path;
    if (!platform::ResolvePath(platform::ToSlashes(name), !reading, path)) {
        errno = ENOENT;
        return nullptr;
    }
    // A folder opens as a stream on this system but never reads; refuse it as
    // Windows does.
    if (platform::IsDirectory(path)) {
        errno = EISDIR;
        return nullptr;
    }
    // Data files are plain files: a device or pipe named in a configuration
    // (/dev/zero, a FIFO) could otherwise keep a reader busy for ever.
    if (reading && !platform::IsRegularFile(path)) {
        errno = EACCES;
        return nullptr;
    }
    if (reading && !binary && !update) {
        return platform::OpenTranslatedForReading(path);
    }
    std::string stdioMode;
    for (const char* m = mode; *m != '\0'; ++m) {
        if (*m != 't') {
            stdioMode.push_back(*m);
        }
    }
    return std::fopen(path.c_str(), stdioMode.c_str());
}

BOOL GetDataFileStamp(LPCSTR name, DataFileStamp* stamp) {
    if (name == nullptr || name[0] == '\0' || stamp == nullptr)
        return FALSE;
    std::string path;
    if (!platform::ResolvePath(platform::ToSlashes(name), false, path))
        return FALSE;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return FALSE;
    *stamp = platform::StampOf(info);
    return TRUE;
}

BOOL GetOpenDataFileStamp(std::FILE* file, DataFileStamp* stamp) {
    struct stat info;
    if (file == nullptr || stamp == nullptr || ::fstat(::fileno(file), &info) != 0)
        return FALSE;
    *stamp = platform::StampOf(info);
    return TRUE;
}
