#pragma once

#include "pgraphic/formats/fileformat.h"

// Portable any-map files: PBM (bitmap), PGM (grey map) and PPM (pixel map), each
// in ASCII (P1, P2, P3) or binary (P4, P5, P6) form. Every reader reads all six
// variants whatever the extension; each writer writes the variant of its own
// extension, in binary form when PGPxMWriteBinary is set.

class TPxMFileFormatReader : public TFileFormatReader {
public:
  using TFileFormatReader::TFileFormatReader;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
public:
  TPBMFileFormatReader() : TPxMFileFormatReader("pbm", "Portable Bitmap") { DetectsByContent = true; }
  const char* ClassName() const override { return "TPBMFileFormatReader"; }
  bool IsFormat(const uint8_t* header) const override {
    return header[0] == 'P' && (header[1] == '1' || header[1] == '4');
  }
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
public:
  TPGMFileFormatReader() : TPxMFileFormatReader("pgm", "Portable Graymap") { DetectsByContent = true; }
  const char* ClassName() const override { return "TPGMFileFormatReader"; }
  bool IsFormat(const uint8_t* header) const override {
    return header[0] == 'P' && (header[1] == '2' || header[1] == '5');
  }
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
public:
  TPPMFileFormatReader() : TPxMFileFormatReader("ppm", "Portable Pixelmap") { DetectsByContent = true; }
  const char* ClassName() const override { return "TPPMFileFormatReader"; }
  bool IsFormat(const uint8_t* header) const override {
    return header[0] == 'P' && (header[1] == '3' || header[1] == '6');
  }
};

class TPXMFileFormatWriter : public TFileFormatWriter {
public:
  using TFileFormatWriter::TFileFormatWriter;
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPBMFileFormatWriter() : TPXMFileFormatWriter("pbm", "Portable Bitmap") { CanWriteResolutions = 1u << 0; }
  const char* ClassName() const override { return "TPBMFileFormatWriter"; }
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPGMFileFormatWriter() : TPXMFileFormatWriter("pgm", "Portable Graymap") { CanWriteResolutions = 1u << 5; }
  const char* ClassName() const override { return "TPGMFileFormatWriter"; }
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPPMFileFormatWriter() : TPXMFileFormatWriter("ppm", "Portable Pixelmap") { CanWriteResolutions = 1u << 7; }
  const char* ClassName() const override { return "TPPMFileFormatWriter"; }
};
