#pragma once

#include <cstdint>
#include <string>

#include "pgraphic/formats/fileformat.h"

// Baseline TIFF without an outside library: uncompressed and PackBits strips,
// bilevel, 16/256 grey, 16/256 colour palette, RGB and CMYK in one plane, both
// byte orders. All offsets are relative to the stream position where the TIFF
// data begins, so a TIFF embedded in a larger stream reads and writes correctly.

class TTIFFileFormatReader : public TFileFormatReader {
public:
  TTIFFileFormatReader() : TTIFFileFormatReader("tif") {}
  const char* ClassName() const override { return "TTIFFileFormatReader"; }

  // "II", 0x2A, 0x00 or "MM", 0x00, 0x2A.
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;

protected:
  explicit TTIFFileFormatReader(std::string extension);
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
public:
  TTIFFFileFormatReader() : TTIFFileFormatReader("tiff") {}
  const char* ClassName() const override { return "TTIFFFileFormatReader"; }
};

// Writes one image per WriteImage; BeginFile writes the header and every image
// is linked from the previous image's next-directory field. The writer keeps the
// TIFF start and the position of that field between its operations.
class TTIFFileFormatWriter : public TFileFormatWriter {
public:
  TTIFFileFormatWriter() : TTIFFileFormatWriter("tif") {}
  const char* ClassName() const override { return "TTIFFileFormatWriter"; }

  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
  void BeginFile(TStream& stream) override;
  void WriteImage(TStream& stream, TPixelGraphic& graphic) override;
  void EndFile(TStream& stream) override;

protected:
  explicit TTIFFileFormatWriter(std::string extension);

private:
  int64_t FStart = 0;         // stream position of the TIFF header
  int64_t FNextIFDField = 4;  // position of the last next-directory field, relative to FStart
  bool FMotorola = false;     // byte order chosen by BeginFile
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
public:
  TTIFFFileFormatWriter() : TTIFFileFormatWriter("tiff") { ListedInFilter = false; }
  const char* ClassName() const override { return "TTIFFFileFormatWriter"; }
};
