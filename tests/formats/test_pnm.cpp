#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pgraphic/formats/pnm.h"
#include "pgraphic/formats/settings.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

using fmttest::Bytes;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

void Load(const Bytes& data, TPixelGraphic& g, int index = 0) { fmttest::ReadFromMemory<TPPMFileFormatReader>(data, g, index); }

TPGFileInfo Info(const Bytes& data, int index = 0) { return fmttest::InfoFromMemory<TPBMFileFormatReader>(data, index); }

using fmttest::ExpectMessage;

std::string Save(TFileFormatWriter&& w, TPixelGraphic& g, bool binary) {
  PGPxMWriteBinary = binary;
  TMemoryStream s;
  w.WriteGraphic(s, g);
  PGPxMWriteBinary = false;
  return std::string(s.Data().begin(), s.Data().end());
}

class PxM : public ::testing::Test {
protected:
  void TearDown() override { PGResetFormatSettings(); }
};

TEST_F(PxM, CommentsWhereverANumberIsRead) {
  TPixelGraphic g;
  Load(B("P2\n# made by hand\n3 # width\n# a whole line\n2\n255\n1 2 #3 4 swallowed\n 5\n6 7 8\n"), g);
  ASSERT_EQ(g.Width(), 3);
  ASSERT_EQ(g.Height(), 2);
  EXPECT_EQ(g.BitCount(), bc8Bit);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  const uint32_t expect[2][3] = {{1, 2, 5}, {6, 7, 8}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(g.Pixels(x, y), expect[y][x]);
}

TEST_F(PxM, MaxvalScaling) {
  TPixelGraphic g;
  Load(B("P2 3 1 15 15 7 0\n"), g);
  EXPECT_EQ(g.Pixels(0, 0), 255u);
  EXPECT_EQ(g.Pixels(1, 0), 119u);
  EXPECT_EQ(g.Pixels(2, 0), 0u);
  // Binary samples through the same rule, and colour samples per channel.
  Load(Bytes{'P', '6', ' ', '1', ' ', '1', ' ', '1', '5', '\n', 15, 7, 1}, g);
  EXPECT_EQ(g.BitCount(), bc24Bit);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(255, 119, 17));
  Load(Bytes{'P', '5', ' ', '2', ' ', '1', ' ', '1', '5', '\n', 15, 7}, g);
  EXPECT_EQ(g.Pixels(0, 0), 255u);
  EXPECT_EQ(g.Pixels(1, 0), 119u);
  // Sixteen-bit ASCII samples; a value above maxval reads as the maximum.
  Load(B("P3 2 1 65535 65535 32768 0 70000 1 257\n"), g);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(255, 127, 0));
  EXPECT_EQ(g.Pixels(1, 0), RGBColor(255, 0, 1));
}

TEST_F(PxM, MaxvalLimits) {
  TPixelGraphic g;
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P5 1 1 65535\n\0\0"), g); },
                                        "PBM, PGM, PPM: Not supported subformat");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P6 1 1 256\n"), g); },
                                        "PBM, PGM, PPM: Not supported subformat");
  EXPECT_NO_THROW(Load(B("P2 1 1 65535 65535\n"), g));
  EXPECT_EQ(g.Pixels(0, 0), 255u);
  // maxval 0 is refused, never divided by.
  for (const char* f : {"P2 1 1 0 0\n", "P3 1 1 0 0 0 0\n", "P5 1 1 0\n\0", "P6 1 1 0\n\0\0\0"})
    ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B(f), g); }, "PBM, PGM, PPM: Not supported subformat");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P1 0 5\n"), g); }, "PBM, PGM, PPM: Not supported subformat");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P1 5 0\n"), g); }, "PBM, PGM, PPM: Not supported subformat");
}

TEST_F(PxM, HugeNumbersSaturate) {
  TPixelGraphic g;
  Load(B("P2 1 1 99999999999999999999999 99999999999999999999999999999999999\n"), g);
  EXPECT_EQ(g.Pixels(0, 0), 255u);
  Load(B("P2 1 1 99999999999999999999999 12\n"), g);
  EXPECT_EQ(g.Pixels(0, 0), 0u);
  // A saturated size is refused by the image (no allocation of that size happens).
  EXPECT_THROW(Load(B("P6 99999999999999999999 99999999999999999999 255\n"), g), EPixelGraphic);
}

