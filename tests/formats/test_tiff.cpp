#include "test_tiff_util.h"

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/tiff_packbits.h"

using namespace tifftest;

namespace {

class TiffRoundTrip : public TiffTest {};

// Writer then reader for every resolution, byte order, compression, and the
// CMYK and WhiteIsZero variants: the pixels and palettes come back unchanged.
TEST_F(TiffRoundTrip, EveryResolutionOrderCompressionAndVariant) {
  for (Res res : AllRes())
    for (bool mm : {false, true})
      for (int comp : {1, 32773})
        for (bool variant : {false, true}) {
          SCOPED_TRACE(std::string(ResName(res)) + (mm ? " MM" : " II") + " comp " + std::to_string(comp) +
                       (variant ? " variant" : ""));
          PGResetFormatSettings();
          PGTIFFWriteMotorola = mm;
          PGTIFFCompression = comp;
          PGTIFFWriteCMYK = variant;
          PGTIFFWhiteIsZero = variant;
          TPixelGraphic src, dst;
          MakeImage(src, res, 301, 53, static_cast<uint32_t>(res) * 7 + 3);
          const std::vector<uint8_t> file = WriteTiff(src);
          ReadTiff(file, dst);
          ExpectSamePixels(src, dst);
          ExpectSamePalette(src, dst);
          EXPECT_EQ(src.PaletteIdent(), dst.PaletteIdent());

          bool fileMM;
          const auto ifds = ParseTiff(file, fileMM);
          ASSERT_EQ(ifds.size(), 1u);
          EXPECT_EQ(fileMM, mm);
          const ParsedIFD& d = ifds[0];
          const uint32_t photometric = d.One(262);
          switch (res) {
            case Res::BW:
            case Res::Gray16:
            case Res::Gray256: EXPECT_EQ(photometric, variant ? 0u : 1u); break;
            case Res::True: EXPECT_EQ(photometric, variant ? 5u : 2u); break;
            default: EXPECT_EQ(photometric, 3u); break;
          }
          EXPECT_EQ(d.Tags.count(320), photometric == 3 ? 1u : 0u);
        }
}

// The directory: tag order and types, strip size limits, word alignment of
// strips, the resolution values and unit.
TEST_F(TiffRoundTrip, DirectoryLayoutAndStripLimits) {
  for (int comp : {1, 32773})
    for (int width : {7, 1000, 11001}) {
      SCOPED_TRACE("comp " + std::to_string(comp) + " width " + std::to_string(width));
      PGResetFormatSettings();
      PGTIFFCompression = comp;
      PGTIFFResolutionUnit = 2;
      PGTIFFXResolution[0] = 72;
      PGTIFFXResolution[1] = 2;
      PGTIFFYResolution[0] = 150;
      PGTIFFYResolution[1] = 3;
      TPixelGraphic src;
      MakeImage(src, Res::True, width, 40, 5);
      const std::vector<uint8_t> file = WriteTiff(src);
      bool mm;
      const auto ifds = ParseTiff(file, mm);
      ASSERT_EQ(ifds.size(), 1u);
      const ParsedIFD& d = ifds[0];
      std::vector<uint16_t> tags;
      for (const auto& [tag, tv] : d.Tags) tags.push_back(tag);
      EXPECT_EQ(tags, (std::vector<uint16_t>{254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296}));
      EXPECT_EQ(d.Many(258), (std::vector<uint32_t>{8, 8, 8}));
      EXPECT_EQ(d.Many(282), (std::vector<uint32_t>{72, 2}));
      EXPECT_EQ(d.Many(283), (std::vector<uint32_t>{150, 3}));
      EXPECT_EQ(d.One(296), 3u);
      const int64_t rowBytes = 3 * width;
      const int64_t work = comp == 1 ? rowBytes : 2 * rowBytes;
      const uint32_t rps = d.One(278);
      EXPECT_EQ(rps, static_cast<uint32_t>(std::clamp<int64_t>(32767 / work, 1, 40)));
      EXPECT_TRUE(rps == 1 || rps * work <= 32767);
      const auto& offsets = d.Many(273);
      const auto& counts = d.Many(279);
      ASSERT_EQ(offsets.size(), (40 + rps - 1) / rps);
      ASSERT_EQ(counts.size(), offsets.size());
      for (size_t k = 0; k < offsets.size(); ++k) {
        EXPECT_EQ(offsets[k] % 2, 0u);
        const uint32_t rows = std::min<uint32_t>(rps, 40 - static_cast<uint32_t>(k) * rps);
        if (comp == 1) {
          EXPECT_EQ(counts[k], rows * rowBytes);
        }
        EXPECT_LE(offsets[k] + counts[k], file.size());
        if (k + 1 < offsets.size()) {
          EXPECT_LE(offsets[k] + counts[k], offsets[k + 1]);
        }
      }
      TPixelGraphic dst;
      ReadTiff(file, dst);
      ExpectSamePixels(src, dst);
    }
}

// Grey images write no colour map; a 4-bit palette image writes 16 entries per
// channel (component * 256), zeros beyond the palette; ResolutionUnit 0 -> 1.
TEST_F(TiffRoundTrip, ColorMapAndResolutionUnit) {
  PGTIFFResolutionUnit = 0;
  TPixelGraphic src;
  src.SetSize(5, 3, bc4Bit);
  src.SetPaletteCount(3);
  src.SetPaletteColor(0, RGBColor(1, 2, 3));
  src.SetPaletteColor(1, RGBColor(255, 128, 0));
  src.SetPaletteColor(2, RGBColor(10, 20, 30));
  for (int x = 0; x < 5; ++x) src.SetPixels(x, 1, static_cast<uint32_t>(x % 3));
  const std::vector<uint8_t> file = WriteTiff(src);
  bool mm;
  const auto ifds = ParseTiff(file, mm);
  const ParsedIFD& d = ifds[0];
  EXPECT_EQ(d.One(296), 1u);
  const auto& map = d.Many(320);
  ASSERT_EQ(map.size(), 48u);
  EXPECT_EQ(map[0], 256u);
  EXPECT_EQ(map[1], 65280u);
  EXPECT_EQ(map[16 + 1], 128u * 256);
  EXPECT_EQ(map[32 + 2], 30u * 256);
  EXPECT_EQ(map[3], 0u);
  EXPECT_EQ(map[47], 0u);
  TPixelGraphic dst;
  ReadTiff(file, dst);
  // The file's 16 entries come back, the first three as written.
  ASSERT_EQ(dst.PaletteCount(), 16);
  EXPECT_EQ(dst.PaletteData()[1], RGBColor(255, 128, 0));
  ExpectSamePixels(src, dst);
}

// CMYK: c, m, y reduced by k = min(c, m, y); reading computes 255 - C - K.
TEST_F(TiffRoundTrip, CMYKSampleValues) {
  PGTIFFWriteCMYK = true;
  TPixelGraphic src;
  src.SetSize(2, 1, bc24Bit);
  src.SetPixels(0, 0, RGBColor(200, 100, 50));
  src.SetPixels(1, 0, RGBColor(0, 255, 0));
  const std::vector<uint8_t> file = WriteTiff(src);
  bool mm;
  const auto d = ParseTiff(file, mm)[0];
  const uint32_t off = d.Many(273)[0];
  // (200,100,50): c=55 m=155 y=205 k=55 -> 0,100,150,55
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + off, file.begin() + off + 8),
            (std::vector<uint8_t>{0, 100, 150, 55, 255, 0, 255, 0}));
}

