// Reading a whole text file into UTF-16 in whatever encoding its bytes show, and writing UTF-16 text to a
// file in a given encoding. Files are opened with share mode 0 and closed before returning.
#pragma once

#include "base/wide_string.h"

#include <cstdint>

// Replaces `text` with the file's content and stores the settled encoding in *code (when given). False,
// with both untouched, when the path is no file, cannot be opened or read, is 2 GiB or larger or memory runs
// out; false with *code NotText and `text` untouched when the bytes are no text.
bool ReadTextFile(const wchar_t* path, WideString& text, int32_t* code);

// Writes `text` in encoding `code`, creating missing folders: the whole new content goes to a new file in the
// same folder, which then takes the old file's place, keeping its attributes; side files that interrupted
// saves left there go. Where no new file can be made in the folder, the old file is written in place, its
// growth first, so that a full disk still leaves it as it was. False, with the old file as it was and nothing
// else left in the folder, when the file is held open elsewhere, read-only or otherwise not ours to write,
// when a write fails (a full disk) or the new file cannot take its place, and when a non-empty text converts
// to no bytes.
bool WriteTextFile(const wchar_t* path, const wchar_t* text, int32_t code);

// WriteTextFile with the code page of the multi-byte encodings given by the caller; lets tests reach the
// path of a code page that the system lacks.
bool WriteTextFileAs(const wchar_t* path, const wchar_t* text, int32_t code, uint32_t codePage);
