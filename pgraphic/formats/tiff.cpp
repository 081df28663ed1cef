#include "pgraphic/formats/tiff.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"

namespace {

// ------------------------------------------------------------------ constants

enum : uint16_t {
  tagNewSubfileType = 254,
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfiguration = 284,
  tagResolutionUnit = 296,
  tagColorMap = 320,
};

enum : uint16_t { typeByte = 1, typeShort = 3, typeLong = 4, typeRational = 5 };

enum : uint32_t { compNone = 1, compPackBits = 32773 };

const char* const kStripCountText = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

// ------------------------------------------------------------------ byte order

struct TByteOrder {
  bool Motorola = false;

  uint16_t U16(const uint8_t* p) const {
    return Motorola ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  uint32_t U32(const uint8_t* p) const {
    return Motorola ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                          (static_cast<uint32_t>(p[2]) << 8) | p[3]
                    : p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
                          (static_cast<uint32_t>(p[3]) << 24);
  }
  void Put16(uint8_t* p, uint32_t v) const {
    if (Motorola) {
      p[0] = static_cast<uint8_t>(v >> 8);
      p[1] = static_cast<uint8_t>(v);
    } else {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
    }
  }
  void Put32(uint8_t* p, uint32_t v) const {
    if (Motorola) {
      p[0] = static_cast<uint8_t>(v >> 24);
      p[1] = static_cast<uint8_t>(v >> 16);
      p[2] = static_cast<uint8_t>(v >> 8);
      p[3] = static_cast<uint8_t>(v);
    } else {
      p[0] = static_cast<uint8_t>(v);
      p[1] = static_cast<uint8_t>(v >> 8);
      p[2] = static_cast<uint8_t>(v >> 16);
      p[3] = static_cast<uint8_t>(v >> 24);
    }
  }
};

[[noreturn]] void RaiseReader(const std::string& text) { throw EPGTIFFileFormatReader("TIFF: " + text); }
[[noreturn]] void RaiseWriterInternal() { throw EPGTIFFileFormatWriter("TIFF: Internal Error"); }

// ------------------------------------------------------------------ directory

// What the reader takes from one image file directory.
struct TTIFFDirectory {
  TByteOrder Order;
  int64_t Base = 0;  // stream position of the TIFF header
  int ImageCount = 1;
  uint32_t SubfileType = 0;
  uint32_t Width = 0;
  uint32_t Length = 0;
  uint32_t Compression = 0;
  uint32_t Photometric = 0;
  uint32_t SamplesPerPixel = 0;
  uint32_t RowsPerStrip = 0;
  uint32_t Planar = 0;
  std::vector<uint32_t> BitsPerSample;
  std::vector<uint32_t> StripOffsets;
  std::vector<uint32_t> StripByteCounts;
  std::vector<uint32_t> ColorMap;
};

int ElementSize(uint16_t type) {
  switch (type) {
    case typeByte: return 1;
    case typeShort: return 2;
    case typeLong: return 4;
    default: return 0;
  }
}

// Reads up to maxCount elements of a 12-byte entry. The values sit in the entry
// when they fit in its 4 value bytes, else at the offset it holds. An array
// that the stream cannot hold raises the stream's read error before anything
// is allocated for it.
std::vector<uint32_t> ReadEntryValues(TStream& stream, const TTIFFDirectory& dir, int64_t streamSize,
                                      const uint8_t* entry, uint32_t maxCount) {
  const uint16_t type = dir.Order.U16(entry + 2);
  const int elem = ElementSize(type);
  if (elem == 0) RaiseReader("Unsupported field Type: " + std::to_string(type));
  const uint32_t count = dir.Order.U32(entry + 4);
  const int64_t total = static_cast<int64_t>(count) * elem;
  const uint32_t n = std::min(count, maxCount);
  std::vector<uint32_t> values;
  if (n == 0) return values;
  const int64_t bytes = static_cast<int64_t>(n) * elem;
  std::vector<uint8_t> raw;
  const uint8_t* src;
  if (total <= 4) {
    src = entry + 8;
  } else {
    const int64_t pos = dir.Base + dir.Order.U32(entry + 8);
    if (pos + bytes > streamSize) throw EReadError();
    raw.resize(static_cast<size_t>(bytes));
    stream.SetPosition(pos);
    stream.ReadBuffer(raw.data(), bytes);
    src = raw.data();
  }
  values.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    switch (elem) {
      case 1: values[i] = src[i]; break;
      case 2: values[i] = dir.Order.U16(src + 2 * static_cast<size_t>(i)); break;
      default: values[i] = dir.Order.U32(src + 4 * static_cast<size_t>(i)); break;
    }
  }
  return values;
}

uint32_t ReadEntryValue(TStream& stream, const TTIFFDirectory& dir, int64_t streamSize, const uint8_t* entry) {
  const std::vector<uint32_t> v = ReadEntryValues(stream, dir, streamSize, entry, 1);
  return v.empty() ? 0 : v[0];
}

// Header, image chain and the chosen directory, with the checks shared by
// reading and GetInfo.
void ReadDirectory(TStream& stream, int index, TTIFFDirectory& dir) {
  dir.Base = stream.Position();
  const int64_t size = stream.Size();
  uint8_t buf[4];
  stream.ReadBuffer(buf, 2);
  if (buf[0] == 'I' && buf[1] == 'I')
    dir.Order.Motorola = false;
  else if (buf[0] == 'M' && buf[1] == 'M')
    dir.Order.Motorola = true;
  else
    RaiseReader(GetMessage1(msgNotAFile, "TIF"));
  stream.ReadBuffer(buf, 2);
  if (dir.Order.U16(buf) != 42) RaiseReader(GetMessage1(msgNotAFile, "TIF"));
  stream.ReadBuffer(buf, 4);
  const uint32_t firstIFD = dir.Order.U32(buf);

  // The chain: a directory outside the stream, a loop or more directories than
  // allowed make a broken chain, which is read as a single image.
  uint32_t ifd = firstIFD;
  dir.ImageCount = 1;
  if (PGTIFFReadAllImages) {
    int count = 0;
    uint32_t chosen = 0;
    bool broken = false;
    std::unordered_set<uint32_t> seen;
    uint32_t o = firstIFD;
    while (o != 0) {
      if (count == index) chosen = o;
      const int64_t pos = dir.Base + o;
      if (pos > size - 2 || !seen.insert(o).second) {
        broken = true;
        break;
      }
      stream.SetPosition(pos);
      stream.ReadBuffer(buf, 2);
      const int64_t nextField = pos + 2 + 12 * static_cast<int64_t>(dir.Order.U16(buf));
      if (nextField + 4 > size) {
        broken = true;
        break;
      }
      stream.SetPosition(nextField);
      stream.ReadBuffer(buf, 4);
      o = dir.Order.U32(buf);
      ++count;
      if (count > PGTIFFMaxImages) {
        broken = true;
        break;
      }
    }
    if (broken || count == 0) {
      dir.ImageCount = 1;
    } else {
      dir.ImageCount = count;
      if (index >= 0 && index < count) ifd = chosen;
    }
  }
  if (index < 0 || index >= dir.ImageCount) RaiseReader(GetMessage1(msgInvalid, "Index"));

  // The directory's entries.
  const int64_t ifdPos = dir.Base + ifd;
  stream.SetPosition(ifdPos);
  stream.ReadBuffer(buf, 2);
  const int entryCount = dir.Order.U16(buf);
  if (ifdPos + 2 + 12 * static_cast<int64_t>(entryCount) > size) throw EReadError();
  std::vector<uint8_t> entries(static_cast<size_t>(entryCount) * 12);
  stream.ReadBuffer(entries.data(), static_cast<int64_t>(entries.size()));
  constexpr uint32_t all = std::numeric_limits<uint32_t>::max();
  for (int i = 0; i < entryCount; ++i) {
    const uint8_t* e = entries.data() + 12 * static_cast<size_t>(i);
    switch (dir.Order.U16(e)) {
      case tagNewSubfileType: dir.SubfileType = ReadEntryValue(stream, dir, size, e); break;
      case tagImageWidth: dir.Width = ReadEntryValue(stream, dir, size, e); break;
      case tagImageLength: dir.Length = ReadEntryValue(stream, dir, size, e); break;
      case tagBitsPerSample: dir.BitsPerSample = ReadEntryValues(stream, dir, size, e, all); break;
      case tagCompression: dir.Compression = ReadEntryValue(stream, dir, size, e); break;
      case tagPhotometric: dir.Photometric = ReadEntryValue(stream, dir, size, e); break;
      case tagStripOffsets: dir.StripOffsets = ReadEntryValues(stream, dir, size, e, all); break;
      case tagSamplesPerPixel: dir.SamplesPerPixel = ReadEntryValue(stream, dir, size, e); break;
      case tagRowsPerStrip: dir.RowsPerStrip = ReadEntryValue(stream, dir, size, e); break;
      case tagStripByteCounts: dir.StripByteCounts = ReadEntryValues(stream, dir, size, e, all); break;
      case tagPlanarConfiguration: dir.Planar = ReadEntryValue(stream, dir, size, e); break;
      case tagColorMap: dir.ColorMap = ReadEntryValues(stream, dir, size, e, all); break;
      default: break;
    }
  }

  if (dir.Planar > 1) RaiseReader(GetMessage1(msgInvalid, "PlanarConfiguration"));
  const uint32_t spp = dir.SamplesPerPixel;
  if (spp != 1 && spp != 3 && spp != 4) RaiseReader("Invalid SamplesPerPixel");
  if (dir.BitsPerSample.size() != spp) RaiseReader("Invalid count of SamplesPerPixel");
  const std::vector<uint32_t>& bps = dir.BitsPerSample;
  const bool all8 = std::all_of(bps.begin(), bps.end(), [](uint32_t b) { return b == 8; });
  bool accepted = false;
  switch (dir.Photometric) {
    case 0:
    case 1:
    case 3: accepted = spp == 1 && (bps[0] == 1 || bps[0] == 4 || bps[0] == 8); break;
    case 2: accepted = (spp == 3 || spp == 4) && all8; break;
    case 5: accepted = spp == 4 && all8; break;
    default: break;
  }
  if (!accepted) RaiseReader("Invalid SamplesPerPixel");
  if (dir.RowsPerStrip == 0) {
    if (dir.StripOffsets.size() == 1)
      dir.RowsPerStrip = dir.Length;
    else
      RaiseReader("Invalid RowsPerStrip");
  }
}

// ------------------------------------------------------------------ row storing

enum class TRowKind { Bits1, Bits4, Bits8, RGB, RGBX, CMYK };

// Moves one row of file samples (R bytes) into image row dst of the given width.
void StoreRow(TRowKind kind, bool invert, const uint8_t* src, uint8_t* dst, int64_t width) {
  switch (kind) {
    case TRowKind::Bits1:
    case TRowKind::Bits4:
    case TRowKind::Bits8: {
      const int64_t bytes = kind == TRowKind::Bits1   ? (width + 7) / 8
                            : kind == TRowKind::Bits4 ? (width + 1) / 2
                                                      : width;
      if (invert) {
        for (int64_t i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
      } else {
        std::memcpy(dst, src, static_cast<size_t>(bytes));
      }
      // Keep the bits beyond the last pixel clear.
      if (kind == TRowKind::Bits1 && (width & 7) != 0)
        dst[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - (width & 7)));
      else if (kind == TRowKind::Bits4 && (width & 1) != 0)
        dst[bytes - 1] &= 0xF0;
      break;
    }
    case TRowKind::RGB:
      for (int64_t x = 0; x < width; ++x, src += 3, dst += 3) {
        const uint8_t r = src[0], g = src[1], b = src[2];
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
      }
      break;
    case TRowKind::RGBX:
      for (int64_t x = 0; x < width; ++x, src += 4, dst += 3) {
        const uint8_t r = src[0], g = src[1], b = src[2];
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
      }
      break;
    case TRowKind::CMYK:
      for (int64_t x = 0; x < width; ++x, src += 4, dst += 3) {
        const int k = src[3];
        const int r = 255 - src[0] - k, g = 255 - src[1] - k, b = 255 - src[2] - k;
        dst[0] = static_cast<uint8_t>(b < 0 ? 0 : b);
        dst[1] = static_cast<uint8_t>(g < 0 ? 0 : g);
        dst[2] = static_cast<uint8_t>(r < 0 ? 0 : r);
      }
      break;
  }
}

// ------------------------------------------------------------------ PackBits reading

// Compressed bytes come through a 4096-byte window that is re-read from the
// stream whenever a byte outside it is needed.
class TPackBitsSource {
public:
  explicit TPackBitsSource(TStream& stream) : FStream(stream) {}

