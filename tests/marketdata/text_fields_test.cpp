// The field toolkit: splitting, times, prices, counts, line pieces, and both
// sides of each of its limits.
#include "marketdata/text_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "marketdata/loader_support.h"
#include "marketdata/text_source.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;
using V = std::vector<std::string>;

// The fields of `text` as SplitFields cuts them (in place, hence the copy).
V Split(std::string text, int maxFields = MaxFields) {
    char* fields[MaxFields + 2] = {};
    const int count = SplitFields(text.data(), fields, maxFields, true);
    return V(fields, fields + count);
}

std::string Bars(int fieldCount) {
    std::string line;
    for (int i = 0; i < fieldCount; ++i)
        line += (i ? "|f" : "f") + std::to_string(i);
    return line;
}

TEST(SplitFields, EmptyFieldsTrailingBarTrimmingAndTheLimit) {
    // clang-format off
    const std::pair<std::string, V> cases[] = {
        {" 14:42:30 |  1123.45 | x ", {"14:42:30", "1123.45", "x "}},  // the last keeps a trailing blank
        {"a||b", {"a", "", "b"}}, {"a|b|", {"a", "b"}}, {"a|b|  ", {"a", "b"}}, {"|", {""}}, {"   ", {}},
        {"a|b\rc", {"a", "b"}},                     // a line end ends the last field
        {"\xA0x\xA0|\x85", {"\xA0x\xA0", "\x85"}}};  // high bytes are not blanks
    // clang-format on
    for (const auto& [text, fields] : cases)
        EXPECT_EQ(Split(text), fields) << text;
    EXPECT_EQ(Split("a|b|c|d", 2), (V{"a", "b"}));
    // 32 fields at most: the 33rd and later are dropped.
    for (const int written : {31, 32, 33, 40}) {
        const V fields = Split(Bars(written));
        EXPECT_EQ(fields.size(), static_cast<std::size_t>(std::min(written, 32))) << written;
        EXPECT_EQ(fields.back(), "f" + std::to_string(std::min(written, 32) - 1)) << written;
    }
}

// The readers find in each line, without copying or cutting it, the fields
// SplitFields cuts after TrimLineEnd, as many as they ask for: the line as
// far as a zero byte, line ends at the end and in the middle, blanks, empty
// fields, the 32-field limit.
TEST(CutPiece, FindsTheFieldsSplitFieldsCuts) {
    const std::string lines[] = {" 14:42:30 |  1123.45 | x ", "a||b", "a|b|", "a|b|  ", "|", "   ", "a|b\rc",
                                 "a|b\r\n", "a|b|\r\n", "a|\r|c", "a| b \r\n\r\n", "a|b\nc|d",
                                 std::string("a|b\0|c|d", 8), std::string("a|\0b", 4), "t|1,2|3 |\t4\t", "\xA0|\x85|",
                                 Bars(31), Bars(32), Bars(33) + "\r\n", "t", ""};
    for (const std::string& line : lines) {
        std::string cut = line;  // SplitFields writes into it
        cut.push_back('\0');
        TrimLineEnd(cut.data());
        char* fields[MaxFields] = {};
        const int count = SplitFields(cut.data(), fields, MaxFields, true);
        for (const int wanted : {1, 2, 3, 12, 32, 40}) {
            SCOPED_TRACE(testing::Message() << testing::PrintToString(line) << ", " << wanted << " wanted");
            std::string_view seen[MaxFields];
            const int found = CutPiece(line, seen, wanted);
            ASSERT_EQ(found, std::min({count, wanted, MaxFields}));
            for (int i = 0; i < found; ++i)
                EXPECT_EQ(seen[i], fields[i]) << "field " << i;
        }
    }
}

// Out-of-range parts read 0, ':' beats an earlier '.', digit runs wrap in 32 bits.
TEST(ParseTimeOfDay, ShapesAndEachComponentBelowItsBound) {
    // clang-format off
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"14:42:30.500", 52950500}, {"14:42:30:500", 52950500}, {"14.42.30.500", 52950500}, {"14:42:30", 52950000},
        {"9:05", 32700000}, {"", 0}, {"Time", 0}, {"14h:42:30", 52950000}, {"14:42:305", 52920005},
        {"144230", 30000}, {"14.5:42:30", 52950000}, {"14:42.30.5", 52950005}, {"4294967310:00", 50400000},
        {"24:00:00", 86400000}, {"25:00:00", 0},              // hours below 25
        {"01:59:00", 7140000}, {"01:60:00", 3600000},         // minutes below 60
        {"01:00:59", 3659000}, {"01:00:60", 3600000},         // seconds below 60
        {"01:00:00.999", 3600999}, {"01:00:00.1000", 3600000},  // milliseconds below 1000
        {"24:59:59.999", 89999999}};
    // clang-format on
    for (auto [text, want] : cases) {
        std::string copy = text;
        EXPECT_EQ(ParseTimeOfDay(copy.data()), want) << text;
    }
    EXPECT_EQ(ParseTimeOfDay(nullptr), 0u);
}