// WhiteIsZero inverts only grey and black-and-white values.
TEST_F(TiffRoundTrip, WhiteIsZeroInvertsStoredValues) {
  PGTIFFWhiteIsZero = true;
  TPixelGraphic src;
  src.SetSize(3, 1, bc8Bit);
  src.SetPaletteIdent(pGray256);
  src.SetPixels(0, 0, 0);
  src.SetPixels(1, 0, 10);
  src.SetPixels(2, 0, 255);
  const std::vector<uint8_t> file = WriteTiff(src);
  bool mm;
  const auto d = ParseTiff(file, mm)[0];
  EXPECT_EQ(d.One(262), 0u);
  const uint32_t off = d.Many(273)[0];
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + off, file.begin() + off + 3), (std::vector<uint8_t>{255, 245, 0}));
}

// Both byte orders of one image load identically.
TEST_F(TiffRoundTrip, BigAndLittleEndianLoadIdentically) {
  for (Res res : {Res::BW, Res::Colors16, Res::Colors256, Res::True}) {
    TPixelGraphic src, a, b;
    MakeImage(src, res, 77, 31, 9);
    PGTIFFWriteMotorola = false;
    const auto ii = WriteTiff(src);
    PGTIFFWriteMotorola = true;
    const auto mm = WriteTiff(src);
    EXPECT_EQ(ii[0], 'I');
    EXPECT_EQ(mm[0], 'M');
    ReadTiff(ii, a);
    ReadTiff(mm, b);
    ExpectSamePixels(a, b);
    ExpectSamePalette(a, b);
  }
}

// Rows wider than 32767 bytes get one row per strip, with and without PackBits.
TEST_F(TiffRoundTrip, RowsWiderThanStripLimit) {
  for (int comp : {1, 32773}) {
    PGTIFFCompression = comp;
    TPixelGraphic src, dst;
    MakeImage(src, Res::True, 11000, 5, 2);
    const auto file = WriteTiff(src);
    bool mm;
    const auto d = ParseTiff(file, mm)[0];
    EXPECT_EQ(d.One(278), 1u);
    EXPECT_EQ(d.Many(273).size(), 5u);
    ReadTiff(file, dst);
    ExpectSamePixels(src, dst);
  }
}

