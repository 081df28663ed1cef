// What every reader promises, whatever its format: one progress start and
// one progress end per read (also when the read fails or is aborted), an
// abort that leaves the rows not yet reported untouched, and no image beyond
// those in the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A PCX file (the library reads PCX but does not write it) of the picture:
// 24 bit as three planes, every byte as a run of one.
Bytes PCXOf(const TPixelGraphic& g) {
  const int w = g.Width(), h = g.Height();
  Bytes file(128, 0);
  file[0] = 0x0A;
  file[1] = 5;
  file[2] = 1;
  file[3] = 8;
  file[8] = static_cast<uint8_t>(w - 1);
  file[10] = static_cast<uint8_t>(h - 1);
  file[65] = 3;
  file[66] = static_cast<uint8_t>(w);
  file[68] = 1;
  for (int y = 0; y < h; ++y)
    for (int plane = 0; plane < 3; ++plane)
      for (int x = 0; x < w; ++x) {
        const uint32_t c = g.PixelColors(x, y); // red in the low byte
        file.push_back(0xC1);
        file.push_back(static_cast<uint8_t>(c >> (8 * plane)));
      }
  return file;
}

// A light picture (no row of it is all zero in any format's form), tall
// enough for several progress reports.
Bytes WrittenAs(const std::string& extension) {
  TPixelGraphic g;
  g.SetSize(8, 64, bc24Bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 8; ++x) g.SetPixels(x, y, RGBColor(255 - x, 255 - y, 250));
  if (extension == "pcx") return PCXOf(g);
  TMemoryStream out;
  if (extension == "mpo" || extension == "jps")
    PGFormatRegistry().SaveImagesStreamAs({&g, &g}, out, extension);
  else
    PGFormatRegistry().SaveStreamAs(g, out, extension);
  return out.Data();
}

struct TProgressLog {
  int Starts = 0, Ends = 0, Reports = 0;
  int AbortAt = -1; // the report (counted from 1) that aborts
  void Hook(TPixelGraphic& g) {
    g.OnProgressStart = [this](TObject*) { ++Starts; };
    g.OnProgressEnd = [this](TObject*) { ++Ends; };
    g.OnProgress = [this](TObject*, int, int, bool& abort) {
      ++Reports;
      if (Reports == AbortAt) abort = true;
    };
  }
};

// Reads data as extension into g; false when the reader raised.
bool Read(const Bytes& data, const std::string& extension, TPixelGraphic& g, int index = 0) {
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  const TFileFormatReader* reader = PGFormatRegistry().FindReader(in, extension);
  EXPECT_NE(reader, nullptr);
  if (!reader) return false;
  try {
    reader->ReadGraphic(in, g, index);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool ZeroRow(const TPixelGraphic& g, int y) {
  const uint8_t* row = g.ScanLine(y);
  for (int i = 0; i < g.BytesPerRow(); ++i)
    if (row[i] != 0) return false;
  return true;
}

class ReaderContract : public testing::TestWithParam<std::string> {};

} // namespace

TEST_P(ReaderContract, ProgressAbortAndIndex) {
  const std::string ext = GetParam();
  const Bytes data = WrittenAs(ext);

  TPixelGraphic whole;
  TProgressLog log;
  log.Hook(whole);
  ASSERT_TRUE(Read(data, ext, whole));
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(log.Ends, 1);
  ASSERT_GT(log.Reports, 1);
  for (int y = 0; y < whole.Height(); ++y) ASSERT_FALSE(ZeroRow(whole, y)) << y;

  // Aborted at the first report: some rows stay as the new picture's
  // memory left them, and the progress still ends once.
  TPixelGraphic part;
  TProgressLog aborted;
  aborted.AbortAt = 1;
  aborted.Hook(part);
  Read(data, ext, part);
  EXPECT_EQ(aborted.Reports, 1);
  EXPECT_EQ(aborted.Starts, 1);
  EXPECT_EQ(aborted.Ends, 1);
  int untouched = 0;
  for (int y = 0; y < part.Height(); ++y) untouched += ZeroRow(part, y);
  EXPECT_TRUE(part.Empty() || untouched > 0); // a view cut from a stereo picture: nothing

  // A file cut short: however the reader fails, a started progress ends.
  const Bytes cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(data.size() * 2 / 3));
  TPixelGraphic broken;
  broken.SetReadWarningAction(pgwaRaise);
  TProgressLog failed;
  failed.Hook(broken);
  Read(cut, ext, broken);
  EXPECT_EQ(failed.Starts, failed.Ends);

  // No image beyond the file's (one, or two for a stereo file).
  TPixelGraphic other;
  EXPECT_FALSE(Read(data, ext, other, ext == "mpo" || ext == "jps" ? 2 : 1));
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, ReaderContract,
                         testing::Values("bmp", "jpg", "png", "pcx", "pbm", "pgm", "ppm", "tga", "tif", "mpo",
                                         "jps"),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });
