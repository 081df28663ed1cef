// Corrupt PBM, PGM and PPM files: cut at many lengths and with bytes changed, every file
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
#include "pgraphic/formats/pnm.h"
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
    TPPMFileFormatReader().ReadGraphic(s, g, 0);
  } catch (const EPGPxMFileFormatReader&) {
  } catch (const EReadError&) {
  } catch (const EPixelGraphic& e) {
    // The image refuses a size beyond the pixel-memory limit.
    ASSERT_EQ(std::string(e.what()), GetMessage1(msgFailed, "CreateDIBSection"));
  }
  if (!g.Empty()) (void)g.PixelColors(g.Width() - 1, g.Height() - 1);
  TPGFileInfo info;
  try {
    TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
    TPPMFileFormatReader().GetInfo(s, 0, info);
  } catch (const EPGPxMFileFormatReader&) {
  } catch (const EReadError&) {
  }
}

class PxMBadInput : public ::testing::Test {
protected:
  void SetUp() override { PGMaxImageBytes = 16 << 20; }
  void TearDown() override { PGMaxImageBytes = std::numeric_limits<int32_t>::max(); }

  static std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds;
    for (const auto& e : std::filesystem::directory_iterator(std::string(ZWILLO_TEST_DATA) + "/pnm"))
      if (e.path().extension() != ".md") seeds.push_back(ReadFile(e.path().string()));
    // Small files of every variant, with comments in the header and the data.
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    seeds.push_back(text("P1\n# bits\n5 3\n1 0 1 0 1\n01010\n1 1 # c\n 1 0 0\n"));
    seeds.push_back(text("P2 4 2 15\n0 7 15 3 #x\n1 2 3 4\n"));
    seeds.push_back(text("P3 2 2 65535\n0 1 2 65535 4 5\n 6 7 8 9 10 11\n"));
    Bytes p4 = text("P4 12 3\n");
    p4.insert(p4.end(), {0xA5, 0x5A, 0xFF, 0x00, 0x12, 0x34});
    seeds.push_back(p4);
    Bytes p5 = text("P5 5 2 200\n");
    p5.insert(p5.end(), {1, 2, 3, 4, 5, 200, 201, 255, 0, 9});
    seeds.push_back(p5);
    Bytes p6 = text("P6\n# c\n3 2\n255\n");
    for (int i = 0; i < 18; ++i) p6.push_back(static_cast<uint8_t>(i * 13));
    seeds.push_back(p6);
    return seeds;
  }
};

TEST_F(PxMBadInput, CutFilesAndChangedBytes) {
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

TEST_F(PxMBadInput, HugeClaimWithTenBytesEndsQuickly) {
  const auto start = std::chrono::steady_clock::now();
  PGMaxImageBytes = std::numeric_limits<int32_t>::max();
  // 60000 x 60000 bitmaps (450 MB, within the limit) and grey and colour
  // images (beyond it), in ASCII and binary, with 10 bytes of data.
  for (const char* head : {"P1 60000 60000\n", "P4 60000 60000\n", "P2 60000 60000 255\n",
                           "P5 60000 60000 255\n", "P3 60000 60000 255\n", "P6 60000 60000 255\n"}) {
    Bytes f(head, head + std::string(head).size());
    f.insert(f.end(), {'1', ' ', '0', ' ', '1', ' ', '1', ' ', '0', ' '});
    TPixelGraphic g;
    TReadOnlyMemoryStream s(f.data(), static_cast<int64_t>(f.size()));
    EXPECT_ANY_THROW(TPPMFileFormatReader().ReadGraphic(s, g, 0));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
