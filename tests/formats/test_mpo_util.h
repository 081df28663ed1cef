#pragma once

// MPO files built by hand, field by field, as cameras write them (not as the
// library's writer does), with the quirks found in the wild, and pictures to
// fill them.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/jpeg.h"
#include "platform/stream.h"

namespace mpotest {

using Bytes = std::vector<uint8_t>;

// A 24-bit picture with a pattern that differs by seed.
inline void MakePicture(TPixelGraphic& g, int w, int h, int seed) {
  g.SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixels(x, y, RGBColor((x * 9 + seed * 70) % 256, (y * 13 + seed * 40) % 256, (x * y + seed) % 256));
}

inline Bytes EncodeJPEG(TPixelGraphic& g) {
  TMemoryStream out;
  TJPGFileFormatWriter().WriteGraphic(out, g);
  return out.Data();
}

// The picture the JPEG reader makes of a stream.
inline void DecodeJPEG(const Bytes& jpeg, TPixelGraphic& g) {
  TReadOnlyMemoryStream in(jpeg.data(), static_cast<int64_t>(jpeg.size()));
  TJPGFileFormatReader().ReadGraphic(in, g, 0);
}

inline bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColors(x, y) != b.PixelColors(x, y)) return false;
  return true;
}

// One MP entry: attributes, the JPEG stream it lists (an index into the
// builder's streams; -1 points past the end of the file) and a size error.
struct TEntryLayout {
  uint32_t Attributes;
  int Image;
  int64_t SizeError = 0;
};

struct TMPOLayout {
  bool BigEndian = false;
  uint32_t FirstIFD = 8;        // offset of the MP Index IFD (padding in between)
  std::vector<TEntryLayout> Entries;
  int64_t NumberOfImages = -1;  // -1: as many as entries; -2: no such field
  int EntryBytesError = 0;      // added to the MP Entry's byte count
  Bytes Between, After;         // junk behind every image but the last, behind the last
  size_t ExifBytes = 0;         // an APP1 segment of this size in front of the MPF segment
  bool IccFirst = false;        // an ICC profile APP2 segment in front of the MPF segment
  Bytes Header;                 // replaces the byte-order field and 42 when not empty
};

inline void Put16(Bytes& b, uint32_t v, bool big) {
  for (int i = 0; i < 2; ++i) b.push_back(static_cast<uint8_t>(v >> (big ? 8 - 8 * i : 8 * i)));
}
inline void Put32(Bytes& b, uint32_t v, bool big) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
}
inline void Append(Bytes& b, const Bytes& more) {
  for (uint8_t c : more) b.push_back(c);
}
inline Bytes Segment(uint8_t marker, const Bytes& payload) {
  Bytes s;
  s.push_back(0xFF);
  s.push_back(marker);
  Put16(s, static_cast<uint32_t>(payload.size() + 2), true);
  Append(s, payload);
  return s;
}

// The streams one after another, the first with the MP index inserted after
// its SOI.
inline Bytes BuildMPO(const std::vector<Bytes>& jpegs, const TMPOLayout& layout) {
  const bool big = layout.BigEndian;
  const size_t n = layout.Entries.size();
  Bytes front;
  if (layout.ExifBytes > 0) {
    Bytes exif(std::max<size_t>(layout.ExifBytes, 6), 0x55);
    const char id[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::copy(id, id + 6, exif.begin());
    front = Segment(0xE1, exif);
  }
  if (layout.IccFirst) {
    const std::string icc = "ICC_PROFILE";
    Bytes p(200, 0);
    std::copy(icc.begin(), icc.end(), p.begin());
    Append(front, Segment(0xE2, p));
  }
  // "MPF\0", header, padding, IFD of 3 fields (or 2), next IFD 0, entries.
  const bool numberField = layout.NumberOfImages != -2;
  const uint32_t fields = numberField ? 3 : 2;
  const uint32_t entriesAt = layout.FirstIFD + 2 + 12 * fields + 4;
  const size_t mpfLength = 4 + entriesAt + 16 * n;
  const int64_t headerPos = 2 + static_cast<int64_t>(front.size()) + 4 + 4;
  // Where each stream starts in the file.
  std::vector<int64_t> starts;
  int64_t pos = 0;
  for (size_t i = 0; i < jpegs.size(); ++i) {
    starts.push_back(pos);
    pos += static_cast<int64_t>(jpegs[i].size()) + (i == 0 ? static_cast<int64_t>(front.size() + 4 + mpfLength) : 0);
    if (i + 1 < jpegs.size()) pos += static_cast<int64_t>(layout.Between.size());
  }
  const int64_t end = pos + static_cast<int64_t>(layout.After.size());

  Bytes mpf = {'M', 'P', 'F', 0};
  if (layout.Header.empty()) {
    mpf.push_back(big ? 'M' : 'I');
    mpf.push_back(big ? 'M' : 'I');
    Put16(mpf, 42, big);
  } else {
    Append(mpf, layout.Header);
  }
  Put32(mpf, layout.FirstIFD, big);
  mpf.resize(4 + layout.FirstIFD, 0xEE);
  Put16(mpf, fields, big);
  Put16(mpf, 0xB000, big), Put16(mpf, 7, big), Put32(mpf, 4, big);
  Append(mpf, {'0', '1', '0', '0'});
  if (numberField) {
    Put16(mpf, 0xB001, big), Put16(mpf, 4, big), Put32(mpf, 1, big);
    Put32(mpf, static_cast<uint32_t>(layout.NumberOfImages < 0 ? n : layout.NumberOfImages), big);
  }
  Put16(mpf, 0xB002, big), Put16(mpf, 7, big);
  Put32(mpf, static_cast<uint32_t>(16 * n + layout.EntryBytesError), big);
  Put32(mpf, entriesAt, big);
  Put32(mpf, 0, big);
  for (const TEntryLayout& e : layout.Entries) {
    const int64_t start = e.Image < 0 ? end + 1000 : starts[static_cast<size_t>(e.Image)];
    const int64_t size = e.Image < 0 ? 5000 : static_cast<int64_t>(jpegs[static_cast<size_t>(e.Image)].size());
    Put32(mpf, e.Attributes, big);
    Put32(mpf, static_cast<uint32_t>(size + e.SizeError), big);
    Put32(mpf, start == 0 ? 0 : static_cast<uint32_t>(start - headerPos), big);
    Put32(mpf, 0, big);
  }

  Bytes file = {0xFF, 0xD8};
  Append(file, front);
  Append(file, Segment(0xE2, mpf));
  file.insert(file.end(), jpegs[0].begin() + 2, jpegs[0].end());
  for (size_t i = 1; i < jpegs.size(); ++i) {
    Append(file, layout.Between);
    Append(file, jpegs[i]);
  }
  Append(file, layout.After);
  return file;
}

} // namespace mpotest
