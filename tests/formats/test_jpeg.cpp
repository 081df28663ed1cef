#include <gtest/gtest.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"
#include "format_test_util.h"

namespace {

const std::string kJpegData = std::string(ZWILLO_TEST_DATA) + "/jpeg/";

using fmttest::ReadFileBytes;

// A smooth colour test picture with a little texture.
void FillPattern(TPixelGraphic& g, int w, int h) {
  g.SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixels(x, y, RGBColor(40 + x * 150 / w, 30 + y * 180 / h, 200 - (x + y) * 120 / (w + h) + ((x * y) & 3)));
}

void MakeGrey(TPixelGraphic& g, int w, int h) {
  g.SetSize(w, h, bc8Bit);
  g.SetPaletteIdent(pGray256);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g.SetPixels(x, y, static_cast<uint32_t>((x * 255 / w + y) & 0xFF));
}

std::vector<uint8_t> WriteJpeg(TPixelGraphic& g) { return fmttest::WriteToMemory<TJPGFileFormatWriter>(g); }
void ReadJpeg(const std::vector<uint8_t>& data, TPixelGraphic& g) { fmttest::ReadFromMemory<TJPGFileFormatReader>(data, g); }
TPGFileInfo InfoOf(const std::vector<uint8_t>& data) { return fmttest::InfoFromMemory<TJPGFileFormatReader>(data); }

// The message of the JPEG exception that fn raises ("" when it raises none).
template <class F>
std::string JpegError(F&& fn) {
  return fmttest::ErrorMessage<EPGJPGFileFormatReaderWriter>(fn);
}

// Decodes a file straight through libjpeg (RGB order, one row at a time) for
// comparison with the reader.
struct TRefError {
  jpeg_error_mgr pub;
  jmp_buf jump;
};
extern "C" void RefErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TRefError*>(cinfo->err)->jump, 1); }

bool ReferenceDecode(const std::vector<uint8_t>& data, J_DCT_METHOD method, std::vector<uint8_t>& pixels, int& w,
                     int& h, int& components) {
  jpeg_decompress_struct cinfo;
  TRefError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = RefErrorExit;
  err.pub.emit_message = [](j_common_ptr, int) {};
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = method;
  jpeg_start_decompress(&cinfo);
  w = static_cast<int>(cinfo.output_width);
  h = static_cast<int>(cinfo.output_height);
  components = cinfo.output_components;
  pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(components), 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.output_scanline) * static_cast<size_t>(w) *
                                       static_cast<size_t>(components);
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

// Every stored pixel equals libjpeg's own output for the same DCT method.
void ExpectSameAsLibrary(const std::vector<uint8_t>& data, const TPixelGraphic& g, J_DCT_METHOD method) {
  std::vector<uint8_t> ref;
  int w = 0, h = 0, c = 0;
  ASSERT_TRUE(ReferenceDecode(data, method, ref, w, h, c));
  ASSERT_EQ(g.Width(), w);
  ASSERT_EQ(g.Height(), h);
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = g.ScanLine(y);
    const uint8_t* r = ref.data() + static_cast<size_t>(y) * static_cast<size_t>(w) * static_cast<size_t>(c);
    for (int x = 0; x < w; ++x) {
      if (c == 1) {
        ASSERT_EQ(row[x], r[x]) << x << "," << y;
      } else {
        ASSERT_EQ(row[3 * x + 0], r[3 * x + 2]) << "blue at " << x << "," << y;
        ASSERT_EQ(row[3 * x + 1], r[3 * x + 1]) << "green at " << x << "," << y;
        ASSERT_EQ(row[3 * x + 2], r[3 * x + 0]) << "red at " << x << "," << y;
      }
    }
  }
}

using JpegTest = fmttest::ScriptedBoxTest;

// ---------------------------------------------------------------- classes

