// The settings store: an in-memory INI document with case-insensitive sections and keys in creation order.
#pragma once

#include "base/unique_handle.h"
#include "settings/ini_types.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class IniDocument {
  public:
    IniDocument();
    ~IniDocument();
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    // True with *out set when section and key exist and hold an integer; creates nothing.
    bool GetInt(const std::wstring& section, const std::wstring& key, int32_t* out);
    // `value` points to a std::wstring (Raw, Text), an int32_t (Integer) or a double (Real); other kinds
    // create the entry and store nothing. Sets `modified`; returns the entry, never null. When memory runs
    // out it throws std::bad_alloc and the document is as it was.
    IniEntry* SetValue(const std::wstring& section, const std::wstring& key, const void* value, int32_t kind);

    IniEntry* SetValue(const std::wstring& section, const std::wstring& key, int32_t value) {
        return SetValue(section, key, &value, Integer);
    }

    // Adds the file's sections and entries to the document; a missing or unreadable file adds nothing.
    void Load(const std::wstring& path);
    // Writes the document as INI text in `encoding` when it was modified since the last Load or Save.
    // A file that existed but could not be read whole at Load (memory included) is left as it is, and so is
    // any file when the text cannot be made or written.
    void Save(const std::wstring& path, int32_t encoding);

    bool modified = false;
    bool newlineFound = false;
    std::wstring newline = L"\r\n";
    std::vector<std::unique_ptr<IniSection>> sections;
    std::map<std::wstring, IniSection*, OrdinalLess> sectionIndex;
    UniqueMutex lock;
    int32_t encoding = 0;
    std::wstring path;
    std::wstring currentSection;
    // Set when Load found `path` but could not read it (held open by another program, too large): saving
    // over it would replace the user's entries with this run's few keys.
    bool loadFailed = false;
};
