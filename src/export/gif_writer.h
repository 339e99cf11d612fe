// The program's own GIF87a encoder: a picture of colour indices and its
// colour table in, a complete single-image GIF file out.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "export/indexed_picture.h"

namespace exporting {

// The file's bytes: screen descriptor, global colour table (padded with black
// to a power of two, at least 2), one image of variable-width LZW codes of at
// most 12 bits in 255-byte sub-blocks, trailer. An index keeps only the bits
// of the minimum code size (the table's, at least 2). None when the picture
// cannot be a GIF (more than 256 colours, a side above 65535) or memory runs
// out.
std::optional<std::vector<std::uint8_t>> EncodeGif(const IndexedPicture& picture);

}  // namespace exporting
