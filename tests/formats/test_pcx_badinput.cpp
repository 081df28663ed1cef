// Corrupt PCX files: cut at many lengths and with bytes changed, every file
// ends in the reader's exception, the stream's read error or a (partial)
// image; never a crash, a hang or an access outside a buffer (run this under
// the sanitizer build).

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/formats/pcx.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using fmttest::Bytes;

void Attempt(const Bytes& data) { fmttest::AttemptRead<TPCXFileFormatReader, EPGPCXFileFormatReader>(data); }

class PCXBadInput : public fmttest::BadInputTest {
protected:
  static std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds =
        fmttest::ReadSeedFiles(std::string(ZWILLO_TEST_DATA) + "/pcx", [](const auto& path) { return path.extension() == ".pcx"; });
    // A version 3 16-colour file and a 24-bit file with runs crossing the line ends.
    auto make = [](uint8_t version, uint8_t bits, uint8_t planes, uint8_t bytesPerLine) {
      Bytes f(128, 0);
      f[0] = 0x0A;
      f[1] = version;
      f[2] = 1;
      f[3] = bits;
      f[8] = 10;  // width 11
      f[10] = 4;  // height 5
      f[65] = planes;
      f[66] = bytesPerLine;
      f[68] = 1;
      std::mt19937 rng(bits);
      for (int i = 0; i < 5 * planes * bytesPerLine; ++i)
        f.push_back(static_cast<uint8_t>(rng() % 3 == 0 ? 0xC0 | (rng() % 9) : rng() % 0xC0));
      f.resize(f.size() + 64, 0x11);
      return f;
    };
    seeds.push_back(make(3, 1, 4, 2));
    seeds.push_back(make(5, 8, 3, 11));
    return seeds;
  }
};

TEST_F(PCXBadInput, CutFilesAndChangedBytes) {
  const auto start = std::chrono::steady_clock::now();
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 6u);
  fmttest::CutAndChangeBytes(seeds, Attempt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
}

TEST_F(PCXBadInput, HugeClaimWithTenBytesEndsQuickly) {
  const auto start = std::chrono::steady_clock::now();
  PGMaxImageBytes = std::numeric_limits<int32_t>::max();
  // 60000 x 60000 in every layout, with 10 bytes of data (the 8-bit file has
  // no palette; the 24-bit one is beyond the pixel-memory limit).
  for (auto [bits, planes] : {std::pair{1, 1}, {1, 4}, {8, 1}, {8, 3}}) {
    Bytes f(128, 0);
    f[0] = 0x0A;
    f[1] = 5;
    f[3] = static_cast<uint8_t>(bits);
    f[8] = 0x5F;
    f[9] = 0xEA;
    f[10] = 0x5F;
    f[11] = 0xEA;
    f[65] = static_cast<uint8_t>(planes);
    f[66] = 0x60;
    f[67] = 0xEA;
    f[68] = 1;
    f.resize(f.size() + 10, 0xC1);
    TPixelGraphic g;
    TReadOnlyMemoryStream s(f.data(), static_cast<int64_t>(f.size()));
    EXPECT_ANY_THROW(TPCXFileFormatReader().ReadGraphic(s, g, 0));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// Bytes per line 0: no line takes data from the file, so every layout loads
// as a blank image of the size claimed (index 0 everywhere).
TEST_F(PCXBadInput, LinesWithoutBytesGiveABlankImage) {
  for (auto [bits, planes] : {std::pair{1, 1}, {1, 4}, {8, 1}, {8, 3}}) {
    SCOPED_TRACE(std::to_string(bits) + " bits x " + std::to_string(planes) + " planes");
    Bytes f(128, 0);
    f[0] = 0x0A;
    f[1] = 5;
    f[2] = 1;
    f[3] = static_cast<uint8_t>(bits);
    f[8] = 0x6F;  // width 1904
    f[9] = 0x07;
    f[10] = 0xE7;  // height 1000
    f[11] = 0x03;
    f[65] = static_cast<uint8_t>(planes);
    f[68] = 1;
    if (bits == 8 && planes == 1) {
      f.push_back(0x0C);
      for (int i = 0; i < 768; ++i) f.push_back(static_cast<uint8_t>(255 - i / 3));
    }
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaRaise);
    TReadOnlyMemoryStream s(f.data(), static_cast<int64_t>(f.size()));
    TPCXFileFormatReader().ReadGraphic(s, g, 0);
    ASSERT_EQ(g.Width(), 1904);
    ASSERT_EQ(g.Height(), 1000);
    const std::vector<uint8_t> zero(static_cast<size_t>(g.BytesPerRow()), 0);
    for (int y = 0; y < g.Height(); ++y) {
      ASSERT_EQ(std::memcmp(g.ScanLine(y), zero.data(), zero.size()), 0) << "row " << y;
    }
    if (bits == 8 && planes == 1) {
      EXPECT_EQ(g.PixelColors(1903, 999), RGBColor(255, 255, 255));
    }
  }
}

}  // namespace
