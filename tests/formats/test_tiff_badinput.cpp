// Damaged TIFF files: cut at many lengths and with bytes changed. Every read
// ends in the TIFF exception, the stream's read error or a (partial) image;
// never a crash, a hang or an access outside a buffer (run under the sanitizer
// build to see the latter).

#include "test_tiff_util.h"

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace tifftest;
namespace fs = std::filesystem;

namespace {

enum class Outcome { Image, TiffError, ReadError };

Outcome TryRead(const std::vector<uint8_t>& data, int index, std::string& other) {
  TReadOnlyMemoryStream s(data.data(), static_cast<int64_t>(data.size()));
  TTIFFileFormatReader r;
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaIgnore);
  try {
    TPGFileInfo info;
    r.GetInfo(s, index, info);
  } catch (const EPGTIFFileFormatReader&) {
  } catch (const EReadError&) {
  } catch (const std::exception& e) {
    other = std::string("GetInfo: ") + e.what();
  }
  s.SetPosition(0);
  try {
    r.ReadGraphic(s, g, index);
    return Outcome::Image;
  } catch (const EPGTIFFileFormatReader&) {
    return Outcome::TiffError;
  } catch (const EReadError&) {
    return Outcome::ReadError;
  } catch (const std::exception& e) {
    other = std::string("ReadGraphic: ") + e.what();
    return Outcome::TiffError;
  }
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> ValidFiles() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  int seed = 1;
  for (Res res : {Res::BW, Res::Gray16, Res::Colors256, Res::True})
    for (int comp : {1, 32773}) {
      PGResetFormatSettings();
      PGTIFFCompression = comp;
      PGTIFFWriteMotorola = (seed & 1) != 0;
      PGTIFFWriteCMYK = seed % 3 == 0;
      TPixelGraphic g;
      MakeImage(g, res, 61, 43, static_cast<uint32_t>(seed++));
      files.emplace_back(std::string("writer ") + ResName(res) + " " + std::to_string(comp), WriteTiff(g));
    }
  // Two images in one file, for the chain.
  {
    PGResetFormatSettings();
    TPixelGraphic a, b;
    MakeImage(a, Res::Gray256, 20, 10, 1);
    MakeImage(b, Res::Sys16, 15, 9, 2);
    files.emplace_back("writer two images", WriteTiffImages({&a, &b}));
  }
  PGResetFormatSettings();
  const fs::path dataDir = fs::path(ZWILLO_TEST_DATA) / "tiff";
  if (fs::exists(dataDir))
    for (const auto& entry : fs::directory_iterator(dataDir)) {
      if (entry.path().extension() != ".tif") continue;
      std::ifstream f(entry.path(), std::ios::binary);
      files.emplace_back(entry.path().filename().string(),
                         std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {}));
    }
  return files;
}

class TiffBadInput : public TiffTest {};

TEST_F(TiffBadInput, CutFilesEndInReadErrorOrPartialImage) {
  for (const auto& [name, file] : ValidFiles()) {
    SCOPED_TRACE(name);
    const size_t step = std::max<size_t>(1, file.size() / 400);
    for (bool all : {false, true}) {
      PGTIFFReadAllImages = all;
      for (size_t len = 0; len < file.size(); len += step) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(len));
        std::string other;
        const Outcome o = TryRead(cut, 0, other);
        ASSERT_TRUE(other.empty()) << "length " << len << ": " << other;
        (void)o;
      }
    }
  }
}

