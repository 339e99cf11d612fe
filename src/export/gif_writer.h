// The program's own GIF87a encoder: a DIB snapshot in, a complete
// single-image GIF file out, built in memory and written in one piece.
#pragma once

#include <cstdint>
#include <memory>

#include "export/snapshot.h"
#include "platform/win32.h"

namespace exporting {

// Growable byte storage; bytes between length and capacity are always zero.
struct ByteBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::uint32_t length = 0;
    std::uint32_t capacity = 0;
    bool failed = false;  // set when a byte had to be dropped

    bool Resize(std::uint32_t newLength);
    void Append(std::uint8_t byte);
    void Append(const std::uint8_t* bytes, std::uint32_t count);
};

// A read-only view of a DibSnapshot. MakeDibView only builds it (header not
// null) when every byte it points at lies inside the snapshot's block.
struct DibView {
    // The bitmap information header as stored (offset 18 of the block, so
    // only 2-byte aligned: read it through `info`).
    const std::uint8_t* header = nullptr;
    const std::uint8_t* pixels = nullptr;  // first stored (bottom) row
    std::uint32_t stride = 0;

    BITMAPINFOHEADER info{};               // a copy of the header
    const std::uint8_t* colors = nullptr;  // colour table: blue, green, red, 0 per entry
    std::uint32_t colorCount = 0;          // colours used, or 2^bits when that field is 0
};
DibView MakeDibView(const DibSnapshot& snapshot);

class GifWriter {
public:
    GifWriter();
    ~GifWriter();
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    int Encode(const DibView& view);
    void WriteScreenDescriptor(const DibView& view);
    void WriteColorTable(const DibView& view);
    void WriteImageDescriptor(const DibView& view);
    void WriteImageData(const DibView& view);
    void PutBits(std::uint32_t code, std::uint32_t width);
    void FlushBlock();
    std::uint16_t AddCode(std::uint16_t prefix, std::uint32_t pixel);
    // Writes the buffer to a temporary file beside fileName and renames it
    // into place; 0 (and no file touched) when anything fails or the
    // encoding is not complete.
    int SaveToFile(const char* fileName);

    // True when the encoding is complete: no byte dropped, tables created.
    bool Complete() const { return complete_ && !buffer.failed; }

    static constexpr std::uint32_t HashSize = 9973;
    static constexpr std::uint32_t HashStep = 2039;
    static constexpr std::uint32_t MaxCodes = 4096;
    static constexpr std::uint16_t NoCode = 0xFFFF;

    ByteBuffer buffer;
    std::uint8_t block[256]{};
    std::uint32_t blockLength = 0;
    std::uint32_t freeBits = 8;
    std::unique_ptr<std::uint8_t[]> suffixes;
    std::unique_ptr<std::uint16_t[]> prefixes;
    std::unique_ptr<std::uint16_t[]> hashSlots;
    // Beside each slot of hashSlots, the (prefix << 8 | pixel) it holds, so a
    // probe is one load and one compare: EmptyKey for a free slot, ReservedKey
    // for the single-pixel codes, which no lookup may find.
    std::unique_ptr<std::uint32_t[]> slotKeys;
    // For each code, the (pixel << 16 | code) it was last extended to, or
    // NoChild: a memo of one hash entry that spares most probes in runs.
    std::unique_ptr<std::uint32_t[]> lastChild;
    std::uint16_t nextCode = 0;
    std::uint32_t tableSize = 0;

    static constexpr std::uint32_t EmptyKey = 0xFFFFFFFF;
    static constexpr std::uint32_t ReservedKey = 0xFFFFFFFE;
    static constexpr std::uint32_t NoChild = 0xFFFFFFFF;

    // Empties the code table and takes the codes 0 .. 2^m + 1.
    void ResetCodeTable(std::uint32_t minCodeSize);

private:
    bool complete_ = true;
};

// Captures the window's client area and writes it as a GIF file; gives the
// snapshot (the caller releases it) or none when the capture failed.
DibSnapshot SaveWindowAsGif(HWND window, const char* fileName, int bitsPerPixel, int colorTableSize);

}  // namespace exporting