// Nine digits at most are kept, the later ones dropped; the product wraps
// like 32-bit arithmetic; negating INT32_MIN saturates.
TEST(ParsePrice, HundredthsFromNineDigits) {
    // clang-format off
    const std::pair<const char*, std::int32_t> cases[] = {
        {"1123.45", 112345}, {"1123.4", 112340}, {".5", 50}, {"1123.456", 112345}, {"abc", 0}, {"$-12.5x", 1250},
        {"1,123.45", 100}, {"00001123.456", 112340},
        {"123456.78", 12345678}, {"1234567.89", 123456789}, {"12345678.91", 1234567890},  // 8, 9, 10 digits
        {"21474836.47", 2147483640}, {"1234567890.5", -539222988}, {"536870912", INT32_MIN}};
    const std::pair<const char*, std::int32_t> signedCases[] = {
        {"  -1.5", -150}, {"1.5-", 150}, {"x-2.50", 250}, {"-536870912", INT32_MAX}};
    // clang-format on
    for (auto [text, want] : cases) {
        EXPECT_EQ(ParsePrice(text), want) << text;
        EXPECT_EQ(ParsePrice(std::string_view(text)), want) << text;
    }
    // Seen in its line, a price stops where its field does.
    EXPECT_EQ(ParsePrice(std::string_view("12.345|9").substr(0, 4)), 1230);
    EXPECT_EQ(ParsePrice(std::string_view("7|8").substr(0, 1)), 700);
    for (auto [text, want] : signedCases)
        EXPECT_EQ(ParseSignedPrice(text), want) << text;
}

TEST(ParseCount, CommasSkippedOtherCharactersStopThirtyTwoBitWrap) {
    // clang-format off
    const std::pair<const char*, std::int32_t> cases[] = {{"1,234,567", 1234567}, {"12.7", 12}, {"-5", 0},
        {" 12,000 shares", 12000}, {"4294967295", -1}, {"2147483648", INT32_MIN}};
    // clang-format on
    for (auto [text, want] : cases) {
        EXPECT_EQ(ParseCount(text), want) << text;
        EXPECT_EQ(ParseCount(std::string_view(text)), want) << text;
    }
    // A field seen in its line stops where the field does, digits after it or not.
    const std::string_view line = "12|34,5 6";
    EXPECT_EQ(ParseCount(line.substr(0, 1)), 1);
    EXPECT_EQ(ParseCount(line.substr(3, 3)), 34);
    EXPECT_EQ(ParseCount(line.substr(3, 4)), 345);
    EXPECT_EQ(ParseCount(line.substr(3, 0)), 0);
}

// The pieces a data file's reader delivers for `content`, as trimmed lengths.
std::vector<std::uint32_t> PieceLengths(const std::string& content) {
    const testsupport::TempDir dir;
    const std::string name = dir.Write("pieces.txt", content).string();
    TextSource file(name.c_str());
    EXPECT_TRUE(file);
    char buffer[LineBufferSize];
    std::vector<std::uint32_t> lengths;
    while (file.ReadLine(buffer))
        lengths.push_back(TrimLineEnd(buffer));
    return lengths;
}

TEST(ReadLine, Delivers1022CharactersAPiece) {
    using L = std::vector<std::uint32_t>;
    // 1021 characters arrive with their line end; 1022 arrive whole, the line
    // end as an empty piece of its own; one more character splits the line.
    const std::pair<std::string, L> cases[] = {{std::string(1021, 'x') + "\n", {1021, 5}},
                                               {std::string(1022, 'x') + "\n", {1022, 0, 5}},
                                               {std::string(1023, 'x') + "\n", {1022, 1, 5}},
                                               {std::string(2500, 'x') + "\r\n", {1022, 1022, 456, 5}}};
    for (const auto& [line, pieces] : cases)
        EXPECT_EQ(PieceLengths(line + "short\n"), pieces) << line.size();
}

TEST(CopyText, CutsToTheFieldAndAlwaysTerminates) {
    char small[4];
    CopyText(small, "abc");
    EXPECT_STREQ(small, "abc");
    CopyText(small, "abcdef");
    EXPECT_STREQ(small, "abc");
    CopyText(small, nullptr);
    EXPECT_STREQ(small, "");
}

// A UTF-8 text is cut before the character that would not fit whole; a text
// that is not valid UTF-8 is one byte a character and cut at the limit.
TEST(CopyText, KeepsWholeCharacters) {
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"ab\xC3\xA9", "ab"}, {"abc\xC3\xA9", "abc"}, {"a\xC3\xA9z", "a\xC3\xA9"},    // two bytes across, after, inside
        {"\xE2\x82\xAC", "\xE2\x82\xAC"}, {"a\xE2\x82\xAC", "a"}, {"\xF0\x9F\x93\x88", ""},  // three and four bytes
        {"ab\xE9\xE9", "ab\xE9"}, {"\xE2\x82\xAC\x80", "\xE2\x82\xAC"},  // Windows-1252, or made so by a later byte
        {"ab\xC3\xA9\xFF", "ab\xC3"}, {"a\xED\xA0\x80", "a\xED\xA0"},  // a surrogate is no UTF-8
        {"ab\xC0\xAF", "ab\xC0"}};                                         // nor is an overlong form
    // clang-format on
    for (const auto& [text, kept] : cases) {
        char field[4];
        CopyText(field, text.c_str());
        EXPECT_EQ(field, kept) << testing::PrintToString(text);
    }
}

}  // namespace