// A TIFF inside a larger stream: offsets are relative to its start.
TEST_F(TiffRoundTrip, EmbeddedInLargerStream) {
  TPixelGraphic src, dst;
  MakeImage(src, Res::Colors256, 40, 30, 4);
  TMemoryStream s;
  const std::vector<uint8_t> prefix(101, 0xEE);
  s.WriteBuffer(prefix.data(), 101);
  TTIFFileFormatWriter w;
  w.WriteGraphic(s, src);
  const int64_t end = s.Position();
  EXPECT_EQ(end, s.Size());
  s.WriteBuffer(prefix.data(), 7);  // trailing data after the TIFF
  s.SetPosition(101);
  TTIFFileFormatReader r;
  r.ReadGraphic(s, dst, 0);
  dst.DetectPaletteIdent();
  ExpectSamePixels(src, dst);
  ExpectSamePalette(src, dst);
}

// Several images in one file, linked by the writer; read back by index with
// PGTIFFReadAllImages, and only the first one without it.
TEST_F(TiffRoundTrip, SeveralImagesInOneFile) {
  PGTIFFCompression = 32773;  // odd strip lengths: the next directory stays word aligned
  TPixelGraphic imgs[3];
  MakeImage(imgs[0], Res::True, 33, 9, 1);
  MakeImage(imgs[1], Res::BW, 17, 5, 2);
  MakeImage(imgs[2], Res::Colors256, 21, 13, 3);
  const std::vector<uint8_t> file = WriteTiffImages({&imgs[0], &imgs[1], &imgs[2]});
  bool mm;
  const auto ifds = ParseTiff(file, mm);
  ASSERT_EQ(ifds.size(), 3u);
  for (const auto& d : ifds) EXPECT_EQ(d.Offset % 2, 0u);

  TTIFFileFormatReader r;
  TPGFileInfo info;
  TReadOnlyMemoryStream rs(file.data(), static_cast<int64_t>(file.size()));
  r.GetInfo(rs, 0, info);
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(Message([&] { TPixelGraphic g; ReadTiff(file, g, 1); }), "TIFF: Index invalid");

  PGTIFFReadAllImages = true;
  rs.SetPosition(0);
  r.GetInfo(rs, 2, info);
  EXPECT_EQ(info.ImageCount, 3);
  EXPECT_EQ(info.Width, 21);
  EXPECT_EQ(info.BitsPerPixel, 8);
  for (int i = 0; i < 3; ++i) {
    TPixelGraphic g;
    ReadTiff(file, g, i);
    ExpectSamePixels(imgs[i], g);
  }
  EXPECT_EQ(Message([&] { TPixelGraphic g; ReadTiff(file, g, 3); }), "TIFF: Index invalid");
  EXPECT_EQ(Message([&] { TPixelGraphic g; ReadTiff(file, g, -1); }), "TIFF: Index invalid");

  // A chain longer than PGTIFFMaxImages is broken: one image, the first.
  PGTIFFMaxImages = 2;
  rs.SetPosition(0);
  r.GetInfo(rs, 0, info);
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(info.Width, 33);
}

// A next-directory offset past the end or back to an earlier directory breaks
// the chain: the file counts as one image.
TEST_F(TiffRoundTrip, BrokenChainsCountAsOneImage) {
  PGTIFFReadAllImages = true;
  TPixelGraphic a, b;
  MakeImage(a, Res::Gray256, 4, 4, 1);
  MakeImage(b, Res::Gray256, 6, 6, 2);
  std::vector<uint8_t> file = WriteTiffImages({&a, &b});
  bool mm;
  const auto ifds = ParseTiff(file, mm);
  const size_t lastNext = ifds[1].Offset + 2 + 12 * Get16(file, ifds[1].Offset, mm);
  TTIFFileFormatReader r;
  TPGFileInfo info;
  for (uint32_t next : {static_cast<uint32_t>(file.size() + 10), ifds[0].Offset, 0xFFFFFFF0u}) {
    Put32(file, lastNext, next, mm);
    TReadOnlyMemoryStream rs(file.data(), static_cast<int64_t>(file.size()));
    r.GetInfo(rs, 0, info);
    EXPECT_EQ(info.ImageCount, 1) << next;
    EXPECT_EQ(info.Width, 4);
    rs.SetPosition(0);
    EXPECT_EQ(Message([&] { r.GetInfo(rs, 1, info); }), "TIFF: Index invalid");
  }
  // A directory whose next-offset field lies past the end also breaks it.
  Put32(file, lastNext, 0, mm);
  Put16(file, ifds[1].Offset, 5000, mm);
  TReadOnlyMemoryStream rs(file.data(), static_cast<int64_t>(file.size()));
  r.GetInfo(rs, 0, info);
  EXPECT_EQ(info.ImageCount, 1);
}

// ------------------------------------------------------------------ writer edge cases

TEST_F(TiffTest, WriterRefusesOtherCompressionsAndEmptyImages) {
  TPixelGraphic g;
  MakeImage(g, Res::True, 3, 3);
  PGTIFFCompression = 5;
  TMemoryStream s;
  TTIFFileFormatWriter w;
  EXPECT_EQ(Message<EPGTIFFileFormatWriter>([&] { w.WriteGraphic(s, g); }), "TIFF: Internal Error");
  PGTIFFCompression = 1;
  for (auto [width, height] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
    TPixelGraphic e;
    e.SetSize(width, height, bc24Bit);
    TMemoryStream es;
    EXPECT_EQ(Message<EPGTIFFileFormatWriter>([&] { w.WriteGraphic(es, e); }), "TIFF: Width = 0 or Height = 0");
    EXPECT_EQ(es.Size(), 0) << "nothing written";
  }
  EXPECT_EQ(s.Size(), 0);
}

