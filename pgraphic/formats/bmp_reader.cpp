#include "pgraphic/formats/bmp.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/bmp_internal.h"

// Windows (40-byte info header and the longer headers of the later Windows
// versions, which begin with it) and OS/2 (12-byte core header) bitmaps. The
// image's storage is itself a bottom-up device-independent bitmap, so
// uncompressed 1-, 4-, 8- and 24-bit files go straight from the stream into it;
// only 16/32-bit bit-field files and RLE files need per-pixel work.
//
// Everything taken from a file is untrusted: sizes are computed in 64 bits, a
// stream that ends early yields what is there (the rest of the image keeps its
// cleared value), and the RLE decoders never read past the compressed data nor
// write outside the image.

namespace pg::bmp {

int64_t ReadSome(TStream& stream, void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = stream.Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t ReadChunked(TPixelGraphic& g, TStream& stream, uint8_t* buffer, int64_t size, bool* aborted) {
  if (aborted) *aborted = false;
  if (size < 101) return ReadSome(stream, buffer, size);
  const int64_t chunk = size / 10;
  int64_t offset = 0, got = 0;
  for (int k = 1; k <= 10; ++k) {
    const int64_t n = k < 10 ? chunk : size - offset;
    got += ReadSome(stream, buffer + offset, n);
    offset += n;
    if (g.DoProgress(&g, k, 10)) {
      if (aborted) *aborted = true;
      break;
    }
  }
  return got;
}

} // namespace pg::bmp

using namespace pg::bmp;

namespace {

// Reads a header: whatever the stream lacks reads as zero (and then fails the
// header checks instead of leaving undefined fields).
void ReadHeaderBytes(TStream& stream, uint8_t* buffer, int count) {
  const int64_t got = ReadSome(stream, buffer, count);
  if (got < count) std::memset(buffer + got, 0, static_cast<size_t>(count - got));
}

// The fields of either bitmap header that reading needs.
struct TBMPHeader {
  bool Core = false;
  uint32_t Size = 0; // the bitmap header's size
  int64_t Width = 0;
  int64_t Height = 0;  // as stored: negative for top-down info headers
  int BitCount = 0;
  uint32_t Compression = 0;
  uint32_t SizeImage = 0;
  uint32_t ClrUsed = 0;
  bool HeaderMasks = false; // the channel masks are part of the header
  uint32_t Masks[3] = {0, 0, 0};
};

// Reads a core or info header at the stream's position and applies the checks
// of the accepted combinations.
TBMPHeader ReadBitmapHeader(TStream& stream, bool coreHeader) {
  TBMPHeader h;
  h.Core = coreHeader;
  if (coreHeader) {
    uint8_t b[kCoreHeaderSize];
    ReadHeaderBytes(stream, b, kCoreHeaderSize);
    h.Width = pg::GetLE16(b + 4);
    h.Height = pg::GetLE16(b + 6);
    const int planes = pg::GetLE16(b + 8);
    h.BitCount = pg::GetLE16(b + 10);
    if (planes != 1) RaiseInvalid("BitmapCoreHeader.bcPlanes");
    if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24)
      RaiseInvalid("BitmapCoreHeader.bcBitCount");
    return h;
  }
  // The later headers begin with the info header; of what follows only the
  // channel masks are used (colour space, gamma and profile are ignored).
  uint8_t b[kMaxHeaderSize];
  ReadHeaderBytes(stream, b, kInfoHeaderSize);
  h.Size = pg::GetLE32(b);
  if (h.Size > kInfoHeaderSize && IsInfoHeaderSize(h.Size)) {
    ReadHeaderBytes(stream, b + kInfoHeaderSize, static_cast<int>(h.Size) - kInfoHeaderSize);
    h.HeaderMasks = true;
    for (int i = 0; i < 3; ++i) h.Masks[i] = pg::GetLE32(b + kInfoHeaderSize + 4 * i);
  }
  h.Width = static_cast<int32_t>(pg::GetLE32(b + 4));
  h.Height = static_cast<int32_t>(pg::GetLE32(b + 8));
  const int planes = pg::GetLE16(b + 12);
  h.BitCount = pg::GetLE16(b + 14);
  h.Compression = pg::GetLE32(b + 16);
  h.SizeImage = pg::GetLE32(b + 20);
  h.ClrUsed = pg::GetLE32(b + 32);
  if (planes != 1) RaiseInvalid("BitmapInfoHeader.biPlanes");
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      RaiseInvalid("BitmapInfoHeader.biBitCount");
  }
  bool ok;
  switch (h.Compression) {
    case 0:
      ok = true;
      break;
    case 1:
      ok = h.BitCount == 8 && h.Height >= 0;
      break;
    case 2:
      ok = h.BitCount == 4 && h.Height >= 0;
      break;
    case 3:
      ok = h.BitCount == 16 || h.BitCount == 32;
      break;
    default:
      ok = false;
  }
  if (!ok) RaiseInvalid("BitmapInfoHeader.biCompression");
  return h;
}

