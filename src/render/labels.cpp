// Annotation labels: text standing on its anchor, with an arrow or a dot as
// its kind says, or a connector line from a target point instead.
#include "render/labels.h"

#include <algorithm>

#include "marketdata/series.h"
#include "platform/saturate.h"
#include "render/main_chart.h"
#include "render/resources.h"

namespace render {

namespace {

constexpr std::uint32_t LastFont = 3;
constexpr std::uint32_t LastColor = 15;
constexpr Color MarkBrush = Color::Red;  // arrow heads and dots
constexpr Color MarkPen = Color::Grey;   // outlines, stems and connectors
constexpr Color TextBackground = Color::Black;

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

void DrawLabel(const PanelContext& ctx, const RECT& r, std::int32_t top, std::int32_t bottom,
               const marketdata::AnnotationLabel& label) {
    HDC dc = ctx.dc;
    const std::int64_t x = SlotX(r, label.second);
    const std::int64_t y = ValueToY(label.value, r, top, bottom);

    // Indices outside the tables use the last entry.
    const std::uint32_t font = std::min(label.font, LastFont);
    const auto color = static_cast<Color>(std::min(label.color, LastColor));

    // The 32-pixel font is drawn straight over the chart; the others on a white box.
    const bool opaque = font < LastFont;
    SetBkMode(dc, opaque ? OPAQUE : TRANSPARENT);
    const UINT option = opaque ? (ETO_OPAQUE | ETO_CLIPPED) : ETO_CLIPPED;
    SelectObject(dc, ctx.resources.Font(static_cast<int>(font)));
    SetTextAlign(dc, TA_BOTTOM);
    SetTextColor(dc, Fill(color));
    SetBkColor(dc, Ink(TextBackground));

    const int length = static_cast<int>(label.text.size());
    SIZE size{0, 0};
    if (!GetTextExtentPointA(dc, label.text.c_str(), length, &size))
        size = SIZE{0, 0};
    const std::int64_t cx = size.cx;
    const std::int64_t cy = size.cy;

    // The text stands on the anchor; kinds 2 and 4 end there, the others start there.
    const std::int64_t left = (label.kind == 2 || label.kind == 4) ? x - cx : x;
    const RECT rect{SaturateToInt32(left), SaturateToInt32(y - cy), SaturateToInt32(left + cx), SaturateToInt32(y)};
    ExtTextOutA(dc, rect.left, rect.bottom, option, &rect, label.text.c_str(), static_cast<UINT>(length), nullptr);
    if (!label.link.empty())
        ctx.AddMapArea(rect, label.link.c_str(), label.altText.c_str());

    const std::int64_t midY = (static_cast<std::int64_t>(rect.top) + rect.bottom) / 2;
    if (InSecondWindow(label.targetSecond)) {
        // The connector replaces the mark: from the target to just left of
        // the anchor, at the text's middle height.
        const std::int32_t targetY = ValueToY(label.targetValue, r, top, bottom);
        MoveToEx(dc, SaturateToInt32(SlotX(r, label.targetSecond) - 1), targetY, nullptr);
        LineTo(dc, SaturateToInt32(x - 1), SaturateToInt32(y - cy / 2));
        return;
    }
    DrawMark(dc, label.kind, x, y, cy, midY);
}

}  // namespace

void DrawAnnotationLabels(const PanelContext& ctx, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom) {
    const marketdata::LabelTable& table = ctx.data.labels;
    if (!table.present)
        return;
    HDC dc = ctx.dc;
    SelectObject(dc, ctx.resources.Font(0));
    SelectObject(dc, ctx.resources.Pen(MarkPen));
    SelectObject(dc, ctx.resources.Brush(MarkBrush));
    for (const marketdata::AnnotationLabel& label : table.labels)
        DrawLabel(ctx, r, scaleTop, scaleBottom, label);
    SetBkMode(dc, OPAQUE);
}

}  // namespace render
