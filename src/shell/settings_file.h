#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/settings.h"

namespace tarn {

// "TarnConverter.ini": eight CR LF lines, a header line, a line of 48 minus signs, then
// <APATH>..</APATH>, <OPATH>, <HSIZE>, <BITRATE>, <CODECMODE>, <AUTOSAVE>, in this order.

// What loadSettings read. Values are taken in tag order and reading stops at the first empty or
// missing one: with 3 values read shiftFactor changed, with 4 also bitRateIndex, with 5 also
// codecModeIndex; only with all 6 did autoSave and both folders change.
struct SettingsLoadResult {
  bool readable = false;  // the file could be opened and read
  int32_t valuesRead = 0;
  bool complete() const { return valuesRead == 6; }
};

// Reads the file into `settings` by the tolerant scan: each closing tag is folded into its opening
// tag (only the slash of "</TAG>" goes; every other character of a value is kept), a value is the
// text between the first two occurrences of its tag (to the end of the text when the tag occurs
// once). Folders are cut to 260 characters and trimmed of NULs and spaces; numbers are read from
// the start of the value (leading blanks, tabs and line breaks skipped), rounded half to even for
// the integers; garbled numbers, and numbers that do not fit their field, read as 0.
// When the main window exists, the caller sets its auto-save box from `autoSave` if complete().
// A folder value that still holds control characters after trimming is garbled and reads as empty.
SettingsLoadResult loadSettings(const std::filesystem::path& path, Settings& settings);
// The same scan over the file's content.
SettingsLoadResult loadSettingsText(std::string content, Settings& settings);

// Writes the eight lines. Folders are cut to 260 characters and trimmed of spaces; shiftFactor is
// written in the shortest decimal form that reads back to the same float. The new content replaces
// the old file only once it is completely written. Returns false when the file could not be
// written (the old file is then left as it was).
bool saveSettings(const std::filesystem::path& path, const Settings& settings);

// The first `count` characters of UTF-8 text (a character never cut in half).
std::string firstCharacters(std::string_view text, size_t count);

}  // namespace tarn
