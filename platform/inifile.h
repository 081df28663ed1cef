#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Profile strings: keys of INI files (text; "[Section]" lines, "key=value"
// lines), standing in for the Windows profile-string functions.
//
// - Section and key names compare case-insensitively (ASCII); blanks around
//   names and values are ignored; a value in matching quotes loses them.
// - The first section of a name counts; within it, the first key of a name.
// - Writing replaces the line of an existing key in place, appends a new key
//   after the last entry of its section, and appends a new section at the end
//   of the file. Every other byte of the file stays as it was (also its line
//   ends: a file with CR LF lines gets CR LF lines; a new file gets LF).
// - A file name without a folder lives in platform::WindowsDirectory(), which
//   is created when first written.
// - A write goes to a temporary file that replaces the file only when it is
//   complete, so a failing write leaves the old file as it was.
namespace platform {

// Raised when a profile file cannot be written. The text is
// "nach <file name> kann nicht geschrieben werden".
class EIniFileException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The path a profile file name refers to: a name without a folder is placed in
// WindowsDirectory(); any other name is used as given.
std::string ProfileFilePath(const std::string& fileName);

// The value of key in section, or def when the file, the section or the key is
// missing (or the file cannot be read).
std::string GetProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                             const std::string& def);

// Writes key=value into section. Raises EIniFileException when the file cannot
// be written.
void WriteProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                        const std::string& value);

// Integer texts: signed decimal, or hexadecimal with the prefix "0x"/"0X"
// (at least one digit after it; up to 8 digits, taken as a 32-bit pattern).
// Anything else, or a decimal value outside the 32-bit range, is not an integer.
bool TryStrToInt(const std::string& text, int32_t& value);
int32_t StrToIntDef(const std::string& text, int32_t def);

// The INI file object of the program's settings and parameter files.
class TIniFile {
public:
  explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  const std::string& FileName() const { return FFileName; }

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    return GetProfileString(FFileName, section, key, def);
  }
  // The value as an integer (TryStrToInt rules); def when missing or not an integer.
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
  }
  bool ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
  }
  void WriteString(const std::string& section, const std::string& key, const std::string& value) const {
    WriteProfileString(FFileName, section, key, value);
  }
  void WriteInteger(const std::string& section, const std::string& key, int32_t value) const {
    WriteString(section, key, std::to_string(value));
  }
  void WriteBool(const std::string& section, const std::string& key, bool value) const {
    WriteString(section, key, value ? "1" : "0");
  }

private:
  std::string FFileName;
};

} // namespace platform