TEST_F(PxM, PlainBitmapDigitsWithAndWithoutSeparators) {
  TPixelGraphic g;
  // netpbm writes plain bitmaps without separators: each digit is a pixel.
  Load(B("P1\n# c\n10 2\n0110100101\n1 0 0 0 0\n0 0 #0 0 0\n0 0 1\n"), g);
  ASSERT_EQ(g.BitCount(), bc1Bit);
  EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
  const char* rows[2] = {"0110100101", "1000000001"};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 10; ++x) EXPECT_EQ(g.Pixels(x, y), rows[y][x] == '1' ? 0u : 1u) << x << "," << y;
}

TEST_F(PxM, AllSixVariantsWhateverTheReader) {
  const Bytes files[6] = {
      B("P1 2 1 1 0\n"),
      B("P2 2 1 255 0 200\n"),
      B("P3 2 1 255 1 2 3 4 5 6\n"),
      Bytes{'P', '4', ' ', '2', ' ', '1', '\n', 0x80},
      Bytes{'P', '5', ' ', '2', ' ', '1', ' ', '2', '5', '5', '\n', 0, 200},
      Bytes{'P', '6', ' ', '2', ' ', '1', ' ', '2', '5', '5', '\n', 1, 2, 3, 4, 5, 6},
  };
  const TPBMFileFormatReader pbm;
  const TPGMFileFormatReader pgm;
  const TPPMFileFormatReader ppm;
  const TPxMFileFormatReader* readers[3] = {&pbm, &pgm, &ppm};
  for (int v = 0; v < 6; ++v) {
    EXPECT_TRUE(readers[v % 3]->IsFormat(files[v].data()));
    EXPECT_FALSE(readers[(v + 1) % 3]->IsFormat(files[v].data()));
    for (const TPxMFileFormatReader* r : readers) {
      TReadOnlyMemoryStream s(files[v].data(), static_cast<int64_t>(files[v].size()));
      TPixelGraphic g;
      r->ReadGraphic(s, g, 0);
      switch (v % 3) {
        case 0:
          EXPECT_EQ(g.BitCount(), bc1Bit);
          EXPECT_EQ(g.Pixels(0, 0), 0u);
          EXPECT_EQ(g.Pixels(1, 0), 1u);
          break;
        case 1:
          EXPECT_EQ(g.BitCount(), bc8Bit);
          EXPECT_EQ(g.Pixels(1, 0), 200u);
          break;
        default:
          EXPECT_EQ(g.BitCount(), bc24Bit);
          EXPECT_EQ(g.Pixels(0, 0), RGBColor(1, 2, 3));
          EXPECT_EQ(g.Pixels(1, 0), RGBColor(4, 5, 6));
          break;
      }
    }
  }
}

TEST_F(PxM, ReaderRefusals) {
  TPixelGraphic g;
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("Q6 1 1 255\n"), g); },
                                        "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P7 1 1 255\n"), g); }, "PBM, PGM, PPM: Unknown subformat");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P2 1 1 255 0\n"), g, 1); }, "PxM: Index invalid");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P"), g); }, "PBM, PGM, PPM: Unexpected end of file");
}

TEST_F(PxM, TruncatedFilesEndWithUnexpectedEnd) {
  TPixelGraphic g;
  Bytes p6 = B("P6 4 4 255\n");
  p6.resize(p6.size() + 40, 9);  // 48 needed
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(p6, g); }, "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(g.Width(), 4);  // the image keeps the rows that were read
  EXPECT_EQ(g.Pixels(3, 2), RGBColor(9, 9, 9));
  // A large binary image cut short: the direct reads stop too.
  Bytes big = B("P5 3000 3000 255\n");
  big.resize(big.size() + 100000, 1);
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(big, g); }, "PBM, PGM, PPM: Unexpected end of file");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P3 2 1 255 1 2 3 4 5"), g); },
                                        "PBM, PGM, PPM: Unexpected end of file");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Load(B("P2 2 1 255 1 #"), g); },
                                        "PBM, PGM, PPM: Unexpected end of file");
  // The end of the file may end the last number.
  EXPECT_NO_THROW(Load(B("P2 2 1 255 1 2"), g));
  EXPECT_EQ(g.Pixels(1, 0), 2u);
}

