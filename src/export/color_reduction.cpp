// One pass over the snapshot's strips counts the colours in order of first
// appearance and writes each pixel's census number; with more colours than
// the table holds, a second pass maps the numbers to the table's entries
// (reading the snapshot again only for a picture of countless colours).
#include "export/color_reduction.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "export/standby_thread.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace exporting {

namespace {

constexpr std::uint32_t NoEntry = 0xFFFFFFFFu;

std::uint32_t ColorToPixel(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// Open-addressing map from a 24-bit pixel to a number.
class PixelMap {
public:
    PixelMap() { Rehash(1024); }
    // The number of `pixel`, or NoEntry.
    std::uint32_t Find(std::uint32_t pixel) const {
        for (std::size_t i = Slot(pixel);; i = (i + 1) & mask_) {
            if (keys_[i] == pixel)
                return values_[i];
            if (keys_[i] == NoEntry)
                return NoEntry;
        }
    }
    // The number of `pixel`, giving it `next` when it is new.
    std::uint32_t FindOrAdd(std::uint32_t pixel, std::uint32_t next, bool& added) {
        if ((count_ + 1) * 2 > keys_.size())
            Rehash(keys_.size() * 2);
        std::size_t i = Slot(pixel);
        for (; keys_[i] != NoEntry; i = (i + 1) & mask_) {
            if (keys_[i] == pixel) {
                added = false;
                return values_[i];
            }
        }
        keys_[i] = pixel;
        values_[i] = next;
        ++count_;
        added = true;
        return next;
    }

private:
    std::size_t Slot(std::uint32_t pixel) const { return (pixel * 0x9E3779B1u) >> shift_; }
    void Rehash(std::size_t size) {
        std::vector<std::uint32_t> keys(size, NoEntry), values(size, 0);
        mask_ = size - 1;
        shift_ = 32;
        for (std::size_t s = size; s > 1; s >>= 1)
            --shift_;
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == NoEntry)
                continue;
            std::size_t j = Slot(keys_[i]);
            while (keys[j] != NoEntry)
                j = (j + 1) & mask_;
            keys[j] = keys_[i];
            values[j] = values_[i];
        }
        keys_.swap(keys);
        values_.swap(values);
    }
    std::vector<std::uint32_t> keys_, values_;
    std::size_t count_ = 0, mask_ = 0;
    int shift_ = 32;
};

// The ends of the runs of equal pixels in a row, left to right: the places
// where a pixel differs from the one before it are found 64 at a time (four
// to a comparison where SSE2 is there), so a run costs little more than its
// end.
class RunEnds {
public:
    RunEnds(const std::uint32_t* row, std::size_t width) : row_(row), width_(width) {}
    // The end of the run after the last one given (the row's width once
    // the last run ended there).
    std::size_t Next() {
        while (changes_ == 0) {
            if (scanned_ >= width_)
                return width_;
            Scan();
        }
        const std::size_t end = base_ + static_cast<std::size_t>(__builtin_ctzll(changes_));
        changes_ &= changes_ - 1;
        return end;
    }

private:
    // Marks the changes among the next (at most) 64 pixels.
    void Scan() {
        base_ = scanned_;
        const std::size_t count = std::min<std::size_t>(64, width_ - scanned_);
        scanned_ += count;
        std::uint64_t changes = 0;
        std::size_t k = 0;
#if defined(__SSE2__)
        if (count == 64) {
            for (; k < 64; k += 4) {
                const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row_ + base_ + k));
                const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row_ + base_ + k - 1));
                const int same = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(here, before)));
                changes |= static_cast<std::uint64_t>(~same & 0xF) << k;
            }
        }
#endif
        for (; k < count; ++k)
            changes |= static_cast<std::uint64_t>(row_[base_ + k] != row_[base_ + k - 1]) << k;
        changes_ = changes;
    }

    const std::uint32_t* row_;
    std::size_t width_;
    std::size_t scanned_ = 1;  // the first pixel begins a run: no change to find there
    std::size_t base_ = 0;
    std::uint64_t changes_ = 0;  // bit k: pixel base_ + k differs from the one before it
};

