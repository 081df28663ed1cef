#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/formats/tiff.h"

// What the TIFF reader and writer share: the numbers of the fields they know,
// the errors, the progress bracket, and the reader's view of one image file
// directory.
namespace pg::tiff {

enum : uint16_t {
  tagNewSubfileType = 254,
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfiguration = 284,
  tagResolutionUnit = 296,
  tagColorMap = 320,
};

enum : uint16_t { typeByte = 1, typeShort = 3, typeLong = 4, typeRational = 5 };

enum : uint32_t { compNone = 1, compPackBits = 32773 };

[[noreturn]] inline void RaiseReader(const std::string& text) { throw EPGTIFFileFormatReader("TIFF: " + text); }
[[noreturn]] inline void RaiseWriterInternal() { throw EPGTIFFileFormatWriter("TIFF: Internal Error"); }

// What the reader takes from one image file directory.
struct TTIFFDirectory {
  TByteOrder Order;
  int64_t Base = 0;  // stream position of the TIFF header
  int ImageCount = 1;
  uint32_t SubfileType = 0;
  uint32_t Width = 0;
  uint32_t Length = 0;
  uint32_t Compression = 0;
  uint32_t Photometric = 0;
  uint32_t SamplesPerPixel = 0;
  uint32_t RowsPerStrip = 0;
  uint32_t Planar = 0;
  std::vector<uint32_t> BitsPerSample;
  std::vector<uint32_t> StripOffsets;
  std::vector<uint32_t> StripByteCounts;
  std::vector<uint32_t> ColorMap;
};

// Reads the header, follows the image chain to image index and reads that
// image's directory, with the checks shared by reading and GetInfo.
void ReadDirectory(TStream& stream, int index, TTIFFDirectory& dir);

} // namespace pg::tiff
