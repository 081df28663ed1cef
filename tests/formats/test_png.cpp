#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/png.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

const std::string kSuite = std::string(ZWILLO_TEST_DATA) + "/pngsuite/";

using fmttest::ReadFileBytes;

std::vector<uint8_t> WritePng(TPixelGraphic& g) { return fmttest::WriteToMemory<TPNGFileFormatWriter>(g); }
void ReadPng(const std::vector<uint8_t>& data, TPixelGraphic& g) { fmttest::ReadFromMemory<TPNGFileFormatReader>(data, g); }
TPGFileInfo InfoOf(const std::vector<uint8_t>& data) { return fmttest::InfoFromMemory<TPNGFileFormatReader>(data); }

template <class F>
std::string PngError(F&& fn) {
  return fmttest::ErrorMessage<EPGPNGFileFormatReaderWriter>(fn);
}

uint32_t BE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The chunks of a PNG file: type and data.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Chunks(const std::vector<uint8_t>& png) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
  size_t p = 8;
  while (p + 12 <= png.size()) {
    const uint32_t n = BE32(&png[p]);
    out.emplace_back(std::string(png.begin() + static_cast<long>(p) + 4, png.begin() + static_cast<long>(p) + 8),
                     std::vector<uint8_t>(png.begin() + static_cast<long>(p) + 8,
                                          png.begin() + static_cast<long>(p) + 8 + n));
    p += 12 + n;
  }
  return out;
}

const std::vector<uint8_t>* FindChunk(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks,
                                      const std::string& type) {
  for (const auto& c : chunks)
    if (c.first == type) return &c.second;
  return nullptr;
}

// Inserts a chunk right after IHDR; a wrong CRC on request.
std::vector<uint8_t> InsertChunk(const std::vector<uint8_t>& png, const std::string& type,
                                 const std::vector<uint8_t>& data, bool badCrc) {
  std::vector<uint8_t> chunk = {uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                                uint8_t(data.size())};
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), data.begin(), data.end());
  uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
  if (badCrc) crc ^= 1;
  for (int s = 24; s >= 0; s -= 8) chunk.push_back(static_cast<uint8_t>(crc >> s));
  std::vector<uint8_t> out = png;
  out.insert(out.begin() + 33, chunk.begin(), chunk.end());  // signature 8 + IHDR 25
  return out;
}

// A 2-bit grey file of any width written straight through libpng.
std::vector<uint8_t> MakeGrey2(int width, int height) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 2, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>((width + 3) / 4));
  for (int y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < width; ++x) row[static_cast<size_t>(x / 4)] |= static_cast<uint8_t>(((x + y) % 4) << (6 - 2 * (x % 4)));
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

using PngTest = fmttest::ScriptedBoxTest;

// ---------------------------------------------------------------- classes and guard

TEST_F(PngTest, ClassesSignatureAndVersionGuard) {
  TPNGFileFormatReader r;
  TPNGFileFormatWriter w;
  EXPECT_EQ(r.Extension, "png");
  EXPECT_EQ(r.Description, "Portable Network Graphics");
  EXPECT_TRUE(r.DetectsByContent);
  EXPECT_EQ(w.CanWriteResolutions, PGAllColorRes);
  EXPECT_STREQ(w.ClassName(), "TPNGFileFormatWriter");
  const uint8_t sig[17] = {137, 80, 78, 71, 13, 10, 26, 10};
  EXPECT_TRUE(r.IsFormat(sig));
  uint8_t bad[17] = {137, 80, 78, 71, 13, 10, 26, 11};
  EXPECT_FALSE(r.IsFormat(bad));

  EXPECT_TRUE(PGPNGLibraryMatches());
  EXPECT_TRUE(PGPNGLibraryMatches("1.6.39", 10640, "1.2.13", "1.3"));
  EXPECT_FALSE(PGPNGLibraryMatches("1.5.30", 10639, "1.2.13", "1.2.13"));
  EXPECT_FALSE(PGPNGLibraryMatches("1.6.39", 10700, "1.2.13", "1.2.13"));
  EXPECT_FALSE(PGPNGLibraryMatches("1.6.39", 10639, "1.2.13", "2.0.0"));
  EXPECT_FALSE(PGPNGLibraryMatches("garbage", 10639, "1.2.13", "1.2.13"));

  TPGFormatLists lists;
  RegisterPNGFormats(lists);
  EXPECT_EQ(lists.Readers.size(), 1u);
  EXPECT_EQ(lists.Writers.size(), 1u);
}

