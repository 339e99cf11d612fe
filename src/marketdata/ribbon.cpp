#include "marketdata/ribbon.h"

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
    const std::int32_t number = ParseCount(fields[column]);
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

    ForEachSlotLine(file, 1000u, SecondWindowFirst, SecondWindowLast,
                    [&](std::uint32_t second, char** fields, int fieldCount) {
                        ApplyRibbonLine(values[second - SecondWindowFirst], fields, fieldCount, column, rule);
                    });
    return values;
}

std::vector<RibbonSpec> LoadRibbonInfo() {
    std::vector<RibbonSpec> specs;
    TextSource file(RibbonInfoFile);
    if (!file) {
        return specs;
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
        RibbonSpec spec{};
        spec.column = static_cast<std::uint32_t>(ParseCount(fields[1]));
        spec.rule = static_cast<RibbonRule>(ParseCount(fields[2]));
        if (spec.column == 0) {
            continue;
        }
        spec.divisor = static_cast<std::uint32_t>(ParseCount(fields[3]));
        char name[LineBufferSize];
        CopyFileName(name, fields[4]);
        spec.fileName = name;
        CopyText(spec.caption, fields[0]);
        CopyText(spec.link, fields[5]);
        CopyText(spec.altText, fields[6]);
        specs.push_back(std::move(spec));
    }
    return specs;
}

RibbonRow MakeRibbonRow(const RibbonSpec& spec, const std::int32_t* values) {
    RibbonRow row{};
    std::memcpy(row.caption, spec.caption, sizeof row.caption);
    std::memcpy(row.link, spec.link, sizeof row.link);
    std::memcpy(row.altText, spec.altText, sizeof row.altText);
    row.values.reset(new std::int32_t[SecondCount]);
    for (std::uint32_t i = 0; i < SecondCount; ++i) {
        row.values[i] = spec.divisor > 1
                            ? static_cast<std::int32_t>(static_cast<std::uint32_t>(values[i]) / spec.divisor)
                            : values[i];
    }
    return row;
}

RibbonTable LoadRibbon() {
    RibbonTable table;
    for (const RibbonSpec& spec : LoadRibbonInfo()) {
        if (table.rows.size() == RibbonCapacity) {
            break;
        }
        const auto values = LoadRibbonSeries(spec.fileName.c_str(), spec.column, spec.rule);
        if (values) {
            table.rows.push_back(MakeRibbonRow(spec, values.get()));
        }  // a row whose file is missing leaves its place to the next
    }
    return table;
}

}  // namespace marketdata