// Writer progress: Max = height - 1, every row, and Abort does not stop it.
// Reader progress: Max = ImageLength; Abort ends reading without error.
TEST_F(TiffTest, ProgressEvents) {
  TPixelGraphic src;
  MakeImage(src, Res::Gray256, 10, 6);
  std::vector<std::pair<int, int>> steps;
  int starts = 0, ends = 0;
  TTIFFileFormatWriter w;
  src.OnProgressStart = [&](TObject* s) { ++starts; EXPECT_EQ(s, &w); };
  src.OnProgressEnd = [&](TObject*) { ++ends; };
  src.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    steps.push_back({step, max});
    abort = true;
  };
  TMemoryStream s;
  w.WriteGraphic(s, src);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps[5], (std::pair<int, int>{5, 5}));

  for (int comp : {1, 32773}) {
    PGTIFFCompression = comp;
    TPixelGraphic plain;
    MakeImage(plain, Res::Gray256, 10, 6);
    const auto file = WriteTiff(plain);
    TPixelGraphic dst;
    steps.clear();
    starts = ends = 0;
    dst.OnProgressStart = [&](TObject*) { ++starts; };
    dst.OnProgressEnd = [&](TObject*) { ++ends; };
    dst.OnProgress = [&](TObject*, int step, int max, bool& abort) {
      steps.push_back({step, max});
      abort = step == 2;
    };
    ReadTiff(file, dst);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0], (std::pair<int, int>{0, 6}));
    // Rows 0..2 were read, the rest stays clear.
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(dst.Pixels(x, 2), plain.Pixels(x, 2));
      EXPECT_EQ(dst.Pixels(x, 3), 0u);
    }
  }
}

// ------------------------------------------------------------------ PackBits

// The run rules, byte by byte, as a reference for the encoder.
std::vector<uint8_t> ReferencePackBits(const std::vector<uint8_t>& src) {
  const size_t n = src.size();
  std::vector<int64_t> len(n);
  for (size_t i = 0; i < n;) {
    size_t j = i + 1;
    while (j < n && src[j] == src[i]) ++j;
    for (size_t k = i; k < j; ++k) len[k] = static_cast<int64_t>(j - i);
    i = j;
  }
  std::vector<bool> single(n);
  for (size_t i = 0; i < n; ++i) single[i] = len[i] == 1;
  for (size_t i = 1; i < n; ++i)
    if (len[i] == 2 && single[i - 1]) single[i] = true;
  for (size_t i = n; i-- > 0;)
    if (len[i] == 2 && i + 1 < n && single[i + 1]) single[i] = true;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n;) {
    if (single[i]) {
      size_t j = i;
      while (j < n && j - i < 128 && single[j]) ++j;
      out.push_back(static_cast<uint8_t>(j - i - 1));
      out.insert(out.end(), src.begin() + static_cast<long>(i), src.begin() + static_cast<long>(j));
      i = j;
    } else {
      size_t j = i;
      while (j < n && j - i < 128 && !single[j] && src[j] == src[i]) ++j;
      out.push_back(static_cast<uint8_t>(1 - static_cast<int>(j - i)));
      out.push_back(src[i]);
      i = j;
    }
  }
  return out;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& src) {
  std::vector<uint8_t> out(static_cast<size_t>(PGPackBitsMaxSize(static_cast<int64_t>(src.size()))) + 1);
  out.resize(static_cast<size_t>(PGPackBitsEncode(src.data(), static_cast<int64_t>(src.size()), out.data())));
  return out;
}

TEST(TiffPackBits, RunRules) {
  using V = std::vector<uint8_t>;
  // A 2-run next to single bytes is literal; between longer runs it is a run.
  EXPECT_EQ(Encode(V{1, 2, 2, 3}), (V{3, 1, 2, 2, 3}));
  EXPECT_EQ(Encode(V{5, 5, 5, 7, 7, 9, 9, 9}), (V{0xFE, 5, 0xFF, 7, 0xFE, 9}));
  EXPECT_EQ(Encode(V{7, 7, 1}), (V{2, 7, 7, 1}));
  EXPECT_EQ(Encode(V{7, 7}), (V{0xFF, 7}));
  // Runs longer than 128 continue in the next packet.
  V run(300, 4);
  EXPECT_EQ(Encode(run), (V{0x81, 4, 0x81, 4, static_cast<uint8_t>(1 - 44), 4}));
  V run129(129, 4);
  EXPECT_EQ(Encode(run129), (V{0x81, 4, 0, 4}));
  // Literal stretches split at 128.
  V lit(200);
  for (size_t i = 0; i < lit.size(); ++i) lit[i] = static_cast<uint8_t>(i);
  const V enc = Encode(lit);
  ASSERT_EQ(enc.size(), 202u);
  EXPECT_EQ(enc[0], 127);
  EXPECT_EQ(enc[129], 71);
  EXPECT_TRUE(Encode(V{}).empty());
}

