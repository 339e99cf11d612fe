// The annotation labels loader over scratch Data folders.
#include "marketdata/labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using namespace marketdata;

class LabelsFile : public ::testing::Test {
protected:
    LabelTable Load(const std::string& content) {
        dir_.Write("Data/labels.txt", content);
        return LoadLabels();
    }
    static std::vector<std::string> Texts(const LabelTable& table) {
        std::vector<std::string> texts;
        for (const AnnotationLabel& label : table.labels)
            texts.push_back(label.text);
        return texts;
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
};

TEST_F(LabelsFile, ReadingRules) {
    const LabelTable table = Load(
        ";T|14:59:00|0|0|12|0|||a comment does not end the reading||\n"
        "T|14:43:00|0|0|12|0|\n"  // 6 fields: the empty last does not count
        "T|14:42:29.999|0|0|12|0|||before the window||\n"
        "T|14:42:30|0|0|12|0|||first second\n"
        "X|14:44:30|0|0|12|0|||not a label||\n"
        "T|14:53:00.999|0|0|12|0|||last second\n"
        "X|14:53:01|0|0|12|0|||after the window, of any type, ends the reading||\n"
        "T|14:50:00|0|0|12|0|||never\n");
    EXPECT_TRUE(table.present);
    EXPECT_EQ(Texts(table), (std::vector<std::string>{"first second", "last second"}));
    ASSERT_EQ(table.labels.size(), 2u);
    EXPECT_EQ(table.labels.front().second, 52950u);
    EXPECT_EQ(table.labels.back().second, 53580u);
    // A semicolon after a blank makes no comment: this line after the window ends the reading.
    EXPECT_TRUE(Load(" ;T|14:59:00|0|0|12|0|||x\nT|14:43:00|0|0|12|0|||y\n").labels.empty());
}

TEST_F(LabelsFile, FieldsAndTheirLimits) {
    const std::string text127(127, 'a'), text128(128, 'b');
    const std::string longTexts = "T|14:44:04|0|0|0|0|||" + text127 + "\nT|14:44:05|0|0|0|0|||" + text128 + "|l|a\n";
    const LabelTable table = Load(
        "T|14:44:00|-2.50|1|9|2|14:43:00|1.25|arrow up|page.htm|Alt text|ignored\n"
        "T|14:44:01|0.5| 3 |x|4\n"           // 6 fields: too short
        "T|14:44:02|0.5| 3 |15x|4|\n"        // still 6
        "T|14:44:03|0.5| 3 |15x|4|14:00|\n"  // 7 fields: the rest empty
        + longTexts);
    ASSERT_EQ(table.labels.size(), 4u);
    const AnnotationLabel& a = table.labels[0];
    EXPECT_EQ((std::vector<std::int64_t>{a.second, a.value, a.font, a.color, a.kind, a.targetSecond, a.targetValue}),
              (std::vector<std::int64_t>{53040, -250, 1, 9, 2, 52980, 125}));
    EXPECT_EQ((std::vector<std::string>{a.text, a.link, a.altText}),
              (std::vector<std::string>{"arrow up", "page.htm", "Alt text"}));
    const AnnotationLabel& b = table.labels[1];
    EXPECT_EQ((std::vector<std::int64_t>{b.second, b.value, b.font, b.color, b.kind, b.targetSecond, b.targetValue}),
              (std::vector<std::int64_t>{53043, 50, 3, 15, 4, 50400, 0}));
    EXPECT_EQ(b.text + b.link + b.altText, "");
    EXPECT_EQ(table.labels[2].text, text127);
    EXPECT_EQ(table.labels[3].text, text128.substr(0, 127));
    EXPECT_EQ(table.labels[3].link + table.labels[3].altText, "la");
    // The cut keeps whole UTF-8 characters; Windows-1252 texts are cut at the limit.
    const std::string a126(126, 'a');
    const LabelTable cut = Load("T|14:44:00|0|0|0|0|||" + a126 + "\xC3\xA9\nT|14:44:01|0|0|0|0|||" + a126.substr(1) +
                                "\xE2\x82\xAC\nT|14:44:02|0|0|0|0|||" + a126 + "\xE9\xE9\n");
    EXPECT_EQ(Texts(cut), (std::vector<std::string>{a126, a126.substr(1), a126 + "\xE9"}));
}

TEST_F(LabelsFile, MissingFileIsNotPresent) {
    const LabelTable table = LoadLabels();
    EXPECT_FALSE(table.present);
    EXPECT_TRUE(table.labels.empty());
    EXPECT_TRUE(Load("").present);  // an empty file is there, with no labels
}

}  // namespace