  void SetPosition(int64_t pos) { FPos = pos; }

  uint8_t NextByte() {
    if (FPos < FWinPos || FPos >= FWinPos + FWinLen) Fill();
    return FWindow[FPos++ - FWinPos];
  }

  void Copy(uint8_t* dst, int64_t count) {
    while (count > 0) {
      if (FPos < FWinPos || FPos >= FWinPos + FWinLen) Fill();
      const int64_t avail = FWinPos + FWinLen - FPos;
      const int64_t n = std::min(avail, count);
      std::memcpy(dst, FWindow + (FPos - FWinPos), static_cast<size_t>(n));
      dst += n;
      FPos += n;
      count -= n;
    }
  }

  // Decodes one row of rowBytes bytes; a packet that runs past the row end
  // raises the row error with the row number.
  void DecodeRow(uint8_t* dst, int64_t rowBytes, int64_t row) {
    int64_t filled = 0;
    while (filled < rowBytes) {
      const int n = static_cast<int8_t>(NextByte());
      if (n >= 0) {
        const int64_t count = n + 1;
        if (filled + count > rowBytes) RaiseRow(row);
        Copy(dst + filled, count);
        filled += count;
      } else if (n != -128) {
        const int64_t count = 1 - n;
        if (filled + count > rowBytes) RaiseRow(row);
        std::memset(dst + filled, NextByte(), static_cast<size_t>(count));
        filled += count;
      }
    }
  }

private:
  [[noreturn]] static void RaiseRow(int64_t row) {
    throw EPGTIFFileFormatReader("TIFF (PackBits): " + GetMessage1(msgInvalidCountOfBytesInRow, std::to_string(row)));
  }
  void Fill() {
    FStream.SetPosition(FPos);
    const int64_t n = FStream.Read(FWindow, sizeof(FWindow));
    if (n <= 0) throw EReadError();
    FWinPos = FPos;
    FWinLen = n;
  }