// The two colours last seen in a row, with what they stand for: a chart is
// mostly runs of one colour, and two cover alternating patterns (dotted
// lines), so most runs need no lookup.
class LastTwo {
public:
    template <typename Lookup>
    std::uint32_t Of(std::uint32_t p, Lookup lookup) {
        if (p == first_)
            return firstValue_;
        if (p != second_) {
            second_ = p;
            secondValue_ = lookup(p);
        }
        std::swap(first_, second_);
        std::swap(firstValue_, secondValue_);
        return firstValue_;
    }

private:
    std::uint32_t first_ = NoEntry, second_ = NoEntry;
    std::uint32_t firstValue_ = 0, secondValue_ = 0;
};

int Red(std::uint32_t p) {
    return static_cast<int>((p >> 16) & 0xFF);
}
int Green(std::uint32_t p) {
    return static_cast<int>((p >> 8) & 0xFF);
}
int Blue(std::uint32_t p) {
    return static_cast<int>(p & 0xFF);
}

// Nearest table entry by squared RGB distance (lowest index on a tie), with
// the entries sorted by red so that the search stops once red alone is too far.
class NearestColor {
public:
    explicit NearestColor(const std::vector<std::uint32_t>& table) {
        for (std::size_t i = 0; i < table.size(); ++i)
            byRed_.push_back({table[i], static_cast<std::uint32_t>(i)});
        std::sort(byRed_.begin(), byRed_.end(), [](const Entry& x, const Entry& y) {
            return Red(x.pixel) != Red(y.pixel) ? Red(x.pixel) < Red(y.pixel) : x.index < y.index;
        });
    }
    std::uint32_t Find(std::uint32_t p) const {
        const int r = Red(p);
        const auto start = std::lower_bound(byRed_.begin(), byRed_.end(), r,
                                            [](const Entry& e, int red) { return Red(e.pixel) < red; });
        Best best;
        for (auto it = start; it != byRed_.end() && Consider(*it, p, best);)
            ++it;
        for (auto it = start; it != byRed_.begin() && Consider(*--it, p, best);) {
        }
        return best.index;
    }

private:
    struct Entry {
        std::uint32_t pixel;
        std::uint32_t index;
    };
    struct Best {
        int distance = std::numeric_limits<int>::max();
        std::uint32_t index = 0;
    };
    // False once red alone puts the entry (and those beyond it) too far.
    static bool Consider(const Entry& e, std::uint32_t p, Best& best) {
        const int dr = Red(e.pixel) - Red(p), dg = Green(e.pixel) - Green(p), db = Blue(e.pixel) - Blue(p);
        if (dr * dr > best.distance)
            return false;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best.distance || (d == best.distance && e.index < best.index))
            best = Best{d, e.index};
        return true;
    }
    std::vector<Entry> byRed_;
};

// Calls visit(rowPixels, rowNumber) for the rows [first, end) of the
// snapshot, a strip at a time, top first; `first` begins a strip.
template <typename Visit>
bool ForEachRow(WindowSnapshot& snapshot, std::vector<std::uint32_t>& strip, std::uint32_t first, std::uint32_t end,
                Visit visit) {
    const std::uint32_t width = snapshot.width();
    for (std::uint32_t top = first; top < end; top += snapshot.stripRows()) {
        const std::uint32_t rows = std::min(snapshot.stripRows(), end - top);
        if (!snapshot.ReadRows(top, rows, strip.data()))
            return false;
        for (std::uint32_t r = 0; r < rows; ++r)
            visit(strip.data() + std::size_t{r} * width, top + r);
    }
    return true;
}

// The picture's distinct colours in order of first appearance, with counts.
struct ColorCensus {
    std::vector<std::uint32_t> colors;
    std::vector<std::uint64_t> counts;
    PixelMap numberOf;
};