TEST(TiffPackBits, MatchesReferenceOnRandomRows) {
  std::mt19937 rng(42);
  for (int iter = 0; iter < 3000; ++iter) {
    const size_t n = rng() % 400;
    // Few values give many runs; all 256 give long literal stretches.
    const unsigned alphabet = iter % 2 ? 1 + rng() % 4 : 256;
    std::vector<uint8_t> src(n);
    for (auto& b : src) b = static_cast<uint8_t>(rng() % alphabet);
    if (iter % 3 == 0)  // long runs now and then
      for (size_t i = 0; i + 1 < n; i += 1 + rng() % 50)
        for (size_t k = i; k < std::min(n, i + rng() % 200); ++k) src[k] = src[i];
    ASSERT_EQ(Encode(src), ReferencePackBits(src)) << "iteration " << iter;
  }
}

// ------------------------------------------------------------------ crafted files

// A 4 x 3 8-bit grey image (values 0..11) in one uncompressed strip.
TiffBuilder GreyFile(bool mm = false, uint32_t rowsPerStrip = 3) {
  TiffBuilder b(mm);
  std::vector<uint8_t> px(12);
  for (int i = 0; i < 12; ++i) px[i] = static_cast<uint8_t>(i * 20);
  const uint32_t off = b.Blob(px);
  b.Basic(4, 3, 1, {8}, 1, {off}, rowsPerStrip);
  return b;
}

std::string ReadMessage(const std::vector<uint8_t>& file, int index = 0) {
  return Message([&] {
    TPixelGraphic g;
    ReadTiff(file, g, index);
  });
}

TEST_F(TiffTest, RefusalsCarryTheirMessages) {
  EXPECT_EQ(ReadMessage({'I', 'X', 42, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadMessage({'I', 'I', 43, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadMessage({'M', 'M', 42, 0, 0, 0, 0, 8}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadMessage(GreyFile().Build(), 1), "TIFF: Index invalid");

  auto with = [](auto change) {
    TiffBuilder b = GreyFile();
    change(b);
    return ReadMessage(b.Build());
  };
  auto set = [](TiffBuilder& b, uint16_t tag, uint16_t type, std::vector<uint32_t> v) {
    for (auto& e : b.Images[0])
      if (e.Tag == tag) {
        e.Type = type;
        e.Values = std::move(v);
        return;
      }
    b.Add(tag, type, std::move(v));
  };
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 284, 3, {2}); }), "TIFF: PlanarConfiguration invalid");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 284, 3, {1}); }), "<no exception>");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 277, 3, {2}); }), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 277, 3, {3}); }), "TIFF: Invalid count of SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 258, 3, {2}); }), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 262, 3, {2}); }), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) {
              set(b, 277, 3, {3});
              set(b, 258, 3, {8, 8, 16});
              set(b, 262, 3, {2});
            }),
            "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) {
              set(b, 277, 3, {3});
              set(b, 258, 3, {8, 8, 8});
              set(b, 262, 3, {5});
            }),
            "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(with([&](TiffBuilder& b) {
              set(b, 278, 4, {0});
              set(b, 273, 4, {8, 8});
            }),
            "TIFF: Invalid RowsPerStrip");
  EXPECT_EQ(with([&](TiffBuilder& b) {
              set(b, 278, 4, {1});
              set(b, 273, 4, {8, 8});
            }),
            "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 273, 4, {}); }),
            "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 256, 5, {4, 1}); }), "TIFF: Unsupported field Type: 5");
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 273, 9, {8}); }), "TIFF: Unsupported field Type: 9");
  // Other tags may have any type.
  EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 282, 5, {300, 1}); }), "<no exception>");

  const std::pair<uint32_t, const char*> compressions[] = {
      {2, "TIFF: Unsupported compression CCITT 1D"}, {3, "TIFF: Unsupported compression Group 3 Fax"},
      {4, "TIFF: Unsupported compression Group 4 Fax"}, {5, "TIFF: Unsupported compression LZW"},
      {6, "TIFF: Unsupported compression JPEG"},     {7, "TIFF: Unsupported compression 7"},
      {0, "TIFF: Unsupported compression 0"},        {32946, "TIFF: Unsupported compression 32946"}};
  for (auto [c, text] : compressions) EXPECT_EQ(with([&](TiffBuilder& b) { set(b, 259, 3, {c}); }), text);
  // A missing Compression tag reads as 0.
  EXPECT_EQ(with([&](TiffBuilder& b) { b.Images[0].erase(b.Images[0].begin() + 3); }),
            "TIFF: Unsupported compression 0");
}

