#include "app/core/paramfile.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "platform/inifile.h"

namespace {
const char* const Section = "Parameter";

// The keys of an automatic alignment: decimal numbers with a point,
// whatever the locale.
std::optional<double> ReadReal(const platform::TIniFile& ini, const char* key) {
  const std::string text = ini.ReadString(Section, key, "");
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

// Writes the value, or, for none, empties a key the file has (so that a stale
// value is not read back), leaving files without it as they are.
void WriteReal(const platform::TIniFile& ini, const char* key, std::optional<double> value, int decimals) {
  if (!value) {
    if (!ini.ReadString(Section, key, "").empty()) ini.WriteString(Section, key, "");
    return;
  }
  char buffer[64];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::fixed, decimals);
  ini.WriteString(Section, key, ec == std::errc() ? std::string(buffer, ptr) : std::string());
}
} // namespace

std::string FullPhotoName(const std::string& name) {
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(name, ec);
  return ec ? name : p.string();
}

std::string ParameterFileName(const std::string& imageFileName) {
  // Cut four characters from the end; UTF-8 continuation bytes belong to
  // their character.
  size_t end = imageFileName.size();
  for (int n = 0; n < 4 && end > 0; ++n) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(imageFileName[end]) & 0xC0) == 0x80) --end;
  }
  return imageFileName.substr(0, end) + ".3DF";
}

TSideAlignment ReadParameters(const std::string& imageFileName) {
  return ReadParameterFile(ParameterFileName(imageFileName));
}

void WriteParameters(const std::string& imageFileName, const TSideAlignment& side) {
  WriteParameterFile(ParameterFileName(imageFileName), side);
}

TSideAlignment ReadParameterFile(const std::string& parameterFileName) {
  const platform::TIniFile ini(parameterFileName);
  TSideAlignment s;
  s.Point.X = ini.ReadInteger(Section, "x", 0);
  s.Point.Y = ini.ReadInteger(Section, "y", 0);
  s.TurnPoint.X = ini.ReadInteger(Section, "xD", 0);
  s.TurnPoint.Y = ini.ReadInteger(Section, "yD", 0);
  s.Line.X1 = ini.ReadInteger(Section, "x1", 0);
  s.Line.Y1 = ini.ReadInteger(Section, "y1", 0);
  s.Line.X2 = ini.ReadInteger(Section, "x2", 0);
  s.Line.Y2 = ini.ReadInteger(Section, "y2", 0);
  s.Scale = ReadReal(ini, "Scale");
  const std::optional<double> ex = ReadReal(ini, "xExact"), ey = ReadReal(ini, "yExact");
  if (ex && ey) s.Exact = TExactPoint{*ex, *ey};
  return s;
}

void WriteParameterFile(const std::string& parameterFileName, const TSideAlignment& s) {
  const platform::TIniFile ini(parameterFileName);
  ini.WriteInteger(Section, "x", s.Point.X);
  ini.WriteInteger(Section, "y", s.Point.Y);
  ini.WriteInteger(Section, "xD", s.TurnPoint.X);
  ini.WriteInteger(Section, "yD", s.TurnPoint.Y);
  ini.WriteInteger(Section, "x1", s.Line.X1);
  ini.WriteInteger(Section, "y1", s.Line.Y1);
  ini.WriteInteger(Section, "x2", s.Line.X2);
  ini.WriteInteger(Section, "y2", s.Line.Y2);
  WriteReal(ini, "Scale", s.Scale, 6);
  WriteReal(ini, "xExact", s.Exact ? std::optional<double>(s.Exact->X) : std::nullopt, 3);
  WriteReal(ini, "yExact", s.Exact ? std::optional<double>(s.Exact->Y) : std::nullopt, 3);
}