// The runs of pixels whose census number does not fit an index, where the
// census leaves them: with these, the mapping to the final table needs only
// the indices, not a second reading of the window. Past a bound (a picture of
// countless colours) they are given up and the window is read again.
struct LateRun {
    std::size_t at;  // the first pixel's place in the picture
    std::uint32_t length;
    std::uint32_t number;
};
constexpr std::size_t MaxLateRuns = std::size_t{1} << 14;

struct LateColors {
    std::vector<LateRun> runs;
    bool complete = true;

    void Add(std::size_t at, std::uint32_t length, std::uint32_t number) {
        if (!complete)
            return;
        try {
            if (runs.size() < MaxLateRuns) {
                runs.push_back({at, length, number});
                return;
            }
        } catch (const std::bad_alloc&) {
        }
        complete = false;
        std::vector<LateRun>().swap(runs);
    }
};

// Each run costs at most one lookup. Each pixel's census number goes to
// `out` as its index: with no more colours than the table holds, that is the
// final picture, in a single pass. A number beyond an index goes to `late`
// instead (`out` gets 0 there).
void CountRow(const std::uint32_t* row, std::uint32_t width, ColorCensus& census, std::uint8_t* out,
              std::size_t rowStart, LateColors& late) {
    LastTwo seen;
    RunEnds ends(row, width);
    for (std::size_t start = 0; start < width;) {
        const std::size_t end = ends.Next();
        const std::uint32_t number = seen.Of(row[start], [&](std::uint32_t p) {
            bool added = false;
            const std::uint32_t n =
                census.numberOf.FindOrAdd(p, static_cast<std::uint32_t>(census.colors.size()), added);
            if (added) {
                census.colors.push_back(p);
                census.counts.push_back(0);
            }
            return n;
        });
        const auto length = static_cast<std::uint32_t>(end - start);
        census.counts[number] += length;
        const bool fits = number < GifColorCapacity;
        if (!fits)
            late.Add(rowStart + start, length, number);
        std::memset(out + start, fits ? static_cast<int>(number) : 0, length);
        start = end;
    }
}

// The table and each census colour's entry in it.
struct Reduction {
    std::vector<std::uint32_t> table;
    PixelMap indexOf;
};

// Too many colours: the kept ones first, then the most frequent (ties by
// colour value), the rest to their nearest.
void ChooseTable(const ColorCensus& census, std::span<const COLORREF> keep, Reduction& out) {
    std::vector<bool> kept(census.colors.size(), false);
    for (const COLORREF c : keep) {
        if (out.table.size() == GifColorCapacity)
            break;
        const std::uint32_t n = census.numberOf.Find(ColorToPixel(c));
        if (n == NoEntry || kept[n])
            continue;
        kept[n] = true;
        out.table.push_back(census.colors[n]);
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < census.colors.size(); ++i) {
        if (!kept[i])
            order.push_back(i);
    }
    const std::size_t wanted = std::min<std::size_t>(order.size(), GifColorCapacity - out.table.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(wanted), order.end(),
                      [&](std::uint32_t x, std::uint32_t y) {
                          return census.counts[x] != census.counts[y] ? census.counts[x] > census.counts[y]
                                                                      : census.colors[x] < census.colors[y];
                      });
    for (std::size_t i = 0; i < wanted; ++i) {
        kept[order[i]] = true;
        out.table.push_back(census.colors[order[i]]);
    }
    bool added = false;
    for (std::uint32_t i = 0; i < out.table.size(); ++i)
        out.indexOf.FindOrAdd(out.table[i], i, added);
    const NearestColor nearest(out.table);
    for (std::uint32_t i = 0; i < census.colors.size(); ++i) {
        if (!kept[i])
            out.indexOf.FindOrAdd(census.colors[i], nearest.Find(census.colors[i]), added);
    }
}

// Each pixel's index, run by run, as in the census.
void MapRow(const std::uint32_t* src, std::uint32_t width, const PixelMap& indexOf, std::uint8_t* out) {
    LastTwo seen;
    RunEnds ends(src, width);
    for (std::size_t start = 0; start < width;) {
        const std::size_t end = ends.Next();
        const std::uint32_t index = seen.Of(src[start], [&](std::uint32_t p) { return indexOf.Find(p); });
        std::memset(out + start, static_cast<int>(index), end - start);
        start = end;
    }
}

