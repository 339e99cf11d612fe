// The block reader against the line reader it replaced: the same pieces for
// any bytes at any block size, and the same tables from the loaders' fast line
// walk as from splitting every line; a byte-order mark at the start is no
// part of any table.
#include "marketdata/text_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "marketdata/broadcast.h"
#include "marketdata/labels.h"
#include "marketdata/ribbon.h"
#include "marketdata/series.h"
#include "support/reference_reader.h"
#include "support/test_support.h"

namespace {

using namespace marketdata;
using Pieces = std::vector<std::string>;
constexpr char Name[] = "Data\\f.txt";

Pieces Rest(TextSource& source) {
    Pieces pieces;
    for (std::string_view piece; source && source.NextPiece(piece);)
        pieces.emplace_back(piece);
    return pieces;
}

// fgets tells no length and a piece may hold zero bytes: the buffer is filled
// with a byte the files never hold, and the piece ends at the zero before it.
Pieces ReferencePieces() {
    Pieces pieces;
    reference::File file(Name);
    char buffer[LineBufferSize];
    for (;;) {
        std::memset(buffer, 0x7f, sizeof buffer);
        if (file.handle == nullptr || !reference::ReadPiece(file.handle, buffer))
            return pieces;
        const auto* left = static_cast<const char*>(std::memchr(buffer, 0x7f, sizeof buffer));
        pieces.emplace_back(buffer, static_cast<std::size_t>(left - buffer - 1));
    }
}

// `length` characters that show where each piece was cut.
std::string Line(std::size_t length) {
    std::string line;
    while (line.size() < length)
        line += std::to_string(line.size()) + "|";
    return line.substr(0, length);
}

class TextSourcePieces : public ::testing::Test {
protected:
    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
};

TEST_F(TextSourcePieces, EqualTheLineReadersAtEveryBlockSize) {
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"no final LF", "a|1\nb|2"},
        {"CR at the end", "a|1\r\nb|2\r"},
        {"CR CR LF", "a\r\r\nb\r\r\r\n\r\r\n"},
        {"lone CR", "a\rb\n\rc\r\n\r"},
        {"zero bytes", std::string("a\0b|1\n\0\0\r\n\r\0\rx\0", 15)},
        // A UTF-8 byte-order mark is skipped at the start only, and only whole.
        {"byte-order mark", "\xEF\xBB\xBF;a|1\r\nb|2\n"},
        {"byte-order mark alone", "\xEF\xBB\xBF"},
        {"byte-order mark, then one not at the start", "\xEF\xBB\xBF;a|1\r\n\xEF\xBB\xBF\n"},
        {"byte-order mark, then a line end", "\xEF\xBB\xBF\r\n\xEF\xBB\xBF"},
        {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBFx\n"},
        {"part of a byte-order mark", "\xEF\xBB"},
        {"not a byte-order mark", "\xEF\xBB\xBE|1\n"},
    };
    // CR LF pairs at every offset, so that some cross each small block's edge.
    std::string pairs;
    for (int i = 0; i < 70; ++i)
        pairs += std::string(static_cast<std::size_t>(i % 9), 'x') + "\r\n";
    cases.emplace_back("CR LF at every offset", pairs);
    for (std::size_t length : {1021, 1022, 1023, 2100})
        for (const char* end : {"\n", "\r\n", "\r", ""})
            cases.emplace_back(std::to_string(length) + " characters, end " + std::to_string(std::strlen(end)),
                               Line(length) + end + "z|9\r\n" + Line(length) + end);
    for (const auto& [name, bytes] : cases) {
        dir_.Write("Data/f.txt", bytes);
        const Pieces expected = ReferencePieces();
        for (std::size_t block = 0; block <= 64; ++block) {
            SCOPED_TRACE(name + ", block " + (block == 0 ? "default" : std::to_string(block)));
            TextSource source(Name, block == 0 ? TextSource::DefaultBlockSize : block);
            EXPECT_EQ(Rest(source), expected);
        }
    }
}

