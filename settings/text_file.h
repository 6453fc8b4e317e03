// Reading a whole text file into UTF-16 in whatever encoding its bytes show, and writing UTF-16 text to a
// file in a given encoding. Files are opened with share mode 0 and closed before returning.
#pragma once

#include "base/wide_string.h"

#include <cstdint>

// Far more than any settings file this plug-in writes: a larger file is taken for a foreign one, so that it
// cannot stall the editor's start.
constexpr uint32_t kLargestTextFile = 64 * 1024;

// Replaces `text` with the file's content and stores the settled encoding in *code (when given). False,
// with both untouched, when the path is no file, cannot be opened or read, holds more than kLargestTextFile
// bytes or memory runs out; false with *code NotText and `text` untouched when the bytes are no text.
bool ReadTextFile(const wchar_t* path, WideString& text, int32_t* code);

// Writes `text` in encoding `code`, creating missing folders: the new content goes to the side file
// "<path>.tmp", which one rename then puts over the old file, keeping its hidden and system attributes; a save
// holds "<path>.lock" meanwhile, which the system deletes. Where no new file can be made in the folder, the old
// file is written in place, its growth first. False, with the old file as it was and no side file left, when
// the file is held open elsewhere or another save holds the lock, the file is read-only or otherwise not ours
// to write, a write fails (a full disk) or the rename fails, when a non-empty text converts to no bytes, and
// when memory runs out.
bool WriteTextFile(const wchar_t* path, const wchar_t* text, int32_t code);
