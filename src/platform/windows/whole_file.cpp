// Whole-or-nothing files on Windows: the temporary is written in binary,
// flushed, then moved over the target with MOVEFILE_REPLACE_EXISTING (a
// plain rename never replaces an existing file here).
#include "platform/whole_file.h"
#include "platform/whole_file_names.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

FileError ErrorFromCode(DWORD code) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    // The system's texts end in a full stop and a line break.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        text[--length] = '\0';
    std::string reason = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    return FileError{static_cast<int>(code), reason};
}

FileError LastError() {
    return ErrorFromCode(GetLastError());
}

// The temporaries staged and not yet committed: a console's Ctrl+C runs its
// handler on a thread of its own, which removes them before the process ends.
struct StagedNames {
    std::mutex lock;
    std::vector<std::string> paths;
};
StagedNames& Staged() {
    static StagedNames names;
    return names;
}

int Remember(const std::string& path) {
    StagedNames& staged = Staged();
    const std::lock_guard<std::mutex> hold(staged.lock);
    for (std::size_t i = 0; i < staged.paths.size(); ++i) {
        if (staged.paths[i].empty()) {
            staged.paths[i] = path;
            return static_cast<int>(i);
        }
    }
    staged.paths.push_back(path);
    return static_cast<int>(staged.paths.size() - 1);
}

void Forget(int slot) {
    if (slot < 0)
        return;
    StagedNames& staged = Staged();
    const std::lock_guard<std::mutex> hold(staged.lock);
    if (static_cast<std::size_t>(slot) < staged.paths.size())
        staged.paths[static_cast<std::size_t>(slot)].clear();
}

bool WriteAll(HANDLE file, const std::uint8_t* bytes, std::size_t count, FileError& error) {
    while (count > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr)) {
            error = LastError();
            return false;
        }
        if (written == 0) {
            error = ErrorFromCode(ERROR_DISK_FULL);
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

// A new file beside `target` that no other name refers to: the process id
// keeps processes apart, a counter the files of one process, CREATE_NEW the
// rest.
HANDLE CreateTemporary(const std::string& target, std::string& path, int& slot, FileError& error) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = target + TemporaryMark + std::to_string(static_cast<unsigned long>(GetCurrentProcessId())) +
                                "-" + std::to_string(counter++);
        slot = Remember(candidate);
        HANDLE file = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            path = std::move(candidate);
            return file;
        }
        const DWORD code = GetLastError();
        Forget(slot);
        slot = -1;
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = ErrorFromCode(code);
            return INVALID_HANDLE_VALUE;
        }
    }
    error = ErrorFromCode(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Interruptions held back by SignalsHeld, and whether one came meanwhile.
std::atomic<int> HeldCount{0};
std::atomic<bool> InterruptedWhileHeld{false};

BOOL WINAPI OnConsoleInterrupt(DWORD event) {
    if (HeldCount.load() > 0) {
        InterruptedWhileHeld = true;
        return TRUE;
    }
    StagedNames& staged = Staged();
    const std::lock_guard<std::mutex> hold(staged.lock);
    for (const std::string& path : staged.paths) {
        if (!path.empty())
            DeleteFileA(path.c_str());
    }
    return FALSE;  // and the next handler ends the process as it would have
}

}  // namespace

bool StagedFile::Stage(const std::string& target, std::span<const std::uint8_t> bytes, FileError& error) {
    Discard();
    const DWORD attributes = GetFileAttributesA(target.c_str());
    // A folder in the target's place could not be replaced at commit: say so
    // now, before a partner file is put in place.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = FileError{static_cast<int>(ERROR_DIRECTORY), "Is a directory"};
        return false;
    }
    std::string path;
    int slot = -1;
    HANDLE file = CreateTemporary(target, path, slot, error);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool good = WriteAll(file, bytes.data(), bytes.size(), error);
    if (good && !FlushFileBuffers(file)) {
        error = LastError();
        good = false;
    }
    if (!CloseHandle(file) && good) {
        error = LastError();
        good = false;
    }
    if (!good) {
        DeleteFileA(path.c_str());
        Forget(slot);
        return false;
    }
    target_ = target;
    temporary_ = std::move(path);
    slot_ = slot;
    return true;
}

bool StagedFile::Commit(FileError& error) {
    if (temporary_.empty()) {
        error = FileError{0, "nothing was written"};
        return false;
    }
    if (!MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError();
        Discard();
        return false;
    }
    temporary_.clear();
    Forget(std::exchange(slot_, -1));
    return true;
}

void StagedFile::Discard() {
    if (!temporary_.empty()) {
        DeleteFileA(temporary_.c_str());
        temporary_.clear();
    }
    Forget(std::exchange(slot_, -1));
}

// Windows cannot lock a folder, so writers of one folder share a mutex named
// after its full path (in lower case: names differing in case are one folder).
FolderLock::FolderLock(const std::string& folder) {
    char full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(folder.empty() ? "." : folder.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return;
    // FNV-1a of the path: a mutex name may not hold a backslash.
    std::uint64_t hash = 1469598103934665603ull;
    for (DWORD i = 0; i < length; ++i) {
        const char c = full[i] >= 'A' && full[i] <= 'Z' ? static_cast<char>(full[i] - 'A' + 'a') : full[i];
        hash = (hash ^ static_cast<std::uint8_t>(c == '/' ? '\\' : c)) * 1099511628211ull;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\WholeFileFolder-%016llx", static_cast<unsigned long long>(hash));
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr)
        return;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    // An abandoned mutex is ours now: its holder ended without letting go.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return;
    }
    mutex_ = mutex;
}

bool FolderLock::held() const {
    return mutex_ != nullptr;
}

FolderLock::~FolderLock() {
    if (mutex_ != nullptr) {
        ReleaseMutex(static_cast<HANDLE>(mutex_));
        CloseHandle(static_cast<HANDLE>(mutex_));
    }
}

void RemoveStaleTemporaries(const std::string& target) {
    const std::size_t slash = target.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + TemporaryMark;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const char* name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        const std::optional<std::uint32_t> pid = TemporaryOwner(name, prefix);
        if (!pid || *pid == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, *pid);
        if (process != nullptr) {
            const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
            CloseHandle(process);
            if (!ended)
                continue;  // its writer is still at work
        } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
            continue;  // a process we may not ask about
        }
        DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

SignalsHeld::SignalsHeld() {
    ++HeldCount;
    held_ = SetConsoleCtrlHandler(OnConsoleInterrupt, TRUE) != FALSE;
}

SignalsHeld::~SignalsHeld() {
    if (held_)
        SetConsoleCtrlHandler(OnConsoleInterrupt, FALSE);
    // An interruption that came meanwhile ends the process now, as it would have.
    if (--HeldCount == 0 && InterruptedWhileHeld.exchange(false))
        ExitProcess(STATUS_CONTROL_C_EXIT);
}

void RemoveStagedFilesOnSignals() {
    SetConsoleCtrlHandler(OnConsoleInterrupt, TRUE);
}

}  // namespace platform
