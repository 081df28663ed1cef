#include "pgraphic/formats/bmp.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/settings.h"

// Windows (40-byte info header) and OS/2 (12-byte core header) bitmaps. The
// image's storage is itself a bottom-up device-independent bitmap, so
// uncompressed 1-, 4-, 8- and 24-bit files go straight from the stream into it;
// only 16/32-bit bit-field files and RLE files need per-pixel work.
//
// Everything taken from a file is untrusted: sizes are computed in 64 bits, a
// stream that ends early yields what is there (the rest of the image keeps its
// cleared value), and the RLE decoders never read past the compressed data nor
// write outside the image.

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;
constexpr int kInfoHeaderSize = 40;

uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t LE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
void PutLE16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

[[noreturn]] void RaiseBMP(const std::string& text) { throw EPGBMPFileFormatReader("BMP: " + text); }
[[noreturn]] void RaiseInvalid(const char* what) { RaiseBMP(GetMessage1(msgInvalid, what)); }

// Reads up to count bytes, as many as the stream has; returns how many.
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

// Reads a header: whatever the stream lacks reads as zero (and then fails the
// header checks instead of leaving undefined fields).
void ReadHeaderBytes(TStream& stream, uint8_t* buffer, int count) {
  const int64_t got = ReadSome(stream, buffer, count);
  if (got < count) std::memset(buffer + got, 0, static_cast<size_t>(count - got));
}

// The fields of either bitmap header that reading needs.
struct TBMPHeader {
  bool Core = false;
  int64_t Width = 0;
  int64_t Height = 0;  // as stored: negative for top-down info headers
  int BitCount = 0;
  uint32_t Compression = 0;
  uint32_t SizeImage = 0;
  uint32_t ClrUsed = 0;
};

// Reads a core or info header at the stream's position and applies the checks
// of the accepted combinations.
TBMPHeader ReadBitmapHeader(TStream& stream, bool coreHeader) {
  TBMPHeader h;
  h.Core = coreHeader;
  if (coreHeader) {
    uint8_t b[kCoreHeaderSize];
    ReadHeaderBytes(stream, b, kCoreHeaderSize);
    h.Width = LE16(b + 4);
    h.Height = LE16(b + 6);
    const int planes = LE16(b + 8);
    h.BitCount = LE16(b + 10);
    if (planes != 1) RaiseInvalid("BitmapCoreHeader.bcPlanes");
    if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24)
      RaiseInvalid("BitmapCoreHeader.bcBitCount");
    return h;
  }
  uint8_t b[kInfoHeaderSize];
  ReadHeaderBytes(stream, b, kInfoHeaderSize);
  h.Width = static_cast<int32_t>(LE32(b + 4));
  h.Height = static_cast<int32_t>(LE32(b + 8));
  const int planes = LE16(b + 12);
  h.BitCount = LE16(b + 14);
  h.Compression = LE32(b + 16);
  h.SizeImage = LE32(b + 20);
  h.ClrUsed = LE32(b + 32);
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
  switch (LE32(size)) {
    case kCoreHeaderSize:
      return true;
    case kInfoHeaderSize:
      return false;
    default:
      RaiseBMP(GetMessage1(msgInvalidSizeOf, "BitmapInfoHeader/BitmapCoreHeader"));
  }
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

// Reads size bytes into buffer: in ten chunks with progress (Step 1..10 of 10)
// when size is at least 101 bytes, else at once. False when aborted.
bool ReadChunked(TPixelGraphic& g, TStream& stream, uint8_t* buffer, int64_t size) {
  if (size < 101) {
    ReadSome(stream, buffer, size);
    return true;
  }
  const int64_t chunk = size / 10;
  int64_t offset = 0;
  for (int k = 1; k <= 10; ++k) {
    const int64_t n = k < 10 ? chunk : size - offset;
    ReadSome(stream, buffer + offset, n);
    offset += n;
    if (g.DoProgress(&g, k, 10)) return false;
  }
  return true;
}

