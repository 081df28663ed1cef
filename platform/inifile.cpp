#include "platform/inifile.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <vector>

#include "platform/files.h"
#include "platform/stream.h"
#include "platform/strings.h"

namespace platform {
namespace {

// INI files are small; anything larger is not treated as one.
constexpr int64_t MaxIniFileSize = 64ll << 20;

struct TLine {
  std::string Text; // without the line end
  std::string Eol;  // "\r\n", "\n" or "" (last line without a line end)
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string Trim(const std::string& s, size_t from = 0, size_t to = std::string::npos) {
  if (to > s.size()) to = s.size();
  while (from < to && IsBlank(s[from])) ++from;
  while (to > from && IsBlank(s[to - 1])) --to;
  return s.substr(from, to - from);
}

// Reads the whole file; false when it does not exist or cannot be read.
bool ReadWholeFile(const std::string& path, std::string& data) {
  data.clear();
  if (!FileExists(path)) return false;
  try {
    TFileStream f(path, fmOpenRead);
    const int64_t size = f.Size();
    if (size < 0 || size > MaxIniFileSize) return false;
    data.resize(static_cast<size_t>(size));
    if (size > 0) f.ReadBuffer(data.data(), size);
    return true;
  } catch (const std::exception&) {
    data.clear();
    return false;
  }
}

std::vector<TLine> SplitLines(const std::string& data) {
  std::vector<TLine> lines;
  size_t pos = 0;
  while (pos < data.size()) {
    const size_t nl = data.find('\n', pos);
    TLine line;
    if (nl == std::string::npos) {
      line.Text = data.substr(pos);
      pos = data.size();
    } else {
      size_t end = nl;
      if (end > pos && data[end - 1] == '\r') --end;
      line.Text = data.substr(pos, end - pos);
      line.Eol = data.substr(end, nl + 1 - end);
      pos = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// The text of a line for parsing: a UTF-8 byte order mark on the first line is skipped.
std::string ParseText(const std::vector<TLine>& lines, size_t i) {
  const std::string& t = lines[i].Text;
  if (i == 0 && t.size() >= 3 && static_cast<unsigned char>(t[0]) == 0xEF &&
      static_cast<unsigned char>(t[1]) == 0xBB && static_cast<unsigned char>(t[2]) == 0xBF)
    return t.substr(3);
  return t;
}

// Section name of a "[name]" line.
bool SectionName(const std::string& text, std::string& name) {
  size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p >= text.size() || text[p] != '[') return false;
  const size_t close = text.find(']', p + 1);
  name = Trim(text, p + 1, close == std::string::npos ? text.size() : close);
  return true;
}

// Key and value of a "key=value" line; comments (";") and lines without "=" are no entries.
bool KeyValue(const std::string& text, std::string& key, std::string& value) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] == ';') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t, 0, eq);
  value = Trim(t, eq + 1);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return true;
}

// Index of the first "[section]" line, or npos.
size_t FindSection(const std::vector<TLine>& lines, const std::string& section) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i)
    if (SectionName(ParseText(lines, i), name) && SameText(name, section)) return i;
  return std::string::npos;
}

// One past the last line of the section starting at header.
size_t SectionEnd(const std::vector<TLine>& lines, size_t header) {
  std::string name;
  size_t i = header + 1;
  while (i < lines.size() && !SectionName(lines[i].Text, name)) ++i;
  return i;
}

std::string WriteErrorText(const std::string& fileName) {
  return "nach " + fileName + " kann nicht geschrieben werden";
}

} // namespace

std::string ProfileFilePath(const std::string& fileName) {
  if (fileName.find('/') != std::string::npos) return fileName;
  return WindowsDirectory() + "/" + fileName;
}

std::string GetProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                             const std::string& def) {
  std::string data;
  if (!ReadWholeFile(ProfileFilePath(fileName), data)) return def;
  const std::vector<TLine> lines = SplitLines(data);
  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) return def;
  const size_t end = SectionEnd(lines, header);
  std::string k, v;
  for (size_t i = header + 1; i < end; ++i)
    if (KeyValue(lines[i].Text, k, v) && SameText(k, key)) return v;
  return def;
}

void WriteProfileString(const std::string& fileName, const std::string& section, const std::string& key,
                        const std::string& value) {
  const std::string path = ProfileFilePath(fileName);
  std::string data;
  const bool exists = FileExists(path);
  if (exists && !ReadWholeFile(path, data))
    // Rewriting a file that cannot be read would lose its content.
    throw EIniFileException(WriteErrorText(fileName));
  if (!exists && fileName.find('/') == std::string::npos) ForceDirectories(WindowsDirectory());

  std::vector<TLine> lines = SplitLines(data);
  const std::string nl = lines.empty() || lines[0].Eol.empty() ? std::string("\n") : lines[0].Eol;
  const std::string entry = key + "=" + value;

  const size_t header = FindSection(lines, section);
  if (header == std::string::npos) {
    if (!lines.empty() && lines.back().Eol.empty()) lines.back().Eol = nl;
    lines.push_back({"[" + section + "]", nl});
    lines.push_back({entry, nl});
  } else {
    const size_t end = SectionEnd(lines, header);
    std::string k, v;
    size_t found = std::string::npos, last = header;
    for (size_t i = header + 1; i < end; ++i) {
      if (found == std::string::npos && KeyValue(lines[i].Text, k, v) && SameText(k, key)) found = i;
      if (!Trim(lines[i].Text).empty()) last = i;
    }
    if (found != std::string::npos) {
      lines[found].Text = entry;
    } else {
      if (lines[last].Eol.empty()) lines[last].Eol = nl;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1), TLine{entry, nl});
    }
  }

  std::string out;
  out.reserve(data.size() + entry.size() + section.size() + 8);
  for (const TLine& l : lines) {
    out += l.Text;
    out += l.Eol;
  }
  try {
    TSafeFileStream f(path);
    f.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
    f.Commit();
  } catch (const std::exception&) {
    throw EIniFileException(WriteErrorText(fileName));
  }
}

bool TryStrToInt(const std::string& text, int32_t& value) {
  const std::string t = Trim(text);
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    if (t.size() - 2 > 8) return false;
    uint32_t v = 0;
    for (size_t i = 2; i < t.size(); ++i) {
      const char c = t[i];
      unsigned d;
      if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
      else return false;
      v = (v << 4) | d;
    }
    value = static_cast<int32_t>(v);
    return true;
  }
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToIntDef(const std::string& text, int32_t def) {
  int32_t v;
  return TryStrToInt(text, v) ? v : def;
}

} // namespace platform
