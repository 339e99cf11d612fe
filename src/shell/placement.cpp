// Saving and restoring the main window's placement. The stored record is the
// 44-byte WINDOWPLACEMENT exactly as GetWindowPlacement fills it.
#include "shell/placement.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "platform/saturate.h"

namespace shell {

RECT FitToWorkArea(const RECT& saved, const RECT& work, SIZE least) {
    // One side: the saved length, at least the minimum, at most the work
    // area's (unless that is below the minimum); the start moved so the
    // whole length lies on the work area.
    auto fit = [](std::int64_t start, std::int64_t end, std::int64_t low, std::int64_t high, std::int64_t least) {
        const std::int64_t room = std::max<std::int64_t>(high - low, 0);
        const std::int64_t length = std::min(std::max(end - start, least), std::max(room, least));
        start = std::clamp(start, low, std::max(low, high - length));
        return std::pair{start, start + length};
    };
    const auto [left, right] = fit(saved.left, saved.right, work.left, work.right, least.cx);
    const auto [top, bottom] = fit(saved.top, saved.bottom, work.top, work.bottom, least.cy);
    return RECT{SaturateToInt32(left), SaturateToInt32(top), SaturateToInt32(right), SaturateToInt32(bottom)};
}

int SavePlacement(HWND window, const char* keyPath, const char* valueName) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return 0;
    HKEY key = nullptr;
    if (RegCreateKeyA(HKEY_CURRENT_USER, keyPath, &key) != ERROR_SUCCESS)
        return 0;
    RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement), sizeof placement);
    RegCloseKey(key);
    return 1;
}

namespace {

// The stored record under `root`, when there is a whole one.
bool ReadPlacement(HKEY root, const char* keyPath, const char* valueName, WINDOWPLACEMENT& placement) {
    HKEY key = nullptr;
    if (RegOpenKeyA(root, keyPath, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = REG_NONE;
    DWORD size = sizeof placement;
    const LSTATUS status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&placement), &size);
    RegCloseKey(key);
    // A short value or one of another type would leave part of the record
    // undefined: it counts as no value.
    return status == ERROR_SUCCESS && size == sizeof placement && type == REG_BINARY;
}

RECT WorkArea() {
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

}  // namespace

int RestorePlacement(HWND window, const char* keyPath, const char* valueName) {
    WINDOWPLACEMENT placement{};
    if (!ReadPlacement(HKEY_CURRENT_USER, keyPath, valueName, placement) &&
        !ReadPlacement(HKEY_LOCAL_MACHINE, keyPath, valueName, placement))
        return 0;
    placement.rcNormalPosition = FitToWorkArea(placement.rcNormalPosition, WorkArea());
    SetWindowPlacement(window, &placement);
    return 1;
}

void KeepOnWorkArea(HWND window) {
    RECT now{};
    if (!GetWindowRect(window, &now))
        return;
    const RECT fitted = FitToWorkArea(now, WorkArea(), SIZE{0, 0});
    if (fitted.left != now.left || fitted.top != now.top || fitted.right != now.right || fitted.bottom != now.bottom)
        SetWindowPos(window, nullptr, fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top,
                     SWP_NOZORDER);
}

}  // namespace shell
