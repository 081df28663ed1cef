#include "pgraphic/formats/pnm.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/settings.h"

namespace {

constexpr int PxMBufferSize = 1024;
const char* const PxMTag = "PBM, PGM, PPM";
// ASCII numbers saturate here: far above any meaningful value, far below overflow.
constexpr uint64_t PxMNumberLimit = std::numeric_limits<uint32_t>::max();

[[noreturn]] void RaiseReader(const std::string& text) {
  throw EPGPxMFileFormatReader(std::string(PxMTag) + ": " + text);
}
[[noreturn]] void RaiseWriter(const std::string& prefix, const std::string& text) {
  throw EPGPxMFileFormatWriter(prefix + ": " + text);
}

inline bool IsDigit(int b) { return b >= '0' && b <= '9'; }

// Reads a PxM file through a 1024-byte buffer. Wherever a number is read, "#"
// starts a comment running to the next line feed, which is delivered in its
// place. A refill that gets no byte where a byte is required raises
// "Unexpected end of file".
class TPxMSource {
public:
  explicit TPxMSource(TStream& stream) : FStream(stream) {}

  // A byte without comment handling (the "P" and the variant digit).
  uint8_t RawByte() {
    if (FPos == FLen && !Refill()) RaiseEnd();
    return FBuf[FPos++];
  }

  // The next decimal number: non-digits are skipped, then digits are taken up
  // to the first non-digit, which is consumed. The end of the file may end a
  // number that has begun. Values saturate at PxMNumberLimit.
  uint64_t Number() {
    int b = Next();
    while (!IsDigit(b)) {
      if (b < 0) RaiseEnd();
      b = Next();
    }
    uint64_t v = 0;
    do {
      v = std::min<uint64_t>(v * 10 + static_cast<unsigned>(b - '0'), PxMNumberLimit);
      b = Next();
    } while (IsDigit(b));
    return v;
  }

  // The next decimal digit character (used for plain bitmap pixels, where each
  // digit is one pixel whether or not the digits are separated).
  int Digit() {
    int b = Next();
    while (!IsDigit(b)) {
      if (b < 0) RaiseEnd();
      b = Next();
    }
    return b;
  }

  // Exactly n raw bytes: what the buffer holds first, then large reads straight
  // from the stream.
  void Bytes(uint8_t* dst, size_t n) {
    const size_t k = std::min(n, static_cast<size_t>(FLen - FPos));
    std::memcpy(dst, FBuf + FPos, k);
    FPos += static_cast<int>(k);
    dst += k;
    n -= k;
    while (n >= PxMBufferSize) {
      const int64_t got = FStream.Read(dst, static_cast<int64_t>(n));
      if (got <= 0) RaiseEnd();
      dst += got;
      n -= static_cast<size_t>(got);
    }
    while (n > 0) {
      if (FPos == FLen && !Refill()) RaiseEnd();
      const size_t m = std::min(n, static_cast<size_t>(FLen - FPos));
      std::memcpy(dst, FBuf + FPos, m);
      FPos += static_cast<int>(m);
      dst += m;
      n -= m;
    }
  }

private:
  [[noreturn]] static void RaiseEnd() { RaiseReader(GetMessage(msgUnexpectedEndOfFile)); }
  bool Refill() {
    const int64_t got = FStream.Read(FBuf, PxMBufferSize);
    FPos = 0;
    FLen = got > 0 ? static_cast<int>(got) : 0;
    return FLen > 0;
  }
  // Next byte with comments replaced by their line feed; -1 at the end of the file.
  int Next() {
    if (FPos == FLen && !Refill()) return -1;
    const uint8_t b = FBuf[FPos++];
    if (b != '#') return b;
    for (;;) {
      if (FPos == FLen && !Refill()) return -1;
      if (FBuf[FPos++] == '\n') return '\n';
    }
  }

