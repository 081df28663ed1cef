#include "pgraphic/formats/bmp.h"

#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/formats/bmp_internal.h"

// The bitmap writer: a Windows bitmap with a 40-byte info header, uncompressed.
// The image's own storage is the packed bitmap (info header, colour table,
// bottom-up rows) that follows the file header.

using pg::bmp::kFileHeaderSize;
using pg::bmp::kInfoHeaderSize;

void TPixelGraphic::WritePackedBitmap(TStream& stream) {
  const uint32_t entries = FBitCount == bc24Bit ? 0 : static_cast<uint32_t>(PaletteCount());
  std::vector<uint8_t> head(kInfoHeaderSize + 4 * static_cast<size_t>(entries), 0);
  uint8_t* h = head.data();
  pg::PutLE32(h + 0, kInfoHeaderSize);
  pg::PutLE32(h + 4, static_cast<uint32_t>(FWidth));
  pg::PutLE32(h + 8, static_cast<uint32_t>(FHeight));
  pg::PutLE16(h + 12, 1);
  pg::PutLE16(h + 14, static_cast<uint32_t>(BitCountNum()));
  pg::PutLE32(h + 16, 0);
  pg::PutLE32(h + 20, static_cast<uint32_t>(FByteSize));
  pg::PutLE32(h + 32, entries);
  for (uint32_t i = 0; i < entries; ++i) {
    const TColorRef c = FPalette[i];
    uint8_t* e = h + kInfoHeaderSize + 4 * i;
    e[0] = static_cast<uint8_t>(GetBValue(c));
    e[1] = static_cast<uint8_t>(GetGValue(c));
    e[2] = static_cast<uint8_t>(GetRValue(c));
  }
  stream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
  if (FByteSize > 0) stream.WriteBuffer(FBits, FByteSize);
}

void TBMPFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  const uint32_t entries = graphic.BitCount() == bc24Bit ? 0 : static_cast<uint32_t>(graphic.PaletteCount());
  const uint32_t offBits = kFileHeaderSize + kInfoHeaderSize + 4 * entries;
  uint8_t h[kFileHeaderSize] = {'B', 'M'};
  pg::PutLE32(h + 2, offBits + static_cast<uint32_t>(graphic.ByteSize()));
  pg::PutLE32(h + 10, offBits);
  stream.WriteBuffer(h, kFileHeaderSize);
  graphic.WritePackedBitmap(stream);
}
