// The settings store: an in-memory INI document with case-insensitive sections and keys in creation order.
#pragma once

#include "plugin/unique_handle.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum IniValueKind : int32_t { Raw = 0, Integer = 1, Real = 2, Text = 3 };

struct IniEntry {
    std::wstring name;
    int32_t kind = Raw;
    std::wstring text;
    int32_t integer = 0;
    double real = 0.0;
    std::wstring format;
};

// Orders upper-cased names by their UTF-16 code units, as unsigned values.
struct OrdinalLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const noexcept;
};

class IniSection {
public:
    explicit IniSection(std::wstring name);

    // True with *out set when the key holds an integer; a Raw entry becomes Integer on its first read.
    bool GetInt(const std::wstring& key, int32_t* out);
    // Creates the entry when missing and stores the value in the field of `kind`; never fails.
    IniEntry* SetValue(const std::wstring& key, const void* value, int32_t kind);

    std::wstring name;
    std::vector<std::unique_ptr<IniEntry>> entries;
    std::map<std::wstring, IniEntry*, OrdinalLess> entryIndex;
};

class IniDocument {
public:
    IniDocument();
    ~IniDocument();
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    // True with *out set when section and key exist and hold an integer; creates nothing.
    bool GetInt(const std::wstring& section, const std::wstring& key, int32_t* out);
    // `value` points to a std::wstring (Raw, Text), an int32_t (Integer) or a double (Real); other kinds
    // create the entry and store nothing. Sets `modified`; returns the entry, never null.
    IniEntry* SetValue(const std::wstring& section, const std::wstring& key, const void* value, int32_t kind);

    IniEntry* SetValue(const std::wstring& section, const std::wstring& key, int32_t value) {
        return SetValue(section, key, &value, Integer);
    }

    // Adds the file's sections and entries to the document; a missing or unreadable file adds nothing.
    void Load(const std::wstring& path);
    // Writes the document as INI text in `encoding` when it was modified since the last Load or Save.
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
};
