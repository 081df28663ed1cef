#pragma once

#include "pgraphic/formats/fileformat.h"

// PNG files through libpng and zlib.

class TPNGFileFormatReader : public TFileFormatReader {
public:
  TPNGFileFormatReader();
  const char* ClassName() const override { return "TPNGFileFormatReader"; }

  // The 8-byte PNG signature.
  bool IsFormat(const uint8_t* header) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
public:
  TPNGFileFormatWriter();
  const char* ClassName() const override { return "TPNGFileFormatWriter"; }

  // Every colour resolution: 24 bit as RGB, 256 greys as grey, others with a palette.
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

// True when the libpng and zlib in use have the interface these wrappers were
// compiled against: the same libpng major and minor release (pngVersion is
// png_access_version_number's form, 10639 for 1.6.39) and a zlib of the same
// major version. The no-argument form checks the libraries actually loaded.
bool PGPNGLibraryMatches();
bool PGPNGLibraryMatches(const char* compiledPng, unsigned long loadedPng, const char* compiledZlib,
                         const char* loadedZlib);
