// The INI text format: a line parser that reports section and entry lines to a handler, and the serialiser
// that Save writes. No Windows header.
#pragma once

#include "settings/ini_types.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Each callback returns false when memory ran out, which ends the parse.
class IniTextHandler {
  public:
    // Every line break, before the line that it ends is reported: "\r\n", "\r" or "\n".
    virtual bool OnLineBreak(std::wstring_view lineBreak) = 0;
    // A section line; the name is trimmed of blanks and may be empty.
    virtual bool OnSection(std::wstring_view name) = 0;
    // A key=value line; the key is trimmed on its right, the value is kept as written.
    virtual bool OnEntry(std::wstring_view key, std::wstring_view value) = 0;

  protected:
    ~IniTextHandler() = default;
};

// Reports each meaningful line of text split at CR LF, CR or LF; a last line without a break counts too.
// False as soon as a callback returns false.
bool ParseIniText(std::wstring_view text, IniTextHandler& handler);

// Replaces `out` with the whole file: sections in order, the first unnamed one without a section line, every
// section followed by an empty line. False, with `out` untouched, when memory runs out.
bool SerializeIni(const Array<HeapPtr<IniSection>>& sections, std::wstring_view newline, WideString& out);
