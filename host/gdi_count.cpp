#include "host/gdi_count.h"

#include <windows.h>

#include <cstdint>

int CountGdiObjects() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) {
        return static_cast<int>(reported);
    }
    int count = 0;
    for (uintptr_t slot = 1; slot < 0x10000; ++slot) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) {
            ++count;
        }
    }
    return count;
}
