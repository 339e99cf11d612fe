#include "marketdata/text_fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace marketdata;

// SplitFields works in place, so each case needs its own writable copy.
struct Split {
    explicit Split(std::string text, int maxFields = MaxFields) : buffer(std::move(text)) {
        buffer.push_back('\0');
        count = SplitFields(buffer.data(), fields, maxFields, true);
    }
    std::string Field(int i) const { return fields[i]; }
    std::string buffer;
    char* fields[MaxFields + 1] = {};
    int count = 0;
};

std::uint32_t Time(std::string text) {
    return ParseTimeOfDay(text.data());
}

TEST(TrimLineEndAndFindChar, WorkOnLineEndsAndNeverFindTheTerminator) {
    char crlf[] = "abc\r\n";
    EXPECT_EQ(TrimLineEnd(crlf), 3u);
    EXPECT_STREQ(crlf, "abc");
    char lf[] = "\n";
    EXPECT_EQ(TrimLineEnd(lf), 0u);
    char inner[] = "a\rb \n\r\n";
    EXPECT_EQ(TrimLineEnd(inner), 4u);
    EXPECT_EQ(FindChar(inner, '\r'), inner + 1);
    EXPECT_EQ(FindChar(inner, '\0'), nullptr);
}

TEST(SplitFields, TrimsBlanksAroundFieldsButKeepsTheLastFieldsTrailingBlank) {
    Split s(" 14:42:30 |  1123.45 | x ");
    ASSERT_EQ(s.count, 3);
    EXPECT_EQ(s.Field(0), "14:42:30");
    EXPECT_EQ(s.Field(1), "1123.45");
    EXPECT_EQ(s.Field(2), "x ");
}

TEST(SplitFields, CountsInnerEmptyFieldsButNotAnEmptyLastOne) {
    EXPECT_EQ(Split("a||b").count, 3);
    EXPECT_EQ(Split("a|b|").count, 2);
    EXPECT_EQ(Split("a|b|  ").count, 2);
    EXPECT_EQ(Split("|").count, 1);
    EXPECT_EQ(Split("").count, 0);
    EXPECT_EQ(Split("   ").count, 0);
    EXPECT_EQ(Split("\t").count, 0);
    EXPECT_EQ(SplitFields(nullptr, nullptr, MaxFields, true), 0);
    EXPECT_EQ(Split("a|b\rc").Field(1), "b");  // the last field ends at a line end
}

TEST(SplitFields, StopsAtTheMaximumAndCutsTheLastFieldAtItsBar) {
    std::string line;
    for (int i = 0; i < 40; ++i) {
        line += "f" + std::to_string(i) + "|";
    }
    Split s(line);
    ASSERT_EQ(s.count, 32);
    EXPECT_EQ(s.Field(0), "f0");
    EXPECT_EQ(s.Field(31), "f31");
    EXPECT_EQ(Split("a|b|c|d", 2).Field(1), "b");
}

TEST(SplitFields, HighBytesAreNeitherBlanksNorSeparators) {
    Split s("\xA0x\xA0|\x85");
    ASSERT_EQ(s.count, 2);
    EXPECT_EQ(s.Field(0), "\xA0x\xA0");
    EXPECT_EQ(s.Field(1), "\x85");
}

TEST(ParseTimeOfDay, AcceptsTheUsualShapes) {
    EXPECT_EQ(Time("14:42:30.000"), 52950000u);
    EXPECT_EQ(Time("14:42:46.300"), 52966300u);
    EXPECT_EQ(Time("14:42:30.500"), 52950500u);
    EXPECT_EQ(Time("14:42:30:500"), 52950500u);
    EXPECT_EQ(Time("14.42.30.500"), 52950500u);
    EXPECT_EQ(Time("14:42:30"), 52950000u);
    EXPECT_EQ(Time("9:05"), 32700000u);
    EXPECT_EQ(Time("24:59:59.999"), 89999999u);
    EXPECT_EQ(Time(""), 0u);
    EXPECT_EQ(ParseTimeOfDay(nullptr), 0u);
}

TEST(ParseTimeOfDay, ColonTakesPrecedenceOverDot) {
    // The first ':' ends the hour even though a '.' comes earlier: "14.5" reads 14.
    EXPECT_EQ(Time("14.5:42:30"), 14u * 3600000 + 42u * 60000 + 30000u);
    // Once no ':' remains, '.' separates.
    EXPECT_EQ(Time("14:42.30.5"), 14u * 3600000 + 42u * 60000 + 30000u + 5u);
}

TEST(ParseTimeOfDay, OutOfRangeComponentsReadAsZero) {
    EXPECT_EQ(Time("14:61:00"), 50400000u);
    EXPECT_EQ(Time("25:00:00"), 0u);
    EXPECT_EQ(Time("14:42:30.1000"), 52950000u);
    // Seconds "305" are out of range; the millisecond part starts two characters on.
    EXPECT_EQ(Time("14:42:305"), 52920005u);
    // No separators: each component reads its whole digit run but the next one
    // starts two characters on, so the hour (144230) and minute (4230) read 0.
    EXPECT_EQ(Time("144230"), 30000u);
}