TEST_F(TiffBadInput, ChangedBytesEndInTiffErrorReadErrorOrImage) {
  std::mt19937 rng(1234);
  for (const auto& [name, file] : ValidFiles()) {
    SCOPED_TRACE(name);
    bool mm;
    const auto ifds = ParseTiff(file, mm);
    const size_t ifd = ifds.empty() ? 0 : ifds[0].Offset;
    const size_t ifdEnd = std::min(file.size(), ifd + 2 + 12 * 20 + 4);
    int outcomes[3] = {0, 0, 0};
    for (int iter = 0; iter < 1500; ++iter) {
      std::vector<uint8_t> d = file;
      const int changes = 1 + static_cast<int>(rng() % 3);
      for (int c = 0; c < changes; ++c) {
        // Mostly the header and directory, where the counts and offsets are.
        size_t pos;
        if (rng() % 4 != 0 && ifdEnd > ifd)
          pos = rng() % 8 < 1 ? rng() % 8 : ifd + rng() % (ifdEnd - ifd);
        else
          pos = rng() % d.size();
        const uint32_t kind = rng() % 4;
        d[pos] = kind == 0 ? static_cast<uint8_t>(d[pos] ^ (1u << (rng() % 8)))
                 : kind == 1 ? 0xFF
                 : kind == 2 ? 0x00
                             : static_cast<uint8_t>(rng());
      }
      PGTIFFReadAllImages = (iter & 1) != 0;
      std::string other;
      const Outcome o = TryRead(d, iter % 5 == 0 ? 1 : 0, other);
      ASSERT_TRUE(other.empty()) << "iteration " << iter << ": " << other;
      ++outcomes[static_cast<int>(o)];
    }
    // The changes reach every kind of ending.
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[1], 0);
  }
}

// Counts from the file never make the reader allocate beyond what the stream holds.
TEST_F(TiffBadInput, HugeCountsRaiseTheReadError) {
  auto read = [](const std::vector<uint8_t>& d) {
    return Message<EReadError>([&] {
      TPixelGraphic g;
      ReadTiff(d, g);
    });
  };
  // 65535 directory entries in a short file.
  {
    TiffBuilder b;
    b.Basic(4, 4, 1, {8}, 1, {8}, 4);
    std::vector<uint8_t> d = b.Build();
    bool mm;
    Put16(d, ParseTiff(d, mm)[0].Offset, 0xFFFF, false);
    EXPECT_EQ(read(d), "Stream read error");
  }
  // Arrays of a billion strip offsets or colour map values.
  for (uint16_t tag : {uint16_t{273}, uint16_t{279}, uint16_t{258}, uint16_t{320}}) {
    TiffBuilder b;
    b.Basic(4, 4, 3, {8}, 1, {8, 12}, 2);
    b.Add(320, 3, std::vector<uint32_t>(768, 0));
    for (auto& e : b.Images[0])
      if (e.Tag == tag) e.CountOverride = 0x40000000;
    EXPECT_EQ(read(b.Build()), "Stream read error") << tag;
  }
  // A strip beyond the end, and an image far larger than the stream's strips hold.
  {
    TiffBuilder b;
    b.Basic(4, 4, 1, {8}, 1, {100000}, 4);
    EXPECT_EQ(read(b.Build()), "Stream read error");
    TiffBuilder big;
    big.Basic(60000, 30000, 1, {8}, 32773, {8}, 30000);
    EXPECT_EQ(read(big.Build()), "Stream read error");
  }
}

// Sizes that do not fit the image are refused before anything is allocated;
// an image without rows or columns loads empty.
TEST_F(TiffBadInput, OutOfRangeAndEmptySizes) {
  TiffBuilder wide;
  wide.Basic(0x80000000u, 1, 1, {8}, 1, {8}, 1);
  EXPECT_EQ(Message([&] { TPixelGraphic g; ReadTiff(wide.Build(), g); }), "TIFF: ImageWidth invalid");
  TiffBuilder tall;
  tall.Basic(0, 0xFFFFFFFFu, 1, {8}, 1, {8}, 0);
  EXPECT_EQ(Message([&] { TPixelGraphic g; ReadTiff(tall.Build(), g); }), "TIFF: ImageLength invalid");
  for (auto [w, h] : {std::pair{0u, 5u}, std::pair{5u, 0u}}) {
    TiffBuilder b;
    b.Basic(w, h, 1, {8}, 1, {8}, 0);  // one strip, RowsPerStrip from ImageLength (0 for h = 0)
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    EXPECT_TRUE(g.Empty());
  }
}

} // namespace
