#pragma once

#include "pgraphic/formats/fileformat.h"

// Paintbrush (PCX) files, read only: 1-bit, 4-plane 16-colour, 8-bit 256-colour
// and 3-plane 24-bit run-length-encoded images. Recognised by the first byte 0x0A.

class TPCXFileFormatReader : public TFileFormatReader {
public:
  TPCXFileFormatReader() : TFileFormatReader("pcx", "Paintbrush") { DetectsByContent = true; }
  const char* ClassName() const override { return "TPCXFileFormatReader"; }
  bool IsFormat(const uint8_t* header) const override { return header[0] == 0x0A; }
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};
