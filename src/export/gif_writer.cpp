// GIF87a encoding in three layers: a bit packer that fills the 255-byte
// sub-blocks, the LZW code table (an open-addressing hash of prefix and
// pixel), and the compressor that walks the pixels, top row first, as one
// string running from row to row.
#include "export/gif_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>

namespace exporting {

namespace {

constexpr std::uint32_t MaxCodeBits = 12;
constexpr std::uint32_t MaxCodes = 1u << MaxCodeBits;
constexpr std::uint32_t SubBlockSize = 255;
constexpr std::uint32_t MaxColors = 256;
constexpr std::uint32_t MaxSide = 0xFFFF;
constexpr std::uint32_t NoCode = 0xFFFF;

using Bytes = std::vector<std::uint8_t>;

// The smallest b >= 1 with 2^b >= colours.
std::uint32_t TableBits(std::uint64_t colors) {
    std::uint32_t bits = 1;
    while ((std::uint64_t{1} << bits) < colors)
        ++bits;
    return bits;
}

void PutWord(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// ------------------------------------------------------------ bit packer

// Codes least significant bit first. Whole bytes go to the sub-block; a
// full one goes out only when the next byte needs room, so the last
// sub-block is never empty.
class BitPacker {
public:
    explicit BitPacker(Bytes& out) : out_(out), base_(out.size()) {}
    void PutBits(std::uint32_t code, std::uint32_t width) {
        pending_ |= std::uint64_t{code & ((1u << width) - 1)} << pendingBits_;
        pendingBits_ += width;
        // Fewer than 8 bits waited and a code has at most 12: two bytes at most.
        if (pendingBits_ >= 8) {
            PutByte(static_cast<std::uint8_t>(pending_));
            pending_ >>= 8;
            pendingBits_ -= 8;
            if (pendingBits_ >= 8) {
                PutByte(static_cast<std::uint8_t>(pending_));
                pending_ >>= 8;
                pendingBits_ -= 8;
            }
        }
    }
    // Bits put so far.
    std::uint64_t position() const { return (sentBytes_ + blockLength_) * 8 + pendingBits_; }
    // Puts `code` again over the `width` bits put at `at`, wherever they
    // went since: a sent sub-block, the pending one or the last bits.
    void Rewrite(std::uint64_t at, std::uint32_t code, std::uint32_t width) {
        for (std::uint32_t done = 0; done < width;) {
            const std::uint64_t bit = at + done;
            const std::uint32_t shift = static_cast<std::uint32_t>(bit % 8);
            const std::uint32_t count = std::min(width - done, 8 - shift);
            const std::uint32_t mask = ((1u << count) - 1) << shift;
            const std::uint32_t bits = ((code >> done) << shift) & mask;
            const std::uint64_t byte = bit / 8;
            if (byte < sentBytes_) {
                std::uint8_t& held = out_[base_ + byte / SubBlockSize * (SubBlockSize + 1) + 1 + byte % SubBlockSize];
                held = static_cast<std::uint8_t>((held & ~mask) | bits);
            } else if (byte < sentBytes_ + blockLength_) {
                std::uint8_t& held = block_[byte - sentBytes_];
                held = static_cast<std::uint8_t>((held & ~mask) | bits);
            } else {
                pending_ = (pending_ & ~std::uint64_t{mask}) | bits;
            }
            done += count;
        }
    }
    // The last partial byte, then the pending sub-block.
    void FlushBlock() {
        if (pendingBits_ > 0)
            PutByte(static_cast<std::uint8_t>(pending_));
        pending_ = 0;
        pendingBits_ = 0;
        if (blockLength_ > 0)
            EmitBlock();
    }

private:
    void PutByte(std::uint8_t byte) {
        if (blockLength_ == SubBlockSize)
            EmitBlock();
        block_[blockLength_++] = byte;
    }
    void EmitBlock() {
        out_.push_back(static_cast<std::uint8_t>(blockLength_));
        out_.insert(out_.end(), block_.begin(), block_.begin() + blockLength_);
        sentBytes_ += blockLength_;
        blockLength_ = 0;
    }

    Bytes& out_;
    const std::size_t base_;       // where the first sub-block begins
    std::uint64_t sentBytes_ = 0;  // in full sub-blocks, all but maybe the last
    std::array<std::uint8_t, SubBlockSize> block_{};
    std::uint32_t blockLength_ = 0;
    std::uint64_t pending_ = 0;
    std::uint32_t pendingBits_ = 0;
};

// ------------------------------------------------------------ code table

// The strings known so far, each a prefix code and a last pixel, in an
// open-addressing hash: one 32-bit slot holds the string's key (prefix and
// pixel, 20 bits) above its code (12 bits). 16384 slots, probed one after
// another, are at most a quarter full with all 4096 codes, so a string not
// there is mostly known so at the first slot.
class CodeTable {
public:
    static constexpr std::uint32_t HashBits = 14;
    static constexpr std::uint32_t HashSize = 1u << HashBits;

    // Only the single pixels, the clear code and the end code: 0 .. 2^m + 1,
    // which no string is ever looked up by.
    void Reset(std::uint32_t minCodeSize) {
        std::fill_n(slots_.get(), HashSize, EmptySlot);
        const std::uint32_t reserved = (1u << minCodeSize) + 1;
        nextCode_ = reserved + 1;
        std::fill_n(lastChild_.get(), reserved + 1, NoChild);
        std::fill_n(jumps_.get(), reserved + 1, NoJump);
    }
    bool Allocate() {
        slots_.reset(new (std::nothrow) std::uint32_t[HashSize]);
        lastChild_.reset(new (std::nothrow) std::uint32_t[MaxCodes]);
        jumps_.reset(new (std::nothrow) std::uint64_t[MaxCodes]);
        return slots_ && lastChild_ && jumps_;
    }
    std::uint32_t nextCode() const { return nextCode_; }

    // The slot of (prefix, pixel): the one holding it, or the empty slot
    // where it goes.
    std::uint32_t Probe(std::uint32_t prefix, std::uint32_t pixel) const {
        const std::uint32_t key = Key(prefix, pixel);
        std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - HashBits);
        for (;;) {
            const std::uint32_t held = slots_[slot];
            if ((held >> CodeBits) == key || held == EmptySlot)
                return slot;
            slot = (slot + 1) & (HashSize - 1);
        }
    }
    bool Holds(std::uint32_t slot) const { return slots_[slot] != EmptySlot; }
    std::uint32_t CodeAt(std::uint32_t slot) const { return slots_[slot] & (MaxCodes - 1); }

    // Enters (prefix, pixel) in its empty slot as the next code: the code,
    // or NoCode when all 4096 are taken.
    std::uint32_t AddCode(std::uint32_t slot, std::uint32_t prefix, std::uint32_t pixel) {
        if (nextCode_ >= MaxCodes)
            return NoCode;
        RememberChild(prefix, pixel, nextCode_);
        lastChild_[nextCode_] = NoChild;
        jumps_[nextCode_] = NoJump;
        return Insert(slot, Key(prefix, pixel));
    }

    // A memo of one entry per code: the string it was last extended to.
    // Most strings go on the way they went last time.
    std::uint32_t LastChild(std::uint32_t prefix, std::uint32_t pixel) const {
        const std::uint32_t child = lastChild_[prefix];
        return (child >> 16) == pixel ? (child & 0xFFFF) : NoCode;
    }
    void RememberChild(std::uint32_t prefix, std::uint32_t pixel, std::uint32_t code) {
        lastChild_[prefix] = (pixel << 16) | code;
    }

    // A second memo: the string a code last became four pixels further on,
    // with those pixels (the first in the lowest byte). Every string on the
    // way is in the table, so the greedy walk goes there in one step when the
    // next four pixels are these; the table only grows until a clear, which
    // forgets the memo with the code.
    std::uint32_t Jump(std::uint32_t prefix, std::uint32_t fourPixels) const {
        const std::uint64_t jump = jumps_[prefix];
        return static_cast<std::uint32_t>(jump >> 16) == fourPixels ? static_cast<std::uint32_t>(jump & 0xFFFF)
                                                                     : NoCode;
    }
    void RememberJump(std::uint32_t prefix, std::uint32_t fourPixels, std::uint32_t code) {
        jumps_[prefix] = (std::uint64_t{fourPixels} << 16) | code;
    }

private:
    static constexpr std::uint32_t CodeBits = MaxCodeBits;
    // No string has it: its key would be (4095, 255) and its code 4095, but
    // the code a string gets is always above its prefix's.
    static constexpr std::uint32_t EmptySlot = 0xFFFFFFFF;
    static constexpr std::uint32_t NoChild = 0xFFFFFFFF;
    static constexpr std::uint64_t NoJump = ~std::uint64_t{0};  // no four pixels match its code

    static std::uint32_t Key(std::uint32_t prefix, std::uint32_t pixel) { return (prefix << 8) | pixel; }
    std::uint32_t Insert(std::uint32_t slot, std::uint32_t key) {
        slots_[slot] = (key << CodeBits) | nextCode_;
        return nextCode_++;
    }

    std::unique_ptr<std::uint32_t[]> slots_;
    std::unique_ptr<std::uint32_t[]> lastChild_;
    std::unique_ptr<std::uint64_t[]> jumps_;
    std::uint32_t nextCode_ = 0;
};

// The codes of the strings made of one pixel value repeated, p, pp, ppp, ...:
// the table always holds an unbroken prefix of them, so a run of p can be
// followed as far as the table goes in one step instead of pixel by pixel.
class RunStrings {
public:
    // Only the single pixels, as after a clear.
    void Reset() {
        for (std::uint32_t p = 0; p < used_.size(); ++p) {
            if (used_[p])
                longer_[p].clear();
        }
        used_.fill(false);
    }
    // Longest run of p the table holds.
    std::uint32_t Longest(std::uint32_t p) const { return 1 + static_cast<std::uint32_t>(longer_[p].size()); }
    std::uint32_t Code(std::uint32_t p, std::uint32_t length) const { return length == 1 ? p : longer_[p][length - 2]; }
    // The code of the run one longer than Longest(p).
    void Extend(std::uint32_t p, std::uint32_t code) {
        used_[p] = true;
        longer_[p].push_back(static_cast<std::uint16_t>(code));
    }

private:
    std::array<std::vector<std::uint16_t>, MaxColors> longer_;
    std::array<bool, MaxColors> used_{};
};

// Length of the run of `pixel` at row[x], at most `limit` pixels; eight at a
// time until one differs.
std::uint32_t RunLength(const std::uint8_t* row, std::uint32_t x, std::uint32_t width, std::uint32_t pixel,
                        std::uint32_t pixelMask, std::uint32_t limit) {
    const std::uint32_t end = x + std::min(limit, width - x);
    std::uint32_t at = x;
    if (pixelMask == 0xFF) {
        const std::uint64_t pattern = std::uint64_t{pixel} * 0x0101010101010101ull;
        while (at + 8 <= end) {
            std::uint64_t word;
            std::memcpy(&word, row + at, 8);
            const std::uint64_t differ = word ^ pattern;
            if (differ != 0)
                return at + static_cast<std::uint32_t>(__builtin_ctzll(differ) / 8) - x;
            at += 8;
        }
    }
    while (at < end && (row[at] & pixelMask) == pixel)
        ++at;
    return at - x;
}

// ------------------------------------------------------------ compressor

// The greedy LZW walk: the longest known string goes out when the next pixel
// would leave the table, and that string plus the pixel becomes the next
// code. Codes widen past each power of two; once 4095 has been entered, the
// next code out is followed by a 12-bit clear and a fresh table.
class Compressor {
public:
    Compressor(BitPacker& packer, CodeTable& table, std::uint32_t minCodeSize)
        : packer_(packer),
          table_(table),
          minCodeSize_(minCodeSize),
          clearCode_(1u << minCodeSize),
          pixelMask_(clearCode_ - 1),
          fourMask_(pixelMask_ * 0x01010101u) {}

