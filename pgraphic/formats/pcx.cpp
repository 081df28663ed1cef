#include "pgraphic/formats/pcx.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/settings.h"

namespace {

constexpr int PCXBufferSize = 1024;
constexpr int PCXHeaderSize = 128;
constexpr int PCXPaletteSize = 768;
constexpr uint8_t PCXPaletteMarker = 0x0C;

[[noreturn]] void RaisePCX(const std::string& text) { throw EPGPCXFileFormatReader("PCX: " + text); }

struct TPCXHeader {
  uint8_t Version, BitsPerPixel, Reserved, Planes;
  int Width, Height;
  uint16_t BytesPerLine, PaletteInfo;
  uint8_t ColorMap[48];

  explicit TPCXHeader(TStream& stream) {
    uint8_t h[PCXHeaderSize];
    stream.ReadBuffer(h, PCXHeaderSize);
    Version = h[1];
    BitsPerPixel = h[3];
    Width = pg::GetLE16(h + 8) - pg::GetLE16(h + 4) + 1;
    Height = pg::GetLE16(h + 10) - pg::GetLE16(h + 6) + 1;
    std::memcpy(ColorMap, h + 16, sizeof ColorMap);
    Reserved = h[64];
    Planes = h[65];
    BytesPerLine = pg::GetLE16(h + 66);
    PaletteInfo = pg::GetLE16(h + 68);
  }
  void CheckKnown() const {
    if (PaletteInfo != 1 || Reserved != 0) RaisePCX(GetMessage(msgUnknownSubformat));
  }
};

// Compressed bytes come through a 1024-byte buffer; an empty refill means the
// file ended early.
class TPCXSource {
public:
  explicit TPCXSource(TStream& stream) : FStream(stream) {}
  // Decodes one scan line of exactly length bytes. A run reaching past the end
  // of the line loses its surplus: no run carries over into the next line.
  void DecodeLine(uint8_t* line, size_t length) {
    // The buffer position lives in locals while the line is written.
    int p = FPos, len = FLen;
    auto next = [&]() -> uint8_t {
      if (p == len) {
        Refill();
        p = 0;
        len = FLen;
      }
      return FBuf[p++];
    };
    size_t pos = 0;
    while (pos < length) {
      const uint8_t b = next();
      if (b >= 0xC0) {
        const uint8_t value = next();
        const size_t n = std::min<size_t>(b & 0x3Fu, length - pos);
        std::memset(line + pos, value, n);
        pos += n;
      } else {
        line[pos++] = b;
        // Literal bytes in a row are copied without going round the loop.
        while (pos < length && p < len && FBuf[p] < 0xC0) line[pos++] = FBuf[p++];
      }
    }
    FPos = p;
  }

private:
  void Refill() {
    const int64_t got = FStream.Read(FBuf, PCXBufferSize);
    FPos = 0;
    FLen = got > 0 ? static_cast<int>(got) : 0;
    if (FLen == 0) RaisePCX(GetMessage(msgUnexpectedEndOfFile));
  }
  TStream& FStream;
  uint8_t FBuf[PCXBufferSize];
  int FPos = 0, FLen = 0;
};

void SetCustomPalette(TPixelGraphic& g, const std::vector<TColorRef>& palette) {
  g.SetPaletteCount(static_cast<int>(palette.size()));
  g.SetPaletteIdent(pUnknown);
  for (size_t i = 0; i < palette.size(); ++i) g.SetPaletteColor(static_cast<int>(i), palette[i]);
}

void SetStandardPalette(TPixelGraphic& g, TPaletteIdent ident) {
  g.SetPaletteIdent(pNone);
  g.SetPaletteIdent(ident);
}

std::vector<TColorRef> PaletteFromRGB(const uint8_t* rgb, int count) {
  std::vector<TColorRef> p(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) p[static_cast<size_t>(i)] = RGBColor(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
  return p;
}

// The 256-colour palette at the end of the file: a 0x0C marker 769 bytes before
// the end, then 768 bytes red, green, blue. The stream position is restored
// afterwards, and also before a missing marker is reported.
std::vector<TColorRef> ReadTrailingPalette(TStream& stream) {
  const int64_t pos = stream.Position();
  const int64_t size = stream.Size();
  uint8_t marker = 0;
  if (size >= PCXPaletteSize + 1) {
    stream.Seek(size - (PCXPaletteSize + 1), TSeekOrigin::soBeginning);
    if (stream.Read(&marker, 1) != 1) marker = 0;
  }
  if (marker != PCXPaletteMarker) {
    stream.SetPosition(pos);
    RaisePCX(GetMessage(msgUnknownSubformat));
  }
  uint8_t rgb[PCXPaletteSize];
  const int64_t got = stream.Read(rgb, PCXPaletteSize);
  stream.SetPosition(pos);
  if (got != PCXPaletteSize) throw EReadError();
  return PaletteFromRGB(rgb, 256);
}

}  // namespace

void TPCXFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) RaisePCX(GetMessage1(msgInvalid, "Index"));
  graphic.SetGamma(PGDefaultGamma);
  const TPCXHeader h(stream);
  graphic.SetHeight(0);
  h.CheckKnown();
  uint8_t bitCount;
  if (h.BitsPerPixel == 1 && h.Planes == 1)
    bitCount = bc1Bit;
  else if (h.BitsPerPixel == 1 && h.Planes == 4)
    bitCount = bc4Bit;
  else if (h.BitsPerPixel == 8 && h.Planes == 1)
    bitCount = bc8Bit;
  else if (h.BitsPerPixel == 8 && h.Planes == 3)
    bitCount = bc24Bit;
  else
    RaisePCX(GetMessage(msgUnknownSubformat));
  // xmax below xmin: no image size can be made of it.
  if (h.Width < 0) RaisePCX(GetMessage1(msgInvalidValueFor, "XMax"));
  if (h.Height < 0) RaisePCX(GetMessage1(msgInvalidValueFor, "YMax"));

  std::vector<TColorRef> palette;
  if (bitCount == bc8Bit) palette = ReadTrailingPalette(stream);

  graphic.SetSize(h.Width, h.Height, bitCount);
  switch (bitCount) {
    case bc1Bit:
      SetStandardPalette(graphic, pBlackWhite);
      break;
    case bc4Bit:
      if (h.Version == 3)
        SetStandardPalette(graphic, pSys16);
      else
        SetCustomPalette(graphic, PaletteFromRGB(h.ColorMap, 16));
      break;
    case bc8Bit:
      SetCustomPalette(graphic, palette);
      break;
    default:
      break;
  }

  const size_t width = static_cast<size_t>(h.Width);
  const int height = h.Height;
  const size_t L = static_cast<size_t>(h.Planes) * h.BytesPerLine;
  // The line buffer covers both the L decoded bytes and every byte the row
  // conversion looks at; bytes-per-line comes from the file and may be too
  // small for the width, and the part beyond L then stays zero.
  size_t needed = 0;
  switch (bitCount) {
    case bc1Bit:
      needed = static_cast<size_t>(graphic.BytesPerRow());
      break;
    case bc4Bit:
      needed = 3 * (L / 4) + (width + 7) / 8;
      break;
    case bc8Bit:
      needed = width;
      break;
    default:
      needed = 2 * (L / 3) + width;
      break;
  }
  std::vector<uint8_t> line(std::max(L, needed), 0);
  TPCXSource src(stream);

  // Lines of no bytes (bytes-per-line 0) take nothing from the file and all
  // give the same row: the first is converted, the others are copies of it,
  // so a tiny file claiming a large image costs row copies, not pixel loops.
  const bool emptyLines = L == 0;
  const size_t rowBytes = static_cast<size_t>(graphic.BytesPerRow());

  TObject* sender = const_cast<TPCXFileFormatReader*>(this);
  TPGProgressBracket progress(graphic, sender);
  for (int y = 0; y < height; ++y) {
    if (emptyLines && y > 0) {
      if (rowBytes > 0) std::memcpy(graphic.ScanLine(y), graphic.ScanLine(0), rowBytes);
      if (graphic.DoProgress(sender, y, height)) break;
      continue;
    }
    src.DecodeLine(line.data(), L);
    uint8_t* row = graphic.ScanLine(y);
    if (width > 0) {
      switch (bitCount) {
        case bc1Bit: {
          const size_t bpr = static_cast<size_t>(graphic.BytesPerRow());
          std::memcpy(row, line.data(), bpr);
          if (width % 8 != 0)
            row[(width - 1) / 8] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
          else if (width / 8 < bpr)
            row[width / 8] = 0;
          break;
        }
        case bc4Bit: {
          const uint8_t* p0 = line.data();
          const uint8_t* p1 = p0 + L / 4;
          const uint8_t* p2 = p0 + 2 * (L / 4);
          const uint8_t* p3 = p0 + 3 * (L / 4);
          for (size_t x = 0; x < width; ++x) {
            const size_t i = x / 8;
            const unsigned s = 7 - static_cast<unsigned>(x % 8);
            const unsigned v = ((p0[i] >> s) & 1u) | (((p1[i] >> s) & 1u) << 1) | (((p2[i] >> s) & 1u) << 2) |
                               (((p3[i] >> s) & 1u) << 3);
            uint8_t& b = row[x / 2];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
          }
          break;
        }
        case bc8Bit:
          std::memcpy(row, line.data(), width);
          break;
        default: {
          const uint8_t* r = line.data();
          const uint8_t* g = r + L / 3;
          const uint8_t* b = r + 2 * (L / 3);
          for (size_t x = 0; x < width; ++x) {
            row[3 * x] = b[x];
            row[3 * x + 1] = g[x];
            row[3 * x + 2] = r[x];
          }
          break;
        }
      }
    }
    if (graphic.DoProgress(sender, y, height)) break;
  }
}

void TPCXFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) RaisePCX(GetMessage1(msgInvalidValueFor, "Index"));
  const TPCXHeader h(stream);
  h.CheckKnown();
  const int bits = h.Planes * h.BitsPerPixel;
  info.BitsPerPixel = bits;
  info.Width = h.Width;
  info.Height = h.Height;
  switch (h.Version) {
    case 0:
      info.DetailsText = "Version 2.5 (0)";
      break;
    case 2:
      info.DetailsText = "Version 2.8 (2) with Palette";
      break;
    case 3:
      info.DetailsText = "Version 2.8 (3) without Palette";
      break;
    case 5:
      info.DetailsText = "Version 3.0 (5)";
      break;
    default:
      break;
  }
  if (bits == 24)
    info.ColorsText = "16.7M";
  else if (bits < 64)
    info.ColorsText = std::to_string(uint64_t{1} << bits);
  else
    info.ColorsText = "2^" + std::to_string(bits);  // too large to spell out
}

bool TPCXFileFormatReader::IsFormat(const uint8_t* header) const {
  const uint8_t version = header[1], encoding = header[2], bits = header[3];
  const bool knownVersion = version == 0 || (version >= 2 && version <= 5);
  const bool knownBits = bits == 1 || bits == 2 || bits == 4 || bits == 8;
  return header[0] == 0x0A && knownVersion && encoding == 1 && knownBits;
}

void RegisterPCXFormats(TPGFormatLists& lists) { lists.Readers.push_back(std::make_unique<TPCXFileFormatReader>()); }
