// Every file of the public BMP suite either loads with exactly the pixels a
// plain per-pixel decoding of the file gives, or is refused with the reader's
// exception and message. The per-pixel decoding below is written independently
// of the reader's fast paths (whole-row reads, lookup tables, memset runs).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// What loading a file should give: an error text, or an image.
struct TExpected {
  std::string Error;  // empty when the file loads
  bool SizingError = false;
  int Width = 0, Height = 0, BitCountNum = 0;
  std::vector<TColorRef> Palette;
  std::vector<TColorRef> Colors;  // row-major, top row first
};

struct TReader {
  const std::vector<uint8_t>& d;
  size_t pos = 0;
  int Byte() { return pos < d.size() ? d[pos++] : (pos++, -1); }
  uint32_t U(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const int b = Byte();
      v |= static_cast<uint32_t>(b < 0 ? 0 : b) << (8 * i);
    }
    return v;
  }
};

uint32_t Channel(uint32_t v, uint32_t m, bool expand) {
  if (m == 0 || (v & m) == 0) return 0;
  uint64_t a = m;
  int s = 0;
  while (!(a & 1)) a >>= 1, --s;
  while (!(a & 0x80)) a <<= 1, ++s;
  uint64_t x = v & m;
  x = s > 0 ? x << s : x >> -s;
  if (expand) {
    uint64_t low = 1;
    while (!(a & low)) low <<= 1;
    x += low;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(x, 255));
}

