#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"

// MPO files (Multi-Picture Format): complete JPEG streams one after another,
// the first carrying in an APP2 segment ("MPF\0" and a TIFF-style structure)
// the MP index, which lists every image with its type, size and offset.
//
// Image indexes: when the index lists at least two multi-frame disparity
// images, 0 is the first of them (the left view) and 1 the second (the right
// view); the other images follow in the order of the index. Otherwise the
// images are numbered in the order of the index. The pixels of each image are
// decoded by the JPEG reader from the image's own stream, so the size is the
// one of its own frame header.

class EPGMPOFileFormatReaderWriter : public EPixelGraphic {
public:
  using EPixelGraphic::EPixelGraphic;
};

// MP types (bits 0..23 of an entry's attributes).
constexpr uint32_t mptLargeThumbnailVGA = 0x010001;
constexpr uint32_t mptLargeThumbnailFullHD = 0x010002;
constexpr uint32_t mptPanorama = 0x020001;
constexpr uint32_t mptDisparity = 0x020002;
constexpr uint32_t mptMultiAngle = 0x020003;
constexpr uint32_t mptBaselinePrimary = 0x030000;

// Bits of an entry's attributes above the type.
constexpr uint32_t mpaDependentParent = 0x80000000u;
constexpr uint32_t mpaDependentChild = 0x40000000u;
constexpr uint32_t mpaRepresentative = 0x20000000u;
constexpr uint32_t mpaFormatMask = 0x07000000u; // 0 = JPEG

// One image listed in the MP index.
struct TMPOImage {
  int Entry = 0;           // number of its MP entry, from 1
  uint32_t Attributes = 0; // flags, format, type
  uint32_t Size = 0;       // as listed: SOI to EOI
  uint32_t Offset = 0;     // as listed: relative to the byte-order field (0 for the first image)
  int64_t Start = 0;       // stream position of the image's SOI
  bool Inside = false;     // an SOI lies at Start inside the stream
  uint32_t Type() const { return Attributes & 0xFFFFFFu; }
};

struct TMPOIndex {
  bool BigEndian = false;
  int64_t HeaderPos = 0;  // stream position of the byte-order field
  bool StereoPair = false; // Images[0] and Images[1] are the left and right view
  std::vector<TMPOImage> Images; // in image-index order (see above)
};

// Reads the MP index of the MPO file at the stream's current position.
// Entries that are not whole are left out; an index without any entry, or no
// MPF segment at all, raises EPGMPOFileFormatReaderWriter. Never reads outside
// the stream.
TMPOIndex ReadMPOIndex(TStream& stream);

// The English name of an MP type ("Disparity", "Large thumbnail (VGA)", ...).
std::string MPOTypeName(uint32_t type);

class TMPOFileFormatReader : public TFileFormatReader {
public:
  TMPOFileFormatReader();
  const char* ClassName() const override { return "TMPOFileFormatReader"; }

  // A JPEG stream carrying an MPF segment in front of its image data.
  bool IsFormatInStream(TStream& stream, const uint8_t* header, const std::string& extension) const override;
  // An index that cannot be read still gives image 0: the JPEG at the
  // file's start, as the JPEG reader reads it.
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  // ImageCount: the images of the index; KindText: "Left view", "Right view"
  // or the MP type; the rest as the JPEG reader reports it for that image.
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};

// Writes a stereo pair: BeginFile, WriteImage (left view), WriteImage (right
// view), EndFile. Every image is a complete JPEG stream (24 bit or 256 greys,
// the library-wide JPEG settings) starting with an Exif APP1 segment (pixel
// dimensions, software) and an MPF APP2 segment: in the first image the MP
// index (two disparity entries, the first one representative) and the first
// image's attribute IFD, in the second its attribute IFD alone. Byte order of
// both: PGMPOWriteMotorola. WriteGraphic with a single picture is refused.
class TMPOFileFormatWriter : public TFileFormatWriter {
public:
  TMPOFileFormatWriter();
  const char* ClassName() const override { return "TMPOFileFormatWriter"; }

  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
  void BeginFile(TStream& stream) override;
  void WriteImage(TStream& stream, TPixelGraphic& graphic) override;
  void EndFile(TStream& stream) override;

private:
  struct TEncoded {
    std::vector<uint8_t> Jpeg;
    int32_t Width = 0, Height = 0;
  };
  std::vector<TEncoded> FImages;
};
