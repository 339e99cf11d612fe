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
};

// A read-only view of a DibSnapshot.
struct DibView {
    const BITMAPINFOHEADER* header = nullptr;
    const std::uint8_t* pixels = nullptr;  // first stored (bottom) row
    std::uint32_t stride = 0;
};
DibView MakeDibView(const DibSnapshot& snapshot);

class GifWriter {
public:
    GifWriter();
    ~GifWriter();

    int Encode(const DibView& view);
    void WriteScreenDescriptor(const DibView& view);
    void WriteColorTable(const DibView& view);
    void WriteImageDescriptor(const DibView& view);
    void WriteImageData(const DibView& view);
    void PutBits(std::uint32_t code, std::uint32_t width);
    void FlushBlock();
    std::uint16_t AddCode(std::uint16_t prefix, std::uint8_t pixel);
    int SaveToFile(const char* fileName);

    // True when the encoding is complete: no byte dropped, tables created.
    bool Complete() const { return complete_; }

    ByteBuffer buffer;
    std::uint8_t block[256]{};
    std::uint32_t blockLength = 0;
    std::uint32_t freeBits = 8;
    std::unique_ptr<std::uint8_t[]> suffixes;
    std::unique_ptr<std::uint16_t[]> prefixes;
    std::unique_ptr<std::uint16_t[]> hashSlots;
    std::uint16_t nextCode = 0;
    std::uint32_t tableSize = 0;

private:
    bool complete_ = true;
};

// Captures the window's client area and writes it as a GIF file; gives the
// snapshot (the caller releases it) or none when the capture failed.
DibSnapshot SaveWindowAsGif(HWND window, const char* fileName, int bitsPerPixel, int colorTableSize);

}  // namespace exporting