  TStream& FStream;
  int64_t FPos = 0;
  int64_t FWinPos = 0;
  int64_t FWinLen = 0;
  uint8_t FWindow[4096];
};

// Fires the progress-end event however the rows loop ends.
class TProgressBracket {
public:
  TProgressBracket(TPixelGraphic& graphic, TObject* sender) : FGraphic(graphic), FSender(sender) {
    FGraphic.DoProgressStart(FSender);
  }
  ~TProgressBracket() { FGraphic.DoProgressEnd(FSender); }
  TProgressBracket(const TProgressBracket&) = delete;
  TProgressBracket& operator=(const TProgressBracket&) = delete;

private:
  TPixelGraphic& FGraphic;
  TObject* FSender;
};

// Acts on the image's ReadWarningAction for a warning that lets reading go on.
void ReadWarning(const TPixelGraphic& graphic, const std::string& text) {
  switch (graphic.ReadWarningAction()) {
    case pgwaIgnore: break;
    case pgwaOKBox:
      platform::MessageBox(text, "TIFF-Warning", platform::TMsgButtons::OK, platform::TMsgIcon::Warning);
      break;
    case pgwaOKCancelBox:
      if (platform::MessageBox(text, "TIFF-Warning", platform::TMsgButtons::OKCancel, platform::TMsgIcon::Warning) !=
          platform::mrOk)
        RaiseReader(GetMessage(msgOperationAborted));
      break;
    default: throw EPGTIFFileFormatReader(text);
  }
}

} // namespace

