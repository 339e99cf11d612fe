// The panels' shared integer geometry: products formed wide enough never to
// overflow, multiples of a step, and lines given in 64-bit coordinates.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/saturate.h"
#include "platform/win32.h"

namespace render {

// Products of a value span (up to 2^32) and a pixel span (up to 2^32) need
// more than 64 bits; the exact quotient then narrows by saturation.
__extension__ typedef __int128 Wide;

// a * b / c, truncating toward zero; the quotient saturates at the int64
// range. c must not be 0.
inline std::int64_t MulDiv64(std::int64_t a, std::int64_t b, std::int64_t c) {
    const Wide q = static_cast<Wide>(a) * b / c;
    if (q > static_cast<Wide>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    if (q < static_cast<Wide>(std::numeric_limits<std::int64_t>::min()))
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(q);
}

// Largest multiple of m not above v, and smallest not below v (m > 0).
constexpr std::int64_t FloorToMultiple(std::int64_t v, std::int64_t m) {
    std::int64_t q = v / m;
    if (v % m != 0 && v < 0)
        --q;
    return q * m;
}
constexpr std::int64_t CeilToMultiple(std::int64_t v, std::int64_t m) {
    std::int64_t q = v / m;
    if (v % m != 0 && v > 0)
        ++q;
    return q * m;
}
// Rounds away from zero to a multiple of m (m > 0); multiples stay.
constexpr std::int64_t RoundAwayFromZero(std::int64_t v, std::int64_t m) {
    return v >= 0 ? CeilToMultiple(v, m) : FloorToMultiple(v, m);
}

// A line from (x0, y0) to (x1, y1), each coordinate narrowed by saturation.
inline void DrawLine(HDC dc, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    MoveToEx(dc, SaturateToInt32(x0), SaturateToInt32(y0), nullptr);
    LineTo(dc, SaturateToInt32(x1), SaturateToInt32(y1));
}

}  // namespace render