// ---------------------------------------------------------------- writer colour types

struct TWriteCase {
  uint8_t bitCount;
  TPaletteIdent ident;
  int depth, colorType, plteEntries;
};

TEST_F(PngTest, EveryResolutionRoundTripsExactly) {
  const TWriteCase cases[] = {
      {bc24Bit, pTrueColor, 8, 2, 0},    {bc8Bit, pGray256, 8, 0, 0},   {bc8Bit, pSpecial216, 8, 3, 216},
      {bc4Bit, pGray16, 4, 3, 16},       {bc4Bit, pSys16, 4, 3, 16},     {bc1Bit, pBlackWhite, 1, 3, 2},
      {bc8Bit, pSpecial252, 8, 3, 252},
  };
  for (const TWriteCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.ident));
    TPixelGraphic src;
    src.SetSize(37, 13, c.bitCount);  // odd width: padded rows, partial bytes
    src.SetPaletteIdent(c.ident);
    uint32_t seed = 7;
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 37; ++x) {
        seed = seed * 1664525u + 1013904223u;
        src.SetPixels(x, y, c.bitCount == bc24Bit ? (seed >> 8) & 0xFFFFFF : (seed >> 8) % std::max(1, c.plteEntries ? c.plteEntries : 256));
      }
    const std::vector<uint8_t> data = WritePng(src);
    EXPECT_EQ(data[24], c.depth);
    EXPECT_EQ(data[25], c.colorType);
    EXPECT_EQ(data[28], 0);  // not interlaced
    const auto chunks = Chunks(data);
    const std::vector<uint8_t>* plte = FindChunk(chunks, "PLTE");
    if (c.plteEntries) {
      ASSERT_NE(plte, nullptr);
      EXPECT_EQ(plte->size(), 3u * static_cast<size_t>(c.plteEntries));
      EXPECT_EQ((*plte)[3 * (c.plteEntries - 1)], GetRValue(src.PaletteColors(c.plteEntries - 1)));
    } else {
      EXPECT_EQ(plte, nullptr);
    }

    TPixelGraphic back;
    ReadPng(data, back);
    ASSERT_EQ(back.Width(), 37);
    ASSERT_EQ(back.Height(), 13);
    // A palette PNG of 4 or 1 bit comes back at its depth with the same palette.
    ASSERT_EQ(back.BitCount(), c.bitCount);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(back.Pixels(x, y), src.Pixels(x, y)) << x << "," << y;
    if (c.bitCount != bc24Bit) {
      ASSERT_EQ(back.PaletteCount(), src.PaletteCount());
      for (int i = 0; i < src.PaletteCount(); ++i) EXPECT_EQ(back.PaletteColors(i), src.PaletteColors(i));
    }
  }
}

TEST_F(PngTest, GammaChunkIsTheInverseImageGamma) {
  TPixelGraphic src;
  src.SetSize(4, 4, bc24Bit);
  auto chunks = Chunks(WritePng(src));
  const std::vector<uint8_t>* gama = FindChunk(chunks, "gAMA");
  ASSERT_NE(gama, nullptr);
  EXPECT_EQ(BE32(gama->data()), 55556u);  // 1 / 1.8

  src.SetGamma(2.2L);
  chunks = Chunks(WritePng(src));
  EXPECT_EQ(BE32(FindChunk(chunks, "gAMA")->data()), 45455u);

  // Only the header, the pixels and the end: no other chunk.
  PGPNGWriteGamma = false;
  chunks = Chunks(WritePng(src));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].first, "IHDR");
  EXPECT_EQ(chunks[1].first, "IDAT");
  EXPECT_EQ(chunks[2].first, "IEND");
}