// Straightforward decoding by the format's rules, pixel by pixel.
TExpected Decode(const std::vector<uint8_t>& data) {
  TExpected e;
  TReader r{data};
  r.pos = 14;
  const uint32_t hs = r.U(4);
  const bool later = hs == 52 || hs == 56 || hs == 108 || hs == 124; // masks inside the header
  if (hs != 12 && hs != 40 && !later) {
    e.Error = "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader";
    return e;
  }
  int64_t w, h;
  int bits;
  uint32_t comp = 0, sizeImage = 0, clrUsed = 0;
  bool topDown = false;
  if (hs == 12) {
    w = r.U(2);
    h = r.U(2);
    const uint32_t planes = r.U(2);
    bits = static_cast<int>(r.U(2));
    if (planes != 1) return e.Error = "BMP: BitmapCoreHeader.bcPlanes invalid", e;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return e.Error = "BMP: BitmapCoreHeader.bcBitCount invalid", e;
  } else {
    w = static_cast<int32_t>(r.U(4));
    h = static_cast<int32_t>(r.U(4));
    const uint32_t planes = r.U(2);
    bits = static_cast<int>(r.U(2));
    comp = r.U(4);
    sizeImage = r.U(4);
    r.U(4);
    r.U(4);
    clrUsed = r.U(4);
    r.U(4);
    r.pos = 14 + hs;
    if (planes != 1) return e.Error = "BMP: BitmapInfoHeader.biPlanes invalid", e;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
      return e.Error = "BMP: BitmapInfoHeader.biBitCount invalid", e;
    const bool ok = comp == 0 || (comp == 1 && bits == 8 && h >= 0) || (comp == 2 && bits == 4 && h >= 0) ||
                    (comp == 3 && (bits == 16 || bits == 32));
    if (!ok) return e.Error = "BMP: BitmapInfoHeader.biCompression invalid", e;
    topDown = h < 0;
    h = std::abs(h);
  }
  const int storage = bits <= 8 ? bits : 24;
  if (w < 0 || PGBytesPerRow(w, storage) * h > PGMaxImageBytes) {
    e.SizingError = true;
    return e;
  }
  e.Width = static_cast<int>(w);
  e.Height = static_cast<int>(h);
  e.BitCountNum = storage;
  std::vector<uint32_t> raw(static_cast<size_t>(w * h), 0);  // raw values, top row first
  auto set = [&](int64_t x, int64_t y, uint32_t v) {
    if (x >= 0 && y >= 0 && x < w && y < h) raw[static_cast<size_t>(y * w + x)] = v;
  };
  uint32_t masks[3] = {0, 0, 0};
  if (bits <= 8) {
    // The palette is capped at the bit depth's table; the pixels follow the
    // whole table the header announces.
    const int64_t table = int64_t(1) << bits;
    const int64_t n = hs == 12 ? table : (clrUsed ? clrUsed : table);
    const size_t entry = hs == 12 ? 3 : 4;
    const size_t start = r.pos;
    for (int64_t i = 0; i < std::min(n, table); ++i) {
      const uint32_t b = r.U(1), g = r.U(1), rr = r.U(1);
      if (entry == 4) r.U(1);
      e.Palette.push_back(RGBColor(rr, g, b));
    }
    r.pos = start + entry * static_cast<size_t>(n);
  } else {
    if (bits == 16) masks[0] = 0x7C00, masks[1] = 0x3E0, masks[2] = 0x1F;
    if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    if (comp == 3) {
      TReader header{data, 14 + 40};
      for (uint32_t& m : masks) m = later ? header.U(4) : r.U(4);
    }
    r.pos += 4 * static_cast<size_t>(clrUsed);
  }
  if (comp == 1 || comp == 2) {
    const size_t start = std::min(r.pos, data.size());
    const size_t n = std::min<size_t>(sizeImage, data.size() - start);
    const uint8_t* b = data.data() + start;
    int64_t p = 0, x = 0, y = h - 1;  // logical row, starting at the bottom
    auto put = [&](int64_t px, int64_t py, uint32_t v) {
      if (comp == 2 && px >= w) return;
      set(px, py, v);
    };
    while (p < static_cast<int64_t>(n) - 1) {
      const int c = b[p];
      if (c > 0) {
        for (int k = 1; k <= c; ++k)
          put(x + k - 1, y, comp == 1 ? b[p + 1] : ((k & 1) ? b[p + 1] >> 4 : b[p + 1] & 15));
        x += c;
        p += 2;
        continue;
      }
      const int esc = b[p + 1];
      if (esc == 0) {
        x = 0, --y, p += 2;
      } else if (esc == 1) {
        break;
      } else if (esc == 2) {
        if (p >= static_cast<int64_t>(n) - 3) break;
        x += b[p + 2], y -= b[p + 3], p += 4;
      } else {
        bool cut = false;
        for (int k = 1; k <= esc; ++k) {
          const int64_t at = comp == 1 ? p + 1 + k : p + 1 + (k + 1) / 2;
          if (at >= static_cast<int64_t>(n)) {
            cut = true;
            break;
          }
          put(x + k - 1, y, comp == 1 ? b[at] : ((k & 1) ? b[at] >> 4 : b[at] & 15));
        }
        if (cut) break;
        x += esc;
        p += 2 + (comp == 1 ? esc : (esc + 1) / 2);
        if (p & 1) ++p;
      }
    }
  } else {
    const int64_t stride = PGBytesPerRow(w, bits);
    for (int64_t i = 0; i < h; ++i) {
      const int64_t y = topDown ? i : h - 1 - i;
      const size_t rowStart = r.pos + static_cast<size_t>(i * stride);
      for (int64_t x = 0; x < w; ++x) {
        auto byteAt = [&](int64_t off) -> int {
          const size_t at = rowStart + static_cast<size_t>(off);
          return at < data.size() ? data[at] : -1;
        };
        uint32_t v;
        if (bits < 8) {
          const int b = byteAt(x * bits / 8);
          if (b < 0) continue;
          v = (b >> (8 - bits - (x * bits) % 8)) & ((1 << bits) - 1);
        } else if (bits == 8) {
          const int b = byteAt(x);
          if (b < 0) continue;
          v = static_cast<uint32_t>(b);
        } else if (bits == 24) {
          const int b0 = byteAt(3 * x), b1 = byteAt(3 * x + 1), b2 = byteAt(3 * x + 2);
          // A row cut inside a pixel keeps the bytes that are there.
          v = RGBColor(b2 < 0 ? 0 : b2, b1 < 0 ? 0 : b1, b0 < 0 ? 0 : b0);
          if (b0 < 0) continue;
        } else {
          const int n = bits / 8;
          uint32_t pv = 0;
          bool missing = false;
          for (int k = 0; k < n; ++k) {
            const int b = byteAt(x * n + k);
            if (b < 0) missing = true;
            pv |= static_cast<uint32_t>(b < 0 ? 0 : b) << (8 * k);
          }
          if (missing) continue;
          const bool expand = bits == 16 && PGExpand16BitColors;
          v = RGBColor(Channel(pv, masks[0], expand), Channel(pv, masks[1], expand), Channel(pv, masks[2], expand));
        }
        set(x, y, v);
      }
    }
  }
  for (uint32_t v : raw)
    e.Colors.push_back(storage == 24 ? v : (v < e.Palette.size() ? e.Palette[v] : (e.Palette.empty() ? 0 : e.Palette[0])));
  return e;
}