// ====================================================================== reader

TTIFFileFormatReader::TTIFFileFormatReader(std::string extension)
    : TFileFormatReader(std::move(extension), "Tagged Image File Format") {
  DetectsByContent = true;
}

bool TTIFFileFormatReader::IsFormat(const uint8_t* header) const {
  return (header[0] == 'I' && header[1] == 'I' && header[2] == 0x2A && header[3] == 0x00) ||
         (header[0] == 'M' && header[1] == 'M' && header[2] == 0x00 && header[3] == 0x2A);
}

void TTIFFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  TTIFFDirectory dir;
  ReadDirectory(stream, index, dir);
  switch (dir.Compression) {
    case compNone:
    case compPackBits: break;
    case 2: RaiseReader("Unsupported compression CCITT 1D");
    case 3: RaiseReader("Unsupported compression Group 3 Fax");
    case 4: RaiseReader("Unsupported compression Group 4 Fax");
    case 5: RaiseReader("Unsupported compression LZW");
    case 6: RaiseReader("Unsupported compression JPEG");
    default: RaiseReader("Unsupported compression " + std::to_string(dir.Compression));
  }

  const int64_t length = dir.Length;
  int64_t rowsPerStrip = dir.RowsPerStrip;  // 0 only for an image without rows
  const size_t offsetCount = dir.StripOffsets.size();
  if (rowsPerStrip > 0 && static_cast<size_t>((length + rowsPerStrip - 1) / rowsPerStrip) != offsetCount) {
    // One strip offset: the strip holds the whole image, after a warning.
    // None at all leaves no data for the rows, like a count that disagrees.
    if (offsetCount != 1) RaiseReader(kStripCountText);
    ReadWarning(graphic, std::string("TIFF: ") + kStripCountText);
    rowsPerStrip = length;
  }

  if (dir.Width > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
    RaiseReader(GetMessage1(msgInvalid, "ImageWidth"));
  if (dir.Length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
    RaiseReader(GetMessage1(msgInvalid, "ImageLength"));
  const int64_t width = dir.Width;
  const uint32_t spp = dir.SamplesPerPixel;
  const uint32_t bits = dir.BitsPerSample[0];
  const int64_t rowBytes = (static_cast<int64_t>(bits) * spp * width + 7) / 8;
  const bool packBits = dir.Compression == compPackBits;

  // The strips must be able to hold their rows before the image is allocated:
  // a strip that begins or ends past the stream's end is the stream's read
  // error, whatever size the file claims for the image.
  if (width > 0 && length > 0) {
    const int64_t size = stream.Size();
    const int64_t minRowBytes = packBits ? 2 * ((rowBytes + 127) / 128) : rowBytes;
    const int64_t strips = (length + rowsPerStrip - 1) / rowsPerStrip;
    for (int64_t k = 0; k < strips; ++k) {
      const int64_t rows = std::min(rowsPerStrip, length - k * rowsPerStrip);
      const int64_t start = dir.Base + dir.StripOffsets[static_cast<size_t>(k)];
      if (start > size || rows > (size - start) / minRowBytes) throw EReadError();
    }
  }

  TRowKind kind;
  uint8_t bitCount;
  if (spp == 1) {
    kind = bits == 1 ? TRowKind::Bits1 : bits == 4 ? TRowKind::Bits4 : TRowKind::Bits8;
    bitCount = bits == 1 ? bc1Bit : bits == 4 ? bc4Bit : bc8Bit;
  } else {
    kind = spp == 3 ? TRowKind::RGB : dir.Photometric == 5 ? TRowKind::CMYK : TRowKind::RGBX;
    bitCount = bc24Bit;
  }
  const bool invert = dir.Photometric == 0;

  graphic.SetSize(static_cast<int32_t>(width), static_cast<int32_t>(length), bitCount);
  if (spp == 1) {
    if (bits == 1 || dir.Photometric != 3) {
      graphic.SetPaletteIdent(bits == 1 ? pBlackWhite : bits == 4 ? pGray16 : pGray256);
    } else {
      const size_t n = dir.ColorMap.size() / 3;
      const int count = static_cast<int>(std::min<size_t>(n, size_t{1} << bits));
      graphic.SetPaletteCount(count);
      const uint32_t* map = dir.ColorMap.data();
      for (int i = 0; i < count; ++i)
        graphic.SetPaletteColor(i, RGBColor(map[i] / 256, map[n + i] / 256, map[2 * n + i] / 256));
    }
  }

  TObject* sender = const_cast<TTIFFileFormatReader*>(this);
  TProgressBracket bracket(graphic, sender);
  if (width == 0 || length == 0) return;

  if (!packBits) {
    // Uncompressed rows of a strip are consecutive: read them in chunks.
    const int64_t chunkRows = std::max<int64_t>(1, (int64_t{1} << 20) / rowBytes);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(chunkRows, length) * rowBytes));
    for (int64_t r = 0; r < length;) {
      const int64_t inStrip = r % rowsPerStrip;
      if (inStrip == 0) stream.SetPosition(dir.Base + dir.StripOffsets[static_cast<size_t>(r / rowsPerStrip)]);
      const int64_t n = std::min({chunkRows, rowsPerStrip - inStrip, length - r});
      stream.ReadBuffer(buffer.data(), n * rowBytes);
      for (int64_t i = 0; i < n; ++i, ++r) {
        StoreRow(kind, invert, buffer.data() + i * rowBytes, graphic.ScanLine(static_cast<int>(r)), width);
        if (graphic.DoProgress(sender, static_cast<int>(r), static_cast<int>(length))) return;
      }
    }
  } else {
    TPackBitsSource source(stream);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int64_t r = 0; r < length; ++r) {
      if (r % rowsPerStrip == 0)
        source.SetPosition(dir.Base + dir.StripOffsets[static_cast<size_t>(r / rowsPerStrip)]);
      source.DecodeRow(row.data(), rowBytes, r);
      StoreRow(kind, invert, row.data(), graphic.ScanLine(static_cast<int>(r)), width);
      if (graphic.DoProgress(sender, static_cast<int>(r), static_cast<int>(length))) return;
    }
  }
}

void TTIFFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  TTIFFDirectory dir;
  ReadDirectory(stream, index, dir);
  info.ImageCount = dir.ImageCount;
  std::string details = dir.Order.Motorola ? "M, " : "I, ";
  switch (dir.Compression) {
    case 1: details += "Uncompr."; break;
    case 2: details += "CCITT 1D"; break;
    case 3: details += "Group 3 F."; break;
    case 4: details += "Group 4 F."; break;
    case 5: details += "LZW"; break;
    case 6: details += "JPEG"; break;
    case 32773: details += "PackBits"; break;
    default: break;
  }
  if (dir.Compression >= 2 && dir.Compression <= 6) info.KindText = "(Unsupported compression)";
  switch (dir.Photometric) {
    case 0: details += ", WhiteIsZero"; break;
    case 1: details += ", BlackIsZero"; break;
    case 2: details += ", RGB"; break;
    case 3: details += ", RGB Palette"; break;
    case 5: details += ", CMYK"; break;
    default: RaiseReader("Unsupported photometric interpretation " + std::to_string(dir.Photometric));
  }
  info.DetailsText = details;
  info.Width = static_cast<int>(std::min<uint32_t>(dir.Width, std::numeric_limits<int32_t>::max()));
  info.Height = static_cast<int>(std::min<uint32_t>(dir.Length, std::numeric_limits<int32_t>::max()));
  int bitsPerPixel = 0;
  for (uint32_t b : dir.BitsPerSample) bitsPerPixel += static_cast<int>(std::min<uint32_t>(b, 1 << 16));
  info.BitsPerPixel = bitsPerPixel;
  info.ColorsText = bitsPerPixel > 23 ? "16.7 M" : std::to_string(int64_t{1} << bitsPerPixel);
}

// ====================================================================== PackBits encoding

namespace {

// The first index p >= i with src[p] == src[p + 1], or count when there is none.
// Compares eight neighbours at a time: a zero byte in a ^ b marks a pair.
int64_t FindEqualPair(const uint8_t* src, int64_t i, int64_t count) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    while (i + 9 <= count) {
      uint64_t a, b;
      std::memcpy(&a, src + i, 8);
      std::memcpy(&b, src + i + 1, 8);
      const uint64_t x = a ^ b;
      const uint64_t zero = (x - ones) & ~x & highs;  // exact for the lowest zero byte
      if (zero != 0) return i + (std::countr_zero(zero) >> 3);
      i += 8;
    }
  }
  while (i + 1 < count && src[i] != src[i + 1]) ++i;
  return i + 1 < count ? i : count;
}

} // namespace

