// The image's clipboard exchange as bytes: a CF_DIB block is a packed
// device-independent bitmap (40-byte info header, colour table, bottom-up
// pixel rows). The window-system side (the system clipboard) lives in the
// device library; this part needs no window system. It sits beside the BMP
// reader and writer, whose packed-bitmap routines it uses.
#include <cstring>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

void TPixelGraphic::LoadFromClipboardFormat(uint32_t format, const uint8_t* data, int64_t size, uint32_t) {
  // CF_BITMAP names a bitmap handle, not a block holding a packed bitmap:
  // it is refused like any other format instead of being read as one.
  if (format != CF_DIB || !data) throw EPGUnknownClipboardFormat(GetMessage(msgUnknownClipboardFormat));
  BeginUpdate();
  try {
    TReadOnlyMemoryStream stream(data, size);
    // The block starts with an info header; a core header (12 bytes) is read
    // as one. Any other header size is refused rather than misread.
    const uint32_t headerSize = size >= 4 ? LE32(data) : 0;
    if (headerSize != 40 && headerSize != 12)
      throw EPGBMPFileFormatReader("BMP: " + GetMessage1(msgInvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader"));
    ReadPackedBitmap(stream, headerSize == 12);
    FGamma = PGDefaultGamma;
  } catch (...) {
    DetectPaletteIdent();
    EndUpdate();
    throw;
  }
  DetectPaletteIdent();
  EndUpdate();
}

void TPixelGraphic::SaveToClipboardFormat(uint32_t& format, std::vector<uint8_t>& data, uint32_t& palette) {
  TMemoryStream stream;
  WritePackedBitmap(stream);
  std::vector<uint8_t>& block = stream.Data();
  // A palette image without palette entries: biClrUsed 0 would mean a full
  // colour table to any reader, which would then take the pixels for it. The
  // colour table of the pixel memory (all zero) is written instead.
  const int tableSize = PaletteSize();
  if (tableSize > 0 && PaletteCount() == 0 && block.size() >= 40) {
    block.insert(block.begin() + 40, 4 * static_cast<size_t>(tableSize), uint8_t(0));
    const uint32_t n = static_cast<uint32_t>(tableSize);
    const uint8_t le[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), 0, 0};
    std::memcpy(block.data() + 32, le, 4);
  }
  // The block has the allocation size of the clipboard memory, 18 bytes
  // beyond what is written.
  block.resize(block.size() + 18, 0);
  data = std::move(block);
  format = CF_DIB;
  palette = 0;
}
