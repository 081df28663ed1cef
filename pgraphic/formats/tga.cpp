#include "pgraphic/formats/tga.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"

namespace {

constexpr int TGABufferSize = 1024;
constexpr int TGAHeaderSize = 18;
constexpr uint8_t TGARunLengthBit = 0x08;    // image type bit 3
constexpr uint8_t TGARightToLeftBit = 0x10;  // descriptor bit 4
constexpr uint8_t TGATopToBottomBit = 0x20;  // descriptor bit 5

[[noreturn]] void RaiseTGA(const std::string& text) { throw EPGTGAFileFormatReader("TGA: " + text); }

struct TTGAHeader {
  uint8_t IDLength, ColorMapType, ImageType;
  uint16_t FirstEntry, ColorMapLength;
  uint8_t ColorMapEntrySize;
  uint16_t Width, Height;
  uint8_t Depth, Descriptor;

  explicit TTGAHeader(TStream& stream) {
    uint8_t h[TGAHeaderSize];
    stream.ReadBuffer(h, TGAHeaderSize);
    IDLength = h[0];
    ColorMapType = h[1];
    ImageType = h[2];
    FirstEntry = pg::GetLE16(h + 3);
    ColorMapLength = pg::GetLE16(h + 5);
    ColorMapEntrySize = h[7];
    Width = pg::GetLE16(h + 12);
    Height = pg::GetLE16(h + 14);
    Depth = h[16];
    Descriptor = h[17];
  }
};

// Run-length data comes through a 1024-byte buffer refilled from the stream;
// a refill that delivers nothing means the file ended early.
class TTGASource {
public:
  explicit TTGASource(TStream& stream) : FStream(stream) {}
  uint8_t Byte() {
    if (FPos == FLen) Refill();
    return FBuf[FPos++];
  }
  void Bytes(uint8_t* dst, size_t n) {
    // Packets are mostly short: copy them straight out of the buffer.
    if (n <= static_cast<size_t>(FLen - FPos)) {
      const uint8_t* src = FBuf + FPos;
      FPos += static_cast<int>(n);
      if (n <= 8) {
        for (size_t i = 0; i < n; ++i) dst[i] = src[i];
      } else {
        std::memcpy(dst, src, n);
      }
      return;
    }
    while (n > 0) {
      if (FPos == FLen) Refill();
      const size_t k = std::min(n, static_cast<size_t>(FLen - FPos));
      std::memcpy(dst, FBuf + FPos, k);
      FPos += static_cast<int>(k);
      dst += k;
      n -= k;
    }
  }

private:
  void Refill() {
    const int64_t got = FStream.Read(FBuf, TGABufferSize);
    FPos = 0;
    FLen = got > 0 ? static_cast<int>(got) : 0;
    if (FLen == 0) RaiseTGA(GetMessage(msgUnexpectedEndOfFile));
  }
  TStream& FStream;
  uint8_t FBuf[TGABufferSize];
  int FPos = 0, FLen = 0;
};

// Decodes run-length packets until the row holds width pixels. A packet that
// runs past the row's end carries its surplus pixels into the next row (the
// state survives between rows), so no packet ever writes beyond the row.
class TTGARunLengthDecoder {
public:
  TTGARunLengthDecoder(TStream& stream, int bytesPerPixel) : FSource(stream), FBpp(bytesPerPixel) {}
  void DecodeRow(uint8_t* row, size_t width) {
    // The packet state lives in locals while the row is written (stores to
    // the row could otherwise alias it and force reloads).
    const size_t bpp = static_cast<size_t>(FBpp);
    size_t remaining = FRemaining;
    bool run = FRun;
    size_t x = 0;
    while (x < width) {
      if (remaining == 0) {
        const uint8_t h = FSource.Byte();
        remaining = (h & 0x7Fu) + 1;
        run = (h & 0x80u) != 0;
        if (run)
          for (size_t i = 0; i < bpp; ++i) FPixel[i & 3] = FSource.Byte();
      }
      const size_t n = std::min(remaining, width - x);
      uint8_t* dst = row + x * bpp;
      if (!run) {
        FSource.Bytes(dst, n * bpp);
      } else {
        FillRun(dst, n);
      }
      x += n;
      remaining -= n;
    }
    FRemaining = remaining;
    FRun = run;
  }

private:
  // n copies of the run's pixel, with the pixel size known to the compiler.
  void FillRun(uint8_t* dst, size_t n) const {
    switch (FBpp) {
      case 1:
        std::memset(dst, FPixel[0], n);
        break;
      case 2:
        for (size_t i = 0; i < n; ++i, dst += 2) std::memcpy(dst, FPixel, 2);
        break;
      case 3: {
        const uint8_t b = FPixel[0], g = FPixel[1], r = FPixel[2];
        for (size_t i = 0; i < n; ++i, dst += 3) {
          dst[0] = b;
          dst[1] = g;
          dst[2] = r;
        }
        break;
      }
      default:
        for (size_t i = 0; i < n; ++i, dst += 4) std::memcpy(dst, FPixel, 4);
        break;
    }
  }