// Swaps storage rows so that the first stored row becomes the top row.
void ReverseRows(TPixelGraphic& g) {
  const int h = g.Height();
  const size_t stride = static_cast<size_t>(g.BytesPerRow());
  if (stride == 0) return;  // a zero-width image has no row bytes to swap
  std::vector<uint8_t> tmp(stride);
  for (int y = 0; y < h / 2; ++y) {
    uint8_t* a = g.ScanLine(y);
    uint8_t* b = g.ScanLine(h - 1 - y);
    std::memcpy(tmp.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, tmp.data(), stride);
  }
}

// One colour channel of a bit-field pixel.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;     // > 0: left, < 0: right
  uint32_t Add = 0;  // expansion: the lowest set bit of the aligned mask
};

TChannel MakeChannel(uint32_t mask, bool expand) {
  TChannel c;
  c.Mask = mask;
  if (mask == 0) return c;  // no defined alignment: the channel reads as 0
  uint64_t a = mask;
  int s = 0;
  while ((a & 1) == 0) {
    a >>= 1;
    --s;
  }
  while ((a & 0x80) == 0) {
    a <<= 1;
    ++s;
  }
  c.Shift = s;
  if (expand) c.Add = static_cast<uint32_t>(a & (~a + 1));
  return c;
}

inline uint32_t ChannelValue(const TChannel& c, uint32_t v) {
  const uint64_t m = v & c.Mask;
  if (m == 0) return 0;
  uint64_t x = c.Shift >= 0 ? m << c.Shift : m >> -c.Shift;
  x += c.Add;
  return x > 255 ? 255u : static_cast<uint32_t>(x);
}

// 16- and 32-bit files: rows converted pixel by pixel into 24-bit storage.
void ReadBitFields(TPixelGraphic& g, TStream& stream, int bitCount, bool topDown, const uint32_t masks[3]) {
  const bool expand = bitCount == 16 && PGExpand16BitColors;
  const TChannel red = MakeChannel(masks[0], expand), green = MakeChannel(masks[1], expand),
                 blue = MakeChannel(masks[2], expand);
  if (g.Empty()) return;  // (a zero width must not spin through rows of nothing)
  const int64_t width = g.Width(), height = g.Height();
  const int bytesPerPixel = bitCount / 8;
  const int64_t stride = PGBytesPerRow(width, bitCount);
  const int64_t padding = stride - width * bytesPerPixel;

  // 16-bit values go through a table of the three channels' bytes.
  std::vector<uint32_t> lut;
  if (bitCount == 16) {
    lut.resize(65536);
    for (uint32_t v = 0; v < 65536; ++v)
      lut[v] = ChannelValue(red, v) | (ChannelValue(green, v) << 8) | (ChannelValue(blue, v) << 16);
  }

  // Rows are read in blocks, so a huge width in the header needs no huge buffer.
  constexpr int64_t kBlockPixels = 16384;
  std::vector<uint8_t> block(static_cast<size_t>(std::min(width, kBlockPixels) * bytesPerPixel) + 4);
  for (int64_t i = 0; i < height; ++i) {
    const int y = static_cast<int>(topDown ? i : height - 1 - i);
    uint8_t* out = g.ScanLine(y);
    bool ended = false;
    for (int64_t x0 = 0; x0 < width && !ended; x0 += kBlockPixels) {
      const int64_t count = std::min(kBlockPixels, width - x0);
      const int64_t want = count * bytesPerPixel;
      const int64_t got = ReadSome(stream, block.data(), want);
      const int64_t pixels = got / bytesPerPixel;
      ended = got < want;
      uint8_t* o = out + 3 * x0;
      const uint8_t* in = block.data();
      if (bitCount == 16) {
        for (int64_t j = 0; j < pixels; ++j, in += 2, o += 3) {
          const uint32_t c = lut[LE16(in)];
          o[0] = static_cast<uint8_t>(c >> 16);
          o[1] = static_cast<uint8_t>(c >> 8);
          o[2] = static_cast<uint8_t>(c);
        }
      } else {
        for (int64_t j = 0; j < pixels; ++j, in += 4, o += 3) {
          const uint32_t v = LE32(in);
          o[0] = static_cast<uint8_t>(ChannelValue(blue, v));
          o[1] = static_cast<uint8_t>(ChannelValue(green, v));
          o[2] = static_cast<uint8_t>(ChannelValue(red, v));
        }
      }
    }
    if (!ended && padding > 0) {
      uint8_t pad[4];
      ended = ReadSome(stream, pad, padding) < padding;
    }
    if (g.DoProgress(&g, static_cast<int>(i), static_cast<int>(height))) return;
    if (ended) return;  // the stream has nothing more; the rest stays cleared
  }
}

