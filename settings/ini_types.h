// The records of the INI document: entries with a remembered value kind, sections in creation order.
// No Windows header, so the text format's parser and serialiser build natively as well.
#pragma once

#include "base/array.h"
#include "base/heap_object.h"
#include "base/sorted_index.h"
#include "base/wide_string.h"

#include <cstdint>
#include <functional>
#include <string_view>

enum IniValueKind : int32_t { Raw = 0, Integer = 1, Real = 2, Text = 3 };

struct IniEntry {
    WideString name;
    int32_t kind = Raw;
    WideString text;
    int32_t integer = 0;
    double real = 0.0;
    // Empty for "%d" and "%f"; otherwise the caller's printf format with exactly one conversion of the
    // value's type, whose text is no longer than "%f" of the largest double.
    WideString format;
};

// Windows' wchar_t is an unsigned 16-bit unit, so wstring_view's own order is the ordinal one.
using OrdinalLess = std::less<std::wstring_view>;

class IniSection {
  public:
    // True with *out set when the key holds an integer; a Raw entry becomes Integer on its first read.
    // False, changing nothing, when memory runs out.
    bool GetInt(std::wstring_view key, int32_t* out);
    // Creates the entry when missing and stores the value in the field of `kind`; `value` as for
    // IniDocument::SetValue. Null when memory runs out, with the section as it was.
    IniEntry* SetValue(std::wstring_view key, const void* value, int32_t kind);

    WideString name;
    Array<HeapPtr<IniEntry>> entries;
    SortedIndex<WideString, IniEntry*, OrdinalLess> entryIndex;
};
