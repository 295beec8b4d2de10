// A small INI file reader and writer in the manner of the Windows profile functions.
#pragma once

#include <string>
#include <string_view>

// Every call opens the file by its full path, reads or writes one value and closes it again;
// nothing is cached between calls. Section and key names compare case-insensitively (ASCII).
// Values are byte strings (UTF-8 by convention); surrounding blanks of names and values are
// ignored on reading, as the Windows functions do. The file may hold a UTF-8 byte-order mark,
// CRLF line ends, duplicate keys (the first one counts), lines outside any section and lines
// that mean nothing; none of these disturbs reading, and a write leaves all of them in place.
//
// A write goes to a temporary file in the same folder that then replaces the file by rename, so
// the file on disk is always either the old or the new version, never half of one.
class TIniFile {
 public:
  explicit TIniFile(std::string AFileName);

  const std::string& FileName() const { return FFileName; }

  // The value of Key in Section, or ADefault when the file, the section or the key is missing or
  // the file cannot be read.
  std::string ReadString(std::string_view Section, std::string_view Key,
                         std::string_view ADefault) const;

  // Sets Key in Section to Value, adding the section and the key when missing. Returns false,
  // and leaves the file as it was, when the file cannot be read or written, or when a name or
  // the value cannot be stored in an INI line (an empty key, a line break, "=" in a key, "]" in
  // a section name, or blanks at either end of the value). Never throws.
  bool WriteString(std::string_view Section, std::string_view Key, std::string_view Value);

 private:
  std::string FFileName;
};
