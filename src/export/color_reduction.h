// Reducing the chart's colours to a 256-entry table for the GIF. A chart
// has few colours, and then each keeps its own entry; beyond 256 the colours
// the chart is drawn in stay exact, then the most frequent others, and every
// other colour takes its nearest kept colour.
#pragma once

#include <optional>
#include <span>

#include "export/indexed_picture.h"
#include "export/row_handoff.h"
#include "export/snapshot.h"
#include "platform/win32.h"

namespace exporting {

constexpr std::uint32_t GifColorCapacity = 256;

// The snapshot's pixels as indices into a table of exactly
// GifColorCapacity colours (unused entries black). Colours are numbered in
// order of first appearance, top row first; `keep` lists colours to keep
// exact when there are too many (those the picture has, in the list's
// order). The result depends on the pixels and `keep` only. None when the
// pixels cannot be read or the picture cannot be held.
std::optional<IndexedPicture> ReduceColors(WindowSnapshot& snapshot, std::span<const COLORREF> keep);

// The same into `picture`, which the caller holds until whoever reads the
// handed-over rows is done. Rows go to `finalRows` as the census counts them
// while the picture's colours fit the table, then they are settled; with more
// colours, renumbered when the rows handed over keep distinct entries, or
// else discarded, and handed over again as they are mapped. On a failure
// (false) the hand-off is abandoned. Counts on the calling thread only: the
// reader of the rows has the other processor.
bool ReduceColorsHandingOver(WindowSnapshot& snapshot, std::span<const COLORREF> keep, IndexedPicture& picture,
                             RowHandOff& finalRows);

}  // namespace exporting