void CheckData(const std::vector<uint8_t>& data) {
  TPixelGraphic g;
  TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
  try {
    g.LoadStreamAs(s, "bmp", 0);
  } catch (const EPGBMPFileFormatReader& ex) {
    EXPECT_EQ(Decode(data).Error, ex.Message());
    return;
  } catch (const EPixelGraphic& ex) {
    // A size the image cannot take fails in the image's own sizing.
    const std::string m = ex.Message();
    EXPECT_TRUE(m == "Negative width" || m == "CreateDIBSection failed") << m;
    return;
  }
  // (The plain decoding holds all pixels as 32-bit values: only for moderate sizes.)
  if (static_cast<int64_t>(g.Width()) * g.Height() > (int64_t(1) << 20)) return;
  const TExpected e = Decode(data);
  ASSERT_TRUE(e.Error.empty() && !e.SizingError) << "loaded, expected: " << e.Error;
  ASSERT_EQ(e.Width, g.Width());
  ASSERT_EQ(e.Height, g.Height());
  ASSERT_EQ(e.BitCountNum, g.BitCountNum());
  if (e.BitCountNum != 24) {
    ASSERT_EQ(static_cast<int>(e.Palette.size()), g.PaletteCount());
    for (int i = 0; i < g.PaletteCount(); ++i) EXPECT_EQ(e.Palette[static_cast<size_t>(i)], g.PaletteData()[i]) << i;
  } else {
    EXPECT_EQ(pTrueColor, g.PaletteIdent());
  }
  int mismatches = 0;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x)
      if (e.Colors[static_cast<size_t>(y) * static_cast<size_t>(g.Width()) + static_cast<size_t>(x)] !=
              g.PixelColors(x, y) &&
          ++mismatches < 5)
        ADD_FAILURE() << "pixel " << x << "," << y;
}

void CheckFile(const fs::path& path) {
  SCOPED_TRACE(path.string());
  CheckData(ReadFile(path));
}

std::vector<fs::path> SuiteFiles(const char* folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(ZWILLO_TEST_DATA) / "bmpsuite" / folder))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

class BMPSuite : public ::testing::TestWithParam<const char*> {
protected:
  void SetUp() override {
    MessageLanguage = 0;
    PGResetFormatSettings();
  }
};

TEST_P(BMPSuite, EveryFileLoadsExactlyOrIsRefusedWithTheReadersMessage) {
  const auto files = SuiteFiles(GetParam());
  ASSERT_FALSE(files.empty());
  for (const auto& f : files) CheckFile(f);
}

TEST_P(BMPSuite, SixteenBitFilesAlsoMatchWithoutExpansion) {
  PGExpand16BitColors = false;
  for (const auto& f : SuiteFiles(GetParam()))
    if (f.filename().string().find("16") != std::string::npos) CheckFile(f);
}

TEST_P(BMPSuite, FileInfoNeverRaisesAndAgreesWithTheHeader) {
  for (const auto& f : SuiteFiles(GetParam())) {
    SCOPED_TRACE(f.string());
    std::string description;
    TPGFileInfo info;
    const bool ok = GetFileInfo(f.string(), 0, description, info);
    const TExpected e = Decode(ReadFile(f));
    EXPECT_EQ(e.Error.empty(), ok);
    if (ok) {
      EXPECT_EQ("Bitmap", description);
      if (!e.SizingError) {
        EXPECT_EQ(e.Width, info.Width);
      }
    }
  }
}

