// TIFF files made by other programs (libtiff-tools, netpbm, ImageMagick), and
// the writer's files read by those programs. The peers run when they are
// installed; a copy of the peer-made files in tests/data/tiff/ keeps the
// reader checks running without them. Setting ZWILLO_TIFF_CONFORMANCE_OUT to
// a folder copies freshly generated files there (to renew that copy).

#include "test_tiff_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace tifftest;
namespace fs = std::filesystem;

namespace {

constexpr int W = 37, H = 23;

// The source images: colour, few colours, grey, 16 greys, black and white.
TColorRef RGBAt(int x, int y) { return RGBColor((x * 7 + y * 3) & 255, (x * y) & 255, (255 - x * 5) & 255); }
TColorRef PalAt(int x, int y) {
  static const TColorRef pal[12] = {RGBColor(255, 0, 0),   RGBColor(0, 255, 0),     RGBColor(0, 0, 255),
                                    RGBColor(255, 255, 0), RGBColor(0, 255, 255),   RGBColor(255, 0, 255),
                                    RGBColor(128, 64, 32), RGBColor(10, 20, 30),    RGBColor(200, 200, 200),
                                    RGBColor(0, 0, 0),     RGBColor(255, 255, 255), RGBColor(90, 180, 45)};
  return pal[(x / 4 + 2 * (y / 3)) % 12];
}
int GreyAt(int x, int y) { return (x * 7 + y * 11) & 255; }
int Grey4At(int x, int y) { return ((x + 2 * y) % 16) * 17; }
bool BlackAt(int x, int y) { return (x * x + y) % 5 == 0; }

bool ToolPresent(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
void WriteFile(const fs::path& p, const std::vector<uint8_t>& d) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
}

void WriteSources(const fs::path& dir) {
  std::vector<uint8_t> ppm, pal, pgm, pgm4, pbm;
  auto header = [](std::vector<uint8_t>& d, const char* magic, bool maxval) {
    const std::string h = std::string(magic) + "\n" + std::to_string(W) + " " + std::to_string(H) + "\n" +
                          (maxval ? "255\n" : "");
    d.assign(h.begin(), h.end());
  };
  header(ppm, "P6", true);
  header(pal, "P6", true);
  header(pgm, "P5", true);
  header(pgm4, "P5", true);
  header(pbm, "P4", false);
  for (int y = 0; y < H; ++y) {
    std::vector<uint8_t> bits((W + 7) / 8, 0);
    for (int x = 0; x < W; ++x) {
      for (TColorRef c : {RGBAt(x, y)}) ppm.insert(ppm.end(), {uint8_t(GetRValue(c)), uint8_t(GetGValue(c)), uint8_t(GetBValue(c))});
      const TColorRef p = PalAt(x, y);
      pal.insert(pal.end(), {uint8_t(GetRValue(p)), uint8_t(GetGValue(p)), uint8_t(GetBValue(p))});
      pgm.push_back(static_cast<uint8_t>(GreyAt(x, y)));
      pgm4.push_back(static_cast<uint8_t>(Grey4At(x, y)));
      if (BlackAt(x, y)) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    pbm.insert(pbm.end(), bits.begin(), bits.end());
  }
  WriteFile(dir / "src.ppm", ppm);
  WriteFile(dir / "pal.ppm", pal);
  WriteFile(dir / "src.pgm", pgm);
  WriteFile(dir / "grey4.pgm", pgm4);
  WriteFile(dir / "src.pbm", pbm);
}

enum class Expect { RGB, Palette, Grey, GreyInverted, Grey4, Bilevel, CMYK, LZW };

struct PeerFile {
  const char* Name;     // file name in tests/data/tiff
  const char* Command;  // run in the work folder, writing Name
  std::vector<const char*> Tools;
  Expect What;
};

const std::vector<PeerFile>& PeerFiles() {
  static const std::vector<PeerFile> files = {
      {"rgb_pnmtotiff.tif", "pnmtotiff src.ppm > rgb_pnmtotiff.tif", {"pnmtotiff"}, Expect::RGB},
      {"rgb_pnmtotiff_packbits.tif", "pnmtotiff -packbits -rowsperstrip 5 src.ppm > rgb_pnmtotiff_packbits.tif",
       {"pnmtotiff"}, Expect::RGB},
      {"rgb_tiffcp_mm_packbits.tif",
       "pnmtotiff src.ppm > t0.tif && tiffcp -B -c packbits -r 4 t0.tif rgb_tiffcp_mm_packbits.tif",
       {"pnmtotiff", "tiffcp"}, Expect::RGB},
      {"rgb_tiffcp_mm.tif", "pnmtotiff src.ppm > t1.tif && tiffcp -B -c none -r 3 t1.tif rgb_tiffcp_mm.tif",
       {"pnmtotiff", "tiffcp"}, Expect::RGB},
      {"rgba_im.tif", "convert src.ppm -alpha on -depth 8 rgba_im.tif", {"convert"}, Expect::RGB},
      {"palette8_pnmtotiff.tif", "pnmtotiff pal.ppm > palette8_pnmtotiff.tif", {"pnmtotiff"}, Expect::Palette},
      {"palette4_pnmtotiff_mm.tif",
       "pnmtotiff -indexbits=4 pal.ppm > t2.tif && tiffcp -B t2.tif palette4_pnmtotiff_mm.tif",
       {"pnmtotiff", "tiffcp"}, Expect::Palette},
      {"palette_im.tif", "convert pal.ppm -type Palette palette_im.tif", {"convert"}, Expect::Palette},
      {"grey_pnmtotiff.tif", "pnmtotiff src.pgm > grey_pnmtotiff.tif", {"pnmtotiff"}, Expect::Grey},
      {"grey_im_packbits.tif", "convert src.pgm -depth 8 -compress RLE grey_im_packbits.tif", {"convert"},
       Expect::Grey},
      {"grey_im_miniswhite.tif",
       "convert src.pgm -depth 8 -define quantum:polarity=min-is-white grey_im_miniswhite.tif", {"convert"},
       Expect::GreyInverted},  // the define relabels the samples: peers show the negative
      {"grey4_im.tif", "convert grey4.pgm -depth 4 grey4_im.tif", {"convert"}, Expect::Grey4},
      {"bilevel_pnmtotiff_miniswhite.tif", "pnmtotiff -miniswhite src.pbm > bilevel_pnmtotiff_miniswhite.tif",
       {"pnmtotiff"}, Expect::Bilevel},
      {"bilevel_im_packbits_mm.tif",
       "convert src.pbm t3.tif && tiffcp -B -c packbits t3.tif bilevel_im_packbits_mm.tif", {"convert", "tiffcp"},
       Expect::Bilevel},
      {"cmyk_im.tif", "convert src.ppm -colorspace CMYK -depth 8 cmyk_im.tif", {"convert"}, Expect::CMYK},
      {"rgb_lzw.tif", "pnmtotiff src.ppm > t4.tif && tiffcp -c lzw t4.tif rgb_lzw.tif", {"pnmtotiff", "tiffcp"},
       Expect::LZW},
  };
  return files;
}

// The raw CMYK samples of an uncompressed, contiguous file, by its own directory.
std::vector<uint8_t> RawSamples(const std::vector<uint8_t>& file) {
  bool mm;
  const auto d = ParseTiff(file, mm).at(0);
  std::vector<uint8_t> raw;
  const auto& offsets = d.Many(273);
  const auto& counts = d.Many(279);
  for (size_t k = 0; k < offsets.size(); ++k)
    raw.insert(raw.end(), file.begin() + offsets[k], file.begin() + offsets[k] + counts[k]);
  return raw;
}

void CheckPeerFile(const PeerFile& pf, const std::vector<uint8_t>& file) {
  SCOPED_TRACE(pf.Name);
  ASSERT_GT(file.size(), 8u);
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  if (pf.What == Expect::LZW) {
    TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
    TPGFileInfo info;
    TTIFFileFormatReader().GetInfo(s, 0, info);
    EXPECT_EQ(info.DetailsText, "I, LZW, RGB");
    EXPECT_EQ(info.KindText, "(Unsupported compression)");
    EXPECT_EQ(info.Width, W);
    EXPECT_EQ(info.Height, H);
    EXPECT_EQ(Message([&] { ReadTiff(file, g); }), "TIFF: Unsupported compression LZW");
    return;
  }
  ASSERT_NO_THROW(ReadTiff(file, g));
  ASSERT_EQ(g.Width(), W);
  ASSERT_EQ(g.Height(), H);
  std::vector<uint8_t> raw;
  if (pf.What == Expect::CMYK) raw = RawSamples(file);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      switch (pf.What) {
        case Expect::RGB:
          ASSERT_EQ(g.BitCount(), bc24Bit);
          ASSERT_EQ(g.Pixels(x, y), RGBAt(x, y)) << x << "," << y;
          break;
        case Expect::Palette:
          ASSERT_TRUE(g.BitCount() == bc4Bit || g.BitCount() == bc8Bit);
          ASSERT_EQ(g.PixelColors(x, y), PalAt(x, y)) << x << "," << y;
          break;
        case Expect::Grey:
          ASSERT_EQ(g.BitCount(), bc8Bit);
          ASSERT_EQ(g.PaletteIdent(), pGray256);
          ASSERT_EQ(g.Pixels(x, y), static_cast<uint32_t>(GreyAt(x, y))) << x << "," << y;
          break;
        case Expect::GreyInverted:
          ASSERT_EQ(g.BitCount(), bc8Bit);
          ASSERT_EQ(g.Pixels(x, y), static_cast<uint32_t>(255 - GreyAt(x, y))) << x << "," << y;
          break;
        case Expect::Grey4:
          ASSERT_EQ(g.BitCount(), bc4Bit);
          ASSERT_EQ(g.PaletteIdent(), pGray16);
          ASSERT_EQ(g.Pixels(x, y), static_cast<uint32_t>(Grey4At(x, y) / 17)) << x << "," << y;
          break;
        case Expect::Bilevel:
          ASSERT_EQ(g.BitCount(), bc1Bit);
          ASSERT_EQ(g.PaletteIdent(), pBlackWhite);
          ASSERT_EQ(g.Pixels(x, y), BlackAt(x, y) ? 0u : 1u) << x << "," << y;
          break;
        case Expect::CMYK: {
          ASSERT_EQ(raw.size(), static_cast<size_t>(4 * W * H));
          const uint8_t* p = raw.data() + 4 * (static_cast<size_t>(y) * W + x);
          auto ch = [&](int v) { return static_cast<unsigned>(std::max(0, 255 - v - p[3])); };
          ASSERT_EQ(g.Pixels(x, y), RGBColor(ch(p[0]), ch(p[1]), ch(p[2]))) << x << "," << y;
          break;
        }
        case Expect::LZW: break;
      }
    }
}

fs::path MakeWorkDir(const char* tag) {
  const fs::path dir = fs::temp_directory_path() / ("zwillo_tiff_" + std::string(tag) + "_" +
                                                    std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                    "_" + std::to_string(reinterpret_cast<uintptr_t>(&dir)));
  fs::create_directories(dir);
  return dir;
}

// The copies kept in tests/data/tiff/.
TEST(TiffConformance, KeptPeerFiles) {
  PGResetFormatSettings();
  const fs::path dataDir = fs::path(ZWILLO_TEST_DATA) / "tiff";
  int checked = 0;
  for (const PeerFile& pf : PeerFiles()) {
    const fs::path p = dataDir / pf.Name;
    if (!fs::exists(p)) continue;
    CheckPeerFile(pf, ReadFile(p));
    ++checked;
  }
  EXPECT_GE(checked, 10);
}

// Freshly made by the peers installed on this machine.
TEST(TiffConformance, FilesMadeByPeers) {
  PGResetFormatSettings();
  const fs::path dir = MakeWorkDir("peers");
  WriteSources(dir);
  const char* out = std::getenv("ZWILLO_TIFF_CONFORMANCE_OUT");
  int made = 0;
  for (const PeerFile& pf : PeerFiles()) {
    bool present = true;
    for (const char* tool : pf.Tools) present = present && ToolPresent(tool);
    if (!present) continue;
    const std::string cmd = "cd '" + dir.string() + "' && (" + pf.Command + ") 2>/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << pf.Command;
    const std::vector<uint8_t> file = ReadFile(dir / pf.Name);
    CheckPeerFile(pf, file);
    if (out) WriteFile(fs::path(out) / pf.Name, file);
    ++made;
  }
  fs::remove_all(dir);
  if (made == 0) GTEST_SKIP() << "no TIFF peer tools installed";
}

// ------------------------------------------------------------------ the writer's files, read by peers

struct Pnm {
  std::string Magic;
  int Width = 0, Height = 0, MaxVal = 1;
  std::vector<uint8_t> Data;
};

Pnm ParsePnm(const std::vector<uint8_t>& d) {
  Pnm p;
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < d.size()) {
      if (d[pos] == '#') {
        while (pos < d.size() && d[pos] != '\n') ++pos;
      } else if (std::isspace(d[pos])) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += static_cast<char>(d[pos++]);
      }
    }
    return t;
  };
  p.Magic = token();
  p.Width = std::stoi(token());
  p.Height = std::stoi(token());
  if (p.Magic != "P4") p.MaxVal = std::stoi(token());
  ++pos;
  p.Data.assign(d.begin() + static_cast<long>(pos), d.end());
  return p;
}

