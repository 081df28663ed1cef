#pragma once

#include "pgraphic/formats/fileformat.h"

// Paintbrush (PCX) files, read only: 1-bit, 4-plane 16-colour, 8-bit 256-colour
// and 3-plane 24-bit run-length-encoded images. Recognised by the first byte 0x0A
// together with the other fixed bytes at the start of the header.

class TPCXFileFormatReader : public TFileFormatReader {
public:
  TPCXFileFormatReader() : TFileFormatReader("pcx", "Paintbrush") { DetectsByContent = true; }
  const char* ClassName() const override { return "TPCXFileFormatReader"; }
  // Manufacturer 0x0A, version 0, 2, 3, 4 or 5, encoding 1 and 1, 2, 4 or 8 bits
  // per pixel and plane. The first byte alone is not enough: a Targa file whose
  // image ID is 10 bytes long starts with 0x0A as well.
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};