TEST_F(TextSourcePieces, ReadingStopsAtTheSizeAtOpen) {
    // Appended after the opening: the CR that ended the file stays a CR.
    dir_.Write("Data/f.txt", "a|1\nb|2\r");
    TextSource grown(Name, 4);
    std::ofstream(dir_.path() / "Data/f.txt", std::ios::app) << "\nc|3\n";
    EXPECT_EQ(Rest(grown), (Pieces{"a|1\n", "b|2\r"}));
    // Cut short while read, past what the stream has buffered: the CR that
    // ended a 4-byte block, waiting for its partner, is still delivered.
    const std::string head(65535, 'x');
    dir_.Write("Data/f.txt", head + "\nb|1\r\nc\n");
    TextSource cut(Name, 4);
    std::string_view piece;
    ASSERT_TRUE(cut.NextPiece(piece));
    std::filesystem::resize_file(dir_.path() / "Data/f.txt", head.size() + 5);
    const Pieces rest = Rest(cut);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.back(), "b|1\r");
}

std::vector<std::int32_t> Flat(const SeriesTable& table, std::uint32_t count) {
    std::vector<std::int32_t> flat;
    for (std::uint32_t i = 0; table && i < count; ++i)
        flat.insert(flat.end(), {table[i].value, table[i].plotY, table[i].volume1, table[i].volume2});
    return flat;
}

TEST_F(TextSourcePieces, FastLoadersFillTheReferenceTables) {
    // A header, short lines, lines before the window or out of order, blanks
    // around a time, a 3000-character line whose second piece is a line of its
    // own, the line after the window that ends the reading and one after it.
    const auto longLine = [](const std::string& first, const std::string& second) {
        const std::string part = first + Line(1022 - first.size()) + second;
        return part + Line(3000 - part.size());
    };
    const std::vector<std::string> seconds = {
        "Time|Price|Qty", "14:42:29|90.00|1|2|3|4|5|6|7|8|9|10", "14:42:30|100.00|1|2|30|5|6|7|8|9|10|11",
        "14:42:31", "14:42:33|101.00|1|2|31|5|6|7|8", "14:42:32|102.00|1|2|32|5|6|7|8|9|10|12",
        "14:42:28|50.00|1|2|1|1|1|1|1|1|1|1", longLine("14:42:34|103.00|1|2|34|", "14:42:36|107.00|1|2|36|"),
        "14:42:37|99.00|1|2", " \t14:42:38 |98.00|1|2|38", "14:53:00|105.00|1|2|40|5|6|7|8|9|10|13",
        "14:53:01|200.00|1|2|50", "14:42:40|300.00|1|2|60|1|1|1|1"};
    const std::vector<std::string> ticks = {
        "Time|Bid|Ask|Count", "14:42:42.775|x|x|999|x|x|x|x|1|x|x|3", "14:42:42.800|x|x|1000|x|x|x|x|15|x|x|20",
        "14:42:42.8", "14:42:42.900|x|x|1040|x|x|x|x|5", "14:42:42.850|x|x|1020|x|x|x|x|6|x|x|7",
        "14:42:40.000|x|x|1|x|x|x|x|1|x|x|1", longLine("14:42:43.000|x|x|1050|", "14:42:43.100|x|x|1060|x|x|x|x|4|"),
        "\t14:42:45.000\t|x|x|1070", "14:42:46.300|x|x|1030|x|x|x|x|9|x|x|9", "14:42:46.325|x|x|5000",
        "14:42:44.000|x|x|777|x|x|x|x|1|x|x|1"};
    for (const char* end : {"\n", "\r\n"}) {
        SCOPED_TRACE(end[0] == '\n' ? "LF" : "CR LF");
        for (const SeriesFile& file : SeriesFiles) {
            std::string text, path = file.name;
            for (const std::string& line : file.ticks ? ticks : seconds)
                text += line + end;
            dir_.Write(path.replace(4, 1, "/"), text);
        }
        for (const SeriesFile& file : SeriesFiles) {
            SCOPED_TRACE(file.name);
            const std::uint32_t count = file.ticks ? TickCount : SecondCount;
            const SeriesTable fast = LoadSeriesFile(file);
            ASSERT_TRUE(fast);
            EXPECT_EQ(Flat(fast, count),
                      Flat(reference::LoadSeriesTable(file.name, file.column, file.ticks ? 25 : 1000,
                                                      file.ticks ? FirstTickSlot : SecondWindowFirst,
                                                      file.ticks ? LastTickSlot : SecondWindowLast, file.kind),
                           count));
        }
        for (std::uint32_t column : {1, 4, 8, 11, 40})
            for (std::uint32_t rule : {0, 1, 2, 3}) {
                SCOPED_TRACE("ribbon column " + std::to_string(column) + ", rule " + std::to_string(rule));
                const auto fast = LoadRibbonSeries("Data\\eSPY.txt", column, RibbonRule(rule));
                const auto slow = reference::LoadRibbonSeries("Data\\eSPY.txt", column, RibbonRule(rule));
                ASSERT_TRUE(fast && slow);
                EXPECT_EQ(std::vector(fast.get(), fast.get() + SecondCount),
                          std::vector(slow.get(), slow.get() + SecondCount));
            }
    }
}