  TStream& FStream;
  uint8_t FBuf[PxMBufferSize];
  int FPos = 0, FLen = 0;
};

struct TPxMHeader {
  int Variant = 0;  // 1..6
  int Kind = 0;     // 0 bitmap, 1 grey, 2 colour
  bool Binary = false;
};

TPxMHeader ReadMagic(TPxMSource& src) {
  if (src.RawByte() != 'P') RaiseReader(GetMessage1(msgNotAFile, PxMTag));
  const uint8_t d = src.RawByte();
  if (d < '1' || d > '6') RaiseReader(GetMessage(msgUnknownSubformat));
  TPxMHeader h;
  h.Variant = d - '0';
  h.Kind = (h.Variant - 1) % 3;
  h.Binary = h.Variant >= 4;
  return h;
}

void SetStandardPalette(TPixelGraphic& g, TPaletteIdent ident) {
  g.SetPaletteIdent(pNone);
  g.SetPaletteIdent(ident);
}

// Maps sample values 0..maxval to 0..255 (v * 255 div maxval); values above
// maxval are invalid and read as 255.
class TPxMScale {
public:
  explicit TPxMScale(uint64_t maxval) : FMax(maxval) {
    if (maxval <= 0xFFFF) {
      FTable.resize(static_cast<size_t>(maxval) + 1);
      for (uint64_t v = 0; v <= maxval; ++v) FTable[static_cast<size_t>(v)] = static_cast<uint8_t>(v * 255 / maxval);
    }
  }
  uint8_t operator()(uint64_t v) const {
    if (v > FMax) return 255;
    return FTable.empty() ? static_cast<uint8_t>(v * 255 / FMax) : FTable[static_cast<size_t>(v)];
  }
  bool Identity() const { return FMax == 255; }
  // For binary samples (maxval < 256): a full 256-entry table.
  std::vector<uint8_t> ByteTable() const {
    std::vector<uint8_t> t(256);
    for (unsigned v = 0; v < 256; ++v) t[v] = (*this)(v);
    return t;
  }

private:
  uint64_t FMax;
  std::vector<uint8_t> FTable;
};

}  // namespace

void TPxMFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  if (index != 0) throw EPGPxMFileFormatReader("PxM: " + GetMessage1(msgInvalid, "Index"));
  graphic.SetGamma(PGDefaultGamma);
  TPxMSource src(stream);
  const TPxMHeader h = ReadMagic(src);

  static constexpr uint8_t bitCounts[3] = {bc1Bit, bc8Bit, bc24Bit};
  graphic.SetSize(0, 0, bitCounts[h.Kind]);
  if (h.Kind == 0) SetStandardPalette(graphic, pBlackWhite);
  if (h.Kind == 1) SetStandardPalette(graphic, pGray256);

  const uint64_t w = src.Number();
  const uint64_t hgt = src.Number();
  const uint64_t maxval = h.Kind == 0 ? 1 : src.Number();
  // Refused before the image is sized. A maxval of 0 would divide by zero.
  if (w == 0 || hgt == 0 || maxval == 0 || (h.Binary && maxval >= 256))
    RaiseReader(GetMessage(msgNotSupportedSubformat));
  const int32_t width = static_cast<int32_t>(std::min<uint64_t>(w, std::numeric_limits<int32_t>::max()));
  const int32_t height = static_cast<int32_t>(std::min<uint64_t>(hgt, std::numeric_limits<int32_t>::max()));
  // A size far beyond any pixel memory is refused here as the image would
  // refuse it, before its stride times height could overflow.
  const int64_t bytesPerRow = PGBytesPerRow(width, TPixelGraphic::BitCountToNum(bitCounts[h.Kind]));
  if (bytesPerRow > std::numeric_limits<int32_t>::max() || bytesPerRow * height > PGMaxImageBytes)
    throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
  graphic.SetSize(width, height, bitCounts[h.Kind]);

  const TPxMScale scale(maxval);
  std::vector<uint8_t> byteTable;
  if (h.Binary && h.Kind != 0 && !scale.Identity()) byteTable = scale.ByteTable();
  const size_t wz = static_cast<size_t>(width);

  TObject* sender = const_cast<TPxMFileFormatReader*>(this);
  TPGProgressBracket progress(graphic, sender);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = graphic.ScanLine(y);
    switch (h.Variant) {
      case 1: {  // a non-zero digit is black (index 0), zero is white (index 1)
        size_t x = 0;
        for (size_t i = 0; x < wz; ++i) {
          unsigned byte = 0;
          for (int bit = 7; bit >= 0 && x < wz; --bit, ++x)
            if (src.Digit() == '0') byte |= 1u << bit;
          row[i] = static_cast<uint8_t>(byte);
        }
        break;
      }
      case 2:
        for (size_t x = 0; x < wz; ++x) row[x] = scale(src.Number());
        break;
      case 3:
        for (size_t x = 0; x < wz; ++x) {
          const uint8_t r = scale(src.Number());
          const uint8_t g = scale(src.Number());
          const uint8_t b = scale(src.Number());
          row[3 * x] = b;
          row[3 * x + 1] = g;
          row[3 * x + 2] = r;
        }
        break;
      case 4: {
        const size_t n = (wz + 7) / 8;
        src.Bytes(row, n);
        for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(~row[i]);
        break;
      }
      case 5:
        src.Bytes(row, wz);
        if (!byteTable.empty())
          for (size_t x = 0; x < wz; ++x) row[x] = byteTable[row[x]];
        break;
      default:  // 6: red, green, blue in the file; blue, green, red in the image
        src.Bytes(row, 3 * wz);
        if (byteTable.empty()) {
          size_t x = 0;
          for (; x + 4 <= wz; x += 4) {  // four pixels at a time
            uint8_t* p = row + 3 * x;
            uint8_t t[12];
            std::memcpy(t, p, 12);
            p[0] = t[2];
            p[2] = t[0];
            p[3] = t[5];
            p[5] = t[3];
            p[6] = t[8];
            p[8] = t[6];
            p[9] = t[11];
            p[11] = t[9];
          }
          for (; x < wz; ++x) std::swap(row[3 * x], row[3 * x + 2]);
        } else {
          for (size_t x = 0; x < wz; ++x) {
            uint8_t* p = row + 3 * x;
            const uint8_t r = p[0];
            p[0] = byteTable[p[2]];
            p[1] = byteTable[p[1]];
            p[2] = byteTable[r];
          }
        }
        break;
    }
    if (graphic.DoProgress(sender, y, height)) break;
  }
}

void TPxMFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  if (index != 0) RaiseReader(GetMessage1(msgInvalidValueFor, "Index"));
  TPxMSource src(stream);
  const TPxMHeader h = ReadMagic(src);
  info.DetailsText = h.Binary ? "Binary" : "ASCII";
  static constexpr int bits[3] = {1, 8, 24};
  info.BitsPerPixel = bits[h.Kind];
  info.Width = static_cast<int>(std::min<uint64_t>(src.Number(), std::numeric_limits<int>::max()));
  info.Height = static_cast<int>(std::min<uint64_t>(src.Number(), std::numeric_limits<int>::max()));
  info.ColorsText = h.Kind == 2 ? "16.7M" : (h.Kind == 1 ? "256" : "2");
}

namespace {

// Collects output in a 1024-byte buffer flushed to the stream when full and at
// the end; binary rows go to the stream directly after a flush.
class TPxMSink {
public:
  explicit TPxMSink(TStream& stream) : FStream(stream) {}
  void Put(char c) {
    if (FLen == PxMBufferSize) Flush();
    FBuf[FLen++] = static_cast<uint8_t>(c);
  }
  void Put(const char* s, size_t n) {
    if (FLen + n > PxMBufferSize) Flush();
    std::memcpy(FBuf + FLen, s, n);
    FLen += static_cast<int>(n);
  }
  void Put(const std::string& s) {
    for (char c : s) Put(c);
  }
  void PutBinary(const uint8_t* p, size_t n) {
    Flush();
    FStream.WriteBuffer(p, static_cast<int64_t>(n));
  }
  void Flush() {
    if (FLen > 0) FStream.WriteBuffer(FBuf, FLen);
    FLen = 0;
  }

private:
  TStream& FStream;
  uint8_t FBuf[PxMBufferSize];
  int FLen = 0;
};

// Decimal texts of 0..255, each followed by a separator slot.
struct TDecimalTable {
  char Text[256][4];
  uint8_t Len[256];
  TDecimalTable() {
    for (int v = 0; v < 256; ++v) {
      const std::string s = std::to_string(v);
      std::memcpy(Text[v], s.data(), s.size());
      Len[v] = static_cast<uint8_t>(s.size());
    }
  }
};
const TDecimalTable& Decimals() {
  static const TDecimalTable table;
  return table;
}

}  // namespace

void TPXMFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  int kind;
  if (Extension == "pbm")
    kind = 0;
  else if (Extension == "pgm")
    kind = 1;
  else if (Extension == "ppm")
    kind = 2;
  else
    RaiseWriter(PxMTag, GetMessage1(msgUnknownFileExtension, Extension));
  if (graphic.Width() < 1 || graphic.Height() < 1) RaiseWriter(PxMTag, GetMessage(msgWidthOrHeightZero));
  // Checked before anything is written, so a refused image leaves no partial file.
  if (kind == 0 && graphic.BitCount() != bc1Bit && graphic.PaletteIdent() != pBlackWhite)
    RaiseWriter("PBM", GetMessage(msgInvalidColorResolution));
  if (kind == 1 && graphic.BitCount() != bc8Bit && graphic.PaletteIdent() != pGray256)
    RaiseWriter("PGM", GetMessage(msgInvalidColorResolution));
  if (kind == 2 && graphic.BitCount() != bc24Bit) RaiseWriter("PPM", GetMessage(msgInvalidColorResolution));

  const bool binary = PGPxMWriteBinary;
  const int width = graphic.Width();
  const int height = graphic.Height();
  const size_t wz = static_cast<size_t>(width);
  TPxMSink out(stream);
  out.Put('P');
  out.Put(static_cast<char>('1' + kind + (binary ? 3 : 0)));
  out.Put('\n');
  out.Put(std::to_string(width) + " " + std::to_string(height) + "\n");
  if (kind > 0) out.Put("255\n");

  const TDecimalTable& dec = Decimals();
  auto putValue = [&](uint8_t v, char sep) {
    char text[4];
    std::memcpy(text, dec.Text[v], 4);
    text[dec.Len[v]] = sep;
    out.Put(text, dec.Len[v] + 1u);
  };
  std::vector<uint8_t> rowBuffer(binary ? (kind == 0 ? (wz + 7) / 8 : kind == 1 ? wz : 3 * wz) : 0);

  {
    TPGProgressBracket progress(graphic, &graphic);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = graphic.ScanLine(y);
      switch (kind) {
        case 0:
          if (binary) {
            if (graphic.BitCount() == bc1Bit) {
              for (size_t i = 0; i < rowBuffer.size(); ++i) rowBuffer[i] = static_cast<uint8_t>(~row[i]);
            } else {
              // Not stored with one bit per pixel: set the bits from the indices.
              std::fill(rowBuffer.begin(), rowBuffer.end(), 0);
              for (int x = 0; x < width; ++x)
                if (graphic.Pixels(x, y) == 0) rowBuffer[static_cast<size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
            out.PutBinary(rowBuffer.data(), rowBuffer.size());
          } else {
            const bool oneBit = graphic.BitCount() == bc1Bit;
            for (int x = 0; x < width; ++x) {
              const uint32_t index = oneBit ? (row[x >> 3] >> (7 - (x & 7))) & 1u : graphic.Pixels(x, y);
              out.Put(index == 0 ? '1' : '0');
              out.Put(x + 1 < width ? ' ' : '\n');
            }
          }
          break;
        case 1: {
          const uint8_t* src = row;
          if (graphic.BitCount() != bc8Bit) {
            if (rowBuffer.size() < wz) rowBuffer.resize(wz);
            for (int x = 0; x < width; ++x) rowBuffer[static_cast<size_t>(x)] = static_cast<uint8_t>(graphic.Pixels(x, y));
            src = rowBuffer.data();
          }
          if (binary) {
            out.PutBinary(src, wz);
          } else {
            for (size_t x = 0; x < wz; ++x) putValue(src[x], x + 1 < wz ? ' ' : '\n');
          }
          break;
        }
        default:
          if (binary) {
            for (size_t x = 0; x < wz; ++x) {
              rowBuffer[3 * x] = row[3 * x + 2];
              rowBuffer[3 * x + 1] = row[3 * x + 1];
              rowBuffer[3 * x + 2] = row[3 * x];
            }
            out.PutBinary(rowBuffer.data(), rowBuffer.size());
          } else {
            for (size_t x = 0; x < wz; ++x) {
              const uint8_t* p = row + 3 * x;
              putValue(p[2], ' ');
              putValue(p[1], ' ');
              putValue(p[0], x + 1 < wz ? ' ' : '\n');
            }
          }
          break;
      }
      graphic.DoProgress(&graphic, y, height);
    }
  }
  out.Flush();
}

void RegisterPxMFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TPBMFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TPGMFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TPPMFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TPBMFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TPGMFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TPPMFileFormatWriter>());
}