// The census numbers the first pass left in rows [first, end) of the
// indices, and the late runs there, to their entries in the table, row by
// row; `done(y)` after each row.
template <typename RowDone>
void MapCensusNumbers(const ColorCensus& census, const LateColors& late, const Reduction& reduction,
                      IndexedPicture& picture, std::uint32_t first, std::uint32_t end, RowDone done) {
    ByteTable entryOf{};
    for (std::uint32_t n = 0; n < GifColorCapacity && n < census.colors.size(); ++n)
        entryOf[n] = static_cast<std::uint8_t>(reduction.indexOf.Find(census.colors[n]));
    auto next = late.runs.begin();
    for (std::uint32_t y = first; y < end; ++y) {
        std::uint8_t* const row = picture.indices.data() + std::size_t{y} * picture.width;
        MapBytes(row, row, picture.width, entryOf);
        const std::size_t rowEnd = std::size_t{y + 1} * picture.width;
        for (; next != late.runs.end() && next->at < rowEnd; ++next) {
            std::memset(picture.indices.data() + next->at,
                        static_cast<int>(reduction.indexOf.Find(census.colors[next->number])), next->length);
        }
        done(y);
    }
}

// The census of some rows: their colours in order of first appearance, each
// pixel's number in the indices, and the runs whose numbers do not fit.
struct PartCensus {
    ColorCensus census;
    LateColors late;
};

template <typename RowDone>
bool CountRows(WindowSnapshot& snapshot, std::vector<std::uint32_t>& strip, std::uint32_t first, std::uint32_t end,
               IndexedPicture& picture, PartCensus& part, RowDone done) {
    return ForEachRow(snapshot, strip, first, end, [&](const std::uint32_t* row, std::uint32_t y) {
        const std::size_t rowStart = std::size_t{y} * picture.width;
        CountRow(row, picture.width, part.census, picture.indices.data() + rowStart, rowStart, part.late);
        done(y);
    });
}

// Adds the lower rows' census to the upper rows': the lower rows' new
// colours come after the upper rows' in their order, the counts add up.
// `numberOf[n]` is then the whole census's number of the lower rows' colour n.
void AddLowerCensus(ColorCensus& whole, const ColorCensus& lower, std::vector<std::uint32_t>& numberOf) {
    numberOf.resize(lower.colors.size());
    for (std::size_t i = 0; i < lower.colors.size(); ++i) {
        bool added = false;
        const std::uint32_t n =
            whole.numberOf.FindOrAdd(lower.colors[i], static_cast<std::uint32_t>(whole.colors.size()), added);
        if (added) {
            whole.colors.push_back(lower.colors[i]);
            whole.counts.push_back(0);
        }
        whole.counts[n] += lower.counts[i];
        numberOf[i] = n;
    }
}

// The lower rows of the picture, counted on a thread of their own through a
// snapshot of their own while the caller counts the upper rows; when no
// thread or snapshot can be had, or the reading fails, the caller counts
// them after its own.
class LowerRows {
public:
    LowerRows(WindowSnapshot& snapshot, IndexedPicture& picture, std::uint32_t first)
        : first_(first), snapshot_(first < picture.height ? snapshot.Again() : std::nullopt) {
        if (!snapshot_)
            return;
        try {
            strip_.resize(std::size_t{picture.width} * snapshot_->stripRows());
        } catch (const std::bad_alloc&) {
            return;  // the caller counts these rows
        }
        counting_ = helper_.emplace().Run([this, &picture] {
            try {
                counted_ = CountRows(*snapshot_, strip_, first_, picture.height, picture, part_, [](std::uint32_t) {});
            } catch (const std::bad_alloc&) {
                counted_ = false;
            }
        });  // no thread: the caller counts these rows
    }
    ~LowerRows() { Finish(); }
    LowerRows(const LowerRows&) = delete;
    LowerRows& operator=(const LowerRows&) = delete;

