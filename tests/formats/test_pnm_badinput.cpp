// Corrupt PBM, PGM and PPM files: cut at many lengths and with bytes changed, every file
// ends in the reader's exception, the stream's read error or a (partial)
// image; never a crash, a hang or an access outside a buffer (run this under
// the sanitizer build).

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <string>
#include <vector>

#include "pgraphic/formats/pnm.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using fmttest::Bytes;

void Attempt(const Bytes& data) { fmttest::AttemptRead<TPPMFileFormatReader, EPGPxMFileFormatReader>(data); }

class PxMBadInput : public fmttest::BadInputTest {
protected:
  static std::vector<Bytes> Seeds() {
    std::vector<Bytes> seeds =
        fmttest::ReadSeedFiles(std::string(ZWILLO_TEST_DATA) + "/pnm", [](const auto& path) { return path.extension() != ".md"; });
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
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 8u);
  fmttest::CutAndChangeBytes(seeds, Attempt);
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