// A data file saved with a byte-order mark loads as it would without one,
// whether its first line is data, a heading or a comment.
TEST_F(TextSourcePieces, EveryTableOfAFileWithAByteOrderMarkIsTheTableWithout) {
    const auto tables = [] {
        std::ostringstream out;
        for (const SeriesFile& file : SeriesFiles)
            for (const std::int32_t v : Flat(LoadSeriesFile(file), file.ticks ? TickCount : SecondCount))
                out << v << ' ';
        for (const RibbonRow& row : LoadRibbon().rows)
            out << '\n' << row.caption << '|' << row.link << '|' << row.altText << '|' << row.values[0];
        const BroadcastTable b = LoadBroadcast();
        out << '\n' << b.heading.startSecond << '|' << b.heading.title << '|' << b.heading.link << '|';
        out << b.events.size();
        for (const AnnotationLabel& label : LoadLabels().labels)
            out << '\n' << label.second << '|' << label.text << '|' << label.link;
        return out.str();
    };
    std::vector<std::pair<std::string, std::string>> files = {
        {"Data/Ribbon/R.txt", "14:42:30|7\n14:42:31|8\n"},
        {"Data/RibbonInfo.txt", "R|1|0|0|Data\\Ribbon\\R.txt|r.htm|R\n"},
        {"Data/CNBC_Elapsed.txt", "; start|title|link\n14:42:00|Desk|desk.htm\n00:01:00|Floor|busy\n"},
        {"Data/labels.txt", ";T|14:59:00|0|0|0|0|||a comment\nT|14:43:00|1.00|0|12|0|||first|a.htm|A\n"}};
    for (const SeriesFile& file : SeriesFiles) {
        std::string path = file.name;
        files.emplace_back(path.replace(4, 1, "/"), file.ticks ? "14:42:42.800|x|x|1000|x|x|x|x|15|x|x|20\n"
                                                                 "14:42:42.825|x|x|1010|x|x|x|x|16|x|x|21\n"
                                                               : "14:42:30|100.00|1|2|30|5|6|7|8|9|10|11\n"
                                                                 "14:42:31|101.00|1|2|31|5|6|7|9|9|10|12\n");
    }
    for (const auto& [name, text] : files)
        dir_.Write(name, text);
    const std::string without = tables();
    EXPECT_NE(without.find("\nR|r.htm|R|7\n52920|Desk|desk.htm|1\n52980|first|a.htm"), std::string::npos) << without;
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name);
        dir_.Write(name, "\xEF\xBB\xBF" + text);
        EXPECT_EQ(tables(), without);
        dir_.Write(name, text);
    }
}

}  // namespace
