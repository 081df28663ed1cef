// Readers finish in time proportional to their input plus their image: small
// files that claim huge images fail at once (before any pixel memory is
// taken), and long run-length chains are decoded without stalling.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Generous enough for the sanitizer build on a busy machine; a hang or a
// per-claimed-pixel loop over a huge size takes far longer.
constexpr double kSecondsAllowed = 10.0;

void Put16LE(Bytes& b, uint32_t v) {
  b.push_back(v & 255);
  b.push_back((v >> 8) & 255);
}
void Put32LE(Bytes& b, uint32_t v) {
  Put16LE(b, v & 0xFFFF);
  Put16LE(b, v >> 16);
}
void Put16BE(Bytes& b, uint32_t v) {
  b.push_back((v >> 8) & 255);
  b.push_back(v & 255);
}
void Put32BE(Bytes& b, uint32_t v) {
  Put16BE(b, v >> 16);
  Put16BE(b, v & 0xFFFF);
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
Bytes Repeat(const Bytes& unit, size_t times) {
  Bytes b;
  b.reserve(unit.size() * times);
  for (size_t i = 0; i < times; ++i) Append(b, unit);
  return b;
}

// ---------------------------------------------------------------- file builders

Bytes BMP(int32_t width, int32_t height, uint16_t bits, uint32_t compression, const Bytes& data) {
  const uint32_t colors = bits <= 8 ? (1u << bits) : 0;
  const uint32_t offset = 14 + 40 + 4 * colors;
  Bytes b = {'B', 'M'};
  Put32LE(b, offset + static_cast<uint32_t>(data.size()));
  Put32LE(b, 0);
  Put32LE(b, offset);
  Put32LE(b, 40);
  Put32LE(b, static_cast<uint32_t>(width));
  Put32LE(b, static_cast<uint32_t>(height));
  Put16LE(b, 1);
  Put16LE(b, bits);
  Put32LE(b, compression);
  Put32LE(b, static_cast<uint32_t>(data.size()));
  Put32LE(b, 2835);
  Put32LE(b, 2835);
  Put32LE(b, colors);
  Put32LE(b, 0);
  for (uint32_t i = 0; i < colors; ++i) Put32LE(b, i * 0x010101u);
  Append(b, data);
  return b;
}

Bytes TGA(uint16_t width, uint16_t height, uint8_t type, const Bytes& data) {
  Bytes b = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16LE(b, width);
  Put16LE(b, height);
  b.push_back(24);
  b.push_back(0x20);
  Append(b, data);
  return b;
}

// bits per pixel 8 unless given; bytes per line even and covering the width
// unless given.
Bytes PCX(uint16_t width, uint16_t height, uint8_t planes, const Bytes& data, uint8_t bits = 8,
          int bytesPerLine = -1) {
  Bytes b(128 + data.size(), 0);
  std::copy(data.begin(), data.end(), b.begin() + 128);
  b[0] = 10;
  b[1] = 5;
  b[2] = 1;
  b[3] = bits;
  auto set16 = [&](size_t at, uint16_t v) {
    b[at] = v & 255;
    b[at + 1] = v >> 8;
  };
  set16(8, static_cast<uint16_t>(width - 1));
  set16(10, static_cast<uint16_t>(height - 1));
  set16(12, 300);
  set16(14, 300);
  b[65] = planes;
  set16(66, static_cast<uint16_t>(bytesPerLine >= 0 ? bytesPerLine : width + (width & 1)));
  set16(68, 1);
  return b;
}

// A big-endian TIFF with one 8-bit grey strip.
Bytes TIFF(uint32_t width, uint32_t height, uint16_t compression, const Bytes& strip) {
  Bytes b = {'M', 'M', 0, 42};
  Put32BE(b, 8);
  const uint16_t n = 9;
  const uint32_t dataAt = 8 + 2 + 12 * n + 4;
  Put16BE(b, n);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    Put16BE(b, tag);
    Put16BE(b, type);
    Put32BE(b, 1);
    if (type == 3) {
      Put16BE(b, value);
      Put16BE(b, 0);
    } else {
      Put32BE(b, value);
    }
  };
  entry(256, 4, width);
  entry(257, 4, height);
  entry(258, 3, 8);
  entry(259, 3, compression);
  entry(262, 3, 1);
  entry(273, 4, dataAt);
  entry(277, 3, 1);
  entry(278, 4, height);
  entry(279, 4, static_cast<uint32_t>(strip.size()));
  Put32BE(b, 0);
  Append(b, strip);
  return b;
}

