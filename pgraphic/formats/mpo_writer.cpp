#include <string>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jpeg_segments.h"
#include "pgraphic/formats/mpo.h"
#include "pgraphic/formats/settings.h"

// Each view is encoded by the JPEG writer into memory; its JFIF segment is
// replaced by an Exif APP1 and an MPF APP2 segment, and the sizes and offsets
// of the MP entries are filled in once both images have their final length
// (the segments' own lengths do not depend on those values).

using namespace pg::jpegseg;

namespace {

[[noreturn]] void Raise(const std::string& text) { throw EPGMPOFileFormatReaderWriter("MPO: " + text); }

enum : uint16_t { tByte = 1, tAscii = 2, tShort = 3, tLong = 4, tRational = 5, tUndefined = 7, tSRational = 10 };

const char* const kSoftware = "Zwillo";
constexpr uint32_t kUnknown = 0xFFFFFFFFu; // the value of an unknown angle or length
constexpr size_t kEntrySize = 16;

// One image file directory of a TIFF-style structure (Exif, MPF), written with
// its out-of-line values right behind it.
class TIFDWriter {
public:
  // Numbers of SHORT, LONG, (S)RATIONAL fields (numerator, denominator pairs).
  void Numbers(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    const uint32_t count = type == tRational || type == tSRational ? static_cast<uint32_t>(values.size() / 2)
                                                                   : static_cast<uint32_t>(values.size());
    FFields.push_back({tag, type, count, {}, std::move(values)});
  }
  // BYTE, ASCII and UNDEFINED fields.
  void Bytes(uint16_t tag, uint16_t type, TBytes data) {
    const uint32_t count = static_cast<uint32_t>(data.size());
    FFields.push_back({tag, type, count, std::move(data), {}});
  }
  // The directory's size with its values.
  size_t Size() const {
    size_t size = 2 + 12 * FFields.size() + 4;
    for (const TField& f : FFields) size += OutOfLine(f);
    return size;
  }
  // Appends the directory to out; tiff is the index in out of the byte-order
  // field, from which offsets count.
  void Write(TBytes& out, size_t tiff, uint32_t nextIFD, pg::TByteOrder order) const {
    const size_t at = out.size();
    out.resize(at + Size());
    uint8_t* p = out.data() + at;
    order.Put16(p, static_cast<uint32_t>(FFields.size()));
    size_t data = 2 + 12 * FFields.size() + 4; // where the next out-of-line value goes, relative to at
    for (size_t i = 0; i < FFields.size(); ++i) {
      const TField& f = FFields[i];
      uint8_t* e = p + 2 + 12 * i;
      order.Put16(e, f.Tag);
      order.Put16(e + 2, f.Type);
      order.Put32(e + 4, f.Count);
      uint8_t* value = e + 8;
      if (const size_t n = OutOfLine(f)) {
        order.Put32(e + 8, static_cast<uint32_t>(at + data - tiff));
        value = p + data;
        data += n;
      }
      if (f.Numbers.empty()) {
        std::copy(f.Raw.begin(), f.Raw.end(), value);
      } else {
        for (uint32_t v : f.Numbers) {
          if (f.Type == tShort) {
            order.Put16(value, v);
            value += 2;
          } else {
            order.Put32(value, v);
            value += 4;
          }
        }
      }
    }
    order.Put32(p + 2 + 12 * FFields.size(), nextIFD);
  }

private:
  struct TField {
    uint16_t Tag, Type;
    uint32_t Count;
    TBytes Raw;
    std::vector<uint32_t> Numbers;
  };
  static size_t ValueBytes(const TField& f) {
    return f.Numbers.empty() ? f.Raw.size() : f.Numbers.size() * (f.Type == tShort ? 2 : 4);
  }
  // Bytes of the value behind the directory (word aligned); 0 when it fits
  // into the field.
  static size_t OutOfLine(const TField& f) {
    const size_t n = ValueBytes(f);
    return n <= 4 ? 0 : n + (n & 1);
  }
  std::vector<TField> FFields;
};

// The TIFF header: byte-order field, 42, offset of the first IFD (8).
void WriteTIFFHeader(TBytes& out, pg::TByteOrder order) {
  const size_t at = out.size();
  out.resize(at + 8);
  out[at] = out[at + 1] = order.BigEndian ? 'M' : 'I';
  order.Put16(&out[at + 2], 42);
  order.Put32(&out[at + 4], 8);
}

TBytes Text(const char* s) { return TBytes(s, s + std::char_traits<char>::length(s)); }

// The Exif APP1 segment: resolution, software and the Exif IFD with the
// versions, the colour space and the pixel dimensions.
TBytes ExifSegment(int32_t width, int32_t height, pg::TByteOrder order) {
  TIFDWriter ifd0, exif;
  ifd0.Numbers(0x011A, tRational, {72, 1});  // XResolution
  ifd0.Numbers(0x011B, tRational, {72, 1});  // YResolution
  ifd0.Numbers(0x0128, tShort, {2});         // ResolutionUnit: inch
  TBytes software = Text(kSoftware);
  software.push_back(0);
  ifd0.Bytes(0x0131, tAscii, software);      // Software
  ifd0.Numbers(0x0213, tShort, {1});         // YCbCrPositioning: centred
  // The Exif IFD follows IFD0, which grows by the pointer's own field.
  const uint32_t exifAt = static_cast<uint32_t>(8 + ifd0.Size() + 12);
  ifd0.Numbers(0x8769, tLong, {exifAt});     // Exif IFD pointer
  exif.Bytes(0x9000, tUndefined, Text("0230"));      // ExifVersion
  exif.Bytes(0x9101, tUndefined, {1, 2, 3, 0});      // ComponentsConfiguration: Y, Cb, Cr
  exif.Bytes(0xA000, tUndefined, Text("0100"));      // FlashpixVersion
  exif.Numbers(0xA001, tShort, {1});                 // ColorSpace: sRGB
  exif.Numbers(0xA002, tLong, {static_cast<uint32_t>(width)});  // PixelXDimension
  exif.Numbers(0xA003, tLong, {static_cast<uint32_t>(height)}); // PixelYDimension

  TBytes payload = {'E', 'x', 'i', 'f', 0, 0};
  const size_t tiff = payload.size();
  WriteTIFFHeader(payload, order);
  ifd0.Write(payload, tiff, 0, order);
  if (payload.size() - tiff != exifAt) Raise("Internal Error");
  exif.Write(payload, tiff, 0, order);
  return MakeSegment(mkAPP1, payload);
}

// The attribute IFD of image number (1, 2): version, individual number, base
// viewpoint 1, convergence angle and baseline length unknown.
TIFDWriter AttributeIFD(uint32_t number) {
  TIFDWriter ifd;
  ifd.Bytes(0xB000, tUndefined, Text("0100"));           // MPFVersion
  ifd.Numbers(0xB101, tLong, {number});                  // MPIndividualNum
  ifd.Numbers(0xB204, tLong, {1});                       // BaseViewpointNum
  ifd.Numbers(0xB205, tSRational, {kUnknown, kUnknown}); // ConvergenceAngle
  ifd.Numbers(0xB206, tRational, {kUnknown, kUnknown});  // BaselineLength
  return ifd;
}

struct TEntry {
  uint32_t Attributes, Size, Offset;
};

// The MPF APP2 segment of image number (1, 2); the first image's carries the
// MP index with the entries, followed by its attribute IFD.
TBytes MPFSegment(uint32_t number, const std::vector<TEntry>& entries, pg::TByteOrder order) {
  TBytes payload = {'M', 'P', 'F', 0};
  const size_t tiff = payload.size();
  WriteTIFFHeader(payload, order);
  const TIFDWriter attributes = AttributeIFD(number);
  if (number == 1) {
    TBytes list(kEntrySize * entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      uint8_t* e = &list[kEntrySize * i];
      order.Put32(e, entries[i].Attributes);
      order.Put32(e + 4, entries[i].Size);
      order.Put32(e + 8, entries[i].Offset);
      // dependent image entries: none
    }
    TIFDWriter index;
    index.Bytes(0xB000, tUndefined, Text("0100"));                              // MPFVersion
    index.Numbers(0xB001, tLong, {static_cast<uint32_t>(entries.size())});      // NumberOfImages
    index.Bytes(0xB002, tUndefined, list);                                      // MP Entry
    index.Write(payload, tiff, static_cast<uint32_t>(8 + index.Size()), order);
  }
  attributes.Write(payload, tiff, 0, order);
  return MakeSegment(mkAPP2, payload);
}

} // namespace

