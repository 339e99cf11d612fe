// The program's one narrowing rule: results formed wide are cut to the int32
// range, never wrapped, so a far-off coordinate stays far off (the rasteriser
// clips it) and no range can wrap round to a zero divisor.
#pragma once

#include <cstdint>
#include <limits>

template <typename Wide>
constexpr std::int32_t SaturateToInt32(Wide v) {
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}
