// A picture of colour indices into its own colour table: what the colour
// reduction makes of the chart and the GIF encoder writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace exporting {

// A new number for each of the 256 an index byte can hold.
using ByteTable = std::array<std::uint8_t, 256>;

// to[i] = table[from[i]] for `count` bytes (`to` may be `from`). Eight bytes
// of one value, as most of a chart's are, take one look-up.
inline void MapBytes(const std::uint8_t* from, std::uint8_t* to, std::size_t count, const ByteTable& table) {
    constexpr std::uint64_t Spread = 0x0101010101010101ull;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, from + i, 8);
        if (eight == (eight & 0xFF) * Spread) {
            const std::uint64_t mapped = table[eight & 0xFF] * Spread;
            std::memcpy(to + i, &mapped, 8);
            continue;
        }
        for (std::size_t k = i; k < i + 8; ++k)
            to[k] = table[from[k]];
    }
    for (; i < count; ++i)
        to[i] = table[from[i]];
}

struct IndexedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> indices;  // width * height, top row first
    std::vector<std::uint32_t> colors;  // the colour table, 0x00RRGGBB
};

}  // namespace exporting