void PNGChunk(Bytes& b, const char* type, const Bytes& data) {
  Put32BE(b, static_cast<uint32_t>(data.size()));
  Bytes body(type, type + 4);
  Append(body, data);
  Append(b, body);
  Put32BE(b, static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// An 8-bit grey PNG whose IDAT holds the compressed zero rows given (each row
// one filter byte and width pixels), possibly fewer than height.
Bytes PNG(uint32_t width, uint32_t height, size_t rowsPresent) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  Put32BE(ihdr, width);
  Put32BE(ihdr, height);
  Append(ihdr, {8, 0, 0, 0, 0});
  PNGChunk(b, "IHDR", ihdr);
  if (rowsPresent > 0) {
    const Bytes raw(rowsPresent * (width + 1), 0);
    uLongf len = compressBound(static_cast<uLong>(raw.size()));
    Bytes z(len);
    EXPECT_EQ(compress2(z.data(), &len, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
    z.resize(len);
    PNGChunk(b, "IDAT", z);
  }
  PNGChunk(b, "IEND", {});
  return b;
}

Bytes JPEG(uint16_t width, uint16_t height) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8};
  Put16BE(b, height);
  Put16BE(b, width);
  Append(b, {3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
  Append(b, {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0});
  Append(b, Repeat({0x55}, 64));
  Append(b, {0xFF, 0xD9});
  return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------- the checks

class Hangs : public ::testing::Test {
protected:
  void SetUp() override {
    PGResetFormatSettings();
    FCap = PGMaxImageBytes;
    PGMaxImageBytes = int64_t{256} << 20;
  }
  void TearDown() override { PGMaxImageBytes = FCap; }

  // Loads the file by extension with both warning actions and reads its
  // header summary; each must end (image or library error) within the bound.
  void ExpectQuick(const Bytes& file, const std::string& ext) {
    for (TPGWarningAction action : {pgwaIgnore, pgwaRaise}) {
      const auto start = std::chrono::steady_clock::now();
      TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
      TPixelGraphic g;
      g.SetReadWarningAction(action);
      try {
        g.LoadStreamAs(stream, ext, 0);
      } catch (const EPixelGraphic&) {
      } catch (const EStreamError&) {
      }
      TReadOnlyMemoryStream again(file.data(), static_cast<int64_t>(file.size()));
      std::string description;
      TPGFileInfo info;
      (void)GetStreamInfo(again, ext, 0, description, info);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      EXPECT_LT(seconds, kSecondsAllowed) << ext << (action == pgwaIgnore ? " ignoring" : " raising") << " warnings";
    }
  }
  // A claim beyond the pixel-memory cap fails with the allocation message (or
  // a reader's own earlier refusal, given as expected) and leaves no image.
  void ExpectRefused(const Bytes& file, const std::string& ext,
                     const std::string& expected = "CreateDIBSection failed") {
    TReadOnlyMemoryStream stream(file.data(), static_cast<int64_t>(file.size()));
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaIgnore);
    try {
      g.LoadStreamAs(stream, ext, 0);
      ADD_FAILURE() << ext << ": a huge claimed image was loaded";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << ext << ": " << e.what();
    }
    EXPECT_EQ(g.Width(), 0);
    ExpectQuick(file, ext);
  }

private:
  int64_t FCap = 0;
};

TEST_F(Hangs, HugeClaimsAreRefusedBeforeAllocating) {
  ExpectRefused(BMP(60000, 60000, 24, 0, Bytes(64, 7)), "bmp");
  ExpectRefused(BMP(100000, 100000, 8, 1, {0, 1}), "bmp");
  ExpectRefused(TGA(65535, 65535, 2, Bytes(64, 7)), "tga");
  ExpectRefused(TGA(65535, 65535, 10, {0xFF, 1, 2, 3}), "tga");
  ExpectRefused(PCX(65535, 65535, 3, {0xFF, 1}), "pcx");
  ExpectRefused(Text("P6\n60000 60000\n255\nabc"), "ppm");
  ExpectRefused(Text("P2\n99999 99999\n255\n1 2 3"), "pgm");
  // TIFF checks first that the strips can hold the rows claimed.
  ExpectRefused(TIFF(1000000, 1000000, 1, Bytes(64, 7)), "tif", "Stream read error");
  ExpectRefused(TIFF(100000, 3000, 32773, Repeat({0x81, 7}, 3000 * 782)), "tif");
  ExpectRefused(PNG(100000, 100000, 1), "png");
  ExpectRefused(JPEG(65000, 65000), "jpg");
}

// Sizes within the cap but with almost no pixel data: a partial image or an
// error, in time bounded by the image.
TEST_F(Hangs, LargeClaimsWithLittleDataEndQuickly) {
  ExpectQuick(BMP(4000, 4000, 24, 0, Bytes(100, 9)), "bmp");
  ExpectQuick(BMP(4000, 4000, 4, 2, Bytes(100, 9)), "bmp");
  ExpectQuick(TGA(4000, 4000, 10, Bytes(100, 9)), "tga");
  ExpectQuick(PCX(4000, 4000, 1, Bytes(100, 9)), "pcx");
  // Lines of zero bytes: a 16-colour image of 390 million pixels from no data.
  ExpectQuick(PCX(29780, 13106, 4, {}, 1, 0), "pcx");
  ExpectQuick(Text("P5\n8000 8000\n65535\n\x01\x02"), "pgm");
  ExpectQuick(Text("P1\n8000 8000\n0 1 0 1"), "pbm");
  ExpectQuick(TIFF(8000, 8000, 32773, Bytes(100, 9)), "tif");
  ExpectQuick(PNG(8000, 8000, 3), "png");
  ExpectQuick(JPEG(4000, 4000), "jpg");
}

// Long chains of run-length codes, including codes that produce nothing
// (zero-length runs, zero deltas, PackBits no-ops, end-of-line codes past the
// last row): every code consumes input, so the decoders cannot stall.
TEST_F(Hangs, LongRunLengthChains) {
  const int w = 2048, h = 2048;
  // BMP RLE8: full runs covering the image, then runs of length 0, zero deltas and end-of-lines.
  Bytes rle8 = Repeat({255, 3}, static_cast<size_t>(w) * h / 255);
  Append(rle8, Repeat({0, 2, 0, 0}, 50000));
  Append(rle8, Repeat({0, 0}, 50000));
  ExpectQuick(BMP(w, h, 8, 1, Repeat({0, 2, 0, 0}, 100000)), "bmp");
  ExpectQuick(BMP(w, h, 8, 1, rle8), "bmp");
  ExpectQuick(BMP(w, h, 4, 2, Repeat({255, 0x12}, static_cast<size_t>(w) * h / 255 + 1000)), "bmp");
  // TGA: 128-pixel repeat packets for the whole image and beyond.
  ExpectQuick(TGA(w, h, 10, Repeat({0xFF, 1, 2, 3}, static_cast<size_t>(w) * h / 128 + 1000)), "tga");
  ExpectQuick(TGA(w, h, 10, Repeat({0x00, 1, 2, 3}, 200000)), "tga");
  // PCX: 63-byte runs, and zero-length runs.
  ExpectQuick(PCX(w, h, 1, Repeat({0xFF, 0x55}, static_cast<size_t>(w) * h / 63 + 1000)), "pcx");
  ExpectQuick(PCX(w, h, 3, Repeat({0xC0, 0x55}, 200000)), "pcx");
  // TIFF PackBits: 128-byte repeats, and the no-op code.
  ExpectQuick(TIFF(w, h, 32773, Repeat({0x81, 7}, static_cast<size_t>(w) * h / 128 + 1000)), "tif");
  ExpectQuick(TIFF(w, h, 32773, Repeat({0x80}, 400000)), "tif");
  // PNG: a whole image of zero rows in a tiny deflate stream.
  ExpectQuick(PNG(4096, 4096, 4096), "png");
}

} // namespace
