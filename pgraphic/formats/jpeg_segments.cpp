#include "pgraphic/formats/jpeg_segments.h"

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jpeg.h"

namespace pg::jpegseg {

TBytes EncodeJPEG(TPixelGraphic& graphic) {
  TMemoryStream out;
  TJPGFileFormatWriter().WriteGraphic(out, graphic);
  return std::move(out.Data());
}

TBytes InsertAfterSOI(const TBytes& jpeg, const TBytes& segment, bool keepJFIF) {
  // The encoder's own output: SOI, then (by the library's defaults) JFIF APP0.
  size_t at = 2;
  if (jpeg.size() >= 11 && jpeg[2] == 0xFF && jpeg[3] == mkAPP0 && std::equal(jpeg.begin() + 6, jpeg.begin() + 11, "JFIF")) {
    const size_t jfifEnd = 4 + GetBE16(&jpeg[4]);
    if (keepJFIF) at = jfifEnd;
    TBytes out(jpeg.begin(), jpeg.begin() + static_cast<long>(at));
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + static_cast<long>(jfifEnd), jpeg.end());
    return out;
  }
  TBytes out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

TBytes MakeSegment(uint8_t marker, const TBytes& payload) {
  if (payload.size() > 65533) throw EPixelGraphic(GetMessage1(msgInvalidSizeOf, "APP segment"));
  const uint32_t length = static_cast<uint32_t>(payload.size() + 2);
  TBytes s(payload.size() + 4);
  s[0] = 0xFF;
  s[1] = marker;
  s[2] = static_cast<uint8_t>(length >> 8);
  s[3] = static_cast<uint8_t>(length);
  std::copy(payload.begin(), payload.end(), s.begin() + 4);
  return s;
}

} // namespace pg::jpegseg