TEST_F(PngTest, ReaderTakesTheFileGamma) {
  TPixelGraphic g;
  ReadPng(ReadFileBytes(kSuite + "ftbbn0g02.png"), g);  // gAMA 0.45455
  EXPECT_NEAR(static_cast<double>(g.Gamma()), 2.2, 1e-4);
  ReadPng(ReadFileBytes(kSuite + "ibasn0g08.png"), g);  // no gAMA
  EXPECT_EQ(g.Gamma(), PGDefaultGamma);
  ReadPng(ReadFileBytes(kSuite + "basn0g08.png"), g);  // gAMA 1.0
  EXPECT_NEAR(static_cast<double>(g.Gamma()), 1.0, 1e-9);
}

TEST_F(PngTest, WriterFailuresAndProgress) {
  TPixelGraphic empty;
  EXPECT_EQ(PngError([&] { WritePng(empty); }), "PNG: Invalid IHDR data");

  TPixelGraphic src;
  src.SetSize(9, 6, bc24Bit);
  TPNGFileFormatWriter writer;
  int starts = 0, ends = 0;
  std::vector<int> steps;
  src.OnProgressStart = [&](TObject* s) {
    EXPECT_EQ(s, &writer);
    ++starts;
  };
  src.OnProgressEnd = [&](TObject*) { ++ends; };
  src.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(max, 5);
    steps.push_back(step);
    abort = true;  // the writer writes every row anyway
  };
  TMemoryStream out;
  writer.WriteGraphic(out, src);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  TPixelGraphic back;
  ReadPng(out.Data(), back);
  EXPECT_EQ(back.Height(), 6);

  struct TFullStream : TMemoryStream {
    int64_t Write(const void* buffer, int64_t count) override {
      return TMemoryStream::Write(buffer, std::min<int64_t>(count, 10));
    }
  } full;
  ends = 0;
  EXPECT_EQ(PngError([&] { writer.WriteGraphic(full, src); }), "PNG: Write Error");
}

// ---------------------------------------------------------------- reader storage

TEST_F(PngTest, TwoBitGreyUnpacksToFourBitForAnyWidth) {
  for (int width : {1, 2, 3, 5, 7, 8, 9, 33}) {
    SCOPED_TRACE(width);
    TPixelGraphic g;
    ReadPng(MakeGrey2(width, 3), g);
    ASSERT_EQ(g.BitCount(), bc4Bit);
    EXPECT_EQ(g.PaletteIdent(), pGray4);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < width; ++x) ASSERT_EQ(g.Pixels(x, y), static_cast<uint32_t>((x + y) % 4)) << x << "," << y;
    // The padding nibble of an odd row stays clear.
    if (width % 2) {
      EXPECT_EQ(g.ScanLine(0)[width / 2] & 0x0F, 0);
    }
  }
}

TEST_F(PngTest, SixteenBitFilesLoadAtEightBits) {
  TPixelGraphic g;
  ReadPng(ReadFileBytes(kSuite + "basn2c16.png"), g);
  EXPECT_EQ(g.BitCount(), bc24Bit);
  ReadPng(ReadFileBytes(kSuite + "basn0g16.png"), g);
  EXPECT_EQ(g.BitCount(), bc8Bit);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
}