TEST_F(PxM, BinaryBitmapRowsAreStoredInverted) {
  TPixelGraphic g;
  // Width 10: two bytes a row; the padding bits land inverted in the storage.
  Load(Bytes{'P', '4', '\n', '1', '0', ' ', '2', '\n', 0xA5, 0x40, 0xFF, 0xC1}, g);
  EXPECT_EQ(g.ScanLine(0)[0], 0x5A);
  EXPECT_EQ(g.ScanLine(0)[1], 0xBF);
  EXPECT_EQ(g.ScanLine(1)[1], 0x3E);
  EXPECT_EQ(g.Pixels(0, 0), 0u);  // file bit 1 = black = index 0
  EXPECT_EQ(g.Pixels(1, 0), 1u);
}

TEST_F(PxM, Info) {
  TPGFileInfo i = Info(B("P1 # c\n 12 34\n"));
  EXPECT_EQ(i.DetailsText, "ASCII");
  EXPECT_EQ(i.BitsPerPixel, 1);
  EXPECT_EQ(i.ColorsText, "2");
  EXPECT_EQ(i.Width, 12);
  EXPECT_EQ(i.Height, 34);
  i = Info(B("P5 1 2 255\n"));
  EXPECT_EQ(i.DetailsText, "Binary");
  EXPECT_EQ(i.BitsPerPixel, 8);
  EXPECT_EQ(i.ColorsText, "256");
  i = Info(B("P6 1 2 255\n"));
  EXPECT_EQ(i.BitsPerPixel, 24);
  EXPECT_EQ(i.ColorsText, "16.7M");
  EXPECT_EQ(i.ImageCount, 1);
  ExpectMessage<EPGPxMFileFormatReader>([&] { Info(B("P6 1 2 255\n"), 1); },
                                        "PBM, PGM, PPM: Invalid value for Index");
  ExpectMessage<EPGPxMFileFormatReader>([&] { Info(B("P9 1 2 255\n")); }, "PBM, PGM, PPM: Unknown subformat");
}

// ---------------------------------------------------------------- writers

