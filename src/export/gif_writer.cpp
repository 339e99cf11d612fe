// GIF87a encoding of a DIB snapshot: screen descriptor, global colour table,
// one image with variable-width LZW codes (at most 12 bits), trailer.
#include "export/gif_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "export/temp_file.h"

namespace exporting {

namespace {

constexpr std::uint32_t MaxCodeBits = 12;
constexpr std::uint32_t SubBlockSize = 255;
constexpr std::uint32_t NoString = 0xFFFFFFFF;
constexpr std::uint32_t SnapshotHeaderOffset = 18;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t MaxColors = 256;

// The smallest b >= 1 with 2^b >= colours.
std::uint32_t TableBits(std::uint64_t colors) {
    std::uint32_t bits = 1;
    while (bits < 63 && (std::uint64_t{1} << bits) < colors)
        ++bits;
    return bits;
}

void AppendWord(ByteBuffer& buffer, std::uint32_t value) {
    buffer.Append(static_cast<std::uint8_t>(value & 0xFF));
    buffer.Append(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

template <unsigned Bits>
inline std::uint32_t PixelAt(const std::uint8_t* row, std::uint32_t x) {
    if constexpr (Bits == 8) {
        return row[x];
    } else if constexpr (Bits == 4) {
        // The even pixel sits in the high half of its byte.
        return (row[x >> 1] >> ((~x & 1u) << 2)) & 0x0Fu;
    } else {
        return 0;
    }
}

// Packs codes least significant bit first into the writer's sub-blocks. The
// pending bits stay in a register; whole bytes go to the block, and a full
// block of 255 bytes goes out when the next byte needs room, as PutBits does.
// Sync leaves the writer exactly as the same codes through PutBits would.
class CodePacker {
public:
    explicit CodePacker(GifWriter& writer) : writer_(writer) {
        if (writer_.freeBits < 8 && writer_.blockLength < sizeof writer_.block) {
            // A partly filled byte: its bits go first.
            pending_ = writer_.block[writer_.blockLength];
            pendingBits_ = 8 - writer_.freeBits;
            writer_.block[writer_.blockLength] = 0;
            writer_.freeBits = 8;
        }
    }
    void Put(std::uint32_t code, std::uint32_t width) {
        pending_ |= std::uint64_t{code & ((1u << width) - 1)} << pendingBits_;
        pendingBits_ += width;
        while (pendingBits_ >= 8) {
            Byte(static_cast<std::uint8_t>(pending_));
            pending_ >>= 8;
            pendingBits_ -= 8;
        }
    }
    void Sync() {
        if (pendingBits_ == 0)
            return;
        if (writer_.blockLength >= SubBlockSize)
            Emit();
        writer_.block[writer_.blockLength] = static_cast<std::uint8_t>(pending_);
        writer_.freeBits = 8 - pendingBits_;
        pending_ = 0;
        pendingBits_ = 0;
    }

private:
    void Byte(std::uint8_t byte) {
        if (writer_.blockLength >= SubBlockSize)
            Emit();
        writer_.block[writer_.blockLength++] = byte;
        writer_.block[writer_.blockLength] = 0;
    }
    void Emit() {
        writer_.buffer.Append(static_cast<std::uint8_t>(SubBlockSize));
        writer_.buffer.Append(writer_.block, SubBlockSize);
        writer_.blockLength = 0;
        writer_.block[0] = 0;
    }

    GifWriter& writer_;
    std::uint64_t pending_ = 0;
    std::uint32_t pendingBits_ = 0;
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
    std::array<std::vector<std::uint16_t>, 256> longer_;
    std::array<bool, 256> used_{};
};

// Length of the run of `pixel` at x, at most `limit` pixels.
template <unsigned Bits>
inline std::uint32_t RunLength(const std::uint8_t* row, std::uint32_t x, std::uint32_t width, std::uint32_t pixel,
                               std::uint32_t pixelMask, std::uint32_t limit) {
    const std::uint32_t end = x + std::min(limit, width - x);
    std::uint32_t at = x;
    if constexpr (Bits == 8) {
        if (pixelMask == 0xFF) {
            // Eight pixels at a time; the first that differs ends the run.
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
    }
    while (at < end && (PixelAt<Bits>(row, at) & pixelMask) == pixel)
        ++at;
    return at - x;
}

// The LZW pass over every pixel, top row first. The codes are those of the
// plain greedy algorithm with its probe sequence; the loop keeps its state in
// locals, tests a slot with one compare, and crosses runs of one colour
// through RunStrings while the current string is such a run.
template <unsigned Bits>
void EncodePixels(GifWriter& writer, const DibView& view, std::uint32_t minCodeSize) {
    const std::uint32_t clearCode = 1u << minCodeSize;
    const std::uint32_t endCode = clearCode + 1;
    // An index beyond the colour table has no code of its own.
    const std::uint32_t pixelMask = clearCode - 1;
    std::uint32_t codeWidth = minCodeSize + 1;
    std::uint32_t largestCode = (1u << codeWidth) - 1;

    CodePacker packer(writer);
    writer.ResetCodeTable(minCodeSize);
    packer.Put(clearCode, codeWidth);
    RunStrings runs;
    runs.Reset();

    std::uint32_t* const keys = writer.slotKeys.get();
    std::uint16_t* const slots = writer.hashSlots.get();
    std::uint8_t* const suffixes = writer.suffixes.get();
    std::uint16_t* const prefixes = writer.prefixes.get();
    std::uint32_t* const lastChild = writer.lastChild.get();
    std::uint32_t nextCode = writer.nextCode;

    const std::uint32_t width = static_cast<std::uint32_t>(view.info.biWidth);
    const std::uint32_t height = static_cast<std::uint32_t>(view.info.biHeight);
    std::uint32_t current = NoString;
    // While the current string is `runLength` times `runPixel`; 0 otherwise.
    std::uint32_t runPixel = 0;
    std::uint32_t runLength = 0;

    for (std::uint32_t y = 0; y < height; ++y) {
        // The snapshot stores the bottom row first.
        const std::uint8_t* row = view.pixels + static_cast<std::size_t>(height - 1 - y) * view.stride;
        std::uint32_t x = 0;
        if (current == NoString) {
            if (width == 0)
                continue;
            current = PixelAt<Bits>(row, 0) & pixelMask;
            runPixel = current;
            runLength = 1;
            x = 1;
        }
        while (x < width) {
            const std::uint32_t pixel = PixelAt<Bits>(row, x) & pixelMask;
            if (runLength != 0 && pixel == runPixel) {
                const std::uint32_t room = runs.Longest(pixel) - runLength;
                if (room != 0) {
                    const std::uint32_t step = RunLength<Bits>(row, x, width, pixel, pixelMask, room);
                    runLength += step;
                    current = runs.Code(pixel, runLength);
                    x += step;
                    continue;
                }
                // The table has no longer run: the code goes out below.
            } else {
                // Most strings go on the way they went last time.
                const std::uint32_t child = lastChild[current];
                if ((child >> 16) == pixel) {
                    current = child & 0xFFFF;
                    runLength = 0;
                    ++x;
                    continue;
                }
                const std::uint32_t key = (current << 8) | pixel;
                std::uint32_t slot = ((pixel << 8) ^ current) % GifWriter::HashSize;
                std::uint32_t found;
                for (;;) {
                    found = keys[slot];
                    if (found == key || found == GifWriter::EmptyKey)
                        break;
                    slot += GifWriter::HashStep;
                    if (slot >= GifWriter::HashSize)
                        slot -= GifWriter::HashSize;
                }
                if (found == key) {
                    const std::uint32_t code = slots[slot];
                    lastChild[current] = (pixel << 16) | code;
                    current = code;
                    runLength = 0;
                    ++x;
                    continue;
                }
            }
            packer.Put(current, codeWidth);
            std::uint32_t added = GifWriter::NoCode;
            if (nextCode < GifWriter::MaxCodes) {
                const std::uint32_t key = (current << 8) | pixel;
                std::uint32_t slot = ((pixel << 8) ^ current) % GifWriter::HashSize;
                while (keys[slot] != GifWriter::EmptyKey) {
                    slot += GifWriter::HashStep;
                    if (slot >= GifWriter::HashSize)
                        slot -= GifWriter::HashSize;
                }
                keys[slot] = key;
                slots[slot] = static_cast<std::uint16_t>(nextCode);
                suffixes[nextCode] = static_cast<std::uint8_t>(pixel);
                prefixes[nextCode] = static_cast<std::uint16_t>(current);
                lastChild[current] = (pixel << 16) | nextCode;
                lastChild[nextCode] = GifWriter::NoChild;
                if (runLength != 0 && pixel == runPixel)
                    runs.Extend(pixel, nextCode);
                added = nextCode++;
            }
            if (added > largestCode) {
                ++codeWidth;
                if (codeWidth > MaxCodeBits) {
                    packer.Put(clearCode, MaxCodeBits);
                    writer.ResetCodeTable(minCodeSize);
                    runs.Reset();
                    nextCode = writer.nextCode;
                    codeWidth = minCodeSize + 1;
                }
                largestCode = (1u << codeWidth) - 1;
            }
            current = pixel;
            runPixel = pixel;
            runLength = 1;
            ++x;
        }
    }
    writer.nextCode = static_cast<std::uint16_t>(nextCode);

    if (current != NoString)
        packer.Put(current, codeWidth);
    packer.Put(endCode, codeWidth);
    packer.Sync();
}

}  // namespace

// ------------------------------------------------------------------ ByteBuffer

bool ByteBuffer::Resize(std::uint32_t newLength) {
    if (newLength <= capacity) {
        // Keep the bytes past the length zero when shrinking.
        if (newLength < length)
            std::memset(data.get() + newLength, 0, length - newLength);
        length = newLength;
        return true;
    }
    // Grow geometrically, so that appending n bytes copies O(n) bytes in all.
    constexpr std::uint64_t MinimumCapacity = 1024;
    const std::uint64_t wanted = std::max({std::uint64_t{newLength}, std::uint64_t{capacity} * 2, MinimumCapacity});
    const std::uint32_t newCapacity =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, std::numeric_limits<std::uint32_t>::max()));
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[newCapacity]);
    if (!grown)
        return false;
    if (length > 0)
        std::memcpy(grown.get(), data.get(), length);
    std::memset(grown.get() + length, 0, newCapacity - length);
    data = std::move(grown);
    capacity = newCapacity;
    length = newLength;
    return true;
}

void ByteBuffer::Append(std::uint8_t byte) {
    if (length < capacity) {
        data[length++] = byte;
        return;
    }
    const std::uint32_t oldLength = length;
    if (oldLength == std::numeric_limits<std::uint32_t>::max() || !Resize(oldLength + 1)) {
        failed = true;
        return;
    }
    data[oldLength] = byte;
}

void ByteBuffer::Append(const std::uint8_t* bytes, std::uint32_t count) {
    if (count == 0)
        return;
    const std::uint32_t oldLength = length;
    if (count > std::numeric_limits<std::uint32_t>::max() - oldLength || !Resize(oldLength + count)) {
        failed = true;
        return;
    }
    std::memcpy(data.get() + oldLength, bytes, count);
}

// --------------------------------------------------------------------- DibView

DibView MakeDibView(const DibSnapshot& snapshot) {
    DibView view;
    const std::uint64_t size = snapshot.size;
    if (!snapshot.block || size < SnapshotHeaderOffset + InfoHeaderSize)
        return view;
    const std::uint8_t* header = snapshot.block.get() + SnapshotHeaderOffset;
    BITMAPINFOHEADER info;
    std::memcpy(&info, header, sizeof info);

    // Anything a GIF cannot hold, or a header that points past the block,
    // gives no view: the caller then writes no file.
    if (info.biSize < InfoHeaderSize)
        return view;
    if (info.biWidth < 0 || info.biHeight < 0 || info.biWidth > 0xFFFF || info.biHeight > 0xFFFF)
        return view;
    if (info.biBitCount == 0 || info.biBitCount > 32)
        return view;
    const std::uint64_t colors =
        info.biClrUsed != 0 ? std::uint64_t{info.biClrUsed} : (std::uint64_t{1} << info.biBitCount);
    if (colors > MaxColors)
        return view;
    const std::uint64_t stride =
        (std::uint64_t{info.biBitCount} * static_cast<std::uint64_t>(info.biWidth) + 31) / 32 * 4;
    const std::uint64_t tableEnd = SnapshotHeaderOffset + InfoHeaderSize + 4 * colors;
    const std::uint64_t pixelStart = SnapshotHeaderOffset + std::uint64_t{info.biSize} + 4 * colors;
    const std::uint64_t pixelEnd = pixelStart + stride * static_cast<std::uint64_t>(info.biHeight);
    if (tableEnd > size || pixelEnd > size)
        return view;

    view.header = header;
    view.info = info;
    view.colors = header + InfoHeaderSize;
    view.colorCount = static_cast<std::uint32_t>(colors);
    view.pixels = snapshot.block.get() + pixelStart;
    view.stride = static_cast<std::uint32_t>(stride);
    return view;
}

// ------------------------------------------------------------------- GifWriter

GifWriter::GifWriter() = default;
GifWriter::~GifWriter() = default;

int GifWriter::Encode(const DibView& view) {
    if (view.header == nullptr) {
        complete_ = false;
        return 0;
    }
    static constexpr std::uint8_t Signature[] = {'G', 'I', 'F', '8', '7', 'a'};
    buffer.Append(Signature, sizeof Signature);
    WriteScreenDescriptor(view);
    WriteColorTable(view);
    WriteImageDescriptor(view);
    WriteImageData(view);
    buffer.Append(0x3B);
    return 1;
}

void GifWriter::WriteScreenDescriptor(const DibView& view) {
    const std::uint32_t bits = TableBits(view.colorCount);
    tableSize = 1u << bits;
    AppendWord(buffer, static_cast<std::uint32_t>(view.info.biWidth));
    AppendWord(buffer, static_cast<std::uint32_t>(view.info.biHeight));
    // Global colour table present, 8 bits of colour resolution, not sorted.
    buffer.Append(static_cast<std::uint8_t>(0x80 | 0x70 | (bits - 1)));
    buffer.Append(0);  // background colour index
    buffer.Append(0);  // pixel aspect ratio
}

void GifWriter::WriteColorTable(const DibView& view) {
    std::uint32_t i = 0;
    for (; i < view.colorCount; ++i) {
        const std::uint8_t* entry = view.colors + 4 * i;
        const std::uint8_t rgb[3] = {entry[2], entry[1], entry[0]};
        buffer.Append(rgb, 3);
    }
    for (; i < tableSize; ++i) {
        static constexpr std::uint8_t Black[3] = {0, 0, 0};
        buffer.Append(Black, 3);
    }
}

void GifWriter::WriteImageDescriptor(const DibView& view) {
    buffer.Append(0x2C);
    AppendWord(buffer, 0);
    AppendWord(buffer, 0);
    AppendWord(buffer, static_cast<std::uint32_t>(view.info.biWidth));
    AppendWord(buffer, static_cast<std::uint32_t>(view.info.biHeight));
    buffer.Append(0);  // no local colour table, not interlaced
}

void GifWriter::WriteImageData(const DibView& view) {
    const std::uint32_t minCodeSize = std::max<std::uint32_t>(2, TableBits(tableSize));
    buffer.Append(static_cast<std::uint8_t>(minCodeSize));
    blockLength = 0;
    block[0] = 0;
    freeBits = 8;
    if (view.header == nullptr || minCodeSize > 8) {
        complete_ = false;
        return;
    }

    suffixes.reset(new (std::nothrow) std::uint8_t[MaxCodes]);
    prefixes.reset(new (std::nothrow) std::uint16_t[MaxCodes]);
    hashSlots.reset(new (std::nothrow) std::uint16_t[HashSize]);
    slotKeys.reset(new (std::nothrow) std::uint32_t[HashSize]);
    lastChild.reset(new (std::nothrow) std::uint32_t[MaxCodes]);
    if (suffixes && prefixes && hashSlots && slotKeys && lastChild) {
        switch (view.info.biBitCount) {
            case 8:
                EncodePixels<8>(*this, view, minCodeSize);
                break;
            case 4:
                EncodePixels<4>(*this, view, minCodeSize);
                break;
            default:
                EncodePixels<0>(*this, view, minCodeSize);
                break;
        }
        FlushBlock();
        buffer.Append(0);  // block terminator
    } else {
        // Without its tables the image cannot be written; the file would be unreadable.
        complete_ = false;
    }
    suffixes.reset();
    prefixes.reset();
    hashSlots.reset();
    slotKeys.reset();
    lastChild.reset();
}

void GifWriter::ResetCodeTable(std::uint32_t minCodeSize) {
    nextCode = 0;
    if (!hashSlots || !slotKeys)
        return;
    std::fill_n(hashSlots.get(), HashSize, NoCode);
    std::fill_n(slotKeys.get(), HashSize, EmptyKey);
    const std::uint32_t reserved = (1u << minCodeSize) + 1;
    for (std::uint32_t i = 0; i <= reserved; ++i)
        AddCode(NoCode, i);
    // Later codes forget their child when they are made again.
    if (lastChild)
        std::fill_n(lastChild.get(), reserved + 1, NoChild);
}

std::uint16_t GifWriter::AddCode(std::uint16_t prefix, std::uint32_t pixel) {
    if (nextCode >= MaxCodes || !suffixes || !prefixes || !hashSlots || !slotKeys)
        return NoCode;
    std::uint32_t slot = ((pixel * 256) ^ prefix) % HashSize;
    while (hashSlots[slot] != NoCode) {
        slot += HashStep;
        if (slot >= HashSize)
            slot -= HashSize;
    }
    hashSlots[slot] = nextCode;
    slotKeys[slot] = prefix < MaxCodes ? (std::uint32_t{prefix} << 8) | (pixel & 0xFF) : ReservedKey;
    suffixes[nextCode] = static_cast<std::uint8_t>(pixel & 0xFF);
    prefixes[nextCode] = prefix;
    return nextCode++;
}

void GifWriter::PutBits(std::uint32_t code, std::uint32_t width) {
    width = std::min<std::uint32_t>(width, 32);
    std::uint64_t bits = code;
    for (;;) {
        if ((blockLength == SubBlockSize - 1 && freeBits == 0) || blockLength > SubBlockSize - 1) {
            buffer.Append(static_cast<std::uint8_t>(SubBlockSize));
            buffer.Append(block, SubBlockSize);
            blockLength = 0;
            block[0] = 0;
            freeBits = 8;
        }
        const std::uint32_t shift = 8 - freeBits;
        if (width > freeBits) {
            block[blockLength] |= static_cast<std::uint8_t>((bits & ((1u << freeBits) - 1)) << shift);
            bits >>= freeBits;
            width -= freeBits;
            ++blockLength;
            block[blockLength] = 0;
            freeBits = 8;
        } else {
            block[blockLength] |= static_cast<std::uint8_t>((bits & ((std::uint64_t{1} << width) - 1)) << shift);
            freeBits -= width;
            return;
        }
    }
}

void GifWriter::FlushBlock() {
    if (blockLength > SubBlockSize - 1)
        PutBits(0, 0);  // emits the full block first
    const std::uint32_t pending = blockLength + (freeBits != 8 ? 1 : 0);
    if (pending == 0)
        return;
    buffer.Append(static_cast<std::uint8_t>(pending));
    buffer.Append(block, pending);
    blockLength = 0;
    block[0] = 0;
    freeBits = 8;
}

int GifWriter::SaveToFile(const char* fileName) {
    // A partial encoding would make an unreadable picture; keep what is there.
    if (fileName == nullptr || !Complete() || buffer.length == 0)
        return 0;
    TempFile temp = CreateTempBeside(fileName);
    if (temp.fd < 0)
        return 0;
    if (!WriteAll(temp.fd, buffer.data.get(), buffer.length)) {
        DiscardTemp(temp);
        return 0;
    }
    return CommitTemp(temp, fileName) ? 1 : 0;
}

// ------------------------------------------------------------- SaveWindowAsGif

DibSnapshot SaveWindowAsGif(HWND window, const char* fileName, int bitsPerPixel, int colorTableSize) {
    DibSnapshot snapshot = CaptureWindow(window, bitsPerPixel, colorTableSize);
    if (!snapshot)
        return snapshot;
    const DibView view = MakeDibView(snapshot);
    GifWriter writer;
    if (writer.Encode(view) != 0)
        writer.SaveToFile(fileName);
    return snapshot;
}

}  // namespace exporting
