// Reading a device context's pixels back into an in-memory bitmap file,
// preceded by its length.
#include "export/snapshot.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace exporting {

namespace {

constexpr std::uint32_t LengthFieldSize = 4;
constexpr std::uint32_t FileHeaderSize = 14;
constexpr std::uint32_t InfoHeaderSize = 40;
constexpr std::uint32_t HeaderOffset = LengthFieldSize + FileHeaderSize;  // 18
constexpr int MaxDimension = 32767;
constexpr int MaxColorTable = 256;

void PutU16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void PutU32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

bool ValidDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Restores the memory context's previous bitmap and deletes what was made,
// however the capture ends.
struct CaptureObjects {
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    ~CaptureObjects() {
        if (memory != nullptr && previous != nullptr && previous != HGDI_ERROR)
            SelectObject(memory, previous);
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        if (memory != nullptr)
            DeleteDC(memory);
    }
};

}  // namespace

DibSnapshot CaptureDib(HDC source, int width, int height, int bitsPerPixel, int colorTableSize) {
    DibSnapshot none;
    if (source == nullptr || width <= 0 || height <= 0 || width > MaxDimension || height > MaxDimension)
        return none;
    if (!ValidDepth(bitsPerPixel) || colorTableSize < 0 || colorTableSize > MaxColorTable)
        return none;

    const std::uint64_t stride =
        (std::uint64_t{static_cast<std::uint32_t>(bitsPerPixel)} * static_cast<std::uint32_t>(width) + 31) / 32 * 4;
    const std::uint64_t tableBytes = 4 * std::uint64_t{static_cast<std::uint32_t>(colorTableSize)};
    const std::uint64_t imageBytes = stride * static_cast<std::uint32_t>(height);
    const std::uint64_t imageLength = FileHeaderSize + InfoHeaderSize + tableBytes + imageBytes;
    // The length field, and the whole block with it, must fit 32 bits.
    if (imageLength + LengthFieldSize > std::numeric_limits<std::uint32_t>::max())
        return none;

    DibSnapshot snapshot;
    snapshot.size = static_cast<std::uint32_t>(imageLength + LengthFieldSize);
    snapshot.block.reset(new (std::nothrow) std::uint8_t[snapshot.size]());
    if (!snapshot.block)
        return none;
    std::uint8_t* block = snapshot.block.get();

    // The header and colour table are handed to GetDIBits in aligned storage
    // (offset 18 of the block is not) with room for a full 256-entry table,
    // whatever the caller keeps, and copied into the block afterwards.
    std::array<std::uint32_t, (InfoHeaderSize + 4 * MaxColorTable) / 4> infoStorage{};
    auto* info = reinterpret_cast<BITMAPINFO*>(infoStorage.data());
    info->bmiHeader.biSize = InfoHeaderSize;
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;  // positive: bottom row first
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
    info->bmiHeader.biCompression = BI_RGB;

    std::uint8_t* pixels = block + HeaderOffset + InfoHeaderSize + tableBytes;
    int lines = 0;
    {
        CaptureObjects objects;
        objects.memory = CreateCompatibleDC(source);
        if (objects.memory != nullptr)
            objects.bitmap = CreateCompatibleBitmap(source, width, height);
        if (objects.bitmap != nullptr) {
            objects.previous = SelectObject(objects.memory, objects.bitmap);
            BitBlt(objects.memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
            lines =
                GetDIBits(objects.memory, objects.bitmap, 0, static_cast<UINT>(height), pixels, info, DIB_RGB_COLORS);
        }
    }
    if (lines == 0)
        return none;

    // The pixel rows sit after n colour entries; a colour count that says
    // otherwise would make a reader look for them in the wrong place.
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (colorTableSize > 0 && bitsPerPixel <= 8) {
        const std::uint32_t implied = header.biClrUsed != 0 ? header.biClrUsed : (1u << bitsPerPixel);
        if (implied != static_cast<std::uint32_t>(colorTableSize))
            header.biClrUsed = static_cast<DWORD>(colorTableSize);
    }
    // The fields GetDIBits describes are kept; the ones fixed above are put back.
    header.biSize = InfoHeaderSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    std::memcpy(block + HeaderOffset, info, InfoHeaderSize + tableBytes);

    const std::uint64_t fileSize = std::uint64_t{header.biSizeImage} + InfoHeaderSize + tableBytes + FileHeaderSize;
    PutU32(block, static_cast<std::uint32_t>(imageLength));
    block[4] = 'B';
    block[5] = 'M';
    PutU32(block + 6,
           static_cast<std::uint32_t>(std::min<std::uint64_t>(fileSize, std::numeric_limits<std::uint32_t>::max())));
    PutU16(block + 10, 0);
    PutU16(block + 12, 0);
    PutU32(block + 14, static_cast<std::uint32_t>(FileHeaderSize + InfoHeaderSize + tableBytes));
    return snapshot;
}

DibSnapshot CaptureWindow(HWND window, int bitsPerPixel, int colorTableSize) {
    RECT client{};
    if (window == nullptr || !GetClientRect(window, &client))
        return DibSnapshot{};
    const std::int64_t width = std::int64_t{client.right} - client.left;
    const std::int64_t height = std::int64_t{client.bottom} - client.top;
    if (width <= 0 || height <= 0 || width > MaxDimension || height > MaxDimension)
        return DibSnapshot{};
    HDC dc = GetDC(window);
    if (dc == nullptr)
        return DibSnapshot{};
    DibSnapshot snapshot =
        CaptureDib(dc, static_cast<int>(width), static_cast<int>(height), bitsPerPixel, colorTableSize);
    ReleaseDC(window, dc);
    return snapshot;
}

}  // namespace exporting
