// File reading and writing with the system's code-page converters. ISO-2022-JP goes through EUC-JP where
// the system has no converter of its own for it (Wine lacks code page 50220): without that detour such a
// file would read as empty text, and the next save would wipe its entries.
#include "settings/text_file.h"

#include "handles/unique_handle.h"
#include "settings/jis_convert.h"
#include "settings/settings_paths.h"
#include "settings/text_encoding.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <cwchar>
#include <memory>
#include <new>

namespace {

constexpr uint32_t kJisCodePage = 50220;
constexpr uint32_t kEucJpCodePage = 20932;

bool NeedsJisDetour(uint32_t codePage) {
    return codePage == kJisCodePage && !IsValidCodePage(kJisCodePage);
}

// Multi-byte bytes to UTF-16, up to the first zero character; no characters when the conversion fails.
// Throws std::bad_alloc when memory runs out, so that a text cut short is never taken for the file's.
std::wstring Decode(const uint8_t* bytes, int32_t length, uint32_t codePage) {
    ByteBuffer euc;
    if (NeedsJisDetour(codePage)) {
        euc = JisToEucJp(bytes, static_cast<size_t>(length));
        if (euc.size() > INT_MAX) {
            return std::wstring();
        }
        bytes = reinterpret_cast<const uint8_t*>(euc.data());
        length = static_cast<int32_t>(euc.size());
        codePage = kEucJpCodePage;
    }
    const char* source = reinterpret_cast<const char*>(bytes);
    const int count = MultiByteToWideChar(codePage, 0, source, length, nullptr, 0);
    if (count <= 0) {
        return std::wstring();
    }
    std::unique_ptr<wchar_t[]> wide(new wchar_t[static_cast<size_t>(count) + 1]);
    const int converted = MultiByteToWideChar(codePage, 0, source, length, wide.get(), count);
    wide[converted > 0 ? converted : 0] = L'\0';
    return std::wstring(wide.get());
}

// UTF-16 to multi-byte bytes; empty when the conversion fails.
ByteBuffer Encode(const wchar_t* text, int length, uint32_t codePage) {
    const bool detour = NeedsJisDetour(codePage);
    const uint32_t used = detour ? kEucJpCodePage : codePage;
    const int count = WideCharToMultiByte(used, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return ByteBuffer();
    }
    ByteBuffer bytes(static_cast<size_t>(count), '\0');
    const int converted = WideCharToMultiByte(used, 0, text, length, &bytes[0], count, nullptr, nullptr);
    bytes.resize(converted > 0 ? static_cast<size_t>(converted) : 0);
    if (detour) {
        return EucJpToJis(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return bytes;
}

// UTF-16 text from little-endian units, up to the first zero unit and at most `units` of them.
std::wstring Utf16FromLittleEndian(const uint8_t* bytes, size_t units) {
    std::wstring text;
    text.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const wchar_t unit = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

// False when a write fails or stops making progress, as on a full disk.
bool WriteAll(HANDLE file, const char* data, size_t size) {
    constexpr size_t kLargestWrite = 1u << 30;
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(size < kLargestWrite ? size : kLargestWrite);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// A file of ours beside the target, deleted when it goes out of scope unless released.
class SideFile {
  public:
    SideFile() = default;
    ~SideFile() {
        if (!path.empty()) {
            (void)DeleteFileW(path.c_str());
        }
    }
    SideFile(const SideFile&) = delete;
    SideFile& operator=(const SideFile&) = delete;

    // Reserves a new, empty file with a unique name in `folder` (the current one when empty).
    bool Create(const std::wstring& folder) {
        wchar_t name[MAX_PATH];
        if (GetTempFileNameW(folder.empty() ? L"." : folder.c_str(), L"frl", 0, name) == 0) {
            return false;
        }
        path = name;
        return true;
    }
    const wchar_t* get() const { return path.c_str(); }
    // The name is no longer ours to delete: the file was moved away, or must stay.
    void release() { path.clear(); }

  private:
    std::wstring path;
};

// Checks the target as the one writer it must be: false when it is held elsewhere, read-only (which Wine does
// not enforce for root) or otherwise not ours to write. A missing target is fine. *attributes gets the
// target's attributes, INVALID_FILE_ATTRIBUTES when it is missing.
bool MayReplace(const wchar_t* path, DWORD* attributes) {
    *attributes = INVALID_FILE_ATTRIBUTES;
    UniqueFile probe(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) {
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(probe.get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    *attributes = info.dwFileAttributes;
    return true;
}

bool WriteWhole(const wchar_t* path, bool mark, const ByteBuffer& bytes) {
    UniqueFile file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && (!mark || WriteAll(file.get(), "\xEF\xBB\xBF", 3)) &&
           WriteAll(file.get(), bytes.data(), bytes.size()) && FlushFileBuffers(file.get());
}

// Puts the complete new file in the existing target's place. ReplaceFileW keeps the target's security (and on
// Windows its attributes). Given a backup name, every failure of it but ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
// leaves both files under their own names; that one leaves the old content under the backup name. Where the
// file system lacks what ReplaceFileW needs, a rename over the target is all-or-nothing too; it is not tried
// where the target itself refused us.
bool Replace(const wchar_t* path, SideFile& fresh, SideFile& backup) {
    if (ReplaceFileW(path, fresh.get(), backup.get(), 0, nullptr, nullptr)) {
        fresh.release();
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // Back it goes; if it cannot, the old content stays under our name, which beats losing it.
        (void)MoveFileExW(backup.get(), path, MOVEFILE_WRITE_THROUGH);
        backup.release();
        return false;
    }
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
        !MoveFileExW(fresh.get(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    fresh.release();
    return true;
}

// Writes a complete new file beside the target and only then puts it in the target's place, so that a save
// that cannot finish (a full disk) leaves the old file as it was. Nothing of ours stays in the folder.
bool SaveBytes(const wchar_t* path, const std::wstring& folder, bool mark, const ByteBuffer& bytes) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (!MayReplace(path, &attributes)) {
        return false;
    }
    SideFile fresh;
    if (!fresh.Create(folder) || !WriteWhole(fresh.get(), mark, bytes)) {
        return false;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Not over a target that appeared meanwhile: that one is someone else's.
        if (!MoveFileExW(fresh.get(), path, MOVEFILE_WRITE_THROUGH)) {
            return false;
        }
        fresh.release();
        return true;
    }
    // Wine's ReplaceFileW (two renames) and a plain rename leave the new file's attributes: it takes the
    // target's.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((attributes & kKept) != 0) {
        (void)SetFileAttributesW(fresh.get(), attributes & kKept);
    }
    SideFile backup;
    return backup.Create(folder) && Replace(path, fresh, backup);
}

bool ReadWhole(const wchar_t* path, std::wstring& text, int32_t* code) {
    if (!IsExistingFile(path)) {
        return false;
    }
    UniqueFile file(
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > INT_MAX) {
        return false;
    }
    // Two zero bytes after the data end every UTF-16 text and pair an odd last byte.
    const size_t capacity = static_cast<size_t>(size.QuadPart) + 2;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[capacity]);
    if (!buffer) {
        return false;
    }
    DWORD read = 0;
    (void)ReadFile(file.get(), buffer.get(), static_cast<DWORD>(size.QuadPart), &read, nullptr);
    file.reset();
    int32_t length = static_cast<int32_t>(read);
    buffer[length] = 0;
    buffer[length + 1] = 0;

    int32_t detected = DetectTextEncoding(buffer.get(), length);
    if (code != nullptr) {
        *code = detected;
    }
    if (detected == NotText) {
        return false;
    }
    const uint32_t codePage = CodePageForEncoding(detected);
    int32_t skip = 0;
    if (detected == Utf16Le || detected == Utf16Be) {
        detected = Utf16Le;
        if (length >= 2 && buffer[0] == 0xFE && buffer[1] == 0xFF) {
            detected = Utf16Be;
            SwapByteOrder16(buffer.get() + 2, length - 2);
            skip = 2;
        } else if (length >= 2 && buffer[0] == 0xFF && buffer[1] == 0xFE) {
            skip = 2;
        }
    } else if (detected == Utf8 || detected == Utf8Bom) {
        detected = Utf8;
        if (length >= 3 && buffer[0] == 0xEF && buffer[1] == 0xBB && buffer[2] == 0xBF) {
            detected = Utf8Bom;
            skip = 3;
        }
    }
    length -= skip;
    if (code != nullptr) {
        *code = detected;
    }
    if (detected == Utf16Le || detected == Utf16Be) {
        // An odd last byte pairs with the first appended zero into one more unit.
        text = Utf16FromLittleEndian(buffer.get() + skip, (static_cast<size_t>(length) + 1) / 2);
    } else {
        text = Decode(buffer.get() + skip, length, codePage);
    }
    return true;
}

}  // namespace

bool ReadTextFile(const wchar_t* path, std::wstring& text, int32_t* code) {
    const int32_t preset = code != nullptr ? *code : 0;
    try {
        return ReadWhole(path, text, code);
    } catch (const std::bad_alloc&) {
        // As for a file that could not be read at all: the caller must not take a part for the whole.
        if (code != nullptr) {
            *code = preset;
        }
        return false;
    }
}

bool WriteTextFile(const wchar_t* path, const wchar_t* text, int32_t code) {
    return WriteTextFileAs(path, text, code, CodePageForEncoding(code));
}

bool WriteTextFileAs(const wchar_t* path, const wchar_t* text, int32_t code, uint32_t codePage) {
    try {
        const size_t length = std::wcslen(text);
        if (length > INT_MAX / 2 - 1) {
            return false;
        }
        ByteBuffer bytes;
        if (code == Utf16Le || code == Utf16Be) {
            bytes.resize(2 * length + 2);
            bytes[0] = static_cast<char>(0xFF);
            bytes[1] = static_cast<char>(0xFE);
            for (size_t i = 0; i < length; ++i) {
                const uint16_t unit = static_cast<uint16_t>(text[i]);
                bytes[2 + 2 * i] = static_cast<char>(unit & 0xFF);
                bytes[3 + 2 * i] = static_cast<char>(unit >> 8);
            }
            if (code == Utf16Be) {
                SwapByteOrder16(reinterpret_cast<uint8_t*>(&bytes[0]), static_cast<int32_t>(bytes.size()));
            }
        } else {
            bytes = Encode(text, static_cast<int>(length), codePage);
            if (length != 0 && bytes.empty()) {
                return false;
            }
        }

        const std::wstring folder = DirectoryOf(path);
        if (!folder.empty() && (!PathFileExistsW(folder.c_str()) || !PathIsDirectoryW(folder.c_str()))) {
            (void)SHCreateDirectory(nullptr, folder.c_str());
        }
        return SaveBytes(path, folder, code == Utf8Bom, bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
}
