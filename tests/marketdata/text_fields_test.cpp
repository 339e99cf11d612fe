// The field toolkit: splitting, times, prices, counts, line pieces.
#include "marketdata/text_fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace marketdata;

// The fields of `text` as SplitFields cuts them (in place, hence the copy).
std::vector<std::string> Split(std::string text, int maxFields = MaxFields) {
    char* fields[MaxFields + 1] = {};
    const int count = SplitFields(text.data(), fields, maxFields, true);
    return std::vector<std::string>(fields, fields + count);
}

TEST(SplitFields, EmptyFieldsTrailingBarTrimmingAndTheLimit) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split(" 14:42:30 |  1123.45 | x "), (V{"14:42:30", "1123.45", "x "}));  // the last keeps a trailing blank
    EXPECT_EQ(Split("a||b"), (V{"a", "", "b"}));
    EXPECT_EQ(Split("a|b|"), (V{"a", "b"}));
    EXPECT_EQ(Split("a|b|  "), (V{"a", "b"}));
    EXPECT_EQ(Split("|"), (V{""}));
    EXPECT_EQ(Split("   "), V{});
    EXPECT_EQ(Split("a|b\rc"), (V{"a", "b"}));                     // a line end ends the last field
    EXPECT_EQ(Split("\xA0x\xA0|\x85"), (V{"\xA0x\xA0", "\x85"}));  // high bytes are not blanks
    EXPECT_EQ(Split("a|b|c|d", 2), (V{"a", "b"}));
    std::string line;
    for (int i = 0; i < 40; ++i)
        line += "f" + std::to_string(i) + "|";
    const V fields = Split(line);
    ASSERT_EQ(fields.size(), 32u);
    EXPECT_EQ(fields[31], "f31");
}

// Out-of-range parts read 0, ':' beats an earlier '.', digit runs wrap in 32 bits.
TEST(ParseTimeOfDay, Shapes) {
    // clang-format off
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"14:42:30.500", 52950500}, {"14:42:30:500", 52950500}, {"14.42.30.500", 52950500}, {"14:42:30", 52950000},
        {"9:05", 32700000}, {"24:59:59.999", 89999999}, {"", 0}, {"Time", 0}, {"14h:42:30", 52950000},
        {"14:61:00", 50400000}, {"25:00:00", 0}, {"14:42:30.1000", 52950000}, {"14:42:305", 52920005},
        {"144230", 30000}, {"14.5:42:30", 52950000}, {"14:42.30.5", 52950005}, {"4294967310:00", 50400000}};
    // clang-format on
    for (auto [text, want] : cases) {
        std::string copy = text;
        EXPECT_EQ(ParseTimeOfDay(copy.data()), want) << text;
    }
    EXPECT_EQ(ParseTimeOfDay(nullptr), 0u);
}

// Nine significant digits (leading zeros don't count) whose product wraps
// like 32-bit arithmetic; negating INT32_MIN saturates.
TEST(ParsePrice, HundredthsFromNineSignificantDigits) {
    // clang-format off
    const std::pair<const char*, std::int32_t> cases[] = {
        {"1123.45", 112345}, {"1123.4", 112340}, {".5", 50}, {"1123.456", 112345}, {"abc", 0}, {"$-12.5x", 1250},
        {"1,123.45", 100}, {"21474836.47", 2147483640}, {"00001123.456", 112340},
        {"1234567890.5", static_cast<std::int32_t>(123456789u * 100u)}, {"536870912", INT32_MIN}};
    // clang-format on
    for (auto [text, want] : cases)
        EXPECT_EQ(ParsePrice(text), want) << text;
    for (auto [text, want] : {std::pair{"  -1.5", -150}, {"1.5-", 150}, {"x-2.50", 250}, {"-536870912", INT32_MAX}})
        EXPECT_EQ(ParseSignedPrice(text), want) << text;
}

TEST(ParseCount, CommasSkippedOtherCharactersStopThirtyTwoBitWrap) {
    // clang-format off
    const std::pair<const char*, std::int32_t> cases[] = {{"1,234,567", 1234567}, {"12.7", 12}, {"-5", 0},
        {" 12,000 shares", 12000}, {"4294967295", -1}, {"2147483648", INT32_MIN}};
    // clang-format on
    for (auto [text, want] : cases)
        EXPECT_EQ(ParseCount(text), want) << text;
}

TEST(ReadLine, DeliversLongLinesIn1022CharacterPieces) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fputs((std::string(2500, 'x') + "\r\nshort\n").c_str(), file);
    std::rewind(file);
    char buffer[LineBufferSize];
    std::vector<std::uint32_t> lengths;
    while (ReadLine(file, buffer))
        lengths.push_back(TrimLineEnd(buffer));
    std::fclose(file);
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{1022, 1022, 456, 5}));
}

TEST(CopyText, CutsToTheFieldAndAlwaysTerminates) {
    char small[4];
    CopyText(small, "abcdef");
    EXPECT_STREQ(small, "abc");
    CopyText(small, nullptr);
    EXPECT_STREQ(small, "");
}

}  // namespace