TEST_F(PxM, WriterTextLayout) {
  TPixelGraphic bw;
  bw.SetSize(3, 2, bc1Bit);
  bw.SetPaletteIdent(pBlackWhite);
  bw.SetPixels(0, 0, 1);
  bw.SetPixels(2, 1, 1);
  EXPECT_EQ(Save(TPBMFileFormatWriter(), bw, false), "P1\n3 2\n0 1 1\n1 1 0\n");

  TPixelGraphic grey;
  grey.SetSize(2, 2, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  grey.SetPixels(0, 0, 0);
  grey.SetPixels(1, 0, 255);
  grey.SetPixels(0, 1, 7);
  grey.SetPixels(1, 1, 42);
  EXPECT_EQ(Save(TPGMFileFormatWriter(), grey, false), "P2\n2 2\n255\n0 255\n7 42\n");
  EXPECT_EQ(Save(TPGMFileFormatWriter(), grey, true), std::string("P5\n2 2\n255\n\0\xff\x07\x2a", 15));

  TPixelGraphic rgb;
  rgb.SetSize(2, 1, bc24Bit);
  rgb.SetPixels(0, 0, RGBColor(1, 20, 255));
  rgb.SetPixels(1, 0, RGBColor(100, 0, 9));
  EXPECT_EQ(Save(TPPMFileFormatWriter(), rgb, false), "P3\n2 1\n255\n1 20 255 100 0 9\n");
  EXPECT_EQ(Save(TPPMFileFormatWriter(), rgb, true), std::string("P6\n2 1\n255\n\x01\x14\xff\x64\0\x09", 17));
}

TEST_F(PxM, RoundTripsThroughEveryWriterInBothForms) {
  std::mt19937 rng(11);
  const int w = 301, h = 17;  // rows longer than the 1024-byte buffer in ASCII form
  TPixelGraphic bw, grey, rgb;
  bw.SetSize(w, h, bc1Bit);
  bw.SetPaletteIdent(pBlackWhite);
  grey.SetSize(w, h, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  rgb.SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      bw.SetPixels(x, y, rng() & 1);
      grey.SetPixels(x, y, rng() & 0xFF);
      rgb.SetPixels(x, y, rng() & 0xFFFFFF);
    }
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary);
    struct Case {
      TFileFormatWriter* writer;
      TPixelGraphic* image;
    } cases[3];
    TPBMFileFormatWriter pbmw;
    TPGMFileFormatWriter pgmw;
    TPPMFileFormatWriter ppmw;
    cases[0] = {&pbmw, &bw};
    cases[1] = {&pgmw, &grey};
    cases[2] = {&ppmw, &rgb};
    for (Case& c : cases) {
      PGPxMWriteBinary = binary;
      TMemoryStream s;
      c.writer->WriteGraphic(s, *c.image);
      s.SetPosition(0);
      TPixelGraphic back;
      TPGMFileFormatReader().ReadGraphic(s, back, 0);
      ASSERT_EQ(back.BitCount(), c.image->BitCount());
      ASSERT_EQ(back.Width(), w);
      ASSERT_EQ(back.Height(), h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(back.Pixels(x, y), c.image->Pixels(x, y)) << x << "," << y;
    }
  }
}

TEST_F(PxM, BinaryBitmapWriterCarriesInvertedPadding) {
  TPixelGraphic bw;
  bw.SetSize(10, 1, bc1Bit);
  bw.SetPaletteIdent(pBlackWhite);
  bw.ScanLine(0)[0] = 0xF0;
  bw.ScanLine(0)[1] = 0x55;  // pixels 8, 9 = 0, 1; padding bits 010101
  const std::string file = Save(TPBMFileFormatWriter(), bw, true);
  EXPECT_EQ(file, std::string("P4\n10 1\n\x0f\xaa", 10));
}

TEST_F(PxM, WriterRefusals) {
  TPixelGraphic rgb;
  rgb.SetSize(1, 1, bc24Bit);
  ExpectMessage<EPGPxMFileFormatWriter>([&] { Save(TPBMFileFormatWriter(), rgb, false); },
                                        "PBM: Invalid color resolution");
  ExpectMessage<EPGPxMFileFormatWriter>([&] { Save(TPGMFileFormatWriter(), rgb, false); },
                                        "PGM: Invalid color resolution");
  TPixelGraphic grey;
  grey.SetSize(1, 1, bc8Bit);
  ExpectMessage<EPGPxMFileFormatWriter>([&] { Save(TPPMFileFormatWriter(), grey, false); },
                                        "PPM: Invalid color resolution");
  TPixelGraphic empty;
  ExpectMessage<EPGPxMFileFormatWriter>([&] { Save(TPPMFileFormatWriter(), empty, false); },
                                        "PBM, PGM, PPM: Width = 0 or Height = 0");
  struct TPNMWriter : TPXMFileFormatWriter {
    TPNMWriter() : TPXMFileFormatWriter("pnm", "Portable Anymap") {}
    const char* ClassName() const override { return "TPNMWriter"; }
  };
  ExpectMessage<EPGPxMFileFormatWriter>([&] { Save(TPNMWriter(), rgb, false); },
                                        "PBM, PGM, PPM: Unknown file extension \"pnm\"");
  // A refused image leaves nothing in the stream.
  TMemoryStream s;
  EXPECT_THROW(TPBMFileFormatWriter().WriteGraphic(s, rgb), EPGPxMFileFormatWriter);
  EXPECT_EQ(s.Size(), 0);
}

