// The registry over its text file: absent, damaged or shared files, escaped
// names and strings, names in any case, and atomic replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string>

#include "platform/user_internal.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "SOFTWARE\\Tarvo\\Dravenholt";

// A REG_SZ value's bytes: the text and its terminating zero.
std::string Sz(const std::string& text) {
    return text + '\0';
}

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

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

// Backslashes and quotes must be escaped in the file, or the next read
// takes a value apart differently (or not at all).
TEST_F(Registry, NamesAndStringsWithBackslashesAndQuotesReadBackAsWritten) {
    struct Case {
        const char* what;
        const char* key;  // a backslash separates keys
        const char* name;
        DWORD type;
        std::string data;
    };
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));  // long enough to continue over lines
    const Case cases[] = {
        {"quotes and brackets in a key", "Soft\\Say \"hi\"\\[x]", "v", REG_SZ, Sz("a")},
        {"backslashes and quotes in a name", "K", "C:\\dir\\\"x\"\\", REG_SZ, Sz("b")},
        {"string ending in a backslash", "K", "trail", REG_SZ, Sz("C:\\temp\\")},
        {"string of quotes", "K", "quotes", REG_SZ, Sz("\"\"=\"\\\"")},
        {"string with a line end", "K", "lines", REG_SZ, Sz("one\r\ntwo")},
        {"binary of every byte", "K", "bytes", REG_BINARY, everyByte},
        {"empty binary, default value", "K", "", REG_BINARY, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, c.key, &key), ERROR_SUCCESS);
        EXPECT_EQ(
            RegSetValueExA(key, c.name, 0, c.type, reinterpret_cast<const BYTE*>(c.data.data()), DWORD(c.data.size())),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Read back once all are written: every write rewrote what the others wrote.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DWORD type = REG_NONE;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, c.key, c.name, &type), c.data);
        EXPECT_EQ(type, c.type);
    }
}

TEST_F(Registry, SavingKeepsAnotherProgramsEscapedValuesIntact) {
    const std::string others =
        "[HKEY_CURRENT_USER\\Other\\Tool]\n"
        "\"Folder\"=\"C:\\\\Program Files\\\\Tool\\\\\"\n"
        "\"Say \\\"when\\\"\"=\"\\\"now\\\" or \\\\never\"\n";
    dir.Write("cfg/registry.reg", "REGEDIT4\n\n" + others);
    ASSERT_EQ(Write(kKey, "Main_WndPl", std::string(44, '\x01')), ERROR_SUCCESS);
    EXPECT_NE(testsupport::ReadFile(file()).find(others), std::string::npos) << testsupport::ReadFile(file());
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other\\Tool", "Folder"), Sz("C:\\Program Files\\Tool\\"));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other\\Tool", "Say \"when\""), Sz("\"now\" or \\never"));
}

TEST_F(Registry, KeyAndValueNamesDifferingOnlyInCaseAreTheSame) {
    ASSERT_EQ(Write("Soft\\Case", "Value", "first"), ERROR_SUCCESS);
    ASSERT_EQ(Write("SOFT\\case", "VALUE", "second"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "soft\\CASE", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    for (const char* path : {"Soft\\Case", "soft\\case", "SOFT\\CASE"})
        for (const char* name : {"Value", "value", "VALUE"})
            EXPECT_EQ(Read(path, name), "second") << path << " " << name;
    // One section and one value line: a store that told case apart would hold two of each.
    std::string text = testsupport::ReadFile(file());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(Occurrences(text, "[hkey_local_machine\\soft\\case]"), 1) << text;
    EXPECT_EQ(Occurrences(text, "\"value\"="), 1) << text;
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
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE("damaged file " + std::to_string(i));
        dir.Write("cfg/registry.reg", damaged[i]);
        EXPECT_EQ(Read("K", "V"), "<2>");
    }
    ASSERT_EQ(Write("K", "V", "ok"), ERROR_SUCCESS);
    EXPECT_EQ(Read("K", "V"), "ok");
    EXPECT_EQ(testsupport::ReadFile(file().string() + ".damaged"), damaged.back());
}

}  // namespace
