#include "app/core/settingsfile.h"

#include "pgraphic/formats/settings.h"
#include "platform/inifile.h"

namespace {
const char* const Section = "Settings";
}

TSettings ReadSettings(const std::string& fileName) {
  const platform::TIniFile ini(fileName);
  TSettings s;
  s.JPEGQuality = ini.ReadInteger(Section, "JPEG", PGJPEGQuality);
  s.ZoomType = ini.ReadInteger(Section, "ZoomType", 0);
  s.ZoomPercent = ini.ReadInteger(Section, "ZoomPercent", 100);
  s.ZoomPixel = ini.ReadInteger(Section, "ZoomPixel", 640);
  s.ELSAViewer = ini.ReadString(Section, "ELSAViewer", s.ELSAViewer);
  s.ShowELSAViewer = ini.ReadInteger(Section, "ShowELSAViewer", 1) != 0;
  s.CropWedges = ini.ReadInteger(Section, "CropWedges", 0) != 0;
  return s;
}

void ApplySettingsToLibrary(const TSettings& settings) {
  PGJPEGQuality = static_cast<uint8_t>(settings.JPEGQuality & 0xFF);
}

void SaveToIni(const TSettings& s, const std::string& fileName) {
  const platform::TIniFile ini(fileName);
  ini.WriteInteger(Section, "JPEG", s.JPEGQuality);
  ini.WriteInteger(Section, "ZoomType", s.ZoomType);
  ini.WriteInteger(Section, "ZoomPercent", s.ZoomPercent);
  ini.WriteInteger(Section, "ZoomPixel", s.ZoomPixel);
  ini.WriteString(Section, "ELSAViewer", s.ELSAViewer);
  ini.WriteInteger(Section, "ShowELSAViewer", s.ShowELSAViewer ? 1 : 0);
  if (s.CropWedges || !ini.ReadString(Section, "CropWedges", "").empty())
    ini.WriteInteger(Section, "CropWedges", s.CropWedges ? 1 : 0);
}
