// A module's import slots: where the loader put the address of each function that the module imports by name.
// The heap check and the fault injection point some of them at functions of their own.
#pragma once

#include <windows.h>

// Calls visit(name, slot) for each function that `module` imports by name from `dll` (case-insensitive).
template <typename Visit>
void ForEachImportSlot(HMODULE module, const char* dll, Visit&& visit) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_DATA_DIRECTORY& imports = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)
                                              ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* from = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         from->Name != 0; ++from) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + from->Name), dll) != 0 ||
            from->OriginalFirstThunk == 0) {
            continue;
        }
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + from->OriginalFirstThunk);
        auto** slots = reinterpret_cast<void**>(base + from->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                visit(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                      slots);
            }
        }
    }
}

// Points one import slot at `replacement` and returns what it held; null when its page cannot be written.
inline void* PatchSlot(void** slot, void* replacement) {
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
        return nullptr;
    }
    void* original = *slot;
    *slot = replacement;
    (void)VirtualProtect(slot, sizeof(*slot), protection, &protection);
    return original;
}
