#pragma once

// What the readers and writers of the formats stored inside JPEG files (MPO,
// JPS) share: a walk over the marker segments in front of the image data, a
// read-only window onto part of a stream, and JPEG encoding into memory.
// Internal to pgraphic/formats.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/pixelgraphic.h"
#include "platform/stream.h"

namespace pg::jpegseg {

using TBytes = std::vector<uint8_t>;

// JPEG markers used here.
enum : uint8_t { mkSOI = 0xD8, mkEOI = 0xD9, mkSOS = 0xDA, mkAPP0 = 0xE0, mkAPP1 = 0xE1, mkAPP2 = 0xE2, mkAPP3 = 0xE3 };

// One segment with a length field: its marker and where its payload (the
// bytes after the length field) lies in the stream.
struct TSegment {
  uint8_t Marker = 0;
  int64_t Payload = 0; // stream position
  int64_t Length = 0;  // payload bytes (the length field minus 2)
};

// Segments visited before a walk gives up: camera files carry a dozen or so
// before their image data.
constexpr int kMaxSegments = 1024;

// Walks the segments of the JPEG stream starting at start, from its SOI up to
// the first SOS or EOI, calling visit(segment) for each segment with a length;
// visit returns false to stop. Fill bytes are skipped; anything else that is
// not a marker, a length running past the stream's end, or more than
// kMaxSegments segments ends the walk. Returns false when no SOI is at start.
// Only segment headers are read; the stream's position is left anywhere.
template <typename Visit>
bool WalkSegments(TStream& stream, int64_t start, Visit&& visit) {
  const int64_t end = stream.Size();
  uint8_t b[4];
  stream.SetPosition(start);
  if (stream.Read(b, 2) != 2 || b[0] != 0xFF || b[1] != mkSOI) return false;
  int64_t pos = start + 2;
  for (int n = 0; n < kMaxSegments && pos + 2 <= end; ++n) {
    stream.SetPosition(pos);
    if (stream.Read(b, 2) != 2 || b[0] != 0xFF) break;
    const uint8_t m = b[1];
    if (m == 0xFF) { // a fill byte in front of the marker
      ++pos;
      continue;
    }
    if (m == mkSOS || m == mkEOI || m == 0x00) break;
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) { // markers without a length
      pos += 2;
      continue;
    }
    if (stream.Read(b + 2, 2) != 2) break;
    const int64_t length = GetBE16(b + 2);
    if (length < 2 || pos + 2 + length > end) break;
    if (!visit(TSegment{m, pos + 4, length - 2})) break;
    pos += 2 + length;
  }
  return true;
}

// The payload of a segment (at most 65533 bytes).
inline TBytes ReadPayload(TStream& stream, const TSegment& segment) {
  TBytes data(static_cast<size_t>(segment.Length));
  stream.SetPosition(segment.Payload);
  stream.ReadBuffer(data.data(), segment.Length);
  return data;
}

// Whether an APP2 segment carrying a Multi-Picture Format index ("MPF\0") lies
// in front of the image data of the JPEG stream at start.
inline bool HasMPFSegment(TStream& stream, int64_t start) {
  bool found = false;
  WalkSegments(stream, start, [&](const TSegment& s) {
    if (s.Marker != mkAPP2 || s.Length < 4) return true;
    uint8_t id[4];
    stream.SetPosition(s.Payload);
    found = stream.Read(id, 4) == 4 && id[0] == 'M' && id[1] == 'P' && id[2] == 'F' && id[3] == 0;
    return !found;
  });
  return found;
}

// The bytes [start, end) of another stream, read-only, as a stream of their
// own (position 0 = start). The other stream's position is moved by reads.
class TStreamWindow : public TStream {
public:
  TStreamWindow(TStream& base, int64_t start, int64_t end) : FBase(base), FStart(start), FSize(std::max<int64_t>(0, end - start)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::min(count, FSize - FPos);
    if (n <= 0) return 0;
    FBase.SetPosition(FStart + FPos);
    const int64_t got = FBase.Read(buffer, n);
    if (got > 0) FPos += got;
    return got;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t from = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPos : FSize;
    FPos = std::clamp<int64_t>(from + offset, 0, FSize);
    return FPos;
  }
  int64_t Size() override { return FSize; }

private:
  TStream& FBase;
  int64_t FStart, FSize;
  int64_t FPos = 0;
};

// The picture as a complete JPEG stream, encoded by the JPEG writer (with the
// library-wide JPEG settings and the picture's progress events).
TBytes EncodeJPEG(TPixelGraphic& graphic);

// A JPEG stream with a segment inserted: after the SOI, or after the SOI and
// a leading JFIF APP0 segment when keepJFIF is set; without keepJFIF a leading
// JFIF segment is dropped. segment holds marker and length already.
TBytes InsertAfterSOI(const TBytes& jpeg, const TBytes& segment, bool keepJFIF);

// A marker segment: FF, marker, the big-endian length, the payload. Raises
// when the payload does not fit into one segment.
TBytes MakeSegment(uint8_t marker, const TBytes& payload);

} // namespace pg::jpegseg
