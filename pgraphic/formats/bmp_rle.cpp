#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/formats/bmp_internal.h"

// Run-length encoded bitmaps (RLE8 and RLE4). The decoder never reads past the
// compressed data nor writes outside the image.

namespace pg::bmp {

namespace {

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

} // namespace

void ReadRLE(TPixelGraphic& g, TStream& stream, uint32_t sizeImage, bool rle4) {
  // The buffer never exceeds what the stream still holds.
  int64_t n = sizeImage;
  const int64_t available = stream.Size() - stream.Position();
  n = std::max<int64_t>(0, std::min(n, available));
  std::vector<uint8_t> data(static_cast<size_t>(n));
  bool aborted;
  ReadChunked(g, stream, data.data(), n, &aborted);
  if (aborted) return;
  if (rle4)
    TRLEDecoder<true>(g, data.data(), n).Run();
  else
    TRLEDecoder<false>(g, data.data(), n).Run();
}

} // namespace pg::bmp
