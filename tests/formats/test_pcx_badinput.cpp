// Corrupt PCX files: cut at many lengths and with bytes changed, every file
// ends in the reader's exception, the stream's read error or a (partial)
// image; never a crash, a hang or an access outside a buffer (run this under
// the sanitizer build).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/pcx.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// One attempt: read and inspect; anything but the expected failures fails the test.
void Attempt(const Bytes& data) {
  TPixelGraphic g;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    TPCXFileFormatReader().ReadGraphic(s, g, 0);
  } catch (const EPGPCXFileFormatReader&) {
  } catch (const EReadError&) {
  } catch (const EPixelGraphic& e) {
    // The image refuses a size beyond the pixel-memory limit.
    ASSERT_EQ(std::string(e.what()), GetMessage1(msgFailed, "CreateDIBSection"));
  }
  if (!g.Empty()) (void)g.PixelColors(g.Width() - 1, g.Height() - 1);
  TPGFileInfo info;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    TPCXFileFormatReader().GetInfo(s, 0, info);
  } catch (const EPGPCXFileFormatReader&) {
  } catch (const EReadError&) {
  }
}

class PCXBadInput : public ::testing::Test {
protected:
  void SetUp() override { PGMaxImageBytes = 16 << 20; }
  void TearDown() override { PGMaxImageBytes = std::numeric_limits<int32_t>::max(); }

  static std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ZWILLO_TEST_DATA) + "/pcx"))
      if (e.path().extension() == ".pcx") seeds.push_back(ReadFile(e.path().string()));
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
  std::mt19937 rng(1234);
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 6u);
  for (const Bytes& seed : seeds) {
    for (size_t len = 0; len < seed.size(); len += (len < 64 ? 1 : 7)) Attempt(Bytes(seed.begin(), seed.begin() + static_cast<long>(len)));
    for (size_t pos = 0; pos < seed.size(); pos += (pos < 64 ? 1 : 13))
      for (uint8_t v : {0x00, 0xFF, 0x80, 0x7F}) {
        Bytes m = seed;
        m[pos] = v;
        Attempt(m);
        m[pos] = static_cast<uint8_t>(seed[pos] ^ 0x01);
        Attempt(m);
      }
    for (int i = 0; i < 300; ++i) {
      Bytes m = seed;
      for (int k = 0; k < 4; ++k) m[rng() % m.size()] = static_cast<uint8_t>(rng());
      if (rng() % 2) m.resize(rng() % m.size());
      Attempt(m);
    }
  }
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

}  // namespace
