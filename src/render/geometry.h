// The panels' shared integer geometry: products formed wide enough never to
// overflow, multiples of a step, and lines given in 64-bit coordinates.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/saturate.h"
#include "platform/win32.h"

namespace render {

// Products of a value span (up to 2^33) and a pixel span (up to 2^32) need
// more than 64 bits. They are formed as two 64-bit halves, which every
// target has (32-bit ones included), and the exact quotient narrows by
// saturation.

// a * b / c for unsigned a, b and c > 0: the quotient, truncated, saturating
// at 2^64 - 1; `inexact` tells whether a remainder was left.
inline std::uint64_t MulDivUnsigned(std::uint64_t a, std::uint64_t b, std::uint64_t c, bool* inexact = nullptr) {
    // The 128-bit product hi:lo from four 32-bit partial products.
    const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
    const std::uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    const std::uint64_t low = aLo * bLo;
    const std::uint64_t cross1 = aHi * bLo;
    const std::uint64_t cross2 = aLo * bHi;
    const std::uint64_t middle = (low >> 32) + (cross1 & 0xFFFFFFFFu) + (cross2 & 0xFFFFFFFFu);
    const std::uint64_t lo = (middle << 32) | (low & 0xFFFFFFFFu);
    std::uint64_t hi = aHi * bHi + (cross1 >> 32) + (cross2 >> 32) + (middle >> 32);
    if (hi == 0) {
        if (inexact != nullptr)
            *inexact = lo % c != 0;
        return lo / c;
    }
    if (hi >= c) {  // the quotient needs more than 64 bits
        if (inexact != nullptr)
            *inexact = true;
        return std::numeric_limits<std::uint64_t>::max();
    }
    // hi < c: one remainder below c and 64 quotient bits, a bit at a time.
    std::uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        const bool carry = (hi >> 63) != 0;
        hi = (hi << 1) | ((lo >> bit) & 1u);
        quotient <<= 1;
        if (carry || hi >= c) {
            hi -= c;
            quotient |= 1u;
        }
    }
    if (inexact != nullptr)
        *inexact = hi != 0;
    return quotient;
}

// a * b / c, truncating toward zero; the quotient saturates at the int64
// range. c must not be 0.
inline std::int64_t MulDiv64(std::int64_t a, std::int64_t b, std::int64_t c) {
    const auto magnitude = [](std::int64_t v) {
        return v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    };
    const bool negative = a != 0 && b != 0 && ((a < 0) != (b < 0)) != (c < 0);
    const std::uint64_t q = MulDivUnsigned(magnitude(a), magnitude(b), magnitude(c));
    constexpr std::uint64_t Largest = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!negative)
        return q > Largest ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(q);
    if (q > Largest)
        return std::numeric_limits<std::int64_t>::min();
    return -static_cast<std::int64_t>(q);
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
