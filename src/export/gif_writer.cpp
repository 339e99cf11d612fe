// GIF87a encoding of a DIB snapshot: screen descriptor, global colour table,
// one image with variable-width LZW codes (at most 12 bits), trailer.
#include "export/gif_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

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

// The LZW pass over every pixel, top row first. The probe sequence and the
// codes are the ones AddCode and a plain lookup would give; the loop only
// keeps its state in locals and tests a slot with one compare.
template <unsigned Bits>
void EncodePixels(GifWriter& writer, const DibView& view, std::uint32_t minCodeSize) {
    const std::uint32_t clearCode = 1u << minCodeSize;
    const std::uint32_t endCode = clearCode + 1;
    // An index beyond the colour table has no code of its own.
    const std::uint32_t pixelMask = clearCode - 1;
    std::uint32_t codeWidth = minCodeSize + 1;
    std::uint32_t largestCode = (1u << codeWidth) - 1;

    writer.ResetCodeTable(minCodeSize);
    writer.PutBits(clearCode, codeWidth);

    std::uint32_t* const keys = writer.slotKeys.get();
    std::uint16_t* const slots = writer.hashSlots.get();
    std::uint8_t* const suffixes = writer.suffixes.get();
    std::uint16_t* const prefixes = writer.prefixes.get();
    std::uint32_t* const lastChild = writer.lastChild.get();
    std::uint32_t nextCode = writer.nextCode;

    const std::uint32_t width = static_cast<std::uint32_t>(view.info.biWidth);
    const std::uint32_t height = static_cast<std::uint32_t>(view.info.biHeight);
    std::uint32_t current = NoString;

    for (std::uint32_t y = 0; y < height; ++y) {
        // The snapshot stores the bottom row first.
        const std::uint8_t* row = view.pixels + static_cast<std::size_t>(height - 1 - y) * view.stride;
        std::uint32_t x = 0;
        if (current == NoString) {
            if (width == 0)
                continue;
            current = PixelAt<Bits>(row, 0) & pixelMask;
            x = 1;
        }
        for (; x < width; ++x) {
            const std::uint32_t pixel = PixelAt<Bits>(row, x) & pixelMask;
            // Most strings go on the way they went last time (runs of one colour).
            const std::uint32_t child = lastChild[current];
            if ((child >> 16) == pixel) {
                current = child & 0xFFFF;
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
                continue;
            }
            writer.PutBits(current, codeWidth);
            std::uint32_t added = GifWriter::NoCode;
            if (nextCode < GifWriter::MaxCodes) {
                keys[slot] = key;
                slots[slot] = static_cast<std::uint16_t>(nextCode);
                suffixes[nextCode] = static_cast<std::uint8_t>(pixel);
                prefixes[nextCode] = static_cast<std::uint16_t>(current);
                lastChild[current] = (pixel << 16) | nextCode;
                lastChild[nextCode] = GifWriter::NoChild;
                added = nextCode++;
            }
            if (added > largestCode) {
                ++codeWidth;
                if (codeWidth > MaxCodeBits) {
                    writer.PutBits(clearCode, MaxCodeBits);
                    writer.ResetCodeTable(minCodeSize);
                    nextCode = writer.nextCode;
                    codeWidth = minCodeSize + 1;
                }
                largestCode = (1u << codeWidth) - 1;
            }
            current = pixel;
        }
    }
    writer.nextCode = static_cast<std::uint16_t>(nextCode);

    if (current != NoString)
        writer.PutBits(current, codeWidth);
    writer.PutBits(endCode, codeWidth);
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