TEST_F(PxM, BitmapWriterTakesBlackWhitePaletteOfAnyDepth) {
  // An 8-bit image whose palette is black, white is written by its indices.
  TPixelGraphic g;
  g.SetSize(3, 1, bc8Bit);
  g.SetPaletteIdent(pBlackWhite);
  g.SetPixels(1, 0, 1);
  EXPECT_EQ(Save(TPBMFileFormatWriter(), g, false), "P1\n3 1\n1 0 1\n");
  EXPECT_EQ(Save(TPBMFileFormatWriter(), g, true), std::string("P4\n3 1\n\xa0", 8));
}

TEST_F(PxM, WriterProgressSenderIsTheImage) {
  TPixelGraphic g;
  g.SetSize(1, 2, bc24Bit);
  std::vector<int> steps;
  int starts = 0, ends = 0;
  g.OnProgressStart = [&](TObject* s) {
    ++starts;
    EXPECT_EQ(s, &g);
  };
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  g.OnProgress = [&](TObject* s, int step, int max, bool& abort) {
    EXPECT_EQ(s, &g);
    EXPECT_EQ(max, 2);
    steps.push_back(step);
    abort = true;  // ignored by writers
  };
  EXPECT_EQ(Save(TPPMFileFormatWriter(), g, false), "P3\n1 2\n255\n0 0 0\n0 0 0\n");
  EXPECT_EQ(steps, (std::vector<int>{0, 1}));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
}

TEST(PxMFormats, Registration) {
  TPGFormatLists lists;
  RegisterPxMFormats(lists);
  ASSERT_EQ(lists.Readers.size(), 3u);
  ASSERT_EQ(lists.Writers.size(), 3u);
  const char* ext[3] = {"pbm", "pgm", "ppm"};
  const char* desc[3] = {"Portable Bitmap", "Portable Graymap", "Portable Pixelmap"};
  const TPGColorResSet res[3] = {1 << 0, 1 << 5, 1 << 7};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lists.Readers[i]->Extension, ext[i]);
    EXPECT_EQ(lists.Readers[i]->Description, desc[i]);
    EXPECT_TRUE(lists.Readers[i]->DetectsByContent);
    EXPECT_EQ(lists.Writers[i]->Extension, ext[i]);
    EXPECT_EQ(lists.Writers[i]->CanWriteResolutions, res[i]);
  }
}

}  // namespace

namespace {

TEST(PxMRegistry, ContentDecidesWhateverTheExtension) {
  const Bytes p6 = {'P', '6', ' ', '1', ' ', '1', ' ', '2', '5', '5', '\n', 10, 20, 30};
  TPixelGraphic g;
  TReadOnlyMemoryStream a(p6.data(), static_cast<int64_t>(p6.size()));
  g.LoadStreamAs(a, "pbm", 0);
  EXPECT_EQ(g.BitCount(), bc24Bit);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(10, 20, 30));
  TReadOnlyMemoryStream b(p6.data(), static_cast<int64_t>(p6.size()));
  g.LoadFromStream(b);
  EXPECT_EQ(g.Pixels(0, 0), RGBColor(10, 20, 30));
}

TEST(PxMRegistry, SavingConvertsACopyToTheWritersResolution) {
  TPixelGraphic rgb;
  rgb.SetSize(3, 1, bc24Bit);
  rgb.SetPixels(1, 0, RGBColor(255, 255, 255));
  rgb.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream s;
  rgb.SaveStreamAs(s, "pbm");
  const std::string text(s.Data().begin(), s.Data().end());
  EXPECT_EQ(text.substr(0, 7), "P1\n3 1\n");
  EXPECT_EQ(rgb.BitCount(), bc24Bit);

  TPixelGraphic grey;
  grey.SetSize(2, 1, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  grey.SetPixels(1, 0, 77);
  grey.SetSaveColorResWarningAction(pgwaRaise);  // no conversion needed: no warning
  TMemoryStream t;
  grey.SaveStreamAs(t, "pgm");
  EXPECT_EQ(std::string(t.Data().begin(), t.Data().end()), "P2\n2 1\n255\n0 77\n");
}

}  // namespace
