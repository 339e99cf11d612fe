// A chart snapshot: a complete uncompressed bitmap file image in memory,
// preceded by its 4-byte length, as read back from a device context.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32.h"

namespace exporting {

// One owned block: offset 0 the image length, offset 4 on a bitmap file.
struct DibSnapshot {
    std::unique_ptr<std::uint8_t[]> block;
    std::uint32_t size = 0;  // bytes in block (image length + 4)
    explicit operator bool() const { return block != nullptr; }
};

DibSnapshot CaptureDib(HDC source, int width, int height, int bitsPerPixel, int colorTableSize);
DibSnapshot CaptureWindow(HWND window, int bitsPerPixel, int colorTableSize);

}  // namespace exporting