TEST_F(JpegTest, ClassesCarryTheirExtensionsAndListing) {
  TJPGFileFormatReader jpg;
  TJPEGFileFormatReader jpeg;
  TJIFFileFormatReader jif;
  EXPECT_EQ(jpg.Extension, "jpg");
  EXPECT_EQ(jpeg.Extension, "jpeg");
  EXPECT_EQ(jif.Extension, "jif");
  EXPECT_EQ(jif.Description, "JPEG (JFIF compliant)");
  EXPECT_TRUE(jpeg.DetectsByContent);
  EXPECT_STREQ(jif.ClassName(), "TJIFFileFormatReader");

  TJPGFileFormatWriter wjpg;
  TJPEGFileFormatWriter wjpeg;
  TJIFFileFormatWriter wjif;
  EXPECT_TRUE(wjpg.ListedInFilter);
  EXPECT_FALSE(wjpeg.ListedInFilter);
  EXPECT_FALSE(wjif.ListedInFilter);
  EXPECT_EQ(wjif.CanWriteResolutions, (1u << 5) | (1u << 7));
  EXPECT_STREQ(wjpeg.ClassName(), "TJPEGFileFormatWriter");

  TPGFormatLists lists;
  RegisterJPEGFormats(lists);
  EXPECT_EQ(lists.Readers.size(), 3u);
  EXPECT_EQ(lists.Writers.size(), 3u);
}

TEST_F(JpegTest, SignatureIsStartOfImageMarker) {
  TJPGFileFormatReader r;
  uint8_t h[17] = {0xFF, 0xD8, 0xFF, 0xE0};
  EXPECT_TRUE(r.IsFormat(h));
  h[1] = 0xD9;
  EXPECT_FALSE(r.IsFormat(h));
  h[0] = 0xFE;
  h[1] = 0xD8;
  EXPECT_FALSE(r.IsFormat(h));
}

TEST_F(JpegTest, LibraryVersionGuard) {
  EXPECT_TRUE(PGJPEGLibraryMatches());
  EXPECT_TRUE(PGJPEGLibraryMatches(JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct)));
  EXPECT_FALSE(PGJPEGLibraryMatches(JPEG_LIB_VERSION + 1, sizeof(jpeg_decompress_struct)));
  EXPECT_FALSE(PGJPEGLibraryMatches(80, sizeof(jpeg_decompress_struct)));
  EXPECT_FALSE(PGJPEGLibraryMatches(JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct) + 8));
}

// ---------------------------------------------------------------- round trips

TEST_F(JpegTest, ColourRoundTripKeepsBlueGreenRedOrder) {
  TPixelGraphic src;
  FillPattern(src, 97, 61);  // odd sizes: partial blocks and padded rows
  PGJPEGQuality = 95;
  const std::vector<uint8_t> data = WriteJpeg(src);
  TPixelGraphic back;
  ReadJpeg(data, back);
  ASSERT_EQ(back.Width(), 97);
  ASSERT_EQ(back.Height(), 61);
  ASSERT_EQ(back.BitCount(), bc24Bit);
  int64_t total = 0;
  int worst = 0;
  for (int y = 0; y < 61; ++y)
    for (int x = 0; x < 97; ++x) {
      const TColorRef a = src.Pixels(x, y), b = back.Pixels(x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        total += d;
        worst = std::max(worst, d);
      }
    }
  EXPECT_LT(static_cast<double>(total) / (97 * 61 * 3), 2.0);
  EXPECT_LE(worst, 16);
  EXPECT_EQ(back.Gamma(), PGDefaultGamma);
}

TEST_F(JpegTest, PureColoursKeepTheirChannels) {
  TPixelGraphic src;
  src.SetSize(32, 16, bc24Bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) src.SetPixels(x, y, x < 16 ? RGBColor(250, 0, 0) : RGBColor(0, 0, 250));
  TPixelGraphic back;
  ReadJpeg(WriteJpeg(src), back);
  EXPECT_GT(GetRValue(back.Pixels(4, 8)), 200u);
  EXPECT_LT(GetBValue(back.Pixels(4, 8)), 40u);
  EXPECT_GT(GetBValue(back.Pixels(28, 8)), 200u);
  EXPECT_LT(GetRValue(back.Pixels(28, 8)), 40u);
}

