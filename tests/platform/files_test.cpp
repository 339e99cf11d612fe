#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "support/test_support.h"

namespace {

using testsupport::ScopedCwd;
using testsupport::TempDir;

std::string ReadAll(std::FILE* file) {
    std::string text;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        text.push_back(static_cast<char>(c));
    }
    std::fclose(file);
    return text;
}

// The pieces a reader sees with fgets and the limit 1023.
std::vector<std::string> Pieces(std::FILE* file) {
    std::vector<std::string> pieces;
    char buffer[1024];
    while (std::fgets(buffer, 1023, file) != nullptr) {
        pieces.emplace_back(buffer);
    }
    std::fclose(file);
    return pieces;
}

class DataFiles : public ::testing::Test {
protected:
    DataFiles() : cwd_(dir_.path()) {}
    TempDir dir_;
    ScopedCwd cwd_;
};

TEST_F(DataFiles, BackslashesSeparateFolders) {
    dir_.Write("Data/Sub/a.txt", "x\n");
    std::FILE* file = OpenDataFile("Data\\Sub\\a.txt", "rt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "x\n");
}

TEST_F(DataFiles, EveryComponentMatchesIgnoringCase) {
    dir_.Write("Data/Ribbon/eSPY.txt", "spy\n");
    std::FILE* file = OpenDataFile("DATA\\ribbon\\Espy.TXT", "rt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(ReadAll(file), "spy\n");
    EXPECT_EQ(OpenDataFile("Data\\Ribbon\\eSPY.tx", "rt"), nullptr);
    EXPECT_EQ(OpenDataFile("Data\\Ribbons\\eSPY.txt", "rt"), nullptr);
}

TEST_F(DataFiles, TheExactSpellingWinsOverACaseVariant) {
    dir_.Write("Data/labels.txt", "lower\n");
    dir_.Write("Data/Labels.txt", "upper\n");
    dir_.Write("Data/LABELS.TXT", "caps\n");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\Labels.txt", "rt")), "upper\n");
    // Without an exact match the choice is the first in byte order, every time.
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\lAbels.txt", "rt")), "caps\n");
}

TEST_F(DataFiles, FoldersEmptyNamesAndMissingFilesDoNotOpen) {
    dir_.Write("Data/a.txt", "x");
    EXPECT_EQ(OpenDataFile("Data", "rt"), nullptr);
    EXPECT_EQ(OpenDataFile("data\\", "rt"), nullptr);
    EXPECT_EQ(OpenDataFile("Data", "rb"), nullptr);
    EXPECT_EQ(OpenDataFile("", "rt"), nullptr);
    EXPECT_EQ(OpenDataFile(nullptr, "rt"), nullptr);
    errno = 0;
    EXPECT_EQ(OpenDataFile("Data\\none.txt", "rt"), nullptr);
    EXPECT_NE(errno, 0);
}

TEST_F(DataFiles, OnlyPlainFilesOpenForReading) {
    // A device would never end: a configuration naming one must not hang a reader.
    EXPECT_EQ(OpenDataFile("/dev/zero", "rt"), nullptr);
    EXPECT_EQ(OpenDataFile("\\dev\\zero", "rb"), nullptr);
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(OpenDataFile("pipe", "rt"), nullptr);
}

TEST_F(DataFiles, TextModeReadsCrLfAsLfAndKeepsLoneCr) {
    dir_.Write("Data/t.txt", "a\r\nb\rc\r\r\n\r");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\t.txt", "rt")), "a\nb\rc\r\n\r");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\t.txt", "r")), "a\nb\rc\r\n\r");
    EXPECT_EQ(ReadAll(OpenDataFile("Data\\t.txt", "rb")), "a\r\nb\rc\r\r\n\r");
}

TEST_F(DataFiles, CrLfAndLfFilesArriveInTheSamePieces) {
    // Lines around the 1022-character piece length, where a kept CR would
    // shift what each read delivers.
    std::string lf;
    for (int length : {1020, 1021, 1022, 1023, 2043, 2044, 2045, 5}) {
        lf += std::string(length, 'a' + length % 26) + "\n";
    }
    std::string crlf;
    for (char c : lf) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    dir_.Write("Data/lf.txt", lf);
    dir_.Write("Data/crlf.txt", crlf);
    const auto expected = Pieces(OpenDataFile("Data\\lf.txt", "rt"));
    EXPECT_EQ(Pieces(OpenDataFile("Data\\crlf.txt", "rt")), expected);
    EXPECT_EQ(expected.size(), 15u);
}

TEST_F(DataFiles, WritingCreatesTheFileInAMatchingFolder) {
    dir_.Write("Out/keep.txt", "");
    std::FILE* file = OpenDataFile("out\\new.bin", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("z\r\n", file);
    std::fclose(file);
    EXPECT_EQ(testsupport::ReadFile(dir_.path() / "Out" / "new.bin"), "z\r\n");
    EXPECT_EQ(OpenDataFile("nowhere\\new.bin", "wb"), nullptr);
}

}  // namespace
