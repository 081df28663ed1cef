#include "app/core/paramfile.h"

#include "platform/inifile.h"

namespace {
const char* const Section = "Parameter";
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
}