int64_t PGPackBitsEncode(const uint8_t* src, int64_t count, uint8_t* dst) {
  // Runs of equal bytes; a run of two next to single bytes joins the literal
  // bytes: first scanning forward (a 2-run after a single byte), then backward
  // (a 2-run before a single byte). Those rules cascade along neighbouring
  // 2-runs exactly as a byte-by-byte scan does.
  uint8_t* out = dst;
  int64_t litStart = -1;  // start of the pending literal stretch
  // The forward rule needs to know whether the byte before a run is single;
  // the backward rule needs the byte after it. Runs are found one ahead.
  auto runEnd = [&](int64_t i) {
    const uint8_t v = src[i];
    int64_t j = i + 1;
    while (j < count && src[j] == v) ++j;
    return j;
  };
  auto flushLiteral = [&](int64_t end) {
    int64_t i = litStart;
    while (i < end) {
      const int64_t n = std::min<int64_t>(128, end - i);
      *out++ = static_cast<uint8_t>(n - 1);
      std::memcpy(out, src + i, static_cast<size_t>(n));
      out += n;
      i += n;
    }
    litStart = -1;
  };

  // A pending sequence of 2-runs that follow a non-single run: whether they
  // become single depends on the first run after them (backward rule).
  int64_t i = 0;
  bool prevSingle = false;  // the byte before position i is single
  while (i < count) {
    // Bytes up to the next pair of equal neighbours are single; i always
    // starts a run, so the byte before it differs.
    const int64_t pair = FindEqualPair(src, i, count);
    if (pair > i) {
      if (litStart < 0) litStart = i;
      prevSingle = true;
      i = pair;
      if (i == count) break;
    }
    int64_t e = runEnd(i);
    int64_t len = e - i;
    if (len == 1 || (len == 2 && prevSingle)) {
      // Single byte, or a 2-run that the forward rule turns into singles.
      if (litStart < 0) litStart = i;
      i = e;
      prevSingle = true;
      continue;
    }
    if (len == 2) {
      // A chain of 2-runs after a non-single byte: look at what follows the
      // chain. A single byte after it turns the whole chain single
      // (backward rule cascading); anything else keeps each 2-run a run.
      int64_t chainEnd = e;
      while (chainEnd < count) {
        const int64_t ne = runEnd(chainEnd);
        if (ne - chainEnd != 2) break;
        chainEnd = ne;
      }
      const bool nextSingle = chainEnd < count && runEnd(chainEnd) - chainEnd == 1;
      if (nextSingle) {
        if (litStart < 0) litStart = i;
        i = chainEnd;
        prevSingle = true;
        continue;
      }
      if (litStart >= 0) flushLiteral(i);
      for (int64_t k = i; k < chainEnd; k += 2) {
        *out++ = static_cast<uint8_t>(-1);  // 1 - 2
        *out++ = src[k];
      }
      i = chainEnd;
      prevSingle = false;
      continue;
    }
    // A run of three or more bytes: repeat packets of up to 128.
    if (litStart >= 0) flushLiteral(i);
    while (len > 0) {
      const int64_t n = std::min<int64_t>(128, len);
      *out++ = static_cast<uint8_t>(1 - n);
      *out++ = src[i];
      len -= n;
    }
    i = e;
    prevSingle = false;
  }
  if (litStart >= 0) flushLiteral(count);
  return out - dst;
}

// ====================================================================== writer

TTIFFileFormatWriter::TTIFFileFormatWriter(std::string extension)
    : TFileFormatWriter(std::move(extension), "Tagged Image File Format") {
  MultiImage = true;
  CanWriteResolutions = static_cast<TPGColorResSet>(PGAllColorRes & ~(1u << 1));
}

void TTIFFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  BeginFile(stream);
  WriteImage(stream, graphic);
  EndFile(stream);
}

void TTIFFileFormatWriter::BeginFile(TStream& stream) {
  FStart = stream.Position();
  FMotorola = PGTIFFWriteMotorola;
  TByteOrder order{FMotorola};
  uint8_t header[8];
  header[0] = header[1] = FMotorola ? 'M' : 'I';
  order.Put16(header + 2, 42);
  order.Put32(header + 4, 0);
  FNextIFDField = 4;
  stream.WriteBuffer(header, sizeof(header));
}

void TTIFFileFormatWriter::EndFile(TStream& stream) { (void)stream; }

namespace {

// An offset relative to the TIFF start must fit the file's 32-bit fields.
uint32_t Offset32(int64_t relative) {
  if (relative < 0 || relative > std::numeric_limits<uint32_t>::max()) RaiseWriterInternal();
  return static_cast<uint32_t>(relative);
}

// Output of the strips, collected in a buffer and written in large blocks.
// RelPos is the position relative to the TIFF start of the next byte.
class TStripOutput {
public:
  TStripOutput(TStream& stream, int64_t relPos, int64_t largestPiece)
      : FStream(stream), FRel(relPos), FCap(std::max<int64_t>(int64_t{1} << 20, largestPiece)),
        FBuffer(new uint8_t[static_cast<size_t>(FCap)]) {}
  int64_t RelPos() const { return FRel + FUsed; }
  // Room for n bytes (n at most largestPiece); Commit tells how many were used.
  uint8_t* Reserve(int64_t n) {
    if (FUsed + n > FCap) Flush();
    return FBuffer.get() + FUsed;
  }
  void Commit(int64_t used) { FUsed += used; }
  void Flush() {
    FStream.WriteBuffer(FBuffer.get(), FUsed);
    FRel += FUsed;
    FUsed = 0;
  }

private:
  TStream& FStream;
  int64_t FRel;
  int64_t FCap;
  int64_t FUsed = 0;
  std::unique_ptr<uint8_t[]> FBuffer;
};

} // namespace

