#include "pgraphic/formats/tiff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/tiff_internal.h"
#include "pgraphic/formats/tiff_packbits.h"
#include "platform/messagebox.h"

// The TIFF reader: strips, uncompressed or PackBits, into the image's rows.

using namespace pg::tiff;

namespace {

const char* const kStripCountText = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

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
  TPGProgressBracket progress(graphic, sender);
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
  std::string details = dir.Order.BigEndian ? "M, " : "I, ";
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