// Damaged copies of the suite's files: random bytes changed in the headers and
// the pixel data. Each loads like the plain decoding or fails cleanly; the
// sanitizer build checks that nothing outside the buffers is touched.
TEST(BMPSuiteDamaged, RandomlyChangedFilesBehaveLikeThePlainDecoding) {
  MessageLanguage = 0;
  PGResetFormatSettings();
  std::mt19937 rng(11);
  const char* names[] = {"g/pal8rle.bmp", "g/pal4rle.bmp", "q/pal8rletrns.bmp", "q/pal4rletrns.bmp",
                         "g/rgb16-565.bmp", "g/rgb32bf.bmp", "g/pal1.bmp", "g/pal8os2.bmp", "g/pal8topdown.bmp"};
  for (const char* name : names) {
    const std::vector<uint8_t> original = ReadFile(fs::path(ZWILLO_TEST_DATA) / "bmpsuite" / name);
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> data = original;
      const int changes = 1 + static_cast<int>(rng() % 8);
      for (int c = 0; c < changes; ++c) {
        // Half of the changes hit the headers, the rest anywhere.
        const size_t at = (rng() & 1) ? rng() % 70 : rng() % data.size();
        data[at] = static_cast<uint8_t>(rng());
      }
      if (rng() % 4 == 0) data.resize(2 + rng() % (data.size() - 2));
      data[0] = 'B';  // (still found by its signature)
      data[1] = 'M';
      SCOPED_TRACE(testing::Message() << name << " round " << round);
      CheckData(data);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, BMPSuite, ::testing::Values("g", "q", "b"));

// A few pixels checked against the suite's published renderings, so that the
// per-pixel decoding above is itself anchored.
TEST(BMPSuiteAnchors, KnownPixelsOfTheGoodFiles) {
  struct TCase {
    const char* file;
    int x, y;
    TColorRef color;
  };
  // Values read from the suite's reference PNGs.
  const TCase cases[] = {
      {"g/rgb24.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/rgb24.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/rgb24.bmp", 126, 63, RGBColor(96, 96, 126)},
      {"g/rgb24.bmp", 42, 59, RGBColor(82, 16, 82)},
      {"g/rgb32.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/rgb32.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/rgb32.bmp", 126, 63, RGBColor(96, 96, 126)},
      {"g/rgb32.bmp", 42, 59, RGBColor(82, 16, 82)},
      {"g/rgb24pal.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/rgb24pal.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/rgb24pal.bmp", 126, 63, RGBColor(96, 96, 126)},
      {"g/rgb24pal.bmp", 42, 59, RGBColor(82, 16, 82)},
      {"g/pal8.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/pal8.bmp", 126, 63, RGBColor(102, 85, 102)},
      {"g/pal8.bmp", 42, 59, RGBColor(51, 0, 51)},
      {"g/pal8os2.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8os2.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/pal8os2.bmp", 126, 63, RGBColor(102, 85, 102)},
      {"g/pal8os2.bmp", 42, 59, RGBColor(51, 0, 51)},
      {"g/pal8topdown.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8topdown.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/pal8topdown.bmp", 126, 63, RGBColor(102, 85, 102)},
      {"g/pal8topdown.bmp", 42, 59, RGBColor(51, 0, 51)},
      {"g/pal8rle.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8rle.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/pal8rle.bmp", 126, 63, RGBColor(102, 85, 102)},
      {"g/pal8rle.bmp", 42, 59, RGBColor(51, 0, 51)},
      {"g/pal4.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal4.bmp", 63, 21, RGBColor(255, 128, 255)},
      {"g/pal4.bmp", 126, 63, RGBColor(0, 0, 0)},
      {"g/pal4.bmp", 42, 59, RGBColor(0, 0, 0)},
      {"g/pal4rle.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal4rle.bmp", 63, 21, RGBColor(255, 128, 255)},
      {"g/pal4rle.bmp", 126, 63, RGBColor(0, 0, 0)},
      {"g/pal4rle.bmp", 42, 59, RGBColor(0, 0, 0)},
      {"g/pal1.bmp", 0, 0, RGBColor(255, 255, 255)},
      {"g/pal1.bmp", 63, 21, RGBColor(255, 255, 255)},
      {"g/pal1.bmp", 126, 63, RGBColor(0, 0, 0)},
      {"g/pal1.bmp", 42, 59, RGBColor(0, 0, 0)},
      {"g/pal8v4.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8v4.bmp", 63, 21, RGBColor(255, 170, 255)},
      {"g/pal8v4.bmp", 126, 63, RGBColor(102, 85, 102)},
      {"g/pal8v5.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8v5.bmp", 42, 59, RGBColor(51, 0, 51)},
      {"g/pal8w125.bmp", 0, 0, RGBColor(255, 0, 0)},
      {"g/pal8w125.bmp", 62, 20, RGBColor(255, 170, 255)},
      {"g/pal8w125.bmp", 124, 61, RGBColor(102, 85, 102)},
      {"g/pal8w125.bmp", 41, 57, RGBColor(102, 43, 102)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    TPixelGraphic g;
    g.LoadFromFile(std::string(ZWILLO_TEST_DATA) + "/bmpsuite/" + c.file);
    EXPECT_EQ(c.color, g.PixelColors(c.x, c.y)) << c.x << "," << c.y;
  }
}

} // namespace
