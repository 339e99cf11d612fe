// Saving and restoring the main window's placement. The stored record is the
// 44-byte WINDOWPLACEMENT exactly as GetWindowPlacement fills it.
#include "shell/placement.h"

#include <algorithm>

namespace shell {

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
    RECT& r = placement.rcNormalPosition;
    r.left = std::max(r.left, work.left);
    r.right = std::min(r.right, work.right);
    r.top = std::max(r.top, work.top);
    r.bottom = std::min(r.bottom, work.bottom);
    // A rectangle wholly off the work area is cut to nothing: keep the template's.
    if (r.right <= r.left || r.bottom <= r.top) {
        RegCloseKey(key);
        return 0;
    }
    SetWindowPlacement(window, &placement);
    RegCloseKey(key);
    return 1;
}

}  // namespace shell
