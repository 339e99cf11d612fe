// Annotation labels read from Data\labels.txt at every paint.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win32.h"

namespace render {

constexpr std::uint32_t LabelRectCapacity = 1024;
struct LabelRectList {
    std::array<RECT, LabelRectCapacity> rects{};
    std::uint32_t count = 0;
};
extern LabelRectList LabelRects;

void DrawAnnotationLabels(HDC dc, const RECT& r, std::int32_t scaleTop, std::int32_t scaleBottom);

}  // namespace render