TEST_F(PngTest, TransparencyFlattensOntoFileOrImageBackground) {
  // ftbrn2c08: RGB with a transparent colour and a red bKGD; pixel (0,0) is transparent.
  const std::vector<uint8_t> data = ReadFileBytes(kSuite + "ftbrn2c08.png");
  TPixelGraphic g;
  g.SetBackGroundColor(RGBColor(1, 2, 3));
  ReadPng(data, g);
  EXPECT_EQ(g.PixelColors(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(g.BackGroundColor(), RGBColor(255, 0, 0));

  PGPNGUseFileBackground = false;
  g.SetSize(0, 0, bc24Bit);
  g.SetBackGroundColor(RGBColor(1, 2, 3));
  ReadPng(data, g);
  EXPECT_EQ(g.PixelColors(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(g.BackGroundColor(), RGBColor(1, 2, 3));

  // A 16-bit grey file with a white bKGD: the image background becomes white.
  PGPNGUseFileBackground = true;
  g.SetSize(0, 0, bc24Bit);
  g.SetBackGroundColor(0);
  ReadPng(ReadFileBytes(kSuite + "ftbwn0g16.png"), g);
  EXPECT_EQ(g.BackGroundColorValue(), RGBColor(255, 255, 255));
}

// ---------------------------------------------------------------- file information

TEST_F(PngTest, InfoTexts) {
  TPGFileInfo info = InfoOf(ReadFileBytes(kSuite + "basn6a08.png"));
  EXPECT_EQ(info.DetailsText, "RGB, alpha");
  EXPECT_EQ(info.BitsPerPixel, 32);
  EXPECT_EQ(info.ColorsText, "16.7M?");
  EXPECT_EQ(info.KindText, "(gama)");
  EXPECT_EQ(info.Width, 32);
  EXPECT_EQ(info.Height, 32);
  EXPECT_EQ(info.ImageCount, 1);

  info = InfoOf(ReadFileBytes(kSuite + "ibasn0g08.png"));
  EXPECT_EQ(info.DetailsText, "GrayScale, interlaced");
  EXPECT_EQ(info.ColorsText, "256");
  EXPECT_EQ(info.KindText, "");

  info = InfoOf(ReadFileBytes(kSuite + "ftbbn3p08.png"));
  EXPECT_EQ(info.DetailsText, "palette");
  EXPECT_EQ(info.KindText, "(gama, plte, trns, bkgd)");
  EXPECT_EQ(info.BitsPerPixel, 8);

  info = InfoOf(ReadFileBytes(kSuite + "basn3p02.png"));
  EXPECT_EQ(info.KindText, "(gama, sbit, plte)");
  EXPECT_EQ(info.ColorsText, "4");

  const char* const colours[][2] = {{"basn0g01", "2"},  {"basn0g04", "16"},    {"basn0g16", "64K?"},
                                    {"basn2c08", "16.7M"}, {"basn4a08", "64K?"}, {"basn2c16", "?"}};
  for (const auto& c : colours) EXPECT_EQ(InfoOf(ReadFileBytes(kSuite + c[0] + ".png")).ColorsText, c[1]) << c[0];
  EXPECT_EQ(InfoOf(ReadFileBytes(kSuite + "basn4a16.png")).DetailsText, "GrayScale, alpha");

  EXPECT_EQ(PngError([&] {
              const std::vector<uint8_t> d = ReadFileBytes(kSuite + "basn0g01.png");
              TReadOnlyMemoryStream in(d.data(), static_cast<int64_t>(d.size()));
              TPGFileInfo i;
              TPNGFileFormatReader().GetInfo(in, 1, i);
            }),
            "PNG: Invalid value for Index");
}

// ---------------------------------------------------------------- progress

TEST_F(PngTest, InterlacedProgressCountsEveryPass) {
  const std::vector<uint8_t> data = ReadFileBytes(kSuite + "ibasn2c08.png");
  TPNGFileFormatReader reader;
  TPixelGraphic g;
  int starts = 0, ends = 0, abortAt = -1;
  std::vector<int> steps;
  g.OnProgressStart = [&](TObject* s) {
    EXPECT_EQ(s, &reader);
    ++starts;
  };
  g.OnProgressEnd = [&](TObject* s) {
    EXPECT_EQ(s, &reader);
    ++ends;
  };
  g.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(max, 32 * 7);
    steps.push_back(step);
    if (step == abortAt) abort = true;
  };
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  reader.ReadGraphic(in, g, 0);
  ASSERT_EQ(steps.size(), 32u * 7u);
  for (size_t i = 0; i < steps.size(); ++i) ASSERT_EQ(steps[i], static_cast<int>(i));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);

  // Abort is no error: the loops stop and the progress ends.
  steps.clear();
  abortAt = 32 * 2 + 5;
  TReadOnlyMemoryStream in2(data.data(), static_cast<int64_t>(data.size()));
  EXPECT_NO_THROW(reader.ReadGraphic(in2, g, 0));
  EXPECT_EQ(steps.size(), static_cast<size_t>(abortAt + 1));
  EXPECT_EQ(ends, 2);

  // A plain file reports Max = height.
  const std::vector<uint8_t> plain = ReadFileBytes(kSuite + "basn2c08.png");
  steps.clear();
  abortAt = -1;
  g.OnProgressStart = nullptr;
  g.OnProgressEnd = nullptr;
  g.OnProgress = [&](TObject*, int step, int max, bool&) {
    EXPECT_EQ(max, 32);
    steps.push_back(step);
  };
  ReadPng(plain, g);
  EXPECT_EQ(steps.size(), 32u);
  EXPECT_EQ(steps.back(), 31);
}

// ---------------------------------------------------------------- warnings and failures

TEST_F(PngTest, WarningsFollowTheAction) {
  // An ancillary chunk with a bad CRC is a warning, not an error.
  const std::vector<uint8_t> data =
      InsertChunk(ReadFileBytes(kSuite + "basn0g08.png"), "tEXt", {'a', 0, 'b'}, true);
  TPixelGraphic g;
  ExpectWarningActions<EPGPNGFileFormatReaderWriter>(g, [&] { ReadPng(data, g); }, "PNG", "tEXt: CRC error", 32);
  // File information always raises warnings.
  EXPECT_EQ(PngError([&] { InfoOf(data); }), "PNG: tEXt: CRC error");

  MessageLanguage = 1;
  g.SetReadWarningAction(pgwaOKCancelBox);
  Answer = platform::mrCancel;
  EXPECT_EQ(PngError([&] { ReadPng(data, g); }), "PNG: Vorgang auf Anwender-Wunsch abgebrochen");
  EXPECT_EQ(Calls.back().caption, "PNG Warnung");
}

TEST_F(PngTest, ReaderFailureMessages) {
  TPixelGraphic g;
  const std::vector<uint8_t> good = ReadFileBytes(kSuite + "basn2c08.png");
  EXPECT_EQ(PngError([&] {
              TReadOnlyMemoryStream in(good.data(), static_cast<int64_t>(good.size()));
              TPNGFileFormatReader().ReadGraphic(in, g, 1);
            }),
            "PNG: Index invalid");
  EXPECT_EQ(PngError([&] { ReadPng({'B', 'M', 1, 2, 3, 4, 5, 6, 7}, g); }), "PNG: Not a PNG file");
  EXPECT_EQ(PngError([&] { ReadPng({}, g); }), "PNG: Read Error");
  std::vector<uint8_t> cut(good.begin(), good.begin() + 100);
  EXPECT_EQ(PngError([&] { ReadPng(cut, g); }), "PNG: Read Error");
  EXPECT_EQ(g.Width(), 32);  // left as far as reading got
  std::vector<uint8_t> crc = good;
  crc[crc.size() - 13] ^= 0x40;  // the CRC of the last image data chunk
  EXPECT_EQ(PngError([&] { ReadPng(crc, g); }), "PNG: IDAT: CRC error");
  std::vector<uint8_t> data = good;
  data[data.size() - 20] ^= 0x40;  // the compressed data's own checksum
  EXPECT_EQ(PngError([&] { ReadPng(data, g); }), "PNG: IDAT: incorrect data check");
}

TEST_F(PngTest, StreamExceptionsPassThrough) {
  struct TFailingStream : TReadOnlyMemoryStream {
    using TReadOnlyMemoryStream::TReadOnlyMemoryStream;
    int64_t Read(void* buffer, int64_t count) override {
      if (Position() > 60) throw EReadError();
      return TReadOnlyMemoryStream::Read(buffer, count);
    }
  };
  const std::vector<uint8_t> good = ReadFileBytes(kSuite + "basn2c08.png");
  TFailingStream in(good.data(), static_cast<int64_t>(good.size()));
  TPixelGraphic g;
  int ends = 0;
  g.OnProgressEnd = [&](TObject*) { ++ends; };
  EXPECT_THROW(TPNGFileFormatReader().ReadGraphic(in, g, 0), EReadError);
  EXPECT_EQ(ends, 1);
}

TEST_F(PngTest, DamagedFilesFailCleanly) {
  for (const char* file : {"basn2c08", "ibasn0g02", "basn3p04", "ftbrn2c08", "basn6a16"}) {
    const std::vector<uint8_t> data = ReadFileBytes(kSuite + file + ".png");
    SCOPED_TRACE(file);
    // The signature stays whole; only the chunks are damaged.
    fmttest::ReadDamagedVariants<TPNGFileFormatReader, EPGPNGFileFormatReaderWriter>(
        fmttest::DamagedVariants(data, 29, 99, 120, 3, 8), "PNG: ");
  }
}

} // namespace

// ---------------------------------------------------------------- through the registry

#include "pgraphic/formats/registry.h"

namespace {

TEST_F(PngTest, FileGammaIsCorrectedAfterLoading) {
  // 2-bit grey with gAMA 0.45455: image gamma 2.2, remapped by 2.2 / 1.8.
  const std::vector<uint8_t> data = ReadFileBytes(kSuite + "ftbbn0g02.png");
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  TPixelGraphic g;
  g.LoadFromStream(in);
  EXPECT_NEAR(static_cast<double>(g.Gamma()), 1.8, 1e-12);
  ASSERT_EQ(g.BitCount(), bc4Bit);
  uint8_t table[256];
  PGBuildGammaTable(2.2L / 1.8L, table);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g.PaletteColors(i), RGBColor(table[85 * i], table[85 * i], table[85 * i]));
  EXPECT_NE(table[85], 85);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);

  // A 24-bit picture saved with gamma 2.2 comes back remapped; with gamma 1.85
  // (within 5 % of 1.8) it comes back untouched.
  TPixelGraphic src;
  src.SetSize(16, 16, bc24Bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) src.SetPixels(x, y, RGBColor(x * 16, y * 16, (x * y) & 0xFF));
  for (long double gamma : {2.2L, 1.85L}) {
    SCOPED_TRACE(static_cast<double>(gamma));
    src.SetGamma(gamma);
    TMemoryStream file;
    src.SaveStreamAs(file, "png");
    file.SetPosition(0);
    TPixelGraphic back;
    back.LoadStreamAs(file, "", 0);
    // Corrected images end at the default gamma; an unmapped one keeps its own.
    EXPECT_NEAR(static_cast<double>(back.Gamma()), gamma > 2 ? 1.8 : 1.85, 1e-5);
    // The file holds 1/gamma rounded to 5 digits; the table follows the read gamma.
    PGBuildGammaTable(gamma > 2 ? (1.0L / 0.45455L) / 1.8L : 1.0L, table);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const TColorRef c = src.Pixels(x, y);
        ASSERT_EQ(back.Pixels(x, y), RGBColor(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
      }
  }
}

TEST_F(PngTest, RegistryReadsAndWritesPng) {
  const std::vector<uint8_t> data = ReadFileBytes(kSuite + "ibasn3p04.png");
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  std::string description;
  TPGFileInfo info;
  ASSERT_TRUE(GetStreamInfo(in, "", 0, description, info));
  EXPECT_EQ(description, "Portable Network Graphics");
  EXPECT_EQ(info.DetailsText, "palette, interlaced");
  EXPECT_EQ(info.KindText, "(plte)");
  EXPECT_EQ(in.Position(), 0);

  // A black-and-white image is stored as a 1-bit palette file with two entries.
  TPixelGraphic bw;
  bw.SetSize(10, 3, bc1Bit);
  bw.SetPaletteIdent(pBlackWhite);
  bw.SetPixels(3, 1, 1);
  TMemoryStream out;
  bw.SaveStreamAs(out, "PNG");
  const auto chunks = Chunks(out.Data());
  EXPECT_EQ(out.Data()[24], 1);
  EXPECT_EQ(out.Data()[25], 3);
  EXPECT_EQ(FindChunk(chunks, "PLTE")->size(), 6u);
  out.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(out);
  EXPECT_EQ(back.PaletteIdent(), pBlackWhite);
  EXPECT_EQ(back.Pixels(3, 1), 1u);
  EXPECT_EQ(back.Pixels(4, 1), 0u);
}

} // namespace
