#include <algorithm>
#include <vector>

#include "pgraphic/core/endian.h"
#include "pgraphic/formats/bmp_internal.h"
#include "pgraphic/formats/settings.h"

// 16- and 32-bit bitmaps: every pixel's channels are cut out by their masks and
// aligned to eight bits (16-bit channels optionally expanded to the full range).

namespace pg::bmp {

namespace {

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

} // namespace

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
          const uint32_t c = lut[pg::GetLE16(in)];
          o[0] = static_cast<uint8_t>(c >> 16);
          o[1] = static_cast<uint8_t>(c >> 8);
          o[2] = static_cast<uint8_t>(c);
        }
      } else {
        for (int64_t j = 0; j < pixels; ++j, in += 4, o += 3) {
          const uint32_t v = pg::GetLE32(in);
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

} // namespace pg::bmp
