// A picture of colour indices into its own colour table: what the colour
// reduction makes of the chart and the GIF encoder writes.
#pragma once

#include <cstdint>
#include <vector>

namespace exporting {

struct IndexedPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> indices;  // width * height, top row first
    std::vector<std::uint32_t> colors;  // the colour table, 0x00RRGGBB
};

}  // namespace exporting