void TTIFFileFormatWriter::WriteImage(TStream& stream, TPixelGraphic& graphic) {
  if (PGTIFFCompression != compNone && PGTIFFCompression != static_cast<int>(compPackBits)) RaiseWriterInternal();
  const int64_t width = graphic.Width();
  const int64_t height = graphic.Height();
  // An image without pixels has no rows to put into strips.
  if (width <= 0 || height <= 0 || graphic.Empty())
    throw EPGTIFFileFormatWriter("TIFF: " + GetMessage(msgWidthOrHeightZero));

  const TByteOrder order{FMotorola};
  const bool packBits = PGTIFFCompression == static_cast<int>(compPackBits);
  const uint8_t bitCount = graphic.BitCount();
  const TPaletteIdent ident = graphic.PaletteIdent();
  const bool cmyk = bitCount == bc24Bit && PGTIFFWriteCMYK;
  const bool whiteIsZero = PGTIFFWhiteIsZero;

  int64_t rowBytes;
  int bits, samples;
  uint32_t photometric;
  bool colorMap = false;
  bool invert = false;
  switch (bitCount) {
    case bc1Bit:
      rowBytes = (width + 7) / 8;
      bits = 1;
      samples = 1;
      photometric = whiteIsZero ? 0 : 1;
      invert = whiteIsZero && ident == pBlackWhite;
      break;
    case bc4Bit:
      rowBytes = (width + 1) / 2;
      bits = 4;
      samples = 1;
      colorMap = ident != pGray16;
      photometric = colorMap ? 3 : whiteIsZero ? 0 : 1;
      invert = whiteIsZero && ident == pGray16;
      break;
    case bc8Bit:
      rowBytes = width;
      bits = 8;
      samples = 1;
      colorMap = ident != pGray256;
      photometric = colorMap ? 3 : whiteIsZero ? 0 : 1;
      invert = whiteIsZero && ident == pGray256;
      break;
    default:
      rowBytes = width * (cmyk ? 4 : 3);
      bits = 8;
      samples = cmyk ? 4 : 3;
      photometric = cmyk ? 5 : 2;
      break;
  }
  const int64_t workSize = packBits ? 2 * rowBytes : rowBytes;
  const int64_t rowsPerStrip = std::min<int64_t>(std::max<int64_t>(32767 / workSize, 1), height);
  const int64_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;

  // Link this directory from the previous next-directory field. Directories
  // begin on a word boundary, like the strips.
  const int64_t endPos = stream.Position();
  int64_t ifdRel = endPos - FStart;
  const bool padIFD = (ifdRel & 1) != 0;
  if (padIFD) ++ifdRel;
  uint8_t link[4];
  order.Put32(link, Offset32(ifdRel));
  stream.SetPosition(FStart + FNextIFDField);
  stream.WriteBuffer(link, 4);
  stream.SetPosition(endPos);
  if (padIFD) {
    const uint8_t zero = 0;
    stream.WriteBuffer(&zero, 1);
  }

  // The directory and its out-of-line values, built in memory.
  const int entryCount = colorMap ? 14 : 13;
  const int64_t ifdSize = 2 + 12 * static_cast<int64_t>(entryCount) + 4;
  const int64_t colorMapEntries = int64_t{1} << bits;
  const int64_t colorMapRel = ifdRel + ifdSize;
  const int64_t bpsRel = colorMapRel + (colorMap ? 6 * colorMapEntries : 0);
  const int64_t xResRel = bpsRel + (samples > 1 ? 2 * samples : 0);
  const int64_t yResRel = xResRel + 8;
  const int64_t offsetsRel = yResRel + 8;
  const int64_t countsRel = offsetsRel + (strips > 1 ? 4 * strips : 0);
  const int64_t dataRel = countsRel + (strips > 1 ? 4 * strips : 0);

  std::vector<uint8_t> block(static_cast<size_t>(dataRel - ifdRel), 0);
  uint8_t* p = block.data();
  order.Put16(p, static_cast<uint32_t>(entryCount));
  int64_t stripOffsetsEntry = 0, stripCountsEntry = 0;  // value fields within block
  int e = 0;
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    uint8_t* q = p + 2 + 12 * e++;
    order.Put16(q, tag);
    order.Put16(q + 2, type);
    order.Put32(q + 4, count);
    if (type == typeShort && count == 1)
      order.Put16(q + 8, value);
    else
      order.Put32(q + 8, value);
    return (q + 8) - p;
  };
  entry(tagNewSubfileType, typeLong, 1, 0);
  entry(tagImageWidth, typeLong, 1, static_cast<uint32_t>(width));
  entry(tagImageLength, typeLong, 1, static_cast<uint32_t>(height));
  if (samples == 1)
    entry(tagBitsPerSample, typeShort, 1, static_cast<uint32_t>(bits));
  else
    entry(tagBitsPerSample, typeShort, static_cast<uint32_t>(samples), Offset32(bpsRel));
  entry(tagCompression, typeShort, 1, packBits ? compPackBits : compNone);
  entry(tagPhotometric, typeShort, 1, photometric);
  stripOffsetsEntry = entry(tagStripOffsets, typeLong, static_cast<uint32_t>(strips), 0);
  entry(tagSamplesPerPixel, typeShort, 1, static_cast<uint32_t>(samples));
  entry(tagRowsPerStrip, typeLong, 1, static_cast<uint32_t>(rowsPerStrip));
  stripCountsEntry = entry(tagStripByteCounts, typeLong, static_cast<uint32_t>(strips), 0);
  entry(tagXResolution, typeRational, 1, Offset32(xResRel));
  entry(tagYResolution, typeRational, 1, Offset32(yResRel));
  const int unit = PGTIFFResolutionUnit;
  entry(tagResolutionUnit, typeShort, 1, static_cast<uint32_t>(unit == 0 ? 1 : unit == 2 ? 3 : 2));
  if (colorMap) entry(tagColorMap, typeShort, static_cast<uint32_t>(3 * colorMapEntries), Offset32(colorMapRel));
  order.Put32(p + 2 + 12 * entryCount, 0);  // next directory: none yet
  FNextIFDField = ifdRel + 2 + 12 * entryCount;

  if (colorMap) {
    uint8_t* m = p + (colorMapRel - ifdRel);
    const int n = std::min<int>(graphic.PaletteCount(), static_cast<int>(colorMapEntries));
    const TColorRef* pal = graphic.PaletteData();
    for (int i = 0; i < n; ++i) {
      order.Put16(m + 2 * i, GetRValue(pal[i]) * 256);
      order.Put16(m + 2 * (colorMapEntries + i), GetGValue(pal[i]) * 256);
      order.Put16(m + 2 * (2 * colorMapEntries + i), GetBValue(pal[i]) * 256);
    }
  }
  if (samples > 1)
    for (int i = 0; i < samples; ++i) order.Put16(p + (bpsRel - ifdRel) + 2 * i, 8);
  order.Put32(p + (xResRel - ifdRel), PGTIFFXResolution[0]);
  order.Put32(p + (xResRel - ifdRel) + 4, PGTIFFXResolution[1]);
  order.Put32(p + (yResRel - ifdRel), PGTIFFYResolution[0]);
  order.Put32(p + (yResRel - ifdRel) + 4, PGTIFFYResolution[1]);
  if (strips > 1) {
    order.Put32(p + stripOffsetsEntry, Offset32(offsetsRel));
    order.Put32(p + stripCountsEntry, Offset32(countsRel));
  }
  stream.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));

  // The rows, strip by strip.
  std::vector<uint32_t> stripOffsets(static_cast<size_t>(strips)), stripCounts(static_cast<size_t>(strips));
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  TStripOutput output(stream, dataRel, PGPackBitsMaxSize(rowBytes) + 1);
  {
    TProgressBracket bracket(graphic, this);
    int64_t stripStart = 0;
    for (int64_t y = 0; y < height; ++y) {
      const int64_t strip = y / rowsPerStrip;
      if (y % rowsPerStrip == 0) {
        if (output.RelPos() & 1) {
          *output.Reserve(1) = 0;
          output.Commit(1);
        }
        stripStart = output.RelPos();
        stripOffsets[static_cast<size_t>(strip)] = Offset32(stripStart);
      }
      const uint8_t* src = graphic.ScanLine(static_cast<int>(y));
      uint8_t* dst = packBits ? row.data() : output.Reserve(rowBytes);
      switch (bitCount) {
        case bc1Bit:
        case bc4Bit:
        case bc8Bit:
          if (invert) {
            for (int64_t i = 0; i < rowBytes; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
          } else {
            std::memcpy(dst, src, static_cast<size_t>(rowBytes));
          }
          if (bitCount == bc1Bit && (width & 7) != 0)
            dst[rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - (width & 7)));
          else if (bitCount == bc4Bit && (width & 1) != 0)
            dst[rowBytes - 1] &= 0xF0;
          break;
        default:
          if (!cmyk) {
            for (int64_t x = 0; x < width; ++x) {
              const uint8_t b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
              dst[3 * x] = r;
              dst[3 * x + 1] = g;
              dst[3 * x + 2] = b;
            }
          } else {
            for (int64_t x = 0; x < width; ++x) {
              const int c = 255 - src[3 * x + 2], m = 255 - src[3 * x + 1], yv = 255 - src[3 * x];
              const int k = std::min({c, m, yv});
              dst[4 * x] = static_cast<uint8_t>(c - k);
              dst[4 * x + 1] = static_cast<uint8_t>(m - k);
              dst[4 * x + 2] = static_cast<uint8_t>(yv - k);
              dst[4 * x + 3] = static_cast<uint8_t>(k);
            }
          }
          break;
      }
      if (packBits) {
        uint8_t* enc = output.Reserve(PGPackBitsMaxSize(rowBytes));
        output.Commit(PGPackBitsEncode(row.data(), rowBytes, enc));
      } else {
        output.Commit(rowBytes);
      }
      if ((y + 1) % rowsPerStrip == 0 || y + 1 == height)
        stripCounts[static_cast<size_t>(strip)] = Offset32(output.RelPos() - stripStart);
      graphic.DoProgress(this, static_cast<int>(y), static_cast<int>(height - 1));
    }
    output.Flush();
  }

  // Put the strip offsets and byte counts in place, then return to the end.
  const int64_t end = stream.Position();
  if (strips == 1) {
    order.Put32(link, stripOffsets[0]);
    stream.SetPosition(FStart + ifdRel + stripOffsetsEntry);
    stream.WriteBuffer(link, 4);
    order.Put32(link, stripCounts[0]);
    stream.SetPosition(FStart + ifdRel + stripCountsEntry);
    stream.WriteBuffer(link, 4);
  } else {
    std::vector<uint8_t> arrays(static_cast<size_t>(8 * strips));
    for (int64_t k = 0; k < strips; ++k) {
      order.Put32(arrays.data() + 4 * k, stripOffsets[static_cast<size_t>(k)]);
      order.Put32(arrays.data() + 4 * (strips + k), stripCounts[static_cast<size_t>(k)]);
    }
    stream.SetPosition(FStart + offsetsRel);
    stream.WriteBuffer(arrays.data(), static_cast<int64_t>(arrays.size()));
  }
  stream.SetPosition(end);
}

// ====================================================================== registration

void RegisterTIFFFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TTIFFileFormatReader>());
  lists.Readers.push_back(std::make_unique<TTIFFFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TTIFFileFormatWriter>());
  lists.Writers.push_back(std::make_unique<TTIFFFileFormatWriter>());
}
