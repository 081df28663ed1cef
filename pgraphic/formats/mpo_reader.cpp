#include <algorithm>
#include <cstdio>
#include <optional>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/jpeg_segments.h"
#include "pgraphic/formats/mpo.h"

// The MP index lives in the first image's MPF segment: "MPF\0", then a TIFF
// header whose byte-order field is the origin of every offset (the first
// IFD's, the values', and the images' except the first one's, which is 0).

using namespace pg::jpegseg;

namespace {

[[noreturn]] void Raise(const std::string& text) { throw EPGMPOFileFormatReaderWriter("MPO: " + text); }

enum : uint16_t { tagNumberOfImages = 0xB001, tagMPEntry = 0xB002 };
constexpr size_t kEntrySize = 16;

// Bytes of one value of a TIFF field type; 1 for unknown types.
size_t TypeSize(uint16_t type) {
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

bool StartsWithSOI(TStream& stream, int64_t pos) {
  if (pos < 0 || pos + 2 > stream.Size()) return false;
  uint8_t b[2];
  stream.SetPosition(pos);
  return stream.Read(b, 2) == 2 && b[0] == 0xFF && b[1] == mkSOI;
}

} // namespace

std::string MPOTypeName(uint32_t type) {
  switch (type) {
    case mptLargeThumbnailVGA:
      return "Large thumbnail (VGA)";
    case mptLargeThumbnailFullHD:
      return "Large thumbnail (full HD)";
    case mptPanorama:
      return "Panorama frame";
    case mptDisparity:
      return "Disparity";
    case mptMultiAngle:
      return "Multi-angle frame";
    case mptBaselinePrimary:
      return "Baseline primary image";
    case 0:
      return "Undefined";
    default: {
      char text[32];
      std::snprintf(text, sizeof text, "Type 0x%06X", static_cast<unsigned>(type));
      return text;
    }
  }
}

TMPOIndex ReadMPOIndex(TStream& stream) {
  const int64_t base = stream.Position();
  std::optional<TSegment> mpf;
  WalkSegments(stream, base, [&](const TSegment& s) {
    if (s.Marker != mkAPP2 || s.Length < 4) return true;
    uint8_t id[4];
    stream.SetPosition(s.Payload);
    if (stream.Read(id, 4) == 4 && id[0] == 'M' && id[1] == 'P' && id[2] == 'F' && id[3] == 0) mpf = s;
    return !mpf;
  });
  if (!mpf) Raise(GetMessage1(msgNotAFile, "MPO"));

  const TBytes payload = ReadPayload(stream, *mpf);
  const uint8_t* t = payload.data() + 4; // the byte-order field
  const uint64_t size = payload.size() - 4;
  auto inside = [size](uint64_t offset, uint64_t count) { return offset <= size && count <= size - offset; };

  TMPOIndex index;
  index.HeaderPos = mpf->Payload + 4;
  if (!inside(0, 8)) Raise(GetMessage1(msgInvalid, "MP header"));
  if (t[0] == 'I' && t[1] == 'I' && t[2] == 0x2A && t[3] == 0)
    index.BigEndian = false;
  else if (t[0] == 'M' && t[1] == 'M' && t[2] == 0 && t[3] == 0x2A)
    index.BigEndian = true;
  else
    Raise(GetMessage1(msgInvalid, "MP header"));
  const pg::TByteOrder order{index.BigEndian};

  // The MP Index IFD, wherever the header says it starts; a field count
  // running past the segment keeps the fields that are there.
  const uint64_t ifd = order.Get32(t + 4);
  if (ifd < 8 || !inside(ifd, 2)) Raise(GetMessage1(msgInvalid, "MP Index IFD"));
  const uint64_t fields = std::min<uint64_t>(order.Get16(t + ifd), (size - ifd - 2) / 12);
  std::optional<uint64_t> number;
  uint64_t entriesAt = 0, entriesBytes = 0;
  bool haveEntries = false;
  for (uint64_t i = 0; i < fields; ++i) {
    const uint8_t* f = t + ifd + 2 + 12 * i;
    const uint16_t tag = order.Get16(f), type = order.Get16(f + 2);
    const uint64_t count = order.Get32(f + 4);
    if (tag == tagNumberOfImages && count >= 1)
      number = type == 3 ? order.Get16(f + 8) : order.Get32(f + 8);
    if (tag == tagMPEntry) {
      // Normally UNDEFINED with 16 bytes per image; the byte count decides.
      entriesBytes = count * TypeSize(type);
      entriesAt = entriesBytes <= 4 ? ifd + 2 + 12 * i + 8 : order.Get32(f + 8);
      haveEntries = true;
    }
  }
  // The whole entries that lie inside the segment, no more than the index says.
  uint64_t entries = 0;
  if (haveEntries && entriesAt <= size) entries = std::min(entriesBytes, size - entriesAt) / kEntrySize;
  if (number) entries = std::min(entries, *number);
  if (entries == 0) Raise(GetMessage1(msgInvalid, "MP Entry"));

  std::vector<TMPOImage> images;
  for (uint64_t i = 0; i < entries; ++i) {
    const uint8_t* e = t + entriesAt + kEntrySize * i;
    TMPOImage im;
    im.Entry = static_cast<int>(i + 1);
    im.Attributes = order.Get32(e);
    im.Size = order.Get32(e + 4);
    im.Offset = order.Get32(e + 8);
    im.Start = im.Offset == 0 ? base : index.HeaderPos + im.Offset;
    im.Inside = StartsWithSOI(stream, im.Start);
    images.push_back(im);
  }

  // The views first: the first two disparity images are left and right.
  std::vector<size_t> views;
  for (size_t i = 0; i < images.size() && views.size() < 2; ++i)
    if (images[i].Type() == mptDisparity) views.push_back(i);
  index.StereoPair = views.size() == 2;
  if (index.StereoPair) {
    index.Images.push_back(images[views[0]]);
    index.Images.push_back(images[views[1]]);
    for (size_t i = 0; i < images.size(); ++i)
      if (i != views[0] && i != views[1]) index.Images.push_back(images[i]);
  } else {
    index.Images = std::move(images);
  }
  stream.SetPosition(base);
  return index;
}

// ---------------------------------------------------------------- reader

namespace {

// The image of an index, checked; raises for an index the file does not have
// (message 7 or 20 with "Index") and for an image outside the file.
const TMPOImage& ChosenImage(const TMPOIndex& mpo, int index, int indexMessage) {
  if (index < 0 || static_cast<size_t>(index) >= mpo.Images.size()) Raise(GetMessage1(indexMessage, "Index"));
  const TMPOImage& im = mpo.Images[static_cast<size_t>(index)];
  if (!im.Inside) Raise(GetMessage1(msgInvalid, "Offset of image " + std::to_string(im.Entry)));
  return im;
}

// The index of the file, or none when it is broken and image 0 is asked for:
// the first image is then the JPEG at the file's start, read as any JPEG
// reader would read it (many ordinary photographs carry an MPF segment for
// their previews).
std::optional<TMPOIndex> IndexOrFirstImage(TStream& stream, int index) {
  const int64_t base = stream.Position();
  try {
    return ReadMPOIndex(stream);
  } catch (const EPGMPOFileFormatReaderWriter&) {
    if (index != 0) throw;
  }
  stream.SetPosition(base);
  return std::nullopt;
}

} // namespace

TMPOFileFormatReader::TMPOFileFormatReader() : TFileFormatReader("mpo", "Multi-Picture Format") {
  DetectsByContent = true; // by the MPF segment, never by extension
  DetectsInStream = true;
}

bool TMPOFileFormatReader::IsFormatInStream(TStream& stream, const uint8_t* header, const std::string&) const {
  return header[0] == 0xFF && header[1] == mkSOI && HasMPFSegment(stream, stream.Position());
}

void TMPOFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  const std::optional<TMPOIndex> mpo = IndexOrFirstImage(stream, index);
  if (!mpo) {
    TJPGFileFormatReader().ReadGraphic(stream, graphic, 0);
    return;
  }
  const TMPOImage& im = ChosenImage(*mpo, index, msgInvalid);
  TStreamWindow image(stream, im.Start, stream.Size());
  TJPGFileFormatReader().ReadGraphic(image, graphic, 0);
}

void TMPOFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  const std::optional<TMPOIndex> found = IndexOrFirstImage(stream, index);
  if (!found) {
    TJPGFileFormatReader().GetInfo(stream, 0, info);
    return;
  }
  const TMPOIndex& mpo = *found;
  const TMPOImage& im = ChosenImage(mpo, index, msgInvalidValueFor);
  TStreamWindow image(stream, im.Start, stream.Size());
  TJPGFileFormatReader().GetInfo(image, 0, info);
  info.ImageCount = static_cast<int>(mpo.Images.size());
  if (mpo.StereoPair && index < 2)
    info.KindText = index == 0 ? "Left view" : "Right view";
  else
    info.KindText = MPOTypeName(im.Type());
}