  TTGASource FSource;
  int FBpp;
  size_t FRemaining = 0;
  bool FRun = false;
  uint8_t FPixel[4] = {};
};

// Converts one file row (pixels in file order) into image row dst, mirrored
// when the file stores its rows right to left.
void StoreRow(const uint8_t* src, uint8_t* dst, size_t width, int depth, bool mirror) {
  switch (depth) {
    case 8:
      if (!mirror) {
        std::memcpy(dst, src, width);
      } else {
        for (size_t x = 0; x < width; ++x) dst[width - 1 - x] = src[x];
      }
      break;
    case 16:
      for (size_t x = 0; x < width; ++x) {
        const unsigned w = pg::GetLE16(src + 2 * x);
        uint8_t* p = dst + 3 * (mirror ? width - 1 - x : x);
        p[0] = static_cast<uint8_t>((w & 31) * 8);
        p[1] = static_cast<uint8_t>(((w >> 5) & 31) * 8);
        p[2] = static_cast<uint8_t>(((w >> 10) & 31) * 8);
      }
      break;
    case 24:
      if (!mirror) {
        std::memcpy(dst, src, 3 * width);
      } else {
        for (size_t x = 0; x < width; ++x) std::memcpy(dst + 3 * (width - 1 - x), src + 3 * x, 3);
      }
      break;
    default:  // 32: blue, green, red, and a fourth byte that is dropped
      if (!mirror) {
        for (size_t x = 0; x < width; ++x) {
          dst[3 * x] = src[4 * x];
          dst[3 * x + 1] = src[4 * x + 1];
          dst[3 * x + 2] = src[4 * x + 2];
        }
      } else {
        for (size_t x = 0; x < width; ++x) std::memcpy(dst + 3 * (width - 1 - x), src + 4 * x, 3);
      }
      break;
  }
}

void SetCustomPalette(TPixelGraphic& g, const std::vector<TColorRef>& palette) {
  g.SetPaletteCount(static_cast<int>(palette.size()));
  g.SetPaletteIdent(pUnknown);
  for (size_t i = 0; i < palette.size(); ++i) g.SetPaletteColor(static_cast<int>(i), palette[i]);
}

void SetStandardPalette(TPixelGraphic& g, TPaletteIdent ident) {
  g.SetPaletteIdent(pNone);
  g.SetPaletteIdent(ident);
}

// Reads the colour map of a colour-mapped 8-bit file. Entry i of the file's map
// is palette index FirstEntry + i (the map may start above index 0; indices
// below it stay black); entries past index 255 are not read.
std::vector<TColorRef> ReadColorMap(TStream& stream, const TTGAHeader& h) {
  const int entryBytes = h.ColorMapEntrySize / 8;
  const int first = h.FirstEntry;
  const int count = std::min<int>(h.ColorMapLength, std::max(0, 256 - first));
  std::vector<TColorRef> palette(static_cast<size_t>(std::min(256, first + h.ColorMapLength)), 0);
  std::vector<uint8_t> raw(static_cast<size_t>(count) * static_cast<size_t>(entryBytes));
  stream.ReadBuffer(raw.data(), static_cast<int64_t>(raw.size()));
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = raw.data() + static_cast<size_t>(i) * static_cast<size_t>(entryBytes);
    TColorRef c;
    if (entryBytes == 2) {
      const unsigned w = pg::GetLE16(e);
      c = RGBColor((w & 0x7C00u) >> 7, (w & 0x03E0u) >> 2, (w & 0x1Fu) * 8);
    } else {
      c = RGBColor(e[2], e[1], e[0]);
    }
    palette[static_cast<size_t>(first + i)] = c;
  }
  return palette;
}

}  // namespace

void TTGAFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) RaiseTGA(GetMessage1(msgInvalid, "Index"));
  const TTGAHeader h(stream);
  if (h.Depth != 8 && h.Depth != 16 && h.Depth != 24 && h.Depth != 32)
    RaiseTGA(GetMessage(msgNotSupportedSubformat));
  const int bpp = h.Depth / 8;

  stream.Seek(h.IDLength, TSeekOrigin::soCurrent);
  const int64_t mapStart = stream.Position();
  std::vector<TColorRef> palette;
  if (h.Depth == 8 && h.ColorMapType == 1) {
    if (h.ColorMapEntrySize != 16 && h.ColorMapEntrySize != 24 && h.ColorMapEntrySize != 32)
      RaiseTGA(GetMessage(msgNotSupportedSubformat));
    palette = ReadColorMap(stream, h);
  }
  stream.Seek(mapStart + static_cast<int64_t>(h.ColorMapLength) * h.ColorMapEntrySize / 8, TSeekOrigin::soBeginning);

  graphic.SetSize(h.Width, h.Height, h.Depth == 8 ? bc8Bit : bc24Bit);
  if (h.Depth == 8) {
    if (!palette.empty())
      SetCustomPalette(graphic, palette);
    else
      SetStandardPalette(graphic, pGray256);
  }
  if (h.Height == 0) return;

  const size_t width = h.Width;
  const int height = h.Height;
  const bool runLength = (h.ImageType & TGARunLengthBit) != 0;
  const bool mirror = (h.Descriptor & TGARightToLeftBit) != 0;
  const bool topDown = (h.Descriptor & TGATopToBottomBit) != 0;
  const bool fastPath = !runLength && (h.Depth == 8 || h.Depth == 24) && !mirror;
  std::vector<uint8_t> rowBuffer(fastPath ? 0 : width * static_cast<size_t>(bpp));
  std::unique_ptr<TTGARunLengthDecoder> decoder;
  if (runLength) decoder = std::make_unique<TTGARunLengthDecoder>(stream, bpp);

  TObject* sender = const_cast<TTGAFileFormatReader*>(this);
  TPGProgressBracket progress(graphic, sender);
  for (int n = 0; n < height; ++n) {
    const int y = topDown ? n : height - 1 - n;
    uint8_t* row = graphic.ScanLine(y);
    if (width > 0) {
      if (fastPath) {
        // Same byte order as the image's storage: read the row in place.
        stream.ReadBuffer(row, static_cast<int64_t>(width) * bpp);
      } else {
        if (runLength && !mirror && (h.Depth == 8 || h.Depth == 24)) {
          decoder->DecodeRow(row, width);  // same byte order as the image's storage
        } else {
          if (runLength)
            decoder->DecodeRow(rowBuffer.data(), width);
          else
            stream.ReadBuffer(rowBuffer.data(), static_cast<int64_t>(rowBuffer.size()));
          StoreRow(rowBuffer.data(), row, width, h.Depth, mirror);
        }
      }
    }
    if (graphic.DoProgress(sender, n, height)) break;
  }
}

void TTGAFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) RaiseTGA(GetMessage1(msgInvalidValueFor, "Index"));
  const TTGAHeader h(stream);
  switch (h.ImageType) {
    case 1:
      info.DetailsText = "Uncompressed";
      info.KindText = "Color-mapped";
      break;
    case 2:
      info.DetailsText = "Uncompressed";
      info.KindText = "True-color";
      break;
    case 3:
      info.DetailsText = "Uncompressed";
      info.KindText = "\"Black-and-white\"";
      break;
    case 9:
      info.DetailsText = "Run-length encoded";
      info.KindText = "Color-mapped";
      break;
    case 10:
      info.DetailsText = "Run-length encoded";
      info.KindText = "True-color";
      break;
    case 11:
      info.DetailsText = "Run-length encoded";
      info.KindText = "\"Black-and-white\"";
      break;
    default:
      RaiseTGA(GetMessage1(msgInvalidValueFor, "ImageType"));
  }
  info.Width = h.Width;
  info.Height = h.Height;
  info.BitsPerPixel = h.Depth;
  if (h.Depth < 24)
    info.ColorsText = std::to_string(uint64_t{1} << h.Depth);
  else if (h.Depth == 24)
    info.ColorsText = "16.7M";
  else
    info.ColorsText = "16.7M ?";
  info.ImageCount = 1;
}

void TTGAFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  // The header keeps width and height in 16 bits; a larger image cannot be
  // stored and is refused rather than written with a wrapped size.
  if (graphic.Width() > 0xFFFF) RaiseTGA(GetMessage1(41, "Width"));
  if (graphic.Height() > 0xFFFF) RaiseTGA(GetMessage1(41, "Height"));
  const bool trueColor = graphic.BitCount() == bc24Bit;
  const int bpp = trueColor ? 3 : 1;
  const size_t width = static_cast<size_t>(graphic.Width());
  const int height = graphic.Height();

  uint8_t h[TGAHeaderSize] = {};
  if (trueColor) {
    h[2] = 2;
    h[16] = 24;
  } else {
    h[1] = 1;
    h[2] = 1;
    pg::PutLE16(h + 5, static_cast<unsigned>(graphic.PaletteSize()));
    h[7] = 24;
    h[16] = 8;
  }
  pg::PutLE16(h + 12, static_cast<unsigned>(graphic.Width()));
  pg::PutLE16(h + 14, static_cast<unsigned>(height));
  stream.WriteBuffer(h, TGAHeaderSize);

  if (!trueColor) {
    // The colour table as the image shows it: slots past the palette repeat entry 0.
    const int size = graphic.PaletteSize();
    const int count = graphic.PaletteCount();
    std::vector<uint8_t> map(3 * static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
      const TColorRef c = i < count ? graphic.PaletteData()[i] : (count > 0 ? graphic.PaletteData()[0] : 0);
      map[3 * static_cast<size_t>(i)] = static_cast<uint8_t>(GetBValue(c));
      map[3 * static_cast<size_t>(i) + 1] = static_cast<uint8_t>(GetGValue(c));
      map[3 * static_cast<size_t>(i) + 2] = static_cast<uint8_t>(GetRValue(c));
    }
    stream.WriteBuffer(map.data(), static_cast<int64_t>(map.size()));
  }
  if (height <= 0) return;

  // 1- and 4-bit images (only when called directly, without the registry's
  // conversion) are written with one index byte per pixel.
  const bool expand = graphic.BitCount() == bc1Bit || graphic.BitCount() == bc4Bit;
  std::vector<uint8_t> rowBuffer(expand ? width : 0);
  TPGProgressBracket progress(graphic, &graphic);
  for (int s = 0; s < height; ++s) {
    const int y = height - 1 - s;  // storage order: bottom row first
    const uint8_t* row = graphic.ScanLine(y);
    if (width > 0) {
      if (expand) {
        for (size_t x = 0; x < width; ++x) rowBuffer[x] = static_cast<uint8_t>(graphic.Pixels(static_cast<int>(x), y));
        row = rowBuffer.data();
      }
      stream.WriteBuffer(row, static_cast<int64_t>(width) * bpp);
    }
    graphic.DoProgress(&graphic, s, height);
  }
}

void RegisterTGAFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TTGAFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TTGAFileFormatWriter>());
}
