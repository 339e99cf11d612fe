// The registry over its REGEDIT4 file: absent, damaged or shared files, the
// query's buffer rules, atomic replacement, and the in-memory store.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "platform/user_internal.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

class RegistryFileTest : public ::testing::Test {
protected:
    void SetUp() override { platform::UseRegistryFile(file()); }
    void TearDown() override { platform::UseMemoryRegistry(); }
    fs::path file() const { return dir.path() / "cfg" / "registry.reg"; }

    LSTATUS Write(const char* path, const char* name, DWORD type, const std::string& data) {
        HKEY key = nullptr;
        LSTATUS s = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key);
        if (s != ERROR_SUCCESS)
            return s;
        s = RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        return s;
    }
    // The value's bytes, or "<status>" when it can't be read.
    std::string Read(const char* path, const char* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        LSTATUS s = RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key);
        if (s != ERROR_SUCCESS)
            return "<" + std::to_string(s) + ">";
        std::array<BYTE, 256> buffer{};
        DWORD size = buffer.size();
        s = RegQueryValueExA(key, name, nullptr, type, buffer.data(), &size);
        RegCloseKey(key);
        if (s != ERROR_SUCCESS)
            return "<" + std::to_string(s) + ">";
        return std::string(buffer.begin(), buffer.begin() + size);
    }

    testsupport::TempDir dir;
};

TEST_F(RegistryFileTest, AbsentFileHasNoKeysAndTheFirstWriteCreatesIt) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo\\Dravenholt", &key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Write("SOFTWARE\\Tarvo\\Dravenholt", "Main_WndPl", REG_BINARY, std::string(44, '\x7f')), ERROR_SUCCESS);
    const std::string text = testsupport::ReadFile(file());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]"), std::string::npos);
    EXPECT_EQ(Read("software\\TARVO\\dravenholt", "main_wndpl"), std::string(44, '\x7f'));
    // Parents exist as keys of their own; nothing temporary is left behind.
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    for (const auto& entry : fs::directory_iterator(file().parent_path())) {
        EXPECT_EQ(entry.path().filename(), "registry.reg");
    }
}

TEST_F(RegistryFileTest, OtherKeysAndValuesAreKept) {
    dir.Write("cfg/registry.reg",
              "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Other]\r\n@=\"default \\\"quoted\\\"\"\r\n"
              "\"Count\"=dword:0000002a\r\n\"Path\"=hex(2):25,00,\\\r\n  41,00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]\r\n\"Keep\"=\"me\"\r\n");
    ASSERT_EQ(Write("SOFTWARE\\Tarvo\\Dravenholt", "Main_WndPl", REG_BINARY, std::string(100, 'b')), ERROR_SUCCESS);
    ASSERT_EQ(Write("SOFTWARE\\Tarvo\\Dravenholt", "Main_WndPl", REG_BINARY, std::string(44, 'c')), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(Read("SOFTWARE\\Tarvo\\Dravenholt", "Main_WndPl", &type), std::string(44, 'c'));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(Read("SOFTWARE\\Tarvo\\Dravenholt", "Keep", &type), std::string("me\0", 3));
    EXPECT_EQ(type, REG_SZ);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Other", &key), ERROR_SUCCESS);
    std::array<BYTE, 64> buffer{};
    DWORD size = buffer.size();
    ASSERT_EQ(RegQueryValueExA(key, nullptr, nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), size), std::string("default \"quoted\"\0", 17));
    size = buffer.size();
    ASSERT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(buffer[0], 42);
    size = buffer.size();
    ASSERT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, buffer.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(size, 4u);
    RegCloseKey(key);
}

TEST_F(RegistryFileTest, QueryFollowsTheBufferRules) {
    ASSERT_EQ(Write("K", "V", REG_BINARY, std::string(44, 'x')), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    std::array<BYTE, 44> buffer{};
    DWORD size = 10;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, &type, buffer.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 44u);
    EXPECT_EQ(buffer[0], 0);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 44u);
    EXPECT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, buffer.data(), nullptr), ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "V", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, buffer.data(), 4), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryFileTest, DamagedFilesReadAsEmptyAndAreSetAside) {
    const std::array<std::string, 7> damaged = {
        std::string("\x00\xff\x13garbage", 10),
        "REGEDIT5\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:01\n",
        "REGEDIT4\n\"V\"=hex:01\n",                            // a value before any key
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:0g\n",   // not hex
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:01,\\",  // cut in a continuation
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\n",                  // unclosed key
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V=\"x\n",        // unclosed quote
    };
    for (const std::string& text : damaged) {
        dir.Write("cfg/registry.reg", text);
        EXPECT_EQ(Read("K", "V"), "<2>") << text;
    }
    ASSERT_EQ(Write("K", "V", REG_BINARY, "ok"), ERROR_SUCCESS);
    EXPECT_EQ(Read("K", "V"), "ok");
    EXPECT_EQ(testsupport::ReadFile(file().string() + ".damaged"), damaged.back());

    // A folder where the file should be can't be read or replaced.
    fs::remove(file());
    fs::create_directories(file());
    EXPECT_EQ(Read("K", "V"), "<2>");
}

TEST_F(RegistryFileTest, UnwritableLocationIsReported) {
    dir.Write("blocker", "a file where a folder should be");
    platform::UseRegistryFile(dir.path() / "blocker" / "registry.reg");
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", &key), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryFileTest, NamesTheFileCannotHoldAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "bad\nkey", &key), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "\\good\\\\key\\", &key), ERROR_SUCCESS);
    const BYTE byte = 1;
    EXPECT_EQ(RegSetValueExA(key, "bad\rname", 0, REG_BINARY, &byte, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "quote\"and\\slash", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\"b\\"), 5),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Read("good\\key", "quote\"and\\slash"), std::string("a\"b\\\0", 5));
    EXPECT_EQ(RegCreateKeyA(reinterpret_cast<HKEY>(0x1234), "x", &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryFileTest, DefaultPathFollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(platform::DefaultRegistryPath(), dir.path() / "dravenholt" / "registry.reg");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(platform::DefaultRegistryPath().filename(), "registry.reg");
    EXPECT_NE(platform::DefaultRegistryPath().string().find(".config/dravenholt"), std::string::npos);
    if (saved != nullptr) {
        setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(RegistryFileTest, MemoryStoreLeavesTheFileAlone) {
    platform::UseMemoryRegistry();
    ASSERT_EQ(Write("K", "V", REG_BINARY, "mem"), ERROR_SUCCESS);
    EXPECT_EQ(Read("K", "V"), "mem");
    EXPECT_FALSE(fs::exists(file()));
    platform::UseMemoryRegistry();  // a fresh, empty store
    EXPECT_EQ(Read("K", "V"), "<2>");
}

}  // namespace
