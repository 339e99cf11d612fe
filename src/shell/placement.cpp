// Saving and restoring the main window's placement. The stored record is the
// 44-byte WINDOWPLACEMENT exactly as GetWindowPlacement fills it.
#include "shell/placement.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/saturate.h"

namespace shell {

RECT FitToWorkArea(const RECT& saved, const RECT& work) {
    // One side: the saved length, at least the minimum, at most the work
    // area's (unless that is below the minimum); the start moved so the
    // whole length lies on the work area.
    auto fit = [](std::int64_t start, std::int64_t end, std::int64_t low, std::int64_t high, std::int64_t least) {
        const std::int64_t room = std::max<std::int64_t>(high - low, 0);
        const std::int64_t length = std::min(std::max(end - start, least), std::max(room, least));
        start = std::clamp(start, low, std::max(low, high - length));
        return std::pair{start, start + length};
    };
    const auto [left, right] = fit(saved.left, saved.right, work.left, work.right, MinimumPlacementWidth);
    const auto [top, bottom] = fit(saved.top, saved.bottom, work.top, work.bottom, MinimumPlacementHeight);
    return RECT{SaturateToInt32(left), SaturateToInt32(top), SaturateToInt32(right), SaturateToInt32(bottom)};
}

int SavePlacement(HWND window, const char* keyPath, const char* valueName) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return 0;
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, keyPath, &key) != ERROR_SUCCESS)
        return 0;
    RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement), sizeof placement);
    RegCloseKey(key);
    return 1;
}

int RestorePlacement(HWND window, const char* keyPath, const char* valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath, &key) != ERROR_SUCCESS)
        return 0;
    WINDOWPLACEMENT placement{};
    DWORD type = REG_NONE;
    DWORD size = sizeof placement;
    const LSTATUS status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&placement), &size);
    // A short value or one of another type would leave part of the record
    // undefined: it counts as no value.
    if (status != ERROR_SUCCESS || size != sizeof placement || type != REG_BINARY) {
        RegCloseKey(key);
        return 0;
    }
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    placement.rcNormalPosition = FitToWorkArea(placement.rcNormalPosition, work);
    SetWindowPlacement(window, &placement);
    RegCloseKey(key);
    return 1;
}

}  // namespace shell
