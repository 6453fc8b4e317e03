// File reading and writing with the system's code-page converters; a file whose code page the system lacks
// (Wine has no ISO-2022-JP) reads as unreadable, so that it is kept.
#include "settings/text_file.h"

#include "base/unique_handle.h"
#include "settings/settings_paths.h"
#include "settings/text_encoding.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <cwchar>
#include <utility>

namespace {

using ByteBuffer = Array<char>;

// Replaces `out` with multi-byte bytes converted to UTF-16, up to the first zero character. False when memory
// runs out and when bytes convert to no text (a code page the system lacks): a save must not take that for
// the file's content.
bool Decode(const uint8_t* bytes, int32_t length, uint32_t codePage, WideString& out) {
    if (length == 0) {
        out.Clear();
        return true;
    }
    const char* source = reinterpret_cast<const char*>(bytes);
    const int count = MultiByteToWideChar(codePage, 0, source, length, nullptr, 0);
    Array<wchar_t> wide;
    if (count <= 0 || !wide.Resize(static_cast<size_t>(count) + 1)) {
        return false;
    }
    const int converted = MultiByteToWideChar(codePage, 0, source, length, wide.data(), count);
    if (converted <= 0) {
        return false;
    }
    wide[converted] = L'\0';
    return out.Assign(wide.data());
}

// Appends UTF-16 text converted to multi-byte bytes to `out`; nothing when the conversion fails. False, with
// `out` as it was, when memory runs out.
bool Encode(const wchar_t* text, int length, uint32_t codePage, ByteBuffer& out) {
    const int count = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return true;
    }
    const size_t start = out.size();
    if (!out.Resize(start + static_cast<size_t>(count))) {
        return false;
    }
    const int converted =
        WideCharToMultiByte(codePage, 0, text, length, out.data() + start, count, nullptr, nullptr);
    out.Truncate(start + (converted > 0 ? static_cast<size_t>(converted) : 0));
    return true;
}

// Replaces `out` with UTF-16 text from little-endian units, up to the first zero unit and at most `units` of
// them. False, with `out` untouched, when memory runs out.
bool Utf16FromLittleEndian(const uint8_t* bytes, size_t units, WideString& out) {
    WideString text;
    for (size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit == 0) {
            break;
        }
        if (!text.Append(std::wstring_view(&unit, 1))) {
            return false;
        }
    }
    out.Swap(text);
    return true;
}

// Replaces `bytes` with the file's content for `text` in encoding `code`. False when memory runs out and when
// a non-empty text converts to no bytes.
bool FileBytes(const wchar_t* text, int32_t code, ByteBuffer& bytes) {
    const size_t length = std::wcslen(text);
    if (length > INT_MAX / 2 - 1) {
        return false;
    }
    bytes.Clear();
    if (code == Utf16Le || code == Utf16Be) {
        if (!bytes.Resize(2 * length + 2)) {
            return false;
        }
        bytes[0] = static_cast<char>(0xFF);
        bytes[1] = static_cast<char>(0xFE);
        for (size_t i = 0; i < length; ++i) {
            const uint16_t unit = static_cast<uint16_t>(text[i]);
            bytes[2 + 2 * i] = static_cast<char>(unit & 0xFF);
            bytes[3 + 2 * i] = static_cast<char>(unit >> 8);
        }
        if (code == Utf16Be) {
            SwapByteOrder16(reinterpret_cast<uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
        }
        return true;
    }
    if (code == Utf8Bom && !bytes.Append("\xEF\xBB\xBF", 3)) {
        return false;
    }
    const size_t mark = bytes.size();
    return Encode(text, static_cast<int>(length), CodePageForEncoding(code), bytes) &&
           (length == 0 || bytes.size() != mark);
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

bool SeekTo(HANDLE file, uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

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

// Overwrites the existing target itself, for a folder in which no new file can be made. What lies beyond the
// old end is written first, so that a full disk refuses it before any old byte changes.
bool WriteInPlace(const wchar_t* path, const ByteBuffer& content) {
    UniqueFile file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        return false;
    }
    const auto oldSize = static_cast<uint64_t>(size.QuadPart);
    const uint64_t newSize = content.size();
    if (newSize > oldSize) {
        if (!SeekTo(file.get(), oldSize) ||
            !WriteAll(file.get(), content.data() + oldSize, static_cast<size_t>(newSize - oldSize))) {
            (void)SeekTo(file.get(), oldSize);
            (void)SetEndOfFile(file.get());
            return false;
        }
    }
    const size_t overwritten = static_cast<size_t>(newSize < oldSize ? newSize : oldSize);
    return SeekTo(file.get(), 0) && WriteAll(file.get(), content.data(), overwritten) &&
           SeekTo(file.get(), newSize) && SetEndOfFile(file.get()) && FlushFileBuffers(file.get());
}

// One rename puts the complete side file over the target, whose name is thus never missing. The lock, taken
// before the target is looked at, keeps two saves apart; the system deletes it, also when the process ends.
bool SaveBytes(const wchar_t* path, const ByteBuffer& content) {
    WideString lockName;
    WideString sideName;
    if (!lockName.AppendAll({path, L".lock"}) || !sideName.AppendAll({path, L".tmp"})) {
        return false;
    }
    UniqueFile lock(CreateFileW(lockName.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    // A lock held elsewhere is a save under way there: this one gives way.
    if ((!lock && GetLastError() == ERROR_SHARING_VIOLATION) || !MayReplace(path, &attributes)) {
        return false;
    }
    const bool targetExists = attributes != INVALID_FILE_ATTRIBUTES;
    // The side file carries the target's attributes, which the rename keeps; a hidden leftover could not be
    // taken over otherwise.
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD kept = targetExists ? attributes & kKept : 0;
    const wchar_t* side = sideName.c_str();
    UniqueFile fresh;
    if (lock) {
        fresh.reset(CreateFileW(side, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!fresh) {
        // No new file can be made in this folder.
        return targetExists && WriteInPlace(path, content);
    }
    const bool written =
        WriteAll(fresh.get(), content.data(), content.size()) && FlushFileBuffers(fresh.get());
    fresh.reset();
    // A target that appeared since it was found missing is someone else's: no replacing then.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (targetExists ? MOVEFILE_REPLACE_EXISTING : 0);
    const bool placed = written && MoveFileExW(side, path, flags);
    if (!placed) {
        (void)DeleteFileW(side);
    }
    return placed;
}

}  // namespace

bool ReadTextFile(const wchar_t* path, WideString& text, int32_t* code) {
    if (!IsExistingFile(path)) {
        return false;
    }
    UniqueFile file(
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargestTextFile) {
        return false;
    }
    // Two zero bytes after the data end every UTF-16 text and pair an odd last byte.
    Array<uint8_t> buffer;
    if (!buffer.Resize(static_cast<size_t>(size.QuadPart) + 2)) {
        return false;
    }
    // A read that fails (a device or network error) is no empty file: the caller must not save over it. One
    // that returns fewer bytes than the size uses what arrived.
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr)) {
        return false;
    }
    file.reset();
    int32_t length = static_cast<int32_t>(read);
    buffer[length] = 0;
    buffer[length + 1] = 0;

    int32_t detected = DetectTextEncoding(buffer.data(), length);
    if (detected == NotText) {
        if (code != nullptr) {
            *code = NotText;
        }
        return false;
    }
    const uint32_t codePage = CodePageForEncoding(detected);
    int32_t skip = 0;
    if (detected == Utf16Le || detected == Utf16Be) {
        detected = Utf16Le;
        if (length >= 2 && buffer[0] == 0xFE && buffer[1] == 0xFF) {
            detected = Utf16Be;
            SwapByteOrder16(buffer.data() + 2, length - 2);
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
    WideString decoded;
    // An odd last byte pairs with the first appended zero into one more unit.
    const bool done =
        detected == Utf16Le || detected == Utf16Be
            ? Utf16FromLittleEndian(buffer.data() + skip, (static_cast<size_t>(length) + 1) / 2, decoded)
            : Decode(buffer.data() + skip, length, codePage, decoded);
    // Running out of memory, or text the system cannot convert, counts as no read: the caller must not take a
    // part, or nothing, for the whole.
    if (!done) {
        return false;
    }
    text.Swap(decoded);
    if (code != nullptr) {
        *code = detected;
    }
    return true;
}


bool WriteTextFile(const wchar_t* path, const wchar_t* text, int32_t code) {
    ByteBuffer bytes;
    WideString folder;
    if (!FileBytes(text, code, bytes) || !DirectoryOf(path, folder)) {
        return false;
    }
    if (!folder.empty() && (!PathFileExistsW(folder.c_str()) || !PathIsDirectoryW(folder.c_str()))) {
        (void)SHCreateDirectory(nullptr, folder.c_str());
    }
    return SaveBytes(path, bytes);
}