TEST(ParseTimeOfDay, NonDigitsEndAComponent) {
    EXPECT_EQ(Time("14h:42:30"), 52950000u);
    EXPECT_EQ(Time("x:42:30"), 42u * 60000 + 30000u);
    EXPECT_EQ(Time("Time"), 0u);
    EXPECT_EQ(Time("\xB1\x34:42:30"), 42u * 60000 + 30000u);
    EXPECT_EQ(Time("4294967310:00"), 14u * 3600000);  // digit runs wrap in 32 bits
}

TEST(ParseTimeComponent, WithoutSeparatorStepsTwoCharactersButNotPastTheEnd) {
    char text[] = "7";
    char* cursor = text;
    EXPECT_EQ(ParseTimeComponent(cursor, 25), 7u);
    EXPECT_EQ(cursor, text + 1);
}

TEST(ParsePrice, ScalesToHundredths) {
    EXPECT_EQ(ParsePrice("1123.45"), 112345);
    EXPECT_EQ(ParsePrice("1123.4"), 112340);
    EXPECT_EQ(ParsePrice("1123"), 112300);
    EXPECT_EQ(ParsePrice(".5"), 50);
    EXPECT_EQ(ParsePrice("1123.456"), 112345);
    EXPECT_EQ(ParsePrice("0.123456789"), 12);
    EXPECT_EQ(ParsePrice(""), 0);
    EXPECT_EQ(ParsePrice("abc"), 0);
    EXPECT_EQ(ParsePrice("$-12.5x"), 1250);
    EXPECT_EQ(ParsePrice("1,123.45"), 100);
}

TEST(ParsePrice, KeepsNineSignificantDigits) {
    EXPECT_EQ(ParsePrice("21474836.47"), 2147483640);
    EXPECT_EQ(ParsePrice("00001123.456"), 112340);
    EXPECT_EQ(ParsePrice("123456789.99"), static_cast<std::int32_t>(123456789u * 100u));
    // Integer digits past nine are counted but not accumulated.
    EXPECT_EQ(ParsePrice("1234567890.5"), static_cast<std::int32_t>(123456789u * 100u));
}

TEST(ParsePrice, NineDigitIntegerPartsWrapLikeThirtyTwoBitArithmetic) {
    // 536870912 * 100 is 2^31 modulo 2^32.
    EXPECT_EQ(ParsePrice("536870912"), INT32_MIN);
    EXPECT_EQ(ParsePrice("999999999"), static_cast<std::int32_t>(999999999u * 100u));
}

TEST(ParseSignedPrice, HonoursOnlyALeadingMinus) {
    EXPECT_EQ(ParseSignedPrice("  -1.5"), -150);
    EXPECT_EQ(ParseSignedPrice("1.5-"), 150);
    EXPECT_EQ(ParseSignedPrice("+5"), 500);
    EXPECT_EQ(ParseSignedPrice("\t-2.50"), -250);
    EXPECT_EQ(ParseSignedPrice("x-2.50"), 250);
    EXPECT_EQ(ParseSignedPrice(""), 0);
}

TEST(ParseSignedPrice, NegatingTheMostNegativePriceSaturates) {
    EXPECT_EQ(ParseSignedPrice("-536870912"), INT32_MAX);
}

TEST(ParseCount, SkipsCommasAndStopsAtAnythingElse) {
    EXPECT_EQ(ParseCount("1,234,567"), 1234567);
    EXPECT_EQ(ParseCount("12.7"), 12);
    EXPECT_EQ(ParseCount("-5"), 0);
    EXPECT_EQ(ParseCount(""), 0);
    EXPECT_EQ(ParseCount(" 12,000 shares"), 12000);
    EXPECT_EQ(ParseCount("1 2"), 1);
    EXPECT_EQ(ParseCount("1\xB2"
                         "2"),
              1);
}

TEST(ParseCount, WrapsInThirtyTwoBits) {
    EXPECT_EQ(ParseCount("4294967295"), -1);  // unsigned accumulation, then two's complement
    EXPECT_EQ(ParseCount("4294967296"), 0);
    EXPECT_EQ(ParseCount("2147483648"), INT32_MIN);
    EXPECT_EQ(ParseCount("99999999999999999999"), static_cast<std::int32_t>(1661992959u));
}

TEST(ReadLine, DeliversLongLinesIn1022CharacterPieces) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const std::string longLine(2500, 'x');
    std::fputs((longLine + "\nshort\n").c_str(), file);
    std::rewind(file);
    char buffer[LineBufferSize];
    std::vector<std::size_t> lengths;
    while (ReadLine(file, buffer)) {
        lengths.push_back(TrimLineEnd(buffer));
    }
    std::fclose(file);
    EXPECT_EQ(lengths, (std::vector<std::size_t>{1022, 1022, 456, 5}));
}

TEST(CopyText, CutsToTheFieldAndAlwaysTerminates) {
    char small[4];
    CopyText(small, "abcdef");
    EXPECT_STREQ(small, "abc");
    CopyText(small, "ab");
    EXPECT_STREQ(small, "ab");
    CopyText(small, nullptr);
    EXPECT_STREQ(small, "");
    EXPECT_STREQ(EmptyField, "");
}

}  // namespace
