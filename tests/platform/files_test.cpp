// Data files by the names the program gives them: backslashes between
// folders, any case, text-mode line ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/test_support.h"

namespace {

// Reads `file` in pieces as the program's readers do (fgets with 1023) and closes it.
std::vector<std::string> Pieces(std::FILE* file) {
    std::vector<std::string> out;
    char buffer[1024];
    while (file != nullptr && std::fgets(buffer, 1023, file) != nullptr)
        out.emplace_back(buffer);
    if (file != nullptr)
        std::fclose(file);
    return out;
}
std::string ReadAll(std::FILE* file) {
    std::string text;
    for (const std::string& piece : Pieces(file))
        text += piece;
    return text;
}

class DataFiles : public ::testing::Test {
protected:
    DataFiles() : cwd_(dir_.path()) {}
    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_;
};

TEST_F(DataFiles, BackslashesSeparateFoldersCaseIsIgnoredAndOnlyPlainFilesOpen) {
    dir_.Write("Data/Ribbon/eSPY.txt", "spy\n");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\Ribbon\\eSPY.txt", "rt")), "spy\n");
    EXPECT_EQ(ReadAll(OpenDataFile("DATA\\ribbon\\Espy.TXT", "rt")), "spy\n");
    EXPECT_EQ(OpenDataFile("Data\\Ribbon\\eSPY.tx", "rt"), nullptr);
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe").c_str(), 0600), 0);
    // A folder, a device or a pipe would fail or never end: none opens.
    for (const char* name : {"Data", "data\\", "", "Data\\none.txt", "/dev/zero", "\\dev\\zero", "pipe"})
        EXPECT_EQ(OpenDataFile(name, "rt"), nullptr) << name;
    EXPECT_EQ(OpenDataFile("Data", "rb"), nullptr);
}

// A folder copied from a case-insensitive disk may hold several spellings of
// one name. The choice must not depend on the order the folder lists them in
// (by creation on some file systems, by a hash of the name on others), so
// four spellings are written in one order and in the other.
TEST_F(DataFiles, OfNamesDifferingOnlyInCaseTheFirstInByteOrderOpens) {
    struct Case {
        std::vector<std::string> written;  // in this order, each holding its own name
        const char* asked;
        const char* opened;
    };
    const Case cases[] = {
        {{"One/aldr.txt", "One/aLDR.txt", "One/ALDR.txt", "One/Aldr.txt"}, "one\\AlDr.TXT", "One/ALDR.txt"},
        {{"Two/Aldr.txt", "Two/ALDR.txt", "Two/aLDR.txt", "Two/aldr.txt"}, "two\\AlDr.TXT", "Two/ALDR.txt"},
        {{"Three/aldr.txt", "Three/ALDR.txt"}, "Three\\aldr.txt", "Three/aldr.txt"},  // the exact spelling wins
        {{"Four/data/x.txt", "Four/dAtA/x.txt", "Four/DATA/x.txt", "Four/Data/x.txt"},
         "four\\DaTa\\X.txt",
         "Four/DATA/x.txt"},  // folders alike
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        for (const std::string& name : c.written)
            dir_.Write(name, name);
        EXPECT_EQ(ReadAll(OpenDataFile(c.asked, "rt")), c.opened);
    }
}

TEST_F(DataFiles, TextModeReadsCrLfAsLfKeepsLoneCrAndKeepsThePieces) {
    dir_.Write("Data/t.txt", "a\r\nb\rc\r\r\n\r");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\t.txt", "rt")), "a\nb\rc\r\n\r");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\t.txt", "rb")), "a\r\nb\rc\r\r\n\r");
    // Pairs split across the reader's blocks: one of three shifts puts a CR
    // last in any block.
    for (int shift = 0; shift < 3; ++shift) {
        std::string crlf(shift, 'x'), lf(shift, 'x');
        for (int i = 0; i < 10000; ++i)
            crlf += "a\r\n", lf += "a\n";
        dir_.Write("Data/s.txt", crlf);
        EXPECT_EQ(ReadAll(OpenDataFile("Data\\s.txt", "rt")), lf) << shift;
    }
    // Lines around the 1022-character piece length, where a kept CR would shift
    // what each read delivers.
    std::string lf, crlf;
    for (int length : {1020, 1021, 1022, 1023, 2043, 2044, 2045, 5}) {
        const std::string line(length, static_cast<char>('a' + length % 26));
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    dir_.Write("Data/lf.txt", lf);
    dir_.Write("Data/crlf.txt", crlf);
    const auto expected = Pieces(OpenDataFile("Data\\lf.txt", "rt"));
    EXPECT_EQ(Pieces(OpenDataFile("Data\\crlf.txt", "rt")), expected);
    EXPECT_EQ(expected.size(), 15u);
}

}  // namespace
