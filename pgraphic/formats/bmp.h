#pragma once

#include "pgraphic/formats/fileformat.h"

// Windows and OS/2 bitmaps (BMP, DIB, RLE): the system's native format.

class TBMPFileFormatReader : public TFileFormatReader {
public:
  TBMPFileFormatReader() : TBMPFileFormatReader("bmp") {}
  const char* ClassName() const override { return "TBMPFileFormatReader"; }
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;

protected:
  explicit TBMPFileFormatReader(std::string extension) : TFileFormatReader(std::move(extension), "Bitmap") {
    DetectsByContent = true;
  }
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
public:
  TDIBFileFormatReader() : TBMPFileFormatReader("dib") {}
  const char* ClassName() const override { return "TDIBFileFormatReader"; }
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
public:
  TRLEFileFormatReader() : TBMPFileFormatReader("rle") {}
  const char* ClassName() const override { return "TRLEFileFormatReader"; }
};

class TBMPFileFormatWriter : public TFileFormatWriter {
public:
  TBMPFileFormatWriter() : TBMPFileFormatWriter("bmp") {}
  const char* ClassName() const override { return "TBMPFileFormatWriter"; }
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;

protected:
  explicit TBMPFileFormatWriter(std::string extension) : TFileFormatWriter(std::move(extension), "Bitmap") {
    CanWriteResolutions = PGAllColorRes;
  }
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
public:
  TDIBFileFormatWriter() : TBMPFileFormatWriter("dib") { ListedInFilter = false; }
  const char* ClassName() const override { return "TDIBFileFormatWriter"; }
};
