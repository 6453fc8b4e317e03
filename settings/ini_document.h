// The settings store: an in-memory INI document with case-insensitive sections and keys in creation order.
#pragma once

#include "base/unique_handle.h"
#include "settings/ini_types.h"

#include <cstdint>
#include <string_view>

class IniDocument {
  public:
    IniDocument();
    ~IniDocument();
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    // True with *out set when section and key exist and hold an integer; creates nothing. Makes `section` the
    // current one unless memory for its copy runs out; false whenever memory runs out.
    bool GetInt(std::wstring_view section, std::wstring_view key, int32_t* out);
    // `value` points to a wstring_view (Raw, Text), an int32_t (Integer) or a double (Real); other kinds
    // store nothing. Sets `modified` and the current section; null, changing nothing, when memory runs out.
    IniEntry* SetValue(std::wstring_view section, std::wstring_view key, const void* value, int32_t kind);

    IniEntry* SetValue(std::wstring_view section, std::wstring_view key, int32_t value) {
        return SetValue(section, key, &value, Integer);
    }

    // Adds the file's sections and entries to the document; a missing or unreadable file adds nothing. A load
    // that runs out of memory part-way keeps what it added and counts the file as unreadable (loadFailed), and
    // so does an empty path: such a session has no file to save to.
    void Load(std::wstring_view path);
    // Writes the document in `encoding` if modified since the last Load or Save. A file that Load found but
    // could not read whole is left as it is, as is any file when the text cannot be made or written.
    void Save(std::wstring_view path, int32_t encoding);

    bool modified = false;
    bool newlineFound = false;
    // The line break that Save writes; empty means "\r\n", the break of a file that has none.
    WideString newline;
    Array<HeapPtr<IniSection>> sections;
    SortedIndex<WideString, IniSection*, OrdinalLess> sectionIndex;
    UniqueMutex lock;
    int32_t encoding = 0;
    WideString path;
    WideString currentSection;
    // Set when Load found `path` but could not read it (held open by another program, too large, no memory):
    // saving over it would replace the user's entries with this run's few keys.
    bool loadFailed = false;
};