    void Start() {
        for (std::uint32_t n = 0; n < MaxColors; ++n)
            indexOf_[n] = static_cast<std::uint8_t>(n);
        Clear();
        packer_.PutBits(clearCode_, codeWidth_);
    }
    void Row(const std::uint8_t* row, std::uint32_t width);
    void Finish() {
        if (current_ != NoCode)
            PutCode(current_);
        packer_.PutBits(clearCode_ + 1, codeWidth_);  // the end code
    }

    // The pixels so far are final indices.
    void Settle() {
        settled_ = true;
        std::vector<std::uint64_t>().swap(singles_);
    }
    // The pixels so far, and the strings made of them, are numbers that
    // become indices through `renumbering`: the single pixels' codes put so
    // far are put again as the indices, and those to come go out as them.
    // The walk goes on in numbers (the caller gives it the numbers of later
    // indices): a one-to-one renumbering makes the same strings. False when
    // the table is not of 256 entries.
    bool Renumber(const Renumbering& renumbering) {
        if (clearCode_ != MaxColors)
            return false;
        indexOf_ = renumbering;
        for (const std::uint64_t single : singles_) {
            const std::uint32_t width = static_cast<std::uint32_t>(single >> SingleWidthShift) & 0xF;
            packer_.Rewrite(single >> SinglePositionShift, indexOf_[single & 0xFF], width);
        }
        Settle();
        return true;
    }
    bool settled() const { return settled_; }

private:
    void Clear() {
        table_.Reset(minCodeSize_);
        runs_.Reset();
        codeWidth_ = minCodeSize_ + 1;
        largestCode_ = (1u << codeWidth_) - 1;
    }
    // `current` goes out; (current, pixel) becomes a code when one is left.
    void Emit(std::uint32_t slot, std::uint32_t pixel);
    // A code out; a single pixel's as its index, and where it went kept
    // while the pixels may yet be renumbered.
    void PutCode(std::uint32_t code) {
        if (code < clearCode_) {
            if (!settled_)
                singles_.push_back(packer_.position() << SinglePositionShift |
                                   std::uint64_t{codeWidth_} << SingleWidthShift | code);
            code = indexOf_[code];
        }
        packer_.PutBits(code, codeWidth_);
    }
    void StartString(std::uint32_t pixel) {
        current_ = pixel;
        runPixel_ = pixel;
        runLength_ = 1;
        Anchor();
    }
    // The walk starts counting single steps afresh from the current string.
    void Anchor() {
        anchor_ = current_;
        steps_ = 0;
    }
    // One pixel taken through the table; the fourth since the anchor makes
    // the anchor's jump.
    void Stepped(std::uint32_t pixel) {
        stepPixels_ = (stepPixels_ >> 8) | (pixel << 24);
        if (++steps_ == 4) {
            table_.RememberJump(anchor_, stepPixels_, current_);
            Anchor();
        }
    }