TMPOFileFormatWriter::TMPOFileFormatWriter() : TFileFormatWriter("mpo", "Multi-Picture Format") {
  // The save dialogs store one picture; a pair is saved by its own command.
  ListedInFilter = false;
  MultiImage = true;
  CanWriteResolutions = static_cast<TPGColorResSet>((1u << 5) | (1u << 7));
}

void TMPOFileFormatWriter::WriteGraphic(TStream&, TPixelGraphic&) {
  Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
}

void TMPOFileFormatWriter::BeginFile(TStream&) { FImages.clear(); }

void TMPOFileFormatWriter::WriteImage(TStream&, TPixelGraphic& graphic) {
  if (FImages.size() >= 2) Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
  graphic.DetectPaletteIdent();
  if (graphic.BitCount() != bc24Bit && !(graphic.BitCount() == bc8Bit && graphic.PaletteIdent() == pGray256))
    Raise(GetMessage1(msgInvalidValueFor, "BitCount"));
  FImages.push_back({EncodeJPEG(graphic), graphic.Width(), graphic.Height()});
}

void TMPOFileFormatWriter::EndFile(TStream& stream) {
  if (FImages.size() != 2) Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
  const pg::TByteOrder order{PGMPOWriteMotorola};
  std::vector<TEntry> entries = {{mpaRepresentative | mptDisparity, 0, 0}, {mptDisparity, 0, 0}};
  std::vector<TBytes> exif;
  for (const TEncoded& e : FImages) exif.push_back(ExifSegment(e.Width, e.Height, order));
  auto assemble = [&](size_t i) {
    TBytes segments = exif[i];
    const TBytes mpf = MPFSegment(static_cast<uint32_t>(i + 1), entries, order);
    segments.insert(segments.end(), mpf.begin(), mpf.end());
    return InsertAfterSOI(FImages[i].Jpeg, segments, false);
  };
  // Sizes first (the values do not change any length), then the real entries.
  const size_t size1 = assemble(0).size(), size2 = assemble(1).size();
  // SOI, the Exif segment, the APP2 marker and length, "MPF\0".
  const size_t header1 = 2 + exif[0].size() + 4 + 4;
  if (size1 + size2 > 0xFFFFFFFFu) Raise(GetMessage1(msgInvalidSizeOf, "MP Entry"));
  entries[0].Size = static_cast<uint32_t>(size1);
  entries[1].Size = static_cast<uint32_t>(size2);
  entries[1].Offset = static_cast<uint32_t>(size1 - header1);
  for (size_t i = 0; i < 2; ++i) {
    const TBytes image = assemble(i);
    stream.WriteBuffer(image.data(), static_cast<int64_t>(image.size()));
  }
  FImages.clear();
}

void RegisterMPOFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TMPOFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TMPOFileFormatWriter>());
}
