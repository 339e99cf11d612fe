// What the Windows build adds beyond <windows.h>: the dialog resource, data
// files opened and stamped, and files replaced whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/whole_file.h"
#include "platform/win32.h"
#include "shell/dialog_template.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

// The resource the .rc makes is the template the program creates its dialog from.
TEST(WindowsResources, DialogResourceEqualsTheTemplateInMemory) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(110), reinterpret_cast<LPCSTR>(RT_DIALOG));
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(nullptr, found);
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(bytes, nullptr);
    const auto* memory = reinterpret_cast<const BYTE*>(shell::MainDialogTemplate());
    // The resource compiler pads the end to a 4-byte boundary.
    ASSERT_GE(size, 100u);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 100), std::vector<BYTE>(memory, memory + 100));
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Binary bytes stay as they are, an existing file is replaced (a rename
// would fail), and nothing is left beside the target.
TEST(WindowsWholeFile, ReplacesExistingFilesWithTheExactBytes) {
    testsupport::TempDir dir;
    const std::string target = (dir.path() / "picture.gif").string();
    const std::string first("GIF\n\r\n\x1a\0end", 11), second("second\n\n", 8);
    platform::FileError error;
    ASSERT_TRUE(platform::WriteWholeFile(target, Bytes(first), error)) << error.reason;
    EXPECT_EQ(ReadFile(target), first);
    ASSERT_TRUE(platform::WriteWholeFile(target, Bytes(second), error)) << error.reason;
    EXPECT_EQ(ReadFile(target), second);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A folder in the target's place is refused before anything is staged.
    fs::create_directory(dir.path() / "folder");
    platform::StagedFile staged;
    EXPECT_FALSE(staged.Stage((dir.path() / "folder").string(), Bytes(first), error));
    // A staged file dropped uncommitted leaves nothing.
    {
        platform::StagedFile dropped;
        ASSERT_TRUE(dropped.Stage(target, Bytes(first), error));
    }
    EXPECT_EQ(ReadFile(target), second);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// Leftovers of ended processes go; those of live ones and look-alikes stay.
TEST(WindowsWholeFile, RemovesOnlyTheTemporariesOfEndedProcesses) {
    testsupport::TempDir dir;
    const std::string target = (dir.path() / "map.js").string();
    // Process ids are multiples of 4; 4294967292 is never handed out here.
    const std::string live = "map.js.tmp-" + std::to_string(GetCurrentProcessId()) + "-0";
    for (const char* name : {"map.js.tmp-4294967292-0", "map.js.tmp-4294967292-x", "map.js.tmp-04-0", "other.tmp-8-0"})
        dir.Write(name, "x");
    dir.Write(live, "x");
    platform::RemoveStaleTemporaries(target);
    EXPECT_FALSE(fs::exists(dir.path() / "map.js.tmp-4294967292-0"));
    for (const std::string name : {"map.js.tmp-4294967292-x", "map.js.tmp-04-0", "other.tmp-8-0", live.c_str()})
        EXPECT_TRUE(fs::exists(dir.path() / name)) << name;
    const platform::FolderLock lock(dir.path().string());
    EXPECT_TRUE(lock.held());
}

// Data files: names the Windows way, only plain files, and a stamp that
// changes with the contents even when the size stays.
TEST(WindowsDataFiles, OpensPlainFilesOnlyAndStampsFollowChanges) {
    testsupport::TempDir dir;
    const testsupport::ScopedCwd cwd(dir.path());
    dir.Write("Data/eSPY.txt", "52950 1\r\n");
    fs::create_directory(dir.path() / "Data" / "folder.txt");
    std::FILE* file = OpenDataFile("Data\\espy.TXT", "rb");
    ASSERT_NE(file, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, file), 9u);  // CR LF read as it is in binary mode
    DataFileStamp opened{}, named{};
    EXPECT_TRUE(GetOpenDataFileStamp(file, &opened));
    std::fclose(file);
    EXPECT_TRUE(GetDataFileStamp("Data\\eSPY.txt", &named));
    EXPECT_EQ(opened, named);
    EXPECT_EQ(named.size, 9u);
    for (const char* refused : {"Data\\folder.txt", "Data\\missing.txt", "NUL", "CON", ""}) {
        EXPECT_EQ(OpenDataFile(refused, "rb"), nullptr) << refused;
        DataFileStamp none{};
        EXPECT_FALSE(GetDataFileStamp(refused, &none)) << refused;
    }
    // The same size, the write time set back: the change time still moves.
    Sleep(20);
    dir.Write("Data/eSPY.txt", "52951 2\r\n");
    HANDLE handle = CreateFileA("Data\\eSPY.txt", FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME old{};
    old.dwLowDateTime = static_cast<DWORD>((named.modifiedNs / 100 + 116444736000000000LL) & 0xFFFFFFFF);
    old.dwHighDateTime = static_cast<DWORD>((named.modifiedNs / 100 + 116444736000000000LL) >> 32);
    SetFileTime(handle, nullptr, nullptr, &old);
    CloseHandle(handle);
    DataFileStamp edited{};
    EXPECT_TRUE(GetDataFileStamp("Data\\eSPY.txt", &edited));
    EXPECT_EQ(edited.modifiedNs, named.modifiedNs);
    EXPECT_NE(edited, named);
}

}  // namespace
