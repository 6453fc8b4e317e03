// The INI text format: a line parser that reports section and entry lines to a handler, the number
// reader behind GetInt, and the serialiser that Save writes. No Windows header.
#pragma once

#include "settings/ini_types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class IniTextHandler {
  public:
    // Every line break, before the line that it ends is reported: "\r\n", "\r" or "\n".
    virtual void OnLineBreak(std::wstring_view lineBreak) = 0;
    // A section line; the name is trimmed of blanks and may be empty.
    virtual void OnSection(std::wstring_view name) = 0;
    // A key=value line; the key is trimmed on its right, the value is kept as written.
    virtual void OnEntry(std::wstring_view key, std::wstring_view value) = 0;

  protected:
    ~IniTextHandler() = default;
};

// Splits text into lines at CR LF, CR or LF and reports each line that means something. Comment, blank
// and malformed lines are dropped; a last line without a line break is read like any other.
void ParseIniText(std::wstring_view text, IniTextHandler& handler);

// Reads a decimal integer as wcstol does with base 10: leading white space, an optional sign, digits;
// out-of-range values clamp to the 32-bit limits. False, with *value untouched, when no digit is read. On
// Windows it is the C runtime's wcstol (Unicode blanks and digits); elsewhere the C locale's (ASCII only).
bool ParseDecimalInt32(std::wstring_view text, int32_t* value);

// The value text that Save writes for an entry of any kind.
std::wstring FormatIniValue(const IniEntry& entry);

// The whole file: sections in order, the first unnamed one without a section line, every section
// followed by an empty line.
std::wstring SerializeIni(const std::vector<std::unique_ptr<IniSection>>& sections,
                          std::wstring_view newline);