TEST_F(TiffTest, ValuesInEntryOrAtOffsetAndFieldTypes) {
  // BYTE, SHORT and LONG fields, values in the entry or out of line, both orders.
  for (bool mm : {false, true}) {
    TiffBuilder b(mm);
    std::vector<uint8_t> px(5 * 2 * 3);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7);
    const uint32_t s0 = b.Blob(std::vector<uint8_t>(px.begin(), px.begin() + 15));
    const uint32_t s1 = b.Blob(std::vector<uint8_t>(px.begin() + 15, px.end()));
    b.Add(256, 3, {5}).Add(257, 4, {2}).Add(258, 1, {8, 8, 8}).Add(259, 3, {1}).Add(262, 1, {2});
    b.Add(273, 3, {s0, s1}).Add(277, 1, {3}).Add(278, 3, {1}).Add(279, 4, {15, 15});
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    ASSERT_EQ(g.Width(), 5);
    ASSERT_EQ(g.Height(), 2);
    EXPECT_EQ(g.BitCount(), bc24Bit);
    EXPECT_EQ(g.Pixels(1, 0), RGBColor(21, 28, 35));
    EXPECT_EQ(g.Pixels(0, 1), RGBColor(105, 112, 119));
  }
}

TEST_F(TiffTest, EveryAcceptedPhotometricAndSampleCombination) {
  // 1 bit, WhiteIsZero inverted, BlackIsZero and palette not.
  for (uint32_t photometric : {0u, 1u, 3u}) {
    TiffBuilder b;
    const uint32_t off = b.Blob({0xA0, 0x40});  // 10100 / 01000 for a 5-pixel width
    b.Basic(5, 2, photometric, {1}, 1, {off}, 2);
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    EXPECT_EQ(g.BitCount(), bc1Bit);
    EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
    const uint32_t on = photometric == 0 ? 0 : 1;
    EXPECT_EQ(g.Pixels(0, 0), on);
    EXPECT_EQ(g.Pixels(1, 0), 1 - on);
    EXPECT_EQ(g.Pixels(1, 1), on);
    EXPECT_EQ(g.ScanLine(0)[0] & 0x07, 0) << "padding bits stay clear";
  }
  // 4 and 8 bit grey.
  for (uint32_t photometric : {0u, 1u}) {
    TiffBuilder b;
    const uint32_t off = b.Blob({0x1F, 0x70, 0x05, 0xFA});
    b.Basic(3, 1, photometric, {4}, 1, {off}, 1);
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    EXPECT_EQ(g.PaletteIdent(), pGray16);
    const uint32_t expect[] = {1, 15, 7};
    for (int x = 0; x < 3; ++x) EXPECT_EQ(g.Pixels(x, 0), photometric == 0 ? 15 - expect[x] : expect[x]);

    TiffBuilder b8;
    const uint32_t off8 = b8.Blob({0, 100, 255});
    b8.Basic(3, 1, photometric, {8}, 1, {off8}, 1);
    TPixelGraphic g8;
    ReadTiff(b8.Build(), g8);
    EXPECT_EQ(g8.PaletteIdent(), pGray256);
    EXPECT_EQ(g8.Pixels(1, 0), photometric == 0 ? 155u : 100u);
  }
  // 8-bit palette: entries div 256, entry count = map count div 3.
  {
    TiffBuilder b;
    const uint32_t off = b.Blob({0, 1, 2});
    b.Basic(3, 1, 3, {8}, 1, {off}, 1);
    b.Add(320, 3, {0xFFFF, 0x1234, 0x00FF, 0, 0x8000, 0x7F00, 0x0100, 0x0200, 0x0300});
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    ASSERT_EQ(g.PaletteCount(), 3);
    EXPECT_EQ(g.PaletteData()[0], RGBColor(255, 0, 1));
    EXPECT_EQ(g.PaletteData()[1], RGBColor(0x12, 0x80, 2));
    EXPECT_EQ(g.PixelColors(2, 0), RGBColor(0, 0x7F, 3));
  }
  // RGB with a fourth sample, and CMYK clamped at 0.
  for (uint32_t photometric : {2u, 5u}) {
    TiffBuilder b;
    const uint32_t off = b.Blob({10, 20, 30, 40, 200, 100, 50, 100});
    b.Basic(2, 1, photometric, {8, 8, 8, 8}, 1, {off}, 1);
    TPixelGraphic g;
    ReadTiff(b.Build(), g);
    EXPECT_EQ(g.BitCount(), bc24Bit);
    if (photometric == 2) {
      EXPECT_EQ(g.Pixels(0, 0), RGBColor(10, 20, 30));
      EXPECT_EQ(g.Pixels(1, 0), RGBColor(200, 100, 50));
    } else {
      EXPECT_EQ(g.Pixels(0, 0), RGBColor(205, 195, 185));
      EXPECT_EQ(g.Pixels(1, 0), RGBColor(0, 55, 105));
    }
  }
}