    // After the thread: whether the rows were counted, into part().
    bool Finish() {
        if (!counting_)
            return false;
        helper_->Wait();
        return counted_;
    }
    PartCensus& part() { return part_; }

private:
    std::uint32_t first_;
    std::optional<WindowSnapshot> snapshot_;
    std::vector<std::uint32_t> strip_;
    PartCensus part_;
    bool counted_ = false;
    bool counting_ = false;
    std::optional<StandbyThread> helper_;  // last: it ends first
};

}  // namespace

namespace {

// The index each of the census's numbers becomes, as one renumbering of all
// 256 (the numbers no upper row uses take the indices left, in order); false
// when two of the upper rows' `upperColors` colours share an index.
bool RenumberingOf(const ColorCensus& census, std::size_t upperColors, const Reduction& reduction,
                   Renumbering& indexOf) {
    std::array<bool, GifColorCapacity> taken{};
    for (std::size_t n = 0; n < upperColors; ++n) {
        const std::uint32_t index = reduction.indexOf.Find(census.colors[n]);
        if (taken[index])
            return false;
        taken[index] = true;
        indexOf[n] = static_cast<std::uint8_t>(index);
    }
    std::uint32_t next = 0;
    for (std::size_t n = upperColors; n < GifColorCapacity; ++n) {
        while (taken[next])
            ++next;
        taken[next] = true;
        indexOf[n] = static_cast<std::uint8_t>(next);
    }
    return true;
}

// Rows [0, y] are handed over: a strip at a time (and at the last row).
void HandOver(RowHandOff* rows, const IndexedPicture& picture, std::uint32_t stripRows, std::uint32_t y) {
    if (rows != nullptr && (y + 1 == picture.height || (y + 1) % stripRows == 0))
        rows->Publish(picture.indices.data(), y + 1);
}

// Too many colours: every pixel is mapped again, to the table's entries.
// `upper` has the whole census and the upper rows' late runs, `below` the
// lower rows' own. The upper rows went over to `rows` as they were counted
// when their `upperColors` colours fit the table; when those keep distinct
// entries, what was made of them stands, renumbered, and they are mapped
// last, once nobody reads them. Otherwise they are void and go over again.
bool MapToTable(WindowSnapshot& snapshot, std::vector<std::uint32_t>& strip, std::span<const COLORREF> keep,
                const PartCensus& upper, const PartCensus& below, std::size_t upperColors, std::uint32_t split,
                IndexedPicture& picture, RowHandOff* rows) {
    Reduction reduction;
    ChooseTable(upper.census, keep, reduction);
    const auto handOver = [&](std::uint32_t y) { HandOver(rows, picture, snapshot.stripRows(), y); };
    const bool numbersKept = upper.late.complete && below.late.complete;
    // Without the late runs, the window is read again.
    const auto mapUpper = [&](auto done) {
        if (numbersKept) {
            MapCensusNumbers(upper.census, upper.late, reduction, picture, 0, split, done);
            return true;
        }
        return ForEachRow(snapshot, strip, 0, split, [&](const std::uint32_t* row, std::uint32_t y) {
            MapRow(row, picture.width, reduction.indexOf, picture.indices.data() + std::size_t{y} * picture.width);
            done(y);
        });
    };
    const auto mapLower = [&] {
        if (numbersKept) {
            MapCensusNumbers(below.census, below.late, reduction, picture, split, picture.height, handOver);
            return true;
        }
        return ForEachRow(snapshot, strip, split, picture.height, [&](const std::uint32_t* row, std::uint32_t y) {
            MapRow(row, picture.width, reduction.indexOf, picture.indices.data() + std::size_t{y} * picture.width);
            handOver(y);
        });
    };
    Renumbering renumbering{};
    if (rows != nullptr && upperColors <= GifColorCapacity &&
        RenumberingOf(upper.census, upperColors, reduction, renumbering)) {
        rows->Renumber(renumbering);
        if (!mapLower())
            return false;
        rows->WaitUntilRenumberedRowsRead();
        if (!mapUpper([](std::uint32_t) {}))
            return false;
    } else {
        if (rows != nullptr)
            rows->Discard();
        if (!mapUpper(handOver) || !mapLower())
            return false;
    }
    picture.colors = std::move(reduction.table);
    return true;
}

bool Reduce(WindowSnapshot& snapshot, std::span<const COLORREF> keep, IndexedPicture& picture, RowHandOff* finalRows) {
    // Whatever way this ends without handing every row over, the reader stops.
    struct AbandonUnlessDone {
        RowHandOff* rows;
        ~AbandonUnlessDone() {
            if (rows != nullptr)
                rows->Abandon();
        }
    } abandon{finalRows};
    picture.width = snapshot.width();
    picture.height = snapshot.height();
    std::vector<std::uint32_t> strip;
    try {
        strip.resize(std::size_t{picture.width} * snapshot.stripRows());
        picture.indices.resize(std::size_t{picture.width} * picture.height);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // This thread counts the upper rows, handing them over while their
    // colours fit the table. The lower rows are counted on another thread
    // when nobody reads the rows meanwhile; an encoder reading them has the
    // other processor, and is the longer work, so then they are counted here
    // after the upper rows.
    const std::uint32_t strips = (picture.height + snapshot.stripRows() - 1) / snapshot.stripRows();
    const std::uint32_t split = std::min(picture.height, (strips + 1) / 2 * snapshot.stripRows());
    std::optional<LowerRows> lower;
    if (finalRows == nullptr)
        lower.emplace(snapshot, picture, split);
    PartCensus upper;
    if (!CountRows(snapshot, strip, 0, split, picture, upper, [&](std::uint32_t y) {
            if (upper.census.colors.size() <= GifColorCapacity)
                HandOver(abandon.rows, picture, snapshot.stripRows(), y);
        }))
        return false;
    PartCensus own;
    PartCensus* below = &own;
    if (lower && lower->Finish())
        below = &lower->part();
    else if (!CountRows(snapshot, strip, split, picture.height, picture, own, [](std::uint32_t) {}))
        return false;
    ColorCensus& census = upper.census;
    const std::size_t upperColors = census.colors.size();  // before the lower rows' are added
    std::vector<std::uint32_t> numberOfBelow;
    AddLowerCensus(census, below->census, numberOfBelow);

    if (census.colors.size() <= GifColorCapacity) {
        if (abandon.rows != nullptr)
            abandon.rows->Settle();
        // The lower rows' numbers become the whole census's (no number
        // there is late: the lower rows have no more colours than the whole).
        ByteTable wholeOf{};
        for (std::size_t n = 0; n < numberOfBelow.size(); ++n)
            wholeOf[n] = static_cast<std::uint8_t>(numberOfBelow[n]);
        for (std::uint32_t y = split; y < picture.height; ++y) {
            std::uint8_t* const row = picture.indices.data() + std::size_t{y} * picture.width;
            MapBytes(row, row, picture.width, wholeOf);
            HandOver(abandon.rows, picture, snapshot.stripRows(), y);
        }
        picture.colors = std::move(census.colors);
    } else if (!MapToTable(snapshot, strip, keep, upper, *below, upperColors, split, picture, abandon.rows)) {
        return false;
    }
    abandon.rows = nullptr;  // every row was handed over
    picture.colors.resize(GifColorCapacity, 0);
    return true;
}

}  // namespace

std::optional<IndexedPicture> ReduceColors(WindowSnapshot& snapshot, std::span<const COLORREF> keep) {
    IndexedPicture picture;
    if (!Reduce(snapshot, keep, picture, nullptr))
        return std::nullopt;
    return picture;
}

bool ReduceColorsHandingOver(WindowSnapshot& snapshot, std::span<const COLORREF> keep, IndexedPicture& picture,
                             RowHandOff& finalRows) {
    return Reduce(snapshot, keep, picture, &finalRows);
}

}  // namespace exporting
