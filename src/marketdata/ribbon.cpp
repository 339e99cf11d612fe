#include "marketdata/ribbon.h"

#include <algorithm>

#include <cstring>
#include <new>

#include "marketdata/loader_support.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"

namespace marketdata {

namespace {

constexpr const char* RibbonInfoFile = "Data\\RibbonInfo.txt";
constexpr int RibbonFieldCount = 7;  // caption, column, mode, divisor, file, link, alt text
constexpr int RibbonMinimumFields = 4;

// Windows ignores trailing blanks and dots of a file name; so do we, so that
// a configuration written there opens the same file here.
void CopyFileName(char (&name)[LineBufferSize], const char* text) {
    CopyText(name, text);
    std::size_t length = std::strlen(name);
    while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\t' || name[length - 1] == '.')) {
        name[--length] = '\0';
    }
}

}  // namespace

void ApplyRibbonLine(std::int32_t& entry, char** fields, int fieldCount, std::uint32_t column, RibbonRule rule) {
    if (column >= static_cast<std::uint32_t>(fieldCount)) {
        return;  // too short to hold the column
    }
    ApplyRibbonNumber(entry, ParseCount(fields[column]), rule);
}

void ApplyRibbonNumber(std::int32_t& entry, std::int32_t number, RibbonRule rule) {
    switch (rule) {
        case RibbonRule::Last:
            entry = number;
            break;
        case RibbonRule::Maximum:
            if (number > entry) {
                entry = number;
            }
            break;
        case RibbonRule::Sum:
            entry = SaturateToInt32(static_cast<std::int64_t>(entry) + number);
            break;
        default:
            break;  // unknown rule: the row stays 0
    }
}

std::unique_ptr<std::int32_t[]> LoadRibbonSeries(const char* fileName, std::uint32_t column, RibbonRule rule) {
    char name[LineBufferSize];
    CopyFileName(name, fileName);
    TextSource file(name);
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<std::int32_t[]> values(new (std::nothrow) std::int32_t[SecondCount]());
    if (!values) {
        return nullptr;
    }

    // Fields are cut only as far as the column: the files hold many lines a second.
    const int wanted = static_cast<int>(std::min<std::uint64_t>(std::max<std::uint32_t>(column, 1) + 1ull, MaxFields));
    ForEachSlotLine(file, 1000u, SecondWindowFirst, SecondWindowLast, wanted,
                    [&](std::uint32_t second, const std::string_view* fields, int fieldCount) {
                        if (column < static_cast<std::uint32_t>(fieldCount))
                            ApplyRibbonNumber(values[second - SecondWindowFirst], ParseCount(fields[column]), rule);
                    });
    return values;
}

std::vector<RibbonRowConfig> LoadRibbonInfo() {
    std::vector<RibbonRowConfig> configs;
    TextSource file(RibbonInfoFile);
    if (!file) {
        return configs;
    }
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (file.ReadLine(line)) {
        if (line[0] == ';') {
            continue;
        }
        TrimLineEnd(line);
        int fieldCount = SplitFields(line, fields, MaxFields, true);
        if (fieldCount < RibbonMinimumFields) {
            continue;
        }
        for (; fieldCount < RibbonFieldCount; ++fieldCount) {
            fields[fieldCount] = const_cast<char*>(EmptyField);
        }
        RibbonRowConfig config{};
        config.column = static_cast<std::uint32_t>(ParseCount(fields[1]));
        config.rule = static_cast<RibbonRule>(ParseCount(fields[2]));
        if (config.column == 0) {
            continue;
        }
        config.divisor = static_cast<std::uint32_t>(ParseCount(fields[3]));
        char name[LineBufferSize];
        CopyFileName(name, fields[4]);
        config.fileName = name;
        CopyText(config.caption, fields[0]);
        CopyText(config.link, fields[5]);
        CopyText(config.altText, fields[6]);
        configs.push_back(std::move(config));
    }
    return configs;
}

RibbonRow MakeRibbonRow(const RibbonRowConfig& config, const std::int32_t* values) {
    RibbonRow row{};
    std::memcpy(row.caption, config.caption, sizeof row.caption);
    std::memcpy(row.link, config.link, sizeof row.link);
    std::memcpy(row.altText, config.altText, sizeof row.altText);
    row.values.reset(new std::int32_t[SecondCount]);
    for (std::uint32_t i = 0; i < SecondCount; ++i) {
        row.values[i] = config.divisor > 1
                            ? static_cast<std::int32_t>(static_cast<std::uint32_t>(values[i]) / config.divisor)
                            : values[i];
    }
    return row;
}

RibbonTable LoadRibbon() {
    RibbonTable table;
    std::unique_ptr<std::int32_t[]> values;  // the current line's, until its row is made
    ForEachRibbonRow(
        LoadRibbonInfo(),
        [&](const RibbonRowConfig& config) {
            values = LoadRibbonSeries(config.fileName.c_str(), config.column, config.rule);
            return values.get();
        },
        [&](const RibbonRowConfig& config, const std::int32_t* row) {
            table.rows.push_back(MakeRibbonRow(config, row));
        });
    return table;
}

}  // namespace marketdata