    BitPacker& packer_;
    CodeTable& table_;
    RunStrings runs_;
    const std::uint32_t minCodeSize_;
    const std::uint32_t clearCode_;
    const std::uint32_t pixelMask_;  // an index beyond the table has no code
    const std::uint32_t fourMask_;   // the same for four pixels at once
    std::uint32_t codeWidth_ = 0;
    std::uint32_t largestCode_ = 0;
    std::uint32_t current_ = NoCode;
    // While the current string is `runLength_` times `runPixel_`; 0 otherwise.
    std::uint32_t runPixel_ = 0;
    std::uint32_t runLength_ = 0;
    // Single steps taken since the string `anchor_`, and their pixels.
    std::uint32_t anchor_ = NoCode;
    std::uint32_t steps_ = 0;
    std::uint32_t stepPixels_ = 0;
    // The index each pixel value goes out as, and until that is settled the
    // single pixels' codes put: position, width and pixel in one word.
    static constexpr std::uint32_t SingleWidthShift = 8;
    static constexpr std::uint32_t SinglePositionShift = 12;
    Renumbering indexOf_{};
    bool settled_ = false;
    std::vector<std::uint64_t> singles_;
};

void Compressor::Emit(std::uint32_t slot, std::uint32_t pixel) {
    PutCode(current_);
    const std::uint32_t added = table_.AddCode(slot, current_, pixel);
    if (added != NoCode && runLength_ != 0 && pixel == runPixel_)
        runs_.Extend(pixel, added);
    if (added > largestCode_) {  // NoCode always is
        if (++codeWidth_ > MaxCodeBits) {
            packer_.PutBits(clearCode_, MaxCodeBits);
            Clear();
        }
        largestCode_ = (1u << codeWidth_) - 1;
    }
    StartString(pixel);
}

void Compressor::Row(const std::uint8_t* row, std::uint32_t width) {
    std::uint32_t x = 0;
    if (current_ == NoCode) {
        if (width == 0)
            return;
        StartString(row[0] & pixelMask_);
        x = 1;
    }
    while (x < width) {
        const std::uint32_t pixel = row[x] & pixelMask_;
        if (runLength_ != 0 && pixel == runPixel_) {
            const std::uint32_t room = runs_.Longest(pixel) - runLength_;
            if (room != 0) {
                const std::uint32_t step = RunLength(row, x, width, pixel, pixelMask_, room);
                runLength_ += step;
                current_ = runs_.Code(pixel, runLength_);
                x += step;
                Anchor();
                continue;
            }
        } else {
            // Not a run from here on: neither the jump nor the memo can make one.
            if (x + 4 <= width) {
                const std::uint32_t four = (std::uint32_t{row[x]} | std::uint32_t{row[x + 1]} << 8 |
                                            std::uint32_t{row[x + 2]} << 16 | std::uint32_t{row[x + 3]} << 24) &
                                           fourMask_;
                if (const std::uint32_t far = table_.Jump(current_, four); far != NoCode) {
                    current_ = far;
                    runLength_ = 0;
                    x += 4;
                    Anchor();
                    continue;
                }
            }
            if (const std::uint32_t child = table_.LastChild(current_, pixel); child != NoCode) {
                current_ = child;
                runLength_ = 0;
                ++x;
                Stepped(pixel);
                continue;
            }
        }
        // The memo did not know, or the table has no longer run (then the
        // probe finds the empty slot where it goes): ask the hash.
        const std::uint32_t slot = table_.Probe(current_, pixel);
        if (table_.Holds(slot)) {
            const std::uint32_t code = table_.CodeAt(slot);
            table_.RememberChild(current_, pixel, code);
            current_ = code;
            runLength_ = 0;
            Stepped(pixel);
        } else {
            Emit(slot, pixel);
        }
        ++x;
    }
}

// ------------------------------------------------------------ the file

void WriteScreenDescriptor(Bytes& out, std::uint32_t width, std::uint32_t height, std::uint32_t tableBits) {
    PutWord(out, width);
    PutWord(out, height);
    // Global colour table present, 8 bits of colour resolution, not sorted.
    out.push_back(static_cast<std::uint8_t>(0x80 | 0x70 | (tableBits - 1)));
    out.push_back(0);  // background colour index
    out.push_back(0);  // pixel aspect ratio
}

void WriteColorTable(Bytes& out, const IndexedPicture& picture, std::uint32_t tableBits) {
    for (std::uint32_t i = 0; i < (1u << tableBits); ++i) {
        const std::uint32_t c = i < picture.colors.size() ? picture.colors[i] : 0;  // black beyond
        out.insert(out.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                               static_cast<std::uint8_t>(c)});
    }
}

void WriteImageDescriptor(Bytes& out, std::uint32_t width, std::uint32_t height) {
    out.push_back(0x2C);
    PutWord(out, 0);
    PutWord(out, 0);
    PutWord(out, width);
    PutWord(out, height);
    out.push_back(0);  // no local colour table, not interlaced
}

// Rows as `rows` hands them over; false when they are discarded or abandoned.
bool WriteImageData(Bytes& out, std::uint32_t width, std::uint32_t height, std::uint32_t tableBits,
                    RowHandOff& rows) {
    const std::uint32_t minCodeSize = std::max<std::uint32_t>(2, tableBits);
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    CodeTable table;
    if (!table.Allocate())
        return false;
    BitPacker packer(out);
    Compressor compressor(packer, table, minCodeSize);
    compressor.Start();
    const std::uint32_t generation = rows.Generation();
    Renumbering numberOf{};  // under a renumbering, the number of each index
    Bytes numbered;
    // What the rows hold, once known.
    const auto settle = [&](const HandedRow& handed) {
        if (!handed.settled || compressor.settled())
            return true;
        if (handed.renumbering == nullptr) {
            compressor.Settle();
            return true;
        }
        if (!compressor.Renumber(*handed.renumbering))
            return false;
        for (std::uint32_t n = 0; n < MaxColors; ++n)
            numberOf[(*handed.renumbering)[n]] = static_cast<std::uint8_t>(n);
        numbered.resize(width);
        return true;
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        const HandedRow handed = rows.WaitForRow(y, generation);
        if (handed.indices == nullptr || !settle(handed))
            return false;
        const std::uint8_t* row = handed.indices + std::size_t{y} * width;
        if (handed.renumbering != nullptr && y >= handed.renumberedFrom) {
            MapBytes(row, numbered.data(), width, numberOf);
            row = numbered.data();
        }
        compressor.Row(row, width);
    }
    if (!compressor.settled()) {
        const HandedRow handed = rows.WaitUntilSettled(generation);
        if (handed.indices == nullptr || !settle(handed))
            return false;
    }
    compressor.Finish();
    packer.FlushBlock();
    out.push_back(0);  // block terminator
    return true;
}

bool Encodable(const IndexedPicture& picture) {
    return picture.colors.size() <= MaxColors && picture.width <= MaxSide && picture.height <= MaxSide &&
           picture.indices.size() == std::size_t{picture.width} * picture.height;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeGifImageData(std::uint32_t width, std::uint32_t height,
                                                            std::uint32_t colors, RowHandOff& rows) {
    // However this ends, the reduction may then write over any row.
    struct Done {
        RowHandOff& rows;
        ~Done() { rows.EncoderDone(); }
    } done{rows};
    if (colors > MaxColors || width > MaxSide || height > MaxSide)
        return std::nullopt;
    try {
        // Discarded rows come again: start over from the top each time.
        for (;;) {
            const std::uint32_t generation = rows.Generation();
            Bytes out;
            if (WriteImageData(out, width, height, TableBits(colors), rows))
                return out;
            if (rows.abandoned() || rows.Generation() == generation)
                return std::nullopt;
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> AssembleGif(const IndexedPicture& picture, const Bytes& imageData) {
    if (!Encodable(picture))
        return std::nullopt;
    const std::uint32_t tableBits = TableBits(picture.colors.size());
    try {
        static constexpr std::uint8_t Signature[] = {'G', 'I', 'F', '8', '7', 'a'};
        Bytes out;
        out.reserve(6 + 7 + 3 * (std::size_t{1} << tableBits) + 10 + imageData.size() + 1);
        out.insert(out.end(), std::begin(Signature), std::end(Signature));
        WriteScreenDescriptor(out, picture.width, picture.height, tableBits);
        WriteColorTable(out, picture, tableBits);
        WriteImageDescriptor(out, picture.width, picture.height);
        out.insert(out.end(), imageData.begin(), imageData.end());
        out.push_back(0x3B);  // trailer
        return out;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::vector<std::uint8_t>> EncodeGif(const IndexedPicture& picture) {
    if (!Encodable(picture))
        return std::nullopt;
    RowHandOff all;
    all.Publish(picture.indices.data(), picture.height);
    all.Settle();
    const std::optional<Bytes> imageData =
        EncodeGifImageData(picture.width, picture.height, static_cast<std::uint32_t>(picture.colors.size()), all);
    if (!imageData)
        return std::nullopt;
    return AssembleGif(picture, *imageData);
}

}  // namespace exporting