TEST_F(TiffTest, PackBitsRowOverrunNamesTheRow) {
  // Row 0: a literal of 4. Row 1: a repeat of 3 then a literal of 2 (one too many).
  TiffBuilder b;
  const uint32_t off = b.Blob({3, 1, 2, 3, 4, 0xFE, 9, 1, 5, 6});
  b.Basic(4, 2, 1, {8}, 32773, {off}, 2);
  const auto file = b.Build();
  TPixelGraphic g;
  EXPECT_EQ(Message([&] { ReadTiff(file, g); }), "TIFF (PackBits): Invalid count of bytes in row 1");
  // The image is left as far as reading got.
  EXPECT_EQ(g.Pixels(3, 0), 4u);
  // A repeat packet that overruns, and the no-op packet -128.
  TiffBuilder b2;
  const uint32_t off2 = b2.Blob({0x80, 0xFD, 7});
  b2.Basic(3, 1, 1, {8}, 32773, {off2}, 1);
  EXPECT_EQ(ReadMessage(b2.Build()), "TIFF (PackBits): Invalid count of bytes in row 0");
  TiffBuilder b3;
  const uint32_t off3 = b3.Blob({0x80, 0xFE, 7});
  b3.Basic(3, 1, 1, {8}, 32773, {off3}, 1);
  TPixelGraphic g3;
  ReadTiff(b3.Build(), g3);
  EXPECT_EQ(g3.Pixels(2, 0), 7u);
}

TEST_F(TiffTest, PackBitsAcrossTheReadWindow) {
  // Long rows of literals and runs cross the 4096-byte window many times.
  PGTIFFCompression = 32773;
  TPixelGraphic src, dst;
  MakeImage(src, Res::True, 5000, 7, 8);
  ReadTiff(WriteTiff(src), dst);
  ExpectSamePixels(src, dst);
}

// ------------------------------------------------------------------ single strip warning

TEST_F(TiffTest, SingleStripWarningByAction) {
  const auto file = GreyFile(false, 1).Build();  // RowsPerStrip 1, one strip offset, 3 rows
  struct Call {
    std::string Text, Caption;
    platform::TMsgButtons Buttons;
    platform::TMsgIcon Icon;
  };
  std::vector<Call> calls;
  int answer = platform::mrOk;
  platform::SetMessageBoxHook([&](const std::string& t, const std::string& c, platform::TMsgButtons b,
                                  platform::TMsgIcon i) {
    calls.push_back({t, c, b, i});
    return answer;
  });
  auto load = [&](TPGWarningAction action) {
    TPixelGraphic g;
    g.SetReadWarningAction(action);
    ReadTiff(file, g);
    EXPECT_EQ(g.Height(), 3);
    EXPECT_EQ(g.Pixels(3, 2), 220u);  // all rows from the one strip
  };
  const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";

  load(pgwaIgnore);
  EXPECT_TRUE(calls.empty());

  load(pgwaOKBox);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Text, text);
  EXPECT_EQ(calls[0].Caption, "TIFF-Warning");
  EXPECT_EQ(calls[0].Buttons, platform::TMsgButtons::OK);
  EXPECT_EQ(calls[0].Icon, platform::TMsgIcon::Warning);

  load(pgwaOKCancelBox);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].Buttons, platform::TMsgButtons::OKCancel);

  answer = platform::mrCancel;
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaOKCancelBox);
  EXPECT_EQ(Message<EPGTIFFileFormatReader>([&] { ReadTiff(file, g); }), "TIFF: Operation aborted on user request");
  EXPECT_EQ(calls.size(), 3u);

  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Message<EPGTIFFileFormatReader>([&] { ReadTiff(file, g); }), text);
  EXPECT_EQ(calls.size(), 3u);
}

// A missing RowsPerStrip with one strip offset means one strip for the image.
TEST_F(TiffTest, MissingRowsPerStripWithOneStrip) {
  TiffBuilder b = GreyFile(true, 0);
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  ReadTiff(b.Build(), g);
  EXPECT_EQ(g.Pixels(1, 1), 100u);
}

// ------------------------------------------------------------------ GetInfo

TEST_F(TiffTest, GetInfoTexts) {
  struct Case {
    uint32_t Compression, Photometric;
    std::vector<uint32_t> Bits;
    bool MM;
    const char* Details;
    const char* Kind;
    const char* Colors;
    int BitsPerPixel;
  };
  const Case cases[] = {
      {5, 2, {8, 8, 8}, false, "I, LZW, RGB", "(Unsupported compression)", "16.7 M", 24},
      {1, 1, {8}, true, "M, Uncompr., BlackIsZero", "", "256", 8},
      {32773, 0, {1}, false, "I, PackBits, WhiteIsZero", "", "2", 1},
      {2, 0, {1}, false, "I, CCITT 1D, WhiteIsZero", "(Unsupported compression)", "2", 1},
      {3, 0, {1}, false, "I, Group 3 F., WhiteIsZero", "(Unsupported compression)", "2", 1},
      {4, 0, {1}, false, "I, Group 4 F., WhiteIsZero", "(Unsupported compression)", "2", 1},
      {6, 2, {8, 8, 8}, false, "I, JPEG, RGB", "(Unsupported compression)", "16.7 M", 24},
      {8, 3, {4}, false, "I, , RGB Palette", "", "16", 4},
      {1, 5, {8, 8, 8, 8}, true, "M, Uncompr., CMYK", "", "16.7 M", 32},
  };
  for (const Case& c : cases) {
    TiffBuilder b(c.MM);
    const uint32_t off = b.Blob(std::vector<uint8_t>(100, 0));
    b.Basic(9, 7, c.Photometric, c.Bits, c.Compression, {off}, 7);
    const auto file = b.Build();
    TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
    TTIFFileFormatReader r;
    TPGFileInfo info;
    info.KindText = "stale";
    r.GetInfo(s, 0, info);
    EXPECT_EQ(info.DetailsText, c.Details);
    EXPECT_EQ(info.KindText, c.Kind);
    EXPECT_EQ(info.ColorsText, c.Colors);
    EXPECT_EQ(info.BitsPerPixel, c.BitsPerPixel);
    EXPECT_EQ(info.Width, 9);
    EXPECT_EQ(info.Height, 7);
    EXPECT_EQ(info.ImageCount, 1);
  }
  // The LZW file is refused when read.
  TiffBuilder lzw;
  const uint32_t off = lzw.Blob(std::vector<uint8_t>(10, 0));
  lzw.Basic(2, 2, 2, {8, 8, 8}, 5, {off}, 2);
  EXPECT_EQ(ReadMessage(lzw.Build()), "TIFF: Unsupported compression LZW");
  // GetInfo applies the index rule.
  const auto grey = GreyFile().Build();
  TReadOnlyMemoryStream s(grey.data(), static_cast<int64_t>(grey.size()));
  TPGFileInfo info;
  EXPECT_EQ(Message([&] { TTIFFileFormatReader().GetInfo(s, 1, info); }), "TIFF: Index invalid");
}

