#pragma once

#include "pgraphic/formats/fileformat.h"

// Truevision Targa files. Targa has no signature: the reader is chosen by the
// extension "tga" only. The writer stores 256-colour images colour-mapped and
// 24-bit images as true colour, uncompressed, bottom row first.

class TTGAFileFormatReader : public TFileFormatReader {
public:
  TTGAFileFormatReader() : TFileFormatReader("tga", "Truevision Targa") {}
  const char* ClassName() const override { return "TTGAFileFormatReader"; }
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};

class TTGAFileFormatWriter : public TFileFormatWriter {
public:
  TTGAFileFormatWriter() : TFileFormatWriter("tga", "Truevision Targa") {
    CanWriteResolutions = (1u << 6) | (1u << 7);
  }
  const char* ClassName() const override { return "TTGAFileFormatWriter"; }
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};