TEST_F(JpegTest, GreyRoundTripWritesOneComponent) {
  TPixelGraphic src;
  MakeGrey(src, 50, 21);
  PGJPEGQuality = 95;
  const std::vector<uint8_t> data = WriteJpeg(src);
  const TPGFileInfo info = InfoOf(data);
  EXPECT_EQ(info.DetailsText, "JFIF, GrayScale");
  EXPECT_EQ(info.ColorsText, "256");
  EXPECT_EQ(info.BitsPerPixel, 8);
  TPixelGraphic back;
  ReadJpeg(data, back);
  ASSERT_EQ(back.BitCount(), bc8Bit);
  EXPECT_EQ(back.PaletteIdent(), pGray256);
  EXPECT_EQ(back.PaletteCount(), 256);
  int worst = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 50; ++x)
      worst = std::max(worst, std::abs(static_cast<int>(src.Pixels(x, y)) - static_cast<int>(back.Pixels(x, y))));
  EXPECT_LE(worst, 8);
}

TEST_F(JpegTest, QualityProgressiveAndDCTSettingsReachTheFile) {
  TPixelGraphic src;
  FillPattern(src, 80, 64);
  PGJPEGQuality = 20;
  const size_t small = WriteJpeg(src).size();
  PGJPEGQuality = 98;
  const std::vector<uint8_t> large = WriteJpeg(src);
  EXPECT_LT(small, large.size());
  EXPECT_EQ(InfoOf(large).DetailsText, "JFIF, YCbCr");

  PGJPEGProgressive = true;
  const std::vector<uint8_t> progressive = WriteJpeg(src);
  EXPECT_EQ(InfoOf(progressive).DetailsText, "JFIF, YCbCr, Progressive");

  // Quality 98 with baseline forced keeps every quantiser within 8 bits; the
  // integer and float DCTs give (slightly) different files.
  PGJPEGProgressive = false;
  PGJPEGWriteDCTMethod = 0;
  EXPECT_NE(WriteJpeg(src), large);
}

TEST_F(JpegTest, WriterRefusesOtherResolutions) {
  TPixelGraphic g;
  g.SetSize(8, 8, bc4Bit);
  g.SetPaletteIdent(pSys16);
  EXPECT_EQ(JpegError([&] { WriteJpeg(g); }), "JPG: Invalid value for BitCount");
  g.SetSize(8, 8, bc8Bit);
  g.SetPaletteIdent(pSpecial216);
  EXPECT_EQ(JpegError([&] { WriteJpeg(g); }), "JPG: Invalid value for BitCount");
  // An 8-bit image whose palette is the 256 greys is recognised by detection.
  g.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) g.SetPaletteColor(i, RGBColor(i, i, i));
  EXPECT_EQ(JpegError([&] { WriteJpeg(g); }), "");
}

TEST_F(JpegTest, EmptyImageIsALibraryError) {
  TPixelGraphic g;
  EXPECT_EQ(JpegError([&] { WriteJpeg(g); }).rfind("JPG: Empty JPEG image", 0), 0u);
}

// ---------------------------------------------------------------- exact pixels

TEST_F(JpegTest, PixelsAreTheLibrarysForEachDCTMethod) {
  for (const char* file : {"colour.jpg", "grey.jpg", "progressive.jpg"}) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> data = ReadFileBytes(kJpegData + file);
    TPixelGraphic g;
    ReadJpeg(data, g);
    ExpectSameAsLibrary(data, g, JDCT_ISLOW);

    g.SetFastLoad(true);
    ReadJpeg(data, g);
    ExpectSameAsLibrary(data, g, JDCT_IFAST);

    g.SetFastLoad(false);
    PGJPEGReadDCTMethod = 2;
    ReadJpeg(data, g);
    ExpectSameAsLibrary(data, g, JDCT_FLOAT);
    PGJPEGReadDCTMethod = 0;
  }
}

// ---------------------------------------------------------------- file information

TEST_F(JpegTest, InfoTexts) {
  TPGFileInfo info = InfoOf(ReadFileBytes(kJpegData + "grey.jpg"));
  EXPECT_EQ(info.DetailsText, "JFIF, GrayScale");
  EXPECT_EQ(info.ColorsText, "256");
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.Width, 64);
  EXPECT_EQ(info.Height, 48);
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(info.KindText, "");

  info = InfoOf(ReadFileBytes(kJpegData + "progressive.jpg"));
  EXPECT_EQ(info.DetailsText, "JFIF, YCbCr, Progressive");
  EXPECT_EQ(info.ColorsText, "16.7M");
  EXPECT_EQ(info.BitsPerPixel, 24);

  info = InfoOf(ReadFileBytes(kJpegData + "cmyk.jpg"));
  EXPECT_EQ(info.DetailsText, "Adope, CMYK");
  EXPECT_EQ(info.ColorsText, "4294.9M");
  EXPECT_EQ(info.BitsPerPixel, 32);
  EXPECT_EQ(info.Width, 64);

  info = InfoOf(ReadFileBytes(kJpegData + "ycck.jpg"));
  EXPECT_EQ(info.DetailsText, "Adope, YCbCrK");
  EXPECT_EQ(info.ColorsText, "4294.9M");
}