TEST_F(TiffTest, DetectionAndRegistration) {
  TTIFFileFormatReader r;
  const uint8_t ii[17] = {'I', 'I', 0x2A, 0};
  const uint8_t mm[17] = {'M', 'M', 0, 0x2A};
  const uint8_t bad[17] = {'I', 'I', 0, 0x2A};
  EXPECT_TRUE(r.IsFormat(ii));
  EXPECT_TRUE(r.IsFormat(mm));
  EXPECT_FALSE(r.IsFormat(bad));

  TPGFormatLists lists;
  RegisterTIFFFormats(lists);
  ASSERT_EQ(lists.Readers.size(), 2u);
  ASSERT_EQ(lists.Writers.size(), 2u);
  EXPECT_EQ(lists.Readers[0]->Extension, "tif");
  EXPECT_EQ(lists.Readers[1]->Extension, "tiff");
  EXPECT_STREQ(lists.Readers[1]->ClassName(), "TTIFFFileFormatReader");
  for (const auto& rd : lists.Readers) {
    EXPECT_TRUE(rd->DetectsByContent);
    EXPECT_EQ(rd->Description, "Tagged Image File Format");
  }
  EXPECT_TRUE(lists.Writers[0]->ListedInFilter);
  EXPECT_FALSE(lists.Writers[1]->ListedInFilter);
  EXPECT_STREQ(lists.Writers[1]->ClassName(), "TTIFFFileFormatWriter");
  for (const auto& w : lists.Writers) {
    EXPECT_TRUE(w->MultiImage);
    EXPECT_EQ(w->CanWriteResolutions, 0xFD);
  }
}

} // namespace

// ------------------------------------------------------------------ through the image's load and save

namespace {

TEST_F(TiffTest, LoadAndSaveThroughTheImage) {
  // Content detection finds the TIFF whatever the extension; "tiff" saves too.
  TPixelGraphic src;
  MakeImage(src, Res::Colors256, 29, 17, 5);
  TMemoryStream s;
  src.SaveStreamAs(s, "tiff");
  s.SetPosition(0);
  TPixelGraphic dst;
  dst.LoadStreamAs(s, "", 0);
  ExpectSamePixels(src, dst);
  ExpectSamePalette(src, dst);

  // A black-and-white image is written as 1 bit BlackIsZero.
  TPixelGraphic bw;
  MakeImage(bw, Res::BW, 19, 4, 2);
  TMemoryStream bs;
  bw.SaveStreamAs(bs, "tif");
  bool mm;
  const auto d = ParseTiff(bs.Data(), mm)[0];
  EXPECT_EQ(d.One(258), 1u);
  EXPECT_EQ(d.One(262), 1u);

  // "2 colors" is not written as such: the registry converts to 16 colours.
  TPixelGraphic two;
  two.SetSize(8, 2, bc1Bit);
  two.SetPaletteCount(2);
  two.SetPaletteColor(0, RGBColor(255, 0, 0));
  two.SetPaletteColor(1, RGBColor(0, 0, 255));
  two.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream ts;
  two.SaveStreamAs(ts, "tif");
  const auto d2 = ParseTiff(ts.Data(), mm)[0];
  EXPECT_EQ(d2.One(258), 4u);
  EXPECT_EQ(d2.One(262), 3u);
}

TEST_F(TiffTest, ImageIndexThroughTheImage) {
  TPixelGraphic a, b;
  MakeImage(a, Res::True, 12, 5, 1);
  MakeImage(b, Res::Gray16, 9, 7, 2);
  const std::vector<uint8_t> file = WriteTiffImages({&a, &b});
  PGTIFFReadAllImages = true;
  TReadOnlyMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
  TPixelGraphic g;
  g.LoadStreamAs(s, "", 1);
  ExpectSamePixels(b, g);
  EXPECT_EQ(g.PaletteIdent(), pGray16);
}

} // namespace
