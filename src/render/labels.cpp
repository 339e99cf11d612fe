// Annotation labels: Data\labels.txt is read again at every paint, so an
// edited file shows at the next repaint.
#include "render/labels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "export/image_map.h"
#include "marketdata/series.h"
#include "marketdata/text_fields.h"
#include "platform/saturate.h"
#include "render/main_chart.h"
#include "render/resources.h"

namespace render {

LabelRectList LabelRects;

namespace {

constexpr int FieldCount = 11;  // fields 0 to 10; later ones are ignored
constexpr int MinFieldCount = 7;
constexpr std::size_t MaxTextLength = 127;
constexpr std::uint32_t LastFont = 3;
constexpr std::uint32_t LastColor = 15;
constexpr int BrushMark = 10;  // red arrow heads and dots
constexpr int PenMark = 14;    // grey outlines, stems and connectors
constexpr int InkBackground = 15;

enum Field { Type, AnchorTime, AnchorValue, FontIndex, ColorIndex, Kind, TargetTime, TargetValue, Text, Link, AltText };

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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

bool InSecondWindow(std::uint32_t second) {
    return second >= marketdata::SecondWindowFirst && second <= marketdata::SecondWindowLast;
}

std::int64_t SlotX(const RECT& r, std::uint32_t second) {
    return static_cast<std::int64_t>(r.left) +
           (static_cast<std::int64_t>(second) - marketdata::SecondWindowFirst) * marketdata::SlotPitch;
}

// The kind's mark, drawn when the label has no connector.
void DrawMark(HDC dc, std::uint32_t kind, std::int64_t x, std::int64_t y, std::int64_t cy, std::int64_t midY) {
    const std::int64_t a = cy - 4;
    const std::int64_t w = cy - 2;
    switch (kind) {
        case 1: {  // arrow pointing down, left of the anchor
            const std::int32_t stemX = SaturateToInt32((2 * x - w) / 2);
            const POINT head[3] = {{SaturateToInt32(x - w), SaturateToInt32(y + 3 * a)},
                                   {SaturateToInt32(x), SaturateToInt32(y + 3 * a)},
                                   {stemX, SaturateToInt32(y + 4 * a)}};
            Polygon(dc, head, 3);
            MoveToEx(dc, stemX, SaturateToInt32(midY), nullptr);
            LineTo(dc, stemX, SaturateToInt32(y + 4 * a));
            break;
        }
        case 2: {  // arrow pointing up, right of the anchor
            const std::int32_t stemX = SaturateToInt32((2 * x + w) / 2);
            const POINT head[3] = {{SaturateToInt32(x), SaturateToInt32(y - 4 * a)},
                                   {SaturateToInt32(x + w), SaturateToInt32(y - 4 * a)},
                                   {stemX, SaturateToInt32(y - 5 * a)}};
            Polygon(dc, head, 3);
            MoveToEx(dc, stemX, SaturateToInt32(midY), nullptr);
            LineTo(dc, stemX, SaturateToInt32(y - 4 * a));
            break;
        }
        case 3:  // dot, left of the anchor
            Ellipse(dc, SaturateToInt32(x - cy + 1), SaturateToInt32(midY - cy / 2 + 1), SaturateToInt32(x),
                    SaturateToInt32(y));
            break;
        default:
            break;
    }
}

// One label line, already split; false when the reading must stop.
bool DrawLabelLine(HDC dc, const RECT& r, std::int32_t top, std::int32_t bottom, char* (&field)[FieldCount]) {
    const std::uint32_t second = marketdata::ParseTimeOfDay(field[AnchorTime]) / 1000;
    if (second < marketdata::SecondWindowFirst)
        return true;
    if (second > marketdata::SecondWindowLast)
        return false;  // any type: the file is in time order
    const std::int64_t x = SlotX(r, second);
    const std::int64_t y = ValueToY(marketdata::ParseSignedPrice(field[AnchorValue]), r, top, bottom);
    if (field[Type][0] != 'T')
        return true;

    // Indices outside the tables use the last entry.
    const std::uint32_t font = std::min(ReadSmallNumber(field[FontIndex]), LastFont);
    const std::uint32_t color = std::min(ReadSmallNumber(field[ColorIndex]), LastColor);
    const std::uint32_t kind = ReadSmallNumber(field[Kind]);

    // The 32-pixel font is drawn straight over the chart; the others on a white box.
    const bool opaque = font < LastFont;
    SetBkMode(dc, opaque ? OPAQUE : TRANSPARENT);
    const UINT option = opaque ? (ETO_OPAQUE | ETO_CLIPPED) : ETO_CLIPPED;
    SelectObject(dc, Font(static_cast<int>(font)));
    SetTextAlign(dc, TA_BOTTOM);
    SetTextColor(dc, Fill(static_cast<int>(color)));
    SetBkColor(dc, Ink(InkBackground));

    const char* text = field[Text];
    const int length = static_cast<int>(strnlen(text, MaxTextLength));
    SIZE size{0, 0};
    if (!GetTextExtentPointA(dc, text, length, &size))
        size = SIZE{0, 0};
    const std::int64_t cx = size.cx;
    const std::int64_t cy = size.cy;

    // The text stands on the anchor; kinds 2 and 4 end there, the others start there.
    const std::int64_t left = (kind == 2 || kind == 4) ? x - cx : x;
    const RECT rect{SaturateToInt32(left), SaturateToInt32(y - cy), SaturateToInt32(left + cx), SaturateToInt32(y)};
    if (LabelRects.count < LabelRectCapacity)
        LabelRects.rects[LabelRects.count++] = rect;
    ExtTextOutA(dc, rect.left, rect.bottom, option, &rect, text, static_cast<UINT>(length), nullptr);
    if (field[Link][0] != '\0')
        exporting::AddMapArea(rect, field[Link], field[AltText]);

    const std::int64_t midY = (static_cast<std::int64_t>(rect.top) + rect.bottom) / 2;
    const std::uint32_t target = marketdata::ParseTimeOfDay(field[TargetTime]) / 1000;
    if (InSecondWindow(target)) {
        // The connector replaces the mark: from the target to just left of
        // the anchor, at the text's middle height.
        const std::int32_t targetY = ValueToY(marketdata::ParseSignedPrice(field[TargetValue]), r, top, bottom);
        MoveToEx(dc, SaturateToInt32(SlotX(r, target) - 1), targetY, nullptr);
        LineTo(dc, SaturateToInt32(x - 1), SaturateToInt32(y - cy / 2));
        return true;
    }
    DrawMark(dc, kind, x, y, cy, midY);
    return true;
}

}  // namespace

void DrawAnnotationLabels(HDC dc, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom) {
    std::unique_ptr<std::FILE, FileCloser> file(OpenDataFile("Data\\labels.txt", "rt"));
    if (!file)
        return;

    SelectObject(dc, Font(0));
    SelectObject(dc, Pen(PenMark));
    SelectObject(dc, Brush(BrushMark));

    char line[marketdata::LineBufferSize];
    char* fields[marketdata::MaxFields];
    while (marketdata::ReadLine(file.get(), line)) {
        if (line[0] == ';')
            continue;
        marketdata::TrimLineEnd(line);
        const int count = marketdata::SplitFields(line, fields, marketdata::MaxFields, true);
        if (count < MinFieldCount)
            continue;
        // Missing trailing fields read as the empty text.
        char emptyText[1] = {'\0'};
        char* field[FieldCount];
        for (int i = 0; i < FieldCount; ++i)
            field[i] = i < count ? fields[i] : emptyText;
        if (!DrawLabelLine(dc, r, scaleTop, scaleBottom, field))
            break;
    }
    file.reset();
    SetBkMode(dc, OPAQUE);
}

}  // namespace render
