#pragma once

#include <cstdint>
#include <string>

// The program's user settings and the settings file "VEXO.INI" (section
// "Settings"), which lives in the configuration folder: the six of the design
// and "CropWedges".

constexpr const char* SettingsFileName = "VEXO.INI";

struct TSettings {
  int32_t JPEGQuality = 80;  // "JPEG": quality 1..100 for saving
  int32_t ZoomType = 0;      // "ZoomType": 0 percentage, otherwise constant width
  int32_t ZoomPercent = 100; // "ZoomPercent"
  int32_t ZoomPixel = 640;   // "ZoomPixel"
  std::string ELSAViewer;    // "ELSAViewer": path of the external viewer
  bool ShowELSAViewer = true; // "ShowELSAViewer": start the viewer after an ELSA computation
  // "CropWedges" (0 or 1, default 0): crop also hand-aligned stereo images to
  // what both corrected photographs fill (automatic alignments always are).
  bool CropWedges = false;
};

// Reads the settings file as at program start. Defaults for missing keys or
// values that are not integers: the current PGJPEGQuality, 0, 100, 640, an
// empty viewer path, 1 (any non-zero value reads as on), and 0 for CropWedges.
TSettings ReadSettings(const std::string& fileName = SettingsFileName);

// PGJPEGQuality := the quality's low 8 bits (values outside 1..100 are taken as read).
void ApplySettingsToLibrary(const TSettings& settings);

// Writes the six keys in the order JPEG, ZoomType, ZoomPercent, ZoomPixel,
// ELSAViewer, ShowELSAViewer (1 or 0), then CropWedges (1 or 0) when it is on
// or the file has it already, so a file of the design's six keys stays so.
// Raises platform::EIniFileException when the file cannot be written.
void SaveToIni(const TSettings& settings, const std::string& fileName = SettingsFileName);