// RLE decoding into a 4- or 8-bit image. Stores outside the image follow the
// image's out-of-range rule (ignored, or EPGXYIndexOutOfRange when the image
// raises on index errors); RLE4 drops pixels beyond the row's end silently.
template <bool RLE4>
class TRLEDecoder {
public:
  TRLEDecoder(TPixelGraphic& g, const uint8_t* data, int64_t n)
      : FG(g), FData(data), FN(n), FWidth(g.Width()), FHeight(g.Height()) {}

  void Run() {
    int64_t p = 0;
    const int64_t tenth = FN >= 10 ? FN / 10 : 0;
    while (p < FN - 1) {
      const uint8_t c = FData[p];
      if (c > 0) {
        EncodedRun(c, FData[p + 1]);
        FX += c;
        p += 2;
      } else {
        const uint8_t e = FData[p + 1];
        if (e == 0) {
          FX = 0;
          --FY;
          p += 2;
        } else if (e == 1) {
          return;
        } else if (e == 2) {
          if (p >= FN - 3) return;
          FX += FData[p + 2];
          FY -= FData[p + 3];
          p += 4;
        } else {
          // Absolute run: a run reaching past the data stores what is there, then
          // decoding stops.
          const int64_t need = RLE4 ? (e + 1) / 2 : e;
          const int64_t have = std::min<int64_t>(need, FN - (p + 2));
          AbsoluteRun(FData + p + 2, RLE4 ? std::min<int64_t>(e, 2 * have) : have);
          if (have < need) return;
          FX += e;
          p += 2 + need;
          if (p & 1) ++p;
        }
      }
      if (tenth > 0 && p % tenth == 0 && FG.DoProgress(&FG, static_cast<int>(p / tenth), 10)) return;
    }
  }

private:
  // Applies the image's rule to a store outside the image.
  void OutOfRange(int64_t x, int64_t y) {
    if (FG.RaiseOnIndexError())
      FG.SetPixels(static_cast<int>(std::clamp<int64_t>(x, -1, FWidth)),
                   static_cast<int>(std::clamp<int64_t>(y, -1, FHeight)), 0);
  }

  void EncodedRun(int count, uint8_t d) {
    if (RLE4) {
      // Pixels at x >= width are dropped; the k-th pixel (k from 1) is the high
      // nibble for odd k, the low nibble for even k.
      const int64_t end = std::min<int64_t>(FX + count, FWidth);
      if (FX >= end) return;
      if (FY < 0 || FY >= FHeight) {
        OutOfRange(FX, FY);
        return;
      }
      uint8_t* row = FG.ScanLine(static_cast<int>(FY));
      for (int64_t x = FX; x < end; ++x) SetNibble(row, x, ((x - FX) & 1) ? (d & 0x0F) : (d >> 4));
    } else {
      if (FY < 0 || FY >= FHeight) {
        OutOfRange(FX, FY);
        return;
      }
      const int64_t end = FX + count;
      const int64_t stop = std::min<int64_t>(end, FWidth);
      if (FX < stop) std::memset(FG.ScanLine(static_cast<int>(FY)) + FX, d, static_cast<size_t>(stop - FX));
      if (end > FWidth) OutOfRange(std::max<int64_t>(FX, FWidth), FY);
    }
  }

