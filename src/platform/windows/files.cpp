// Data files on Windows: the program's names ("Data\eSPY.txt") are already
// native, and the file system matches them without regard to case. What is
// left is refusing anything but a plain file on a disk, and the stamps the
// kept tables compare.
#include <io.h>

#include <cerrno>
#include <cstdio>

#include "platform/win32.h"

namespace {

// 100-nanosecond ticks since 1601 to nanoseconds since 1970.
std::int64_t NanosecondsSince1970(std::int64_t ticks) {
    constexpr std::int64_t TicksTo1970 = 116444736000000000LL;
    return (ticks - TicksTo1970) * 100;
}

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

BOOL StampOfHandle(HANDLE file, DataFileStamp* stamp) {
    BY_HANDLE_FILE_INFORMATION info;
    if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return FALSE;
    stamp->device = info.dwVolumeSerialNumber;
    stamp->inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->modifiedNs = NanosecondsSince1970(Ticks(info.ftLastWriteTime));
    // The change time also moves when a file is replaced by one with an old
    // modification time; where the file system keeps none, the write time stands in.
    FILE_BASIC_INFO basic;
    stamp->changedNs = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)
                           ? NanosecondsSince1970(basic.ChangeTime.QuadPart)
                           : stamp->modifiedNs;
    return TRUE;
}

}  // namespace

std::FILE* OpenDataFile(LPCSTR name, LPCSTR mode) {
    if (name == nullptr || mode == nullptr || name[0] == '\0' || mode[0] == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EISDIR;
        return nullptr;
    }
    std::FILE* file = std::fopen(name, mode);
    if (file == nullptr)
        return nullptr;
    // Data files are plain files: a device (CON, NUL) or a pipe could keep a
    // reader waiting for ever.
    if (mode[0] == 'r' && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        std::fclose(file);
        errno = EACCES;
        return nullptr;
    }
    return file;
}

BOOL GetDataFileStamp(LPCSTR name, DataFileStamp* stamp) {
    if (name == nullptr || name[0] == '\0' || stamp == nullptr)
        return FALSE;
    HANDLE file = CreateFileA(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FALSE;
    const BOOL found = StampOfHandle(file, stamp);
    CloseHandle(file);
    return found;
}

BOOL GetOpenDataFileStamp(std::FILE* file, DataFileStamp* stamp) {
    if (file == nullptr || stamp == nullptr)
        return FALSE;
    return StampOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), stamp);
}