// Reads the file header and peeks the bitmap header's size; true for a core
// header. Other sizes raise the header-size error.
bool ReadFileHeader(TStream& stream) {
  uint8_t fileHeader[kFileHeaderSize];
  ReadHeaderBytes(stream, fileHeader, kFileHeaderSize);
  uint8_t size[4];
  const int64_t pos = stream.Position();
  ReadHeaderBytes(stream, size, 4);
  stream.SetPosition(pos);
  const uint32_t headerSize = pg::GetLE32(size);
  if (headerSize == kCoreHeaderSize) return true;
  if (IsInfoHeaderSize(headerSize)) return false;
  RaiseBMP(GetMessage1(msgInvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader"));
}

uint8_t StorageFor(int bitCount) {
  switch (bitCount) {
    case 1:
      return bc1Bit;
    case 4:
      return bc4Bit;
    case 8:
      return bc8Bit;
    default:
      return bc24Bit;
  }
}

// Sizes the image; a size beyond 32 bits fails like any oversized image.
void SizeImage(TPixelGraphic& g, int64_t width, int64_t height, uint8_t bitCount) {
  if (width > std::numeric_limits<int32_t>::max() || height > std::numeric_limits<int32_t>::max())
    throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
  g.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(height), bitCount);
}

// Reads count colour-table entries (blue, green, red[, reserved]) into the palette.
void ReadPalette(TPixelGraphic& g, TStream& stream, int count, int entrySize) {
  std::vector<uint8_t> table(static_cast<size_t>(count) * static_cast<size_t>(entrySize), 0);
  ReadSome(stream, table.data(), static_cast<int64_t>(table.size()));
  g.SetPaletteCount(count);
  if (g.PaletteIdent() == pNone || g.PaletteIdent() == pTrueColor) g.SetPaletteIdent(pUnknown);
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = table.data() + static_cast<size_t>(i) * static_cast<size_t>(entrySize);
    g.SetPaletteColor(i, RGBColor(e[2], e[1], e[0]));
  }
}

// Swaps storage rows so that the first stored row becomes the top row. Rows
// past the bytes read all hold the cleared value, so pairs of two such rows
// need no swap (a short file claiming a huge image costs nothing here).
void ReverseRows(TPixelGraphic& g, int64_t bytesRead) {
  const int h = g.Height();
  const size_t stride = static_cast<size_t>(g.BytesPerRow());
  if (stride == 0) return;
  const int64_t rowsTouched = (bytesRead + static_cast<int64_t>(stride) - 1) / static_cast<int64_t>(stride);
  const int pairs = static_cast<int>(std::min<int64_t>(h / 2, rowsTouched));
  std::vector<uint8_t> tmp(stride);
  for (int y = 0; y < pairs; ++y) {
    uint8_t* a = g.ScanLine(y);
    uint8_t* b = g.ScanLine(h - 1 - y);
    std::memcpy(tmp.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, tmp.data(), stride);
  }
}

