// The registry over its REGEDIT4 file: absent, damaged or shared files and
// atomic replacement.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>

#include "platform/user_internal.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\Tarvo\\Dravenholt";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { platform::UseRegistryFile(file()); }
    void TearDown() override { platform::UseMemoryRegistry(); }
    fs::path file() const { return dir.path() / "cfg" / "registry.reg"; }

    LSTATUS Write(const char* path, const char* name, const std::string& data) {
        HKEY key = nullptr;
        LSTATUS s = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key);
        if (s == ERROR_SUCCESS)
            s = RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                               DWORD(data.size()));
        RegCloseKey(key);
        return s;
    }
    // The value's bytes, or "<status>" when it can't be read.
    std::string Read(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        LSTATUS s = RegOpenKeyA(root, path, &key);
        std::array<BYTE, 256> buffer{};
        DWORD size = buffer.size();
        if (s == ERROR_SUCCESS)
            s = RegQueryValueExA(key, name, nullptr, type, buffer.data(), &size);
        RegCloseKey(key);
        return s == ERROR_SUCCESS ? std::string(buffer.begin(), buffer.begin() + size) : "<" + std::to_string(s) + ">";
    }
    std::string Read(const char* path, const char* name) { return Read(HKEY_LOCAL_MACHINE, path, name); }

    testsupport::TempDir dir;
};

TEST_F(Registry, FirstWriteCreatesTheFileReplacingAValueKeepsOtherKeysAndLeavesNoTemporaryFile) {
    EXPECT_EQ(Read(kKey, "Main_WndPl"), "<2>");
    ASSERT_EQ(Write(kKey, "Main_WndPl", std::string(44, '\x7f')), ERROR_SUCCESS);
    const std::string text = testsupport::ReadFile(file());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]"), std::string::npos);
    EXPECT_EQ(Read("software\\TARVO\\dravenholt", "main_wndpl"), std::string(44, '\x7f'));
    dir.Write("cfg/registry.reg",
              "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Other]\r\n@=\"default \\\"quoted\\\"\"\r\n"
              "\"Count\"=dword:0000002a\r\n\"Path\"=hex(2):25,00,\\\r\n  41,00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Dravenholt]\r\n\"Keep\"=\"me\"\r\n");
    ASSERT_EQ(Write(kKey, "Main_WndPl", std::string(100, 'b')), ERROR_SUCCESS);
    ASSERT_EQ(Write(kKey, "Main_WndPl", std::string(44, 'c')), ERROR_SUCCESS);
    DWORD binary = 0, dword = 0;
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kKey, "Main_WndPl", &binary), std::string(44, 'c'));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kKey, "Keep"), std::string("me\0", 3));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other", nullptr), std::string("default \"quoted\"\0", 17));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other", "Count", &dword), std::string("\x2a\0\0\0", 4));
    EXPECT_TRUE(binary == REG_BINARY && dword == REG_DWORD);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other", "Path"), std::string("%\0A\0", 4));
    for (const auto& entry : fs::directory_iterator(file().parent_path()))
        EXPECT_EQ(entry.path().filename(), "registry.reg");
}

TEST_F(Registry, DamagedFilesReadAsEmptyAndAreSetAside) {
    // Garbage, a wrong header, a value before any key, not hex, cut in a
    // continuation, an unclosed key, an unclosed quote.
    const std::array<std::string, 7> damaged = {std::string("\x00\xff\x13garbage", 10),
                                                "REGEDIT5\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:01\n",
                                                "REGEDIT4\n\"V\"=hex:01\n",
                                                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:0g\n",
                                                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=hex:01,\\",
                                                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\n",
                                                "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"V=\"x\n"};
    for (const std::string& text : damaged) {
        dir.Write("cfg/registry.reg", text);
        EXPECT_EQ(Read("K", "V"), "<2>") << text;
    }
    ASSERT_EQ(Write("K", "V", "ok"), ERROR_SUCCESS);
    EXPECT_EQ(Read("K", "V"), "ok");
    EXPECT_EQ(testsupport::ReadFile(file().string() + ".damaged"), damaged.back());
}

}  // namespace