TEST_F(JpegTest, InfoRaisesOnWarningsAndBadIndex) {
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "colour.jpg");
  EXPECT_EQ(JpegError([&] {
              TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
              TPGFileInfo info;
              TJPGFileFormatReader().GetInfo(in, 1, info);
            }),
            "JPG: Invalid value for Index");
  // Stray bytes before a marker are a warning; file information raises it.
  std::vector<uint8_t> bad = data;
  bad.insert(bad.begin() + 2, {0x00, 0x00});
  EXPECT_EQ(JpegError([&] { InfoOf(bad); }), "JPG: Corrupt JPEG data: 2 extraneous bytes before marker 0xe0");
  EXPECT_TRUE(Calls.empty());
}

// ---------------------------------------------------------------- failures

TEST_F(JpegTest, ReaderFailureMessages) {
  TPixelGraphic g;
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "colour.jpg");
  EXPECT_EQ(JpegError([&] {
              TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
              TJPGFileFormatReader().ReadGraphic(in, g, 1);
            }),
            "JPG: Index invalid");
  EXPECT_EQ(JpegError([&] { ReadJpeg(ReadFileBytes(kJpegData + "cmyk.jpg"), g); }), "JPG: Not supported subformat");
  EXPECT_EQ(JpegError([&] { ReadJpeg(ReadFileBytes(kJpegData + "ycck.jpg"), g); }), "JPG: Not supported subformat");
  EXPECT_EQ(JpegError([&] { ReadJpeg({}, g); }), "JPG: Empty input file");
  EXPECT_EQ(JpegError([&] { ReadJpeg({'B', 'M', 0, 0}, g); }), "JPG: Not a JPEG file: starts with 0x42 0x4d");

  MessageLanguage = 1;
  EXPECT_EQ(JpegError([&] { ReadJpeg(ReadFileBytes(kJpegData + "cmyk.jpg"), g); }),
            "JPG: Nicht unterstütztes Unterformat");
}

TEST_F(JpegTest, OversizedImageIsRefusedBeforeDecoding) {
  const int64_t old = PGMaxImageBytes;
  PGMaxImageBytes = 1000;
  TPixelGraphic g;
  EXPECT_THROW(ReadJpeg(ReadFileBytes(kJpegData + "progressive.jpg"), g), EPixelGraphic);
  PGMaxImageBytes = old;
  EXPECT_TRUE(g.Empty());
}

// ---------------------------------------------------------------- warnings

TEST_F(JpegTest, TruncatedFileWarnsOnceByAction) {
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "truncated.jpg");
  TPixelGraphic g;
  ExpectWarningActions<EPGJPGFileFormatReaderWriter>(g, [&] { ReadJpeg(data, g); }, "JPG",
                                                     "Premature end of JPEG file", 64);

  MessageLanguage = 1;
  g.SetReadWarningAction(pgwaOKCancelBox);
  Answer = platform::mrCancel;
  EXPECT_EQ(JpegError([&] { ReadJpeg(data, g); }), "JPG: Vorgang auf Anwender-Wunsch abgebrochen");
  EXPECT_EQ(Calls.back().caption, "JPG Warnung");
  // The library's own messages in the program's language, parameters filled.
  EXPECT_EQ(Calls.back().text, "Vorzeitiges Ende der JPEG-Datei");
  EXPECT_EQ(JpegError([&] { ReadJpeg({'B', 'M', 0, 0}, g); }), "JPG: Keine JPEG-Datei: beginnt mit 0x42 0x4d");
}

