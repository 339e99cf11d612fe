// The broadcast timeline strip below the ribbon: minutes elapsed since the
// broadcast started, on the ribbon's columns, with the broadcast's heading at
// its right end and a marker under each moment of the broadcast.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "marketdata/broadcast.h"
#include "marketdata/series.h"
#include "platform/saturate.h"
#include "render/geometry.h"
#include "render/resources.h"
#include "render/ribbon.h"

namespace render {

namespace {

// The walk stops 8 minutes 48 seconds into the broadcast.
constexpr std::int64_t ElapsedLimit = 528;
constexpr Color StripPen = Color::Black;
constexpr Color LabelColor = Color::Black;     // black on white
constexpr Color HeadingColor = Color::DarkRed;  // dark red on white
constexpr Color MarkerColor = Color::DarkBlue;  // brush and pen
constexpr int LabelFont = 0;
constexpr int EventFont = 1;
// Markers hang this far below the strip's bottom line.
constexpr std::int64_t MarkerGap = 2;
constexpr std::int64_t MarkerHalfWidth = 2;
constexpr std::int64_t MarkerHeight = 5;
constexpr std::int64_t EventTextIndent = 6;

int TextLength(const char* text, std::size_t capacity) {
    return static_cast<int>(strnlen(text, capacity));
}

// Opaque text with its top-left at (x, y), filling and clipped to the box
// that reaches `width` to the right and `height` down.
RECT DrawBoxedText(HDC dc, std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, const char* text,
                   int length) {
    const RECT box{SaturateToInt32(x), SaturateToInt32(y), SaturateToInt32(x + width), SaturateToInt32(y + height)};
    ExtTextOutA(dc, box.left, box.top, ETO_OPAQUE | ETO_CLIPPED, &box, text, static_cast<UINT>(length), nullptr);
    return box;
}

// How far above the strip's bottom a tick at elapsed second e reaches.
std::int64_t TickLength(std::int64_t e, std::int64_t h) {
    if (e % 60 == 0)
        return h;
    if (e % 30 == 0)
        return (5 * h) / 8;
    if (e % 15 == 0)
        return h / 2;
    return h / 4;
}

// Minute scale from the picture's left edge; returns the x of the column at
// which the walk stopped.
std::int64_t DrawMinuteScale(const PanelContext& ctx, std::int32_t heatLeft, std::int32_t rightLimit, std::int64_t y, std::int64_t h,
                             std::uint32_t startSecond) {
    HDC dc = ctx.dc;
    // Columns continue left of the ribbon down to the first one at x >= 0.
    std::int64_t quotient = heatLeft / marketdata::SlotPitch;
    if (heatLeft < 0 && heatLeft % marketdata::SlotPitch != 0)
        --quotient;
    std::int64_t k = -quotient;
    std::int64_t x = heatLeft - quotient * marketdata::SlotPitch;
    std::int64_t e = static_cast<std::int64_t>(marketdata::SecondWindowFirst) - startSecond + k;
    bool first = true;
    // At most ElapsedLimit columns pass, wherever the strip lies.
    while (k < static_cast<std::int64_t>(marketdata::SecondCount) && x < rightLimit && e >= 0 && e < ElapsedLimit) {
        const bool labelled = first || e % 60 == 0;
        char label[16];
        int labelLength = 0;
        SIZE extent{0, 0};
        if (labelled) {
            labelLength = wsprintfA(label, "%dm", static_cast<int>(e / 60));
            SelectObject(dc, ctx.resources.Font(LabelFont));
            SetTextAlign(dc, TA_LEFT | TA_TOP);
            GetTextExtentPointA(dc, label, labelLength, &extent);
            SetTextColor(dc, Fill(LabelColor));
            SetBkColor(dc, Ink(LabelColor));
        }
        if (e % 5 == 0)
            DrawLine(dc, x, y + h, x, y + h - TickLength(e, h));
        if (labelled)
            DrawBoxedText(dc, x + 1, y, extent.cx, h, label, labelLength);
        x += marketdata::SlotPitch;
        ++k;
        ++e;
        first = false;
    }
    return x;
}

void DrawEventMarkers(const PanelContext& ctx, std::int32_t heatLeft, std::int64_t top, std::uint32_t startSecond) {
    HDC dc = ctx.dc;
    SetTextColor(dc, Fill(LabelColor));
    SetBkColor(dc, Ink(LabelColor));
    SelectObject(dc, ctx.resources.Brush(MarkerColor));
    SelectObject(dc, ctx.resources.Pen(MarkerColor));
    SelectObject(dc, ctx.resources.Font(EventFont));
    const auto& events = ctx.data.broadcast.events;
    const std::size_t count = std::min<std::size_t>(events.size(), marketdata::BroadcastCapacity);
    for (std::size_t i = 0; i < count; ++i) {
        const auto& event = events[i];
        // Not limited to the strip: a moment outside the window is marked
        // where its column would be (the drawing is clipped to the picture).
        const std::int64_t x =
            heatLeft + (static_cast<std::int64_t>(event.offsetSeconds) + startSecond - marketdata::SecondWindowFirst) *
                           marketdata::SlotPitch;
        const int captionLength = TextLength(event.caption, sizeof event.caption);
        SIZE caption{0, 0};
        GetTextExtentPointA(dc, event.caption, captionLength, &caption);

        const POINT triangle[3] = {{SaturateToInt32(x), SaturateToInt32(top)},
                                   {SaturateToInt32(x + MarkerHalfWidth), SaturateToInt32(top + MarkerHeight)},
                                   {SaturateToInt32(x - MarkerHalfWidth), SaturateToInt32(top + MarkerHeight)}};
        Polygon(dc, triangle, 3);
        // The line runs beside both text lines, with or without a detail.
        DrawLine(dc, x, top, x, top + 2 * static_cast<std::int64_t>(caption.cy) - 2);
        DrawBoxedText(dc, x + EventTextIndent, top, caption.cx, caption.cy, event.caption, captionLength);

        const int detailLength = TextLength(event.detail, sizeof event.detail);
        if (detailLength > 0) {
            SIZE detail{0, 0};
            GetTextExtentPointA(dc, event.detail, detailLength, &detail);
            DrawBoxedText(dc, x + EventTextIndent, top + caption.cy, detail.cx, detail.cy, event.detail, detailLength);
        }
    }
}

}  // namespace

void DrawBroadcastStrip(const PanelContext& ctx, std::int32_t heatLeft, std::int32_t rightLimit, std::int32_t stripTop,
                        std::int32_t rowHeight) {
    const marketdata::BroadcastTable& broadcast = ctx.data.broadcast;
    if (broadcast.events.empty())
        return;
    HDC dc = ctx.dc;
    const auto& header = broadcast.heading;
    const std::int64_t y = stripTop;
    // The ribbon never hands a negative height; treat one as an empty strip.
    const std::int64_t h = std::max<std::int32_t>(rowHeight, 0);

    SelectObject(dc, ctx.resources.Pen(StripPen));
    const std::int64_t xEnd = DrawMinuteScale(ctx, heatLeft, rightLimit, y, h, header.startSecond);

    SetTextColor(dc, Fill(HeadingColor));
    SetBkColor(dc, Ink(HeadingColor));

    // Frame without a left side, its top and bottom from the picture's edge.
    DrawLine(dc, 0, y + h, xEnd + 1, y + h);
    DrawLine(dc, 0, y, xEnd + 1, y);
    DrawLine(dc, xEnd, y, xEnd, y + h + 1);

    SelectObject(dc, ctx.resources.Font(LabelFont));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    const int titleLength = TextLength(header.title, sizeof header.title);
    SIZE title{0, 0};
    GetTextExtentPointA(dc, header.title, titleLength, &title);
    const RECT box = DrawBoxedText(dc, xEnd + 2, y, title.cx, h, header.title, titleLength);
    // The heading always gets an area, also with an empty link.
    ctx.AddMapArea(box, header.link, "");

    DrawEventMarkers(ctx, heatLeft, y + h + MarkerGap, header.startSecond);
}

}  // namespace render
