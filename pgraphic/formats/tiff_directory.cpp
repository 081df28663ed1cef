#include <algorithm>
#include <limits>
#include <unordered_set>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/settings.h"
#include "pgraphic/formats/tiff_internal.h"

// The TIFF header, the chain of image file directories and the fields of the
// chosen directory. Offsets and counts are untrusted: every array is checked
// against the stream before anything is allocated for it.

namespace pg::tiff {

namespace {

int ElementSize(uint16_t type) {
  switch (type) {
    case typeByte: return 1;
    case typeShort: return 2;
    case typeLong: return 4;
    default: return 0;
  }
}

// Reads up to maxCount elements of a 12-byte entry. The values sit in the entry
// when they fit in its 4 value bytes, else at the offset it holds. An array
// that the stream cannot hold raises the stream's read error before anything
// is allocated for it.
std::vector<uint32_t> ReadEntryValues(TStream& stream, const TTIFFDirectory& dir, int64_t streamSize,
                                      const uint8_t* entry, uint32_t maxCount) {
  const uint16_t type = dir.Order.Get16(entry + 2);
  const int elem = ElementSize(type);
  if (elem == 0) RaiseReader("Unsupported field Type: " + std::to_string(type));
  const uint32_t count = dir.Order.Get32(entry + 4);
  const int64_t total = static_cast<int64_t>(count) * elem;
  const uint32_t n = std::min(count, maxCount);
  std::vector<uint32_t> values;
  if (n == 0) return values;
  const int64_t bytes = static_cast<int64_t>(n) * elem;
  std::vector<uint8_t> raw;
  const uint8_t* src;
  if (total <= 4) {
    src = entry + 8;
  } else {
    const int64_t pos = dir.Base + dir.Order.Get32(entry + 8);
    if (pos + bytes > streamSize) throw EReadError();
    raw.resize(static_cast<size_t>(bytes));
    stream.SetPosition(pos);
    stream.ReadBuffer(raw.data(), bytes);
    src = raw.data();
  }
  values.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    switch (elem) {
      case 1: values[i] = src[i]; break;
      case 2: values[i] = dir.Order.Get16(src + 2 * static_cast<size_t>(i)); break;
      default: values[i] = dir.Order.Get32(src + 4 * static_cast<size_t>(i)); break;
    }
  }
  return values;
}

uint32_t ReadEntryValue(TStream& stream, const TTIFFDirectory& dir, int64_t streamSize, const uint8_t* entry) {
  const std::vector<uint32_t> v = ReadEntryValues(stream, dir, streamSize, entry, 1);
  return v.empty() ? 0 : v[0];
}

} // namespace