TEST_F(JpegTest, ExceptionsOfHooksAndStreamsPassThrough) {
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "truncated.jpg");
  TPixelGraphic g;
  platform::SetMessageBoxHook([](const std::string&, const std::string&, platform::TMsgButtons,
                                 platform::TMsgIcon) -> int { throw std::runtime_error("box failed"); });
  EXPECT_THROW(ReadJpeg(data, g), std::runtime_error);

  struct TFailingStream : TReadOnlyMemoryStream {
    using TReadOnlyMemoryStream::TReadOnlyMemoryStream;
    int64_t Read(void* buffer, int64_t count) override {
      if (Position() > 0) throw EReadError();
      return TReadOnlyMemoryStream::Read(buffer, std::min<int64_t>(count, 200));
    }
  };
  const std::vector<uint8_t> good = ReadFileBytes(kJpegData + "colour.jpg");
  TFailingStream in(good.data(), static_cast<int64_t>(good.size()));
  EXPECT_THROW(TJPGFileFormatReader().ReadGraphic(in, g, 0), EReadError);

  struct TFullStream : TMemoryStream {
    int64_t Write(const void* buffer, int64_t count) override {
      return TMemoryStream::Write(buffer, std::min<int64_t>(count, 100));
    }
  } full;
  TPixelGraphic src;
  FillPattern(src, 64, 64);
  int ends = 0;
  src.OnProgressEnd = [&](TObject*) { ++ends; };
  EXPECT_EQ(JpegError([&] { TJPGFileFormatWriter().WriteGraphic(full, src); }),
            "JPG: Output file write error --- out of disk space?");
  EXPECT_EQ(ends, 1);
}

// ---------------------------------------------------------------- progress

TEST_F(JpegTest, ReadProgressAndAbort) {
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "colour.jpg");
  TJPGFileFormatReader reader;
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
  g.OnProgress = [&](TObject* s, int step, int max, bool& abort) {
    EXPECT_EQ(s, &reader);
    EXPECT_EQ(max, 48);
    steps.push_back(step);
    if (step == abortAt) abort = true;
  };
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  reader.ReadGraphic(in, g, 0);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  ASSERT_EQ(steps.size(), 48u);
  for (int i = 0; i < 48; ++i) EXPECT_EQ(steps[static_cast<size_t>(i)], i + 1);

  steps.clear();
  abortAt = 10;
  TReadOnlyMemoryStream in2(data.data(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(JpegError([&] { reader.ReadGraphic(in2, g, 0); }), "JPG: Application transferred too few scanlines");
  EXPECT_EQ(steps.size(), 10u);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(g.Width(), 64);  // left as far as reading got
  // The rows it did not reach are black, not those of the picture before.
  EXPECT_NE(g.PixelColors(5, 5), 0u);
  for (int y = 10; y < 48; ++y) EXPECT_EQ(g.PixelColors(y, y), 0u) << y;

  // A failure inside the row loop still ends the progress.
  steps.clear();
  abortAt = -1;
  g.SetReadWarningAction(pgwaRaise);
  const std::vector<uint8_t> cut = ReadFileBytes(kJpegData + "truncated.jpg");
  TReadOnlyMemoryStream in3(cut.data(), static_cast<int64_t>(cut.size()));
  EXPECT_NE(JpegError([&] { reader.ReadGraphic(in3, g, 0); }), "");
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(ends, 3);
}

TEST_F(JpegTest, WriteProgressIgnoresAbort) {
  TPixelGraphic src;
  FillPattern(src, 40, 30);
  TJPGFileFormatWriter writer;
  int starts = 0, ends = 0;
  std::vector<int> steps;
  src.OnProgressStart = [&](TObject* s) {
    EXPECT_EQ(s, &writer);
    ++starts;
  };
  src.OnProgressEnd = [&](TObject*) { ++ends; };
  src.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_EQ(max, 30);
    steps.push_back(step);
    abort = true;
  };
  TMemoryStream out;
  writer.WriteGraphic(out, src);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  ASSERT_EQ(steps.size(), 30u);
  EXPECT_EQ(steps.front(), 1);
  EXPECT_EQ(steps.back(), 30);
  TPixelGraphic back;
  ReadJpeg(out.Data(), back);
  EXPECT_EQ(back.Height(), 30);
}

// ---------------------------------------------------------------- damaged files

