#include "pgraphic/formats/tiff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/progressbracket.h"
#include "pgraphic/formats/settings.h"
#include "pgraphic/formats/tiff_internal.h"
#include "pgraphic/formats/tiff_packbits.h"

// The TIFF writer: one directory per image, linked from the previous one, then
// the image's strips, uncompressed or PackBits.

using namespace pg::tiff;

TTIFFileFormatWriter::TTIFFileFormatWriter(std::string extension)
    : TFileFormatWriter(std::move(extension), "Tagged Image File Format") {
  MultiImage = true;
  CanWriteResolutions = static_cast<TPGColorResSet>(PGAllColorRes & ~(1u << 1));
}

namespace {

// The writer's refusals, checked before anything is written.
void CheckWritable(const TPixelGraphic& graphic) {
  if (PGTIFFCompression != compNone && PGTIFFCompression != static_cast<int>(compPackBits)) RaiseWriterInternal();
  // An image without pixels has no rows to put into strips.
  if (graphic.Width() <= 0 || graphic.Height() <= 0 || graphic.Empty())
    throw EPGTIFFileFormatWriter("TIFF: " + GetMessage(msgWidthOrHeightZero));
}

} // namespace

void TTIFFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  CheckWritable(graphic);
  BeginFile(stream);
  WriteImage(stream, graphic);
  EndFile(stream);
}

void TTIFFileFormatWriter::BeginFile(TStream& stream) {
  FStart = stream.Position();
  FMotorola = PGTIFFWriteMotorola;
  pg::TByteOrder order{FMotorola};
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
  CheckWritable(graphic);
  const int64_t width = graphic.Width();
  const int64_t height = graphic.Height();

  const pg::TByteOrder order{FMotorola};
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
    TPGProgressBracket progress(graphic, this);
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