void ReadDirectory(TStream& stream, int index, TTIFFDirectory& dir) {
  dir.Base = stream.Position();
  const int64_t size = stream.Size();
  uint8_t buf[4];
  stream.ReadBuffer(buf, 2);
  if (buf[0] == 'I' && buf[1] == 'I')
    dir.Order.BigEndian = false;
  else if (buf[0] == 'M' && buf[1] == 'M')
    dir.Order.BigEndian = true;
  else
    RaiseReader(GetMessage1(msgNotAFile, "TIF"));
  stream.ReadBuffer(buf, 2);
  if (dir.Order.Get16(buf) != 42) RaiseReader(GetMessage1(msgNotAFile, "TIF"));
  stream.ReadBuffer(buf, 4);
  const uint32_t firstIFD = dir.Order.Get32(buf);

  // The chain: a directory outside the stream, a loop or more directories than
  // allowed make a broken chain, which is read as a single image.
  uint32_t ifd = firstIFD;
  dir.ImageCount = 1;
  if (PGTIFFReadAllImages) {
    int count = 0;
    uint32_t chosen = 0;
    bool broken = false;
    std::unordered_set<uint32_t> seen;
    uint32_t o = firstIFD;
    while (o != 0) {
      if (count == index) chosen = o;
      const int64_t pos = dir.Base + o;
      if (pos > size - 2 || !seen.insert(o).second) {
        broken = true;
        break;
      }
      stream.SetPosition(pos);
      stream.ReadBuffer(buf, 2);
      const int64_t nextField = pos + 2 + 12 * static_cast<int64_t>(dir.Order.Get16(buf));
      if (nextField + 4 > size) {
        broken = true;
        break;
      }
      stream.SetPosition(nextField);
      stream.ReadBuffer(buf, 4);
      o = dir.Order.Get32(buf);
      ++count;
      if (count > PGTIFFMaxImages) {
        broken = true;
        break;
      }
    }
    if (broken || count == 0) {
      dir.ImageCount = 1;
    } else {
      dir.ImageCount = count;
      if (index >= 0 && index < count) ifd = chosen;
    }
  }
  if (index < 0 || index >= dir.ImageCount) RaiseReader(GetMessage1(msgInvalid, "Index"));

  // The directory's entries.
  const int64_t ifdPos = dir.Base + ifd;
  stream.SetPosition(ifdPos);
  stream.ReadBuffer(buf, 2);
  const int entryCount = dir.Order.Get16(buf);
  if (ifdPos + 2 + 12 * static_cast<int64_t>(entryCount) > size) throw EReadError();
  std::vector<uint8_t> entries(static_cast<size_t>(entryCount) * 12);
  stream.ReadBuffer(entries.data(), static_cast<int64_t>(entries.size()));
  constexpr uint32_t all = std::numeric_limits<uint32_t>::max();
  for (int i = 0; i < entryCount; ++i) {
    const uint8_t* e = entries.data() + 12 * static_cast<size_t>(i);
    switch (dir.Order.Get16(e)) {
      case tagNewSubfileType: dir.SubfileType = ReadEntryValue(stream, dir, size, e); break;
      case tagImageWidth: dir.Width = ReadEntryValue(stream, dir, size, e); break;
      case tagImageLength: dir.Length = ReadEntryValue(stream, dir, size, e); break;
      case tagBitsPerSample: dir.BitsPerSample = ReadEntryValues(stream, dir, size, e, all); break;
      case tagCompression: dir.Compression = ReadEntryValue(stream, dir, size, e); break;
      case tagPhotometric: dir.Photometric = ReadEntryValue(stream, dir, size, e); break;
      case tagStripOffsets: dir.StripOffsets = ReadEntryValues(stream, dir, size, e, all); break;
      case tagSamplesPerPixel: dir.SamplesPerPixel = ReadEntryValue(stream, dir, size, e); break;
      case tagRowsPerStrip: dir.RowsPerStrip = ReadEntryValue(stream, dir, size, e); break;
      case tagStripByteCounts: dir.StripByteCounts = ReadEntryValues(stream, dir, size, e, all); break;
      case tagPlanarConfiguration: dir.Planar = ReadEntryValue(stream, dir, size, e); break;
      case tagColorMap: dir.ColorMap = ReadEntryValues(stream, dir, size, e, all); break;
      default: break;
    }
  }

  if (dir.Planar > 1) RaiseReader(GetMessage1(msgInvalid, "PlanarConfiguration"));
  const uint32_t spp = dir.SamplesPerPixel;
  if (spp != 1 && spp != 3 && spp != 4) RaiseReader("Invalid SamplesPerPixel");
  if (dir.BitsPerSample.size() != spp) RaiseReader("Invalid count of SamplesPerPixel");
  const std::vector<uint32_t>& bps = dir.BitsPerSample;
  const bool all8 = std::all_of(bps.begin(), bps.end(), [](uint32_t b) { return b == 8; });
  bool accepted = false;
  switch (dir.Photometric) {
    case 0:
    case 1:
    case 3: accepted = spp == 1 && (bps[0] == 1 || bps[0] == 4 || bps[0] == 8); break;
    case 2: accepted = (spp == 3 || spp == 4) && all8; break;
    case 5: accepted = spp == 4 && all8; break;
    default: break;
  }
  if (!accepted) RaiseReader("Invalid SamplesPerPixel");
  if (dir.RowsPerStrip == 0) {
    if (dir.StripOffsets.size() == 1)
      dir.RowsPerStrip = dir.Length;
    else
      RaiseReader("Invalid RowsPerStrip");
  }
}

} // namespace pg::tiff