TEST(TiffConformance, WriterFilesReadByPeers) {
  if (!ToolPresent("tifftopnm")) GTEST_SKIP() << "tifftopnm not installed";
  const fs::path dir = MakeWorkDir("writer");
  for (Res res : AllRes())
    for (bool mm : {false, true})
      for (int comp : {1, 32773})
        for (bool whiteIsZero : {false, true}) {
          SCOPED_TRACE(std::string(ResName(res)) + (mm ? " MM" : " II") + " comp " + std::to_string(comp) +
                       (whiteIsZero ? " WhiteIsZero" : ""));
          PGResetFormatSettings();
          PGTIFFWriteMotorola = mm;
          PGTIFFCompression = comp;
          PGTIFFWhiteIsZero = whiteIsZero;
          TPixelGraphic src;
          MakeImage(src, res, 3001, 19, 11);  // several strips per image
          WriteFile(dir / "w.tif", WriteTiff(src));
          const std::string cmd = "cd '" + dir.string() + "' && tifftopnm w.tif > w.pnm 2>w.err";
          ASSERT_EQ(std::system(cmd.c_str()), 0);
          const std::vector<uint8_t> errBytes = ReadFile(dir / "w.err");
          const std::string err(errBytes.begin(), errBytes.end());
          EXPECT_EQ(err.find("arning"), std::string::npos) << err;
          EXPECT_EQ(err.find("rror"), std::string::npos) << err;
          const Pnm pnm = ParsePnm(ReadFile(dir / "w.pnm"));
          ASSERT_EQ(pnm.Width, src.Width());
          ASSERT_EQ(pnm.Height, src.Height());
          for (int y = 0; y < src.Height(); ++y)
            for (int x = 0; x < src.Width(); ++x) {
              const TColorRef c = src.PixelColors(x, y);
              if (pnm.Magic == "P4") {
                const int bit = (pnm.Data[static_cast<size_t>(y) * ((pnm.Width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
                ASSERT_EQ(bit == 1, c == 0) << x << "," << y;
              } else if (pnm.Magic == "P5") {
                const int v = pnm.Data[static_cast<size_t>(y) * pnm.Width + x] * 255 / pnm.MaxVal;
                ASSERT_EQ(v, static_cast<int>(GetRValue(c))) << x << "," << y;
              } else {
                ASSERT_EQ(pnm.Magic, "P6");
                const uint8_t* p = pnm.Data.data() + 3 * (static_cast<size_t>(y) * pnm.Width + x);
                // Colour maps are 16 bit (component * 256): peers may scale by 255/65535.
                ASSERT_NEAR(p[0], static_cast<int>(GetRValue(c)), 1) << x << "," << y;
                ASSERT_NEAR(p[1], static_cast<int>(GetGValue(c)), 1) << x << "," << y;
                ASSERT_NEAR(p[2], static_cast<int>(GetBValue(c)), 1) << x << "," << y;
              }
            }
        }
  fs::remove_all(dir);
  PGResetFormatSettings();
}

// Several images in one file: libtiff sees every directory.
TEST(TiffConformance, MultiImageFileSeenByTiffinfo) {
  if (!ToolPresent("tiffinfo")) GTEST_SKIP() << "tiffinfo not installed";
  PGResetFormatSettings();
  PGTIFFCompression = 32773;
  const fs::path dir = MakeWorkDir("multi");
  TPixelGraphic a, b, c;
  MakeImage(a, Res::True, 31, 7, 1);
  MakeImage(b, Res::Gray16, 33, 9, 2);
  MakeImage(c, Res::Colors256, 35, 11, 3);
  {
    TFileStream s((dir / "m.tif").string(), fmCreate);
    TTIFFileFormatWriter w;
    w.BeginFile(s);
    w.WriteImage(s, a);
    w.WriteImage(s, b);
    w.WriteImage(s, c);
    w.EndFile(s);
  }
  const std::string cmd = "cd '" + dir.string() + "' && tiffinfo m.tif > m.txt 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  const std::vector<uint8_t> txt = ReadFile(dir / "m.txt");
  const std::string info(txt.begin(), txt.end());
  EXPECT_NE(info.find("TIFF Directory at offset"), std::string::npos);
  EXPECT_NE(info.find("Image Width: 35 Image Length: 11"), std::string::npos) << info;
  EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
  EXPECT_EQ(info.find("Error"), std::string::npos) << info;
  fs::remove_all(dir);
  PGResetFormatSettings();
}

} // namespace