// Cut and byte-flipped files end in the format's exception or a partial
// image, with every warning action; never in a crash.
TEST_F(JpegTest, DamagedFilesFailCleanly) {
  for (const char* file : {"colour.jpg", "progressive.jpg", "grey.jpg"}) {
    const std::vector<uint8_t> data = ReadFileBytes(kJpegData + file);
    SCOPED_TRACE(file);
    fmttest::ReadDamagedVariants<TJPGFileFormatReader, EPGJPGFileFormatReaderWriter>(
        fmttest::DamagedVariants(data, 37, 12345, 150, 4), "JPG: ");
  }
}

} // namespace

// ---------------------------------------------------------------- through the registry

#include "pgraphic/formats/registry.h"

namespace {

TEST_F(JpegTest, RegistryDetectsAndConvertsForJpeg) {
  const std::vector<uint8_t> data = ReadFileBytes(kJpegData + "progressive.jpg");
  TReadOnlyMemoryStream in(data.data(), static_cast<int64_t>(data.size()));
  TPixelGraphic g;
  g.LoadStreamAs(in, "tga", 0);  // content detection comes first
  EXPECT_EQ(g.Width(), 64);
  EXPECT_EQ(g.BitCount(), bc24Bit);
  ExpectSameAsLibrary(data, g, JDCT_ISLOW);

  std::string description;
  TPGFileInfo info;
  TReadOnlyMemoryStream in2(data.data(), static_cast<int64_t>(data.size()));
  ASSERT_TRUE(GetStreamInfo(in2, "", 0, description, info));
  EXPECT_EQ(description, "JPEG (JFIF compliant)");
  EXPECT_EQ(info.DetailsText, "JFIF, YCbCr, Progressive");

  // A 16-colour image is converted to 24 bit before the JPEG writer runs.
  TPixelGraphic sys;
  sys.SetSize(20, 10, bc4Bit);
  sys.SetPaletteIdent(pSys16);
  sys.SetSaveColorResWarningAction(pgwaIgnore);
  for (int x = 0; x < 20; ++x) sys.SetPixels(x, 5, static_cast<uint32_t>(x % 16));
  TMemoryStream out;
  sys.SaveStreamAs(out, "jpeg");
  EXPECT_EQ(InfoOf(out.Data()).DetailsText, "JFIF, YCbCr");
  EXPECT_EQ(sys.BitCount(), bc4Bit);

  // A grey image stays one component on the way through the registry.
  TPixelGraphic grey;
  MakeGrey(grey, 30, 20);
  TMemoryStream out2;
  grey.SaveStreamAs(out2, "jif");
  out2.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(out2);
  EXPECT_EQ(back.BitCount(), bc8Bit);
  EXPECT_EQ(back.PaletteIdent(), pGray256);
}

} // namespace

// Preview loads: the smallest DCT scale whose picture still covers the
// thumbnail; every other load keeps the full size.
TEST_F(JpegTest, PreviewLoadDecodesAtTheSmallestScaleThatCoversTheThumbnail) {
  TPixelGraphic src;
  FillPattern(src, 800, 600);
  const std::vector<uint8_t> data = WriteJpeg(src);
  struct TCase {
    int maxW, maxH, w, h;
  } cases[] = {
      {100, 100, 100, 75},  // fit 100 x 75: 1/8 is exactly enough
      {101, 100, 200, 150}, // fit 101 x 76: 1/8 is one pixel short, 1/4 covers it
      {136, 116, 200, 150}, // fit 136 x 102
      {500, 500, 800, 600}, // fit 500 x 375: 1/2 gives 400, so full size
      {900, 700, 800, 600}, // fits as it is
      {0, 0, 800, 600},     // not a preview load
  };
  for (const TCase& c : cases) {
    TPixelGraphic g;
    g.SetLoadReduce(c.maxW, c.maxH);
    ReadJpeg(data, g);
    EXPECT_EQ(g.Width(), c.w) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(g.Height(), c.h) << c.maxW << "x" << c.maxH;
  }
  TPixelGraphic reduced;
  reduced.SetLoadReduce(100, 100);
  ReadJpeg(data, reduced);
  TPixelGraphic copy;
  copy.Assign(&reduced);
  EXPECT_EQ(copy.LoadReduceMaxWidth(), 0); // never carried into other images
}
