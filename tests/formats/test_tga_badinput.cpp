// Corrupt Targa files: cut at many lengths and with bytes changed, every file
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
#include "pgraphic/formats/tga.h"
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
    TTGAFileFormatReader().ReadGraphic(s, g, 0);
  } catch (const EPGTGAFileFormatReader&) {
  } catch (const EReadError&) {
  } catch (const EPixelGraphic& e) {
    // The image refuses a size beyond the pixel-memory limit.
    ASSERT_EQ(std::string(e.what()), GetMessage1(msgFailed, "CreateDIBSection"));
  }
  if (!g.Empty()) (void)g.PixelColors(g.Width() - 1, g.Height() - 1);
  TPGFileInfo info;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    TTGAFileFormatReader().GetInfo(s, 0, info);
  } catch (const EPGTGAFileFormatReader&) {
  } catch (const EReadError&) {
  }
}

class TGABadInput : public ::testing::Test {
protected:
  void SetUp() override { PGMaxImageBytes = 16 << 20; }
  void TearDown() override { PGMaxImageBytes = std::numeric_limits<int32_t>::max(); }

  static std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ZWILLO_TEST_DATA) + "/tga"))
      if (e.path().extension() == ".tga") seeds.push_back(ReadFile(e.path().string()));
    // Depths and layouts the kept files lack: 16-bit run-length right-to-left,
    // 8-bit colour-mapped with a 16-bit map, 32-bit uncompressed.
    auto make = [](uint8_t type, uint8_t depth, uint8_t descriptor, uint8_t mapType, uint8_t mapBits) {
      const uint8_t header[18] = {0, mapType, type, 0, 0, static_cast<uint8_t>(mapType ? 4 : 0), 0, mapBits, 0, 0, 0, 0, 9, 0,
                                  5, 0, depth, descriptor};
      const size_t mapSize = mapType ? static_cast<size_t>(4 * mapBits / 8) : 0;
      const size_t dataSize = static_cast<size_t>(9 * 5 * depth / 8);
      Bytes f(18 + mapSize + dataSize, 0x5A);
      std::copy(header, header + 18, f.begin());
      std::mt19937 rng(depth);
      for (size_t i = 0; i < dataSize; ++i) f[18 + mapSize + i] = static_cast<uint8_t>(rng() % 4);
      return f;
    };
    seeds.push_back(make(10, 16, 0x10, 0, 0));
    seeds.push_back(make(1, 8, 0x20, 1, 16));
    seeds.push_back(make(2, 32, 0x08, 0, 0));
    seeds.push_back(make(9, 8, 0x30, 1, 32));
    return seeds;
  }
};

TEST_F(TGABadInput, CutFilesAndChangedBytes) {
  const auto start = std::chrono::steady_clock::now();
  std::mt19937 rng(1234);
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 8u);
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

TEST_F(TGABadInput, HugeClaimWithTenBytesEndsQuickly) {
  const auto start = std::chrono::steady_clock::now();
  PGMaxImageBytes = std::numeric_limits<int32_t>::max();
  // 60000 x 30000 colour-mapped (1.8 GB, within the limit) and 60000 x 60000
  // true colour (beyond it), both run-length and uncompressed, with 10 bytes of data.
  for (uint8_t type : {9, 1, 10, 2}) {
    const bool mapped = type == 9 || type == 1;
    Bytes f = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x60, 0xEA, static_cast<uint8_t>(mapped ? 0x30 : 0x60),
               static_cast<uint8_t>(mapped ? 0x75 : 0xEA), static_cast<uint8_t>(mapped ? 8 : 24), 0x20};
    f.resize(f.size() + 10, 0x81);
    TPixelGraphic g;
    TReadOnlyMemoryStream s(f.data(), static_cast<int64_t>(f.size()));
    EXPECT_ANY_THROW(TTGAFileFormatReader().ReadGraphic(s, g, 0));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