void ReadPackedBitmapBody(TPixelGraphic& g, TStream& stream, bool coreHeader) {
  const TBMPHeader h = ReadBitmapHeader(stream, coreHeader);
  if (h.Core) {
    const uint8_t storage = StorageFor(h.BitCount);
    SizeImage(g, h.Width, h.Height, storage);
    if (storage == bc24Bit)
      g.SetPaletteIdent(pTrueColor);
    else
      ReadPalette(g, stream, 1 << h.BitCount, 3);
    ReadChunked(g, stream, g.Bits(), g.ByteSize());
    return;
  }

  const bool topDown = h.Height < 0;
  const int64_t height = topDown ? -h.Height : h.Height;
  if (h.BitCount >= 16) {
    SizeImage(g, h.Width, height, bc24Bit);
    g.SetPaletteIdent(pTrueColor);
    uint32_t masks[3];
    if (h.BitCount == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000;
      masks[1] = 0x00FF00;
      masks[2] = 0x0000FF;
    }
    if (h.Compression == 3 && h.HeaderMasks) {
      for (int i = 0; i < 3; ++i) masks[i] = h.Masks[i];
    } else if (h.Compression == 3) {
      uint8_t b[12];
      ReadHeaderBytes(stream, b, 12);
      for (int i = 0; i < 3; ++i) masks[i] = pg::GetLE32(b + 4 * i);
    }
    if (h.ClrUsed > 0) stream.Seek(static_cast<int64_t>(h.ClrUsed) * 4, TSeekOrigin::soCurrent);
    if (h.BitCount == 24) {
      const int64_t got = ReadChunked(g, stream, g.Bits(), g.ByteSize());
      if (topDown) ReverseRows(g, got);
    } else {
      ReadBitFields(g, stream, h.BitCount, topDown, masks);
    }
    return;
  }

  SizeImage(g, h.Width, height, StorageFor(h.BitCount));
  // The palette holds at most the bit depth's table: further entries cannot be
  // addressed by any pixel. They are skipped so that the pixels, which follow
  // the whole table, are found where the file puts them.
  const int64_t tableSize = int64_t(1) << h.BitCount;
  const int64_t entries = h.ClrUsed != 0 ? h.ClrUsed : tableSize;
  ReadPalette(g, stream, static_cast<int>(std::min(entries, tableSize)), 4);
  if (entries > tableSize) stream.Seek((entries - tableSize) * 4, TSeekOrigin::soCurrent);
  if (h.Compression == 0) {
    const int64_t got = ReadChunked(g, stream, g.Bits(), g.ByteSize());
    if (topDown) ReverseRows(g, got);
  } else {
    ReadRLE(g, stream, h.SizeImage, h.Compression == 2);
  }
}

const char* ColorsText(int bitCount) {
  switch (bitCount) {
    case 1:
      return "2";
    case 4:
      return "16";
    case 8:
      return "256";
    case 16:
      return "64K";
    default:
      return "16.7M";
  }
}

} // namespace

// ---------------------------------------------------------------- reader

bool TBMPFileFormatReader::IsFormat(const uint8_t* header) const { return header[0] == 'B' && header[1] == 'M'; }

void TBMPFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) RaiseInvalid("Index");
  const bool core = ReadFileHeader(stream);
  graphic.ReadPackedBitmap(stream, core);
}

void TBMPFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) RaiseBMP(GetMessage1(msgInvalidValueFor, "Index"));
  const bool core = ReadFileHeader(stream);
  const TBMPHeader h = ReadBitmapHeader(stream, core);
  info.Width = static_cast<int>(h.Width);
  info.Height = static_cast<int>(h.Height);
  info.BitsPerPixel = h.BitCount;
  if (core) {
    info.DetailsText = "OS/2";
  } else {
    info.DetailsText = "Windows";
    // The later headers by their version: 52 and 56 bytes V2 and V3, 108 V4, 124 V5.
    if (h.Size > kInfoHeaderSize)
      info.DetailsText += h.Size == kV2HeaderSize   ? " V2"
                          : h.Size == kV3HeaderSize ? " V3"
                          : h.Size == kV4HeaderSize ? " V4"
                                                    : " V5";
    if (h.Compression == 0) info.DetailsText += ", RGB";
    if (h.Compression == 1) info.DetailsText += ", RLE8";
    if (h.Compression == 2) info.DetailsText += ", RLE4";
    if (h.Height < 0) info.DetailsText += ", Top-Down";
  }
  info.ColorsText = ColorsText(h.BitCount);
}

void TPixelGraphic::ReadPackedBitmap(TStream& stream, bool coreHeader) {
  TPGProgressBracket progress(*this, this);
  ReadPackedBitmapBody(*this, stream, coreHeader);
}
