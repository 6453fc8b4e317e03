// The records of the INI document: entries with a remembered value kind, sections in creation order.
// No Windows header, so the text format's parser and serialiser build natively as well.
#pragma once

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
    explicit IniSection(std::wstring name) : name(std::move(name)) {}

    // True with *out set when the key holds an integer; a Raw entry becomes Integer on its first read.
    bool GetInt(const std::wstring& key, int32_t* out);
    // Creates the entry when missing and stores the value in the field of `kind`; when memory runs out it
    // throws std::bad_alloc and the section is as it was.
    IniEntry* SetValue(const std::wstring& key, const void* value, int32_t kind);

    std::wstring name;
    std::vector<std::unique_ptr<IniEntry>> entries;
    std::map<std::wstring, IniEntry*, OrdinalLess> entryIndex;
};
