#pragma once

#include <cstddef>

#include "pgraphic/formats/fileformat.h"

// JPEG files through the IJG interface of libjpeg-turbo. The three readers and
// the three writers behave identically and differ only by extension and by
// their listing in the dialog filters.

class TJPGFileFormatReader : public TFileFormatReader {
public:
  TJPGFileFormatReader() : TJPGFileFormatReader("jpg") {}
  const char* ClassName() const override { return "TJPGFileFormatReader"; }

  // The JPEG start-of-image marker FF D8.
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;

protected:
  explicit TJPGFileFormatReader(std::string extension);
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
  TJPEGFileFormatReader() : TJPGFileFormatReader("jpeg") {}
  const char* ClassName() const override { return "TJPEGFileFormatReader"; }
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
  TJIFFileFormatReader() : TJPGFileFormatReader("jif") {}
  const char* ClassName() const override { return "TJIFFileFormatReader"; }
};

class TJPGFileFormatWriter : public TFileFormatWriter {
public:
  TJPGFileFormatWriter() : TJPGFileFormatWriter("jpg", true) {}
  const char* ClassName() const override { return "TJPGFileFormatWriter"; }

  // 24-bit images and 8-bit images with the 256-grey palette.
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;

protected:
  TJPGFileFormatWriter(std::string extension, bool listed);
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJPEGFileFormatWriter() : TJPGFileFormatWriter("jpeg", false) {}
  const char* ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJIFFileFormatWriter() : TJPGFileFormatWriter("jif", false) {}
  const char* ClassName() const override { return "TJIFFileFormatWriter"; }
};

// True when the JPEG library in use has the interface these wrappers were
// compiled against: it accepts a decompressor of the given interface version
// and structure size, and its own version text starts with the matching tag
// ("6b" for interface 62). The no-argument form checks the compiled-in values.
bool PGJPEGLibraryMatches();
bool PGJPEGLibraryMatches(int interfaceVersion, size_t decompressStructSize);
