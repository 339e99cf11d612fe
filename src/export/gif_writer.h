// The program's own GIF87a encoder: a picture of colour indices and its
// colour table in, a complete single-image GIF file out.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "export/indexed_picture.h"
#include "export/row_handoff.h"

namespace exporting {

// The file's bytes: screen descriptor, global colour table (padded with black
// to a power of two, at least 2), one image of variable-width LZW codes of at
// most 12 bits in 255-byte sub-blocks, trailer. An index keeps only the bits
// of the minimum code size (the table's, at least 2). None when the picture
// cannot be a GIF (more than 256 colours, a side above 65535) or memory runs
// out.
std::optional<std::vector<std::uint8_t>> EncodeGif(const IndexedPicture& picture);

// The two halves of EncodeGif for an encoder that runs beside the colour
// reduction. The image data (minimum code size, sub-blocks, terminator) of a
// width x height picture whose table has `colors` entries, each row taken
// once `rows` hands it over, starting over when they are discarded; none
// when they are abandoned or memory runs out.
std::optional<std::vector<std::uint8_t>> EncodeGifImageData(std::uint32_t width, std::uint32_t height,
                                                            std::uint32_t colors, RowHandOff& rows);
// The whole file around image data from EncodeGifImageData for `picture`
// (its indices are not read again); none as for EncodeGif.
std::optional<std::vector<std::uint8_t>> AssembleGif(const IndexedPicture& picture,
                                                     const std::vector<std::uint8_t>& imageData);

}  // namespace exporting