  // count pixels from src: bytes (RLE8) or nibbles, high first (RLE4).
  void AbsoluteRun(const uint8_t* src, int64_t count) {
    if (count <= 0) return;
    if (FY < 0 || FY >= FHeight) {
      if (!RLE4 || FX < FWidth) OutOfRange(FX, FY);
      return;
    }
    uint8_t* row = FG.ScanLine(static_cast<int>(FY));
    if (RLE4) {
      const int64_t end = std::min<int64_t>(FX + count, FWidth);
      for (int64_t x = FX; x < end; ++x) {
        const int64_t k = x - FX;
        const uint8_t b = src[k >> 1];
        SetNibble(row, x, (k & 1) ? (b & 0x0F) : (b >> 4));
      }
    } else {
      const int64_t end = FX + count;
      const int64_t stop = std::min<int64_t>(end, FWidth);
      if (FX < stop) std::memcpy(row + FX, src, static_cast<size_t>(stop - FX));
      if (end > FWidth) OutOfRange(std::max<int64_t>(FX, FWidth), FY);
    }
  }

  static void SetNibble(uint8_t* row, int64_t x, uint8_t v) {
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
  }

  TPixelGraphic& FG;
  const uint8_t* FData;
  int64_t FN;
  int64_t FWidth, FHeight;
  int64_t FX = 0;
  int64_t FY = FHeight - 1;
};

void ReadRLE(TPixelGraphic& g, TStream& stream, uint32_t sizeImage, bool rle4) {
  // The buffer never exceeds what the stream still holds.
  int64_t n = sizeImage;
  const int64_t available = stream.Size() - stream.Position();
  n = std::max<int64_t>(0, std::min(n, available));
  std::vector<uint8_t> data(static_cast<size_t>(n));
  if (!ReadChunked(g, stream, data.data(), n)) return;
  if (rle4)
    TRLEDecoder<true>(g, data.data(), n).Run();
  else
    TRLEDecoder<false>(g, data.data(), n).Run();
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
    if (h.Compression == 3) {
      uint8_t b[12];
      ReadHeaderBytes(stream, b, 12);
      for (int i = 0; i < 3; ++i) masks[i] = LE32(b + 4 * i);
    }
    if (h.ClrUsed > 0) stream.Seek(static_cast<int64_t>(h.ClrUsed) * 4, TSeekOrigin::soCurrent);
    if (h.BitCount == 24) {
      ReadChunked(g, stream, g.Bits(), g.ByteSize());
      if (topDown) ReverseRows(g);
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
    ReadChunked(g, stream, g.Bits(), g.ByteSize());
    if (topDown) ReverseRows(g);
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
    if (h.Compression == 0) info.DetailsText += ", RGB";
    if (h.Compression == 1) info.DetailsText += ", RLE8";
    if (h.Compression == 2) info.DetailsText += ", RLE4";
    if (h.Height < 0) info.DetailsText += ", Top-Down";
  }
  info.ColorsText = ColorsText(h.BitCount);
}

void TPixelGraphic::ReadPackedBitmap(TStream& stream, bool coreHeader) {
  DoProgressStart(this);
  try {
    ReadPackedBitmapBody(*this, stream, coreHeader);
  } catch (...) {
    DoProgressEnd(this);
    throw;
  }
  DoProgressEnd(this);
}

// ---------------------------------------------------------------- writer

void TPixelGraphic::WritePackedBitmap(TStream& stream) {
  const uint32_t entries = FBitCount == bc24Bit ? 0 : static_cast<uint32_t>(PaletteCount());
  std::vector<uint8_t> head(kInfoHeaderSize + 4 * static_cast<size_t>(entries), 0);
  uint8_t* h = head.data();
  PutLE32(h + 0, kInfoHeaderSize);
  PutLE32(h + 4, static_cast<uint32_t>(FWidth));
  PutLE32(h + 8, static_cast<uint32_t>(FHeight));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, static_cast<uint32_t>(BitCountNum()));
  PutLE32(h + 16, 0);
  PutLE32(h + 20, static_cast<uint32_t>(FByteSize));
  PutLE32(h + 32, entries);
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
  PutLE32(h + 2, offBits + static_cast<uint32_t>(graphic.ByteSize()));
  PutLE32(h + 10, offBits);
  stream.WriteBuffer(h, kFileHeaderSize);
  graphic.WritePackedBitmap(stream);
}

// ---------------------------------------------------------------- registration

void RegisterBMPFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TBMPFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TDIBFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TRLEFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TBMPFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TDIBFileFormatWriter>());
}
