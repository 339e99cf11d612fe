#include "marketdata/labels.h"

#include <cstring>

#include "marketdata/loader_support.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"
#include "platform/text_encoding.h"

namespace marketdata {

namespace {

constexpr const char* LabelsFile = "Data\\labels.txt";
constexpr int FieldCount = 11;  // fields 0 to 10; later ones are ignored
constexpr int MinFieldCount = 7;

enum Field { Type, AnchorTime, AnchorValue, FontIndex, ColorIndex, Kind, TargetTime, TargetValue, Text, Link, AltText };

// Blanks, then decimal digits; anything else ends the number.
std::uint32_t ReadSmallNumber(const char* text) {
    while (*text == ' ' || *text == '\t')
        ++text;
    std::uint32_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + static_cast<std::uint32_t>(*text - '0');
        ++text;
    }
    return value;
}

}  // namespace

LabelTable LoadLabels() {
    LabelTable table;
    TextSource file(LabelsFile);
    if (!file)
        return table;
    table.present = true;
    char line[LineBufferSize];
    char* fields[MaxFields];
    while (file.ReadLine(line)) {
        if (line[0] == ';')
            continue;
        TrimLineEnd(line);
        const int count = SplitFields(line, fields, MaxFields, true);
        if (count < MinFieldCount)
            continue;
        // Missing trailing fields read as the empty text.
        char emptyText[1] = {'\0'};
        char* field[FieldCount];
        for (int i = 0; i < FieldCount; ++i)
            field[i] = i < count ? fields[i] : emptyText;

        const std::uint32_t second = ParseTimeOfDay(field[AnchorTime]) / 1000;
        if (second < SecondWindowFirst)
            continue;
        if (second > SecondWindowLast)
            break;  // any type: the file is in time order
        if (field[Type][0] != 'T')
            continue;
        AnnotationLabel label;
        label.second = second;
        label.value = ParseSignedPrice(field[AnchorValue]);
        label.font = ReadSmallNumber(field[FontIndex]);
        label.color = ReadSmallNumber(field[ColorIndex]);
        label.kind = ReadSmallNumber(field[Kind]);
        label.targetSecond = ParseTimeOfDay(field[TargetTime]) / 1000;
        label.targetValue = ParseSignedPrice(field[TargetValue]);
        label.text.assign(field[Text], platform::CutWithinCharacters(field[Text], LabelTextLimit));
        label.link = field[Link];
        label.altText = field[AltText];
        table.labels.push_back(std::move(label));
    }
    return table;
}

}  // namespace marketdata
