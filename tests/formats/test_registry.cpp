#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- synthetic formats

// A reader standing in for a format unit: it recognises a signature (or none)
// and loads a 1 x 1 image whose pixel names the reader's extension's first letter.
class TFakeReader : public TFileFormatReader {
public:
  TFakeReader(std::string ext, std::string description, std::string signature)
      : TFileFormatReader(std::move(ext), std::move(description)), FSignature(std::move(signature)) {
    DetectsByContent = !FSignature.empty();
  }
  const char* ClassName() const override { return "TFakeReader"; }
  bool IsFormat(const uint8_t* header) const override {
    return !FSignature.empty() && std::memcmp(header, FSignature.data(), FSignature.size()) == 0;
  }
  void ReadGraphic(TStream&, TPixelGraphic& g, int) const override {
    g.SetSize(1, 1, bc24Bit);
    g.SetPixels(0, 0, static_cast<uint8_t>(Extension[0]));
  }

private:
  std::string FSignature;
};

// A reader that leaves a gamma of its own, as a reader taking it from the file would.
class TGammaReader : public TFileFormatReader {
public:
  TGammaReader() : TFileFormatReader("gam", "Gamma") {}
  const char* ClassName() const override { return "TGammaReader"; }
  void ReadGraphic(TStream&, TPixelGraphic& g, int) const override {
    if (Palette) {
      g.SetSize(2, 1, bc8Bit);
      g.SetPaletteIdent(pGray256);
      g.SetPixels(1, 0, 128);
    } else {
      g.SetSize(256, 1, bc24Bit);
      for (int x = 0; x < 256; ++x) g.SetPixels(x, 0, RGBColor(x, x, 255 - x));
    }
    g.SetGamma(Gamma);
  }
  long double Gamma = 2.2L;
  bool Palette = false;
};

// What the writers of one fake class were given, and whether they fail half-way.
struct TWriteLog {
  int Objects = 0;  // writer objects made for saves
  int Calls = 0;
  uint8_t LastBitCount = 255;
  TPaletteIdent LastIdent = pNone;
  int LastWidth = -1;
  const TPixelGraphic* LastGraphic = nullptr;
  bool FailAfterWriting = false;
};

// A writer that records what it was given into its class's log.
class TFakeWriter : public TFileFormatWriter {
public:
  TFakeWriter(std::string ext, std::string description, TPGColorResSet can, bool listed = true,
              std::shared_ptr<TWriteLog> log = std::make_shared<TWriteLog>())
      : TFileFormatWriter(std::move(ext), std::move(description)), FLog(std::move(log)) {
    CanWriteResolutions = can;
    ListedInFilter = listed;
  }
  const char* ClassName() const override { return "TFakeWriter"; }
  void WriteGraphic(TStream& stream, TPixelGraphic& g) override {
    ++FLog->Calls;
    FLog->LastBitCount = g.BitCount();
    FLog->LastIdent = g.PaletteIdent();
    FLog->LastWidth = g.Width();
    FLog->LastGraphic = &g;
    stream.WriteBuffer(Extension.data(), static_cast<int64_t>(Extension.size()));
    if (FLog->FailAfterWriting) throw EPixelGraphic("disk full");
  }

private:
  std::shared_ptr<TWriteLog> FLog;
};

// Adds a class whose objects are made from the same constructor arguments.
template <typename T, typename List, typename... Args>
void AddClass(List& list, Args... args) {
  list.push_back(std::make_unique<T>(args...), [=] { return std::make_unique<T>(args...); });
}

constexpr TPGColorResSet Codes(std::initializer_list<int> codes) {
  TPGColorResSet s = 0;
  for (int c : codes) s = static_cast<TPGColorResSet>(s | PGColorResBit(c));
  return s;
}

// The library's full class table (BMP real, the rest synthetic), added in the
// registry's order, not sorted.
struct TFullRegistry {
  TWriteLog *jpg, *pbm, *tif, *tga;
  TGammaReader* gamma;
  std::vector<std::shared_ptr<TWriteLog>> logs;
  std::unique_ptr<TPGFormatRegistry> registry;

  TFullRegistry() {
    TPGFormatLists l;
    RegisterBMPFormats(l);
    const std::string jpeg = "JPEG (JFIF compliant)", tiff = "Tagged Image File Format";
    const std::string jpegSig = "\xFF\xD8", pngSig = "\x89PNG\r\n\x1A\n";
    AddClass<TFakeReader>(l.Readers, "jpg", jpeg, jpegSig);
    AddClass<TFakeReader>(l.Readers, "jpeg", jpeg, jpegSig);
    AddClass<TFakeReader>(l.Readers, "jif", jpeg, jpegSig);
    AddClass<TFakeReader>(l.Readers, "png", "Portable Network Graphics", pngSig);
    AddClass<TFakeReader>(l.Readers, "pcx", "Paintbrush", "\x0A");
    AddClass<TFakeReader>(l.Readers, "pbm", "Portable Bitmap", "P4");
    AddClass<TFakeReader>(l.Readers, "pgm", "Portable Graymap", "P5");
    AddClass<TFakeReader>(l.Readers, "ppm", "Portable Pixelmap", "P6");
    AddClass<TFakeReader>(l.Readers, "tga", "Truevision Targa", "");
    AddClass<TFakeReader>(l.Readers, "tif", tiff, std::string("II*\0", 4));
    AddClass<TFakeReader>(l.Readers, "tiff", tiff, std::string("II*\0", 4));
    // Each load makes a reader with the settings the listed one has then.
    auto g = std::make_unique<TGammaReader>();
    g->ListedInFilter = false;
    gamma = g.get();
    l.Readers.push_back(std::move(g), [this] {
      auto r = std::make_unique<TGammaReader>();
      r->Gamma = gamma->Gamma;
      r->Palette = gamma->Palette;
      return r;
    });
    auto add = [&](const std::string& ext, const std::string& description, TPGColorResSet can,
                   bool listed = true) {
      auto log = std::make_shared<TWriteLog>();
      l.Writers.push_back(std::make_unique<TFakeWriter>(ext, description, can, listed, log), [=] {
        ++log->Objects;
        return std::make_unique<TFakeWriter>(ext, description, can, listed, log);
      });
      logs.push_back(log);
      return log.get();
    };
    jpg = add("jpg", jpeg, Codes({5, 7}));
    add("jpeg", jpeg, Codes({5, 7}), false);
    add("jif", jpeg, Codes({5, 7}), false);
    add("png", "Portable Network Graphics", PGAllColorRes);
    pbm = add("pbm", "Portable Bitmap", Codes({0}));
    add("pgm", "Portable Graymap", Codes({5}));
    add("ppm", "Portable Pixelmap", Codes({7}));
    tga = add("tga", "Truevision Targa", Codes({6, 7}));
    tif = add("tif", tiff, PGAllColorRes & ~PGColorResBit(1));
    add("tiff", tiff, PGAllColorRes & ~PGColorResBit(1), false);
    registry = std::make_unique<TPGFormatRegistry>(std::move(l));
  }
};

struct TMessageBoxCall {
  std::string Text, Caption;
  platform::TMsgButtons Buttons;
  platform::TMsgIcon Icon;
};

class Registry : public ::testing::Test {
protected:
  void SetUp() override {
    MessageLanguage = 0;
    PGResetFormatSettings();
    FOldHook = platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption,
                                                  platform::TMsgButtons buttons, platform::TMsgIcon icon) {
      Boxes.push_back({text, caption, buttons, icon});
      return Answer;
    });
    char templ[] = "/tmp/zwillo-registry-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(templ));
    Dir = templ;
  }
  void TearDown() override {
    platform::SetMessageBoxHook(FOldHook);
    MessageLanguage = 0;
    PGResetFormatSettings();
    fs::remove_all(Dir);
  }
  std::string Path(const std::string& name) const { return (Dir / name).string(); }
  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  static void Make24(TPixelGraphic& g, int w = 4, int h = 3) {
    g.SetSize(w, h, bc24Bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) g.SetPixels(x, y, RGBColor(40 * x, 60 * y, 200));
  }

  TFullRegistry Full;
  std::vector<TMessageBoxCall> Boxes;
  int Answer = platform::mrOk;
  fs::path Dir;

private:
  platform::TMessageBoxHook FOldHook;
};

// ---------------------------------------------------------------- lists and filters

TEST_F(Registry, ListsAreSortedByExtension) {
  std::string order;
  for (const auto& r : Full.registry->Readers()) order += r->Extension + " ";
  EXPECT_EQ("bmp dib gam jif jpeg jpg pbm pcx pgm png ppm rle tga tif tiff ", order);
  order.clear();
  for (const auto& w : Full.registry->Writers()) order += w->Extension + " ";
  EXPECT_EQ("bmp dib jif jpeg jpg pbm pgm png ppm tga tif tiff ", order);
}

TEST_F(Registry, FilterStringsOfTheFullRegistry) {
  EXPECT_EQ(
      "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; *.tga; *.tif; "
      "*.tiff|BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|JPEG - JPEG (JFIF "
      "compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - Paintbrush|*.pcx|PGM "
      "- Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|RLE - "
      "Bitmap|*.rle|TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|TIFF - Tagged Image File "
      "Format|*.tiff|All files|*.*",
      Full.registry->BuildOpenFilter());
  EXPECT_EQ(
      "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PGM - Portable "
      "Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|TGA - Truevision "
      "Targa|*.tga|TIF - Tagged Image File Format|*.tif|",
      Full.registry->BuildSaveFilter());

  TPGFormatRegistry empty{TPGFormatLists{}};
  EXPECT_EQ("All files|*.*", empty.BuildOpenFilter());
  EXPECT_EQ("", empty.BuildSaveFilter());
  MessageLanguage = 1;
  const std::string de = Full.registry->BuildOpenFilter();
  EXPECT_EQ(0u, de.find("Grafikdateien|*.bmp; "));
  EXPECT_EQ("|Alle Dateien|*.*", de.substr(de.size() - 17));
}

TEST_F(Registry, TheLibrarysRegistryHoldsTheBitmapClasses) {
  const std::string open = BuildOpenFilter();
  EXPECT_EQ(0u, open.find("Image files|*.bmp; *.dib; "));
  EXPECT_NE(std::string::npos, open.find("|BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|"));
  EXPECT_NE(std::string::npos, open.find("|RLE - Bitmap|*.rle|"));
  EXPECT_EQ("All files|*.*", open.substr(open.size() - 13));
  const std::string save = BuildSaveFilter();
  EXPECT_EQ(0u, save.find("BMP - Bitmap|*.bmp|"));
  EXPECT_EQ(std::string::npos, save.find("DIB"));
  EXPECT_EQ(std::string::npos, save.find("RLE"));
  EXPECT_STREQ("TBMPFileFormatWriter", PGStandaloneBMPWriter().ClassName());
  for (size_t i = 1; i < PGFormatRegistry().Readers().size(); ++i)
    EXPECT_LT(PGFormatRegistry().Readers()[i - 1]->Extension, PGFormatRegistry().Readers()[i]->Extension);
}

// ---------------------------------------------------------------- reader choice

TEST_F(Registry, ContentFirstThenExtensionForNonDetectingReadersOnly) {
  const TPGFormatRegistry& r = *Full.registry;
  const std::string targa("\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x01\x00\x01\x00\x18\x00", 18);
  const std::string jpeg("\xFF\xD8\xFF\xE0 some jpeg", 15);
  auto find = [&](const std::string& bytes, const std::string& ext) -> std::string {
    TReadOnlyMemoryStream s(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    const TFileFormatReader* reader = r.FindReader(s, ext);
    EXPECT_EQ(0, s.Position());
    return reader ? reader->Extension : "(none)";
  };
  EXPECT_EQ("tga", find(targa, "tga"));
  EXPECT_EQ("tga", find(targa, ".TGA"));
  EXPECT_EQ("(none)", find(targa, "dat"));
  EXPECT_EQ("(none)", find(targa, ""));
  // A JPEG named .tga is read as JPEG, by the first of the JPEG readers in list order.
  EXPECT_EQ("jif", find(jpeg, "tga"));
  // A reader that detects by content is never chosen by extension.
  EXPECT_EQ("(none)", find(targa, "bmp"));
  EXPECT_EQ("bmp", find("BM", "rle"));
  EXPECT_EQ("(none)", find("", "jpg"));
  EXPECT_EQ("tga", find("", "tga"));

  // The position is the stream's current one, not its start.
  const std::string shifted = "xx" + jpeg;
  TReadOnlyMemoryStream s(shifted.data(), static_cast<int64_t>(shifted.size()));
  s.SetPosition(2);
  ASSERT_NE(nullptr, r.FindReader(s, ""));
  EXPECT_EQ(2, s.Position());
}

// A stream whose every operation fails.
class TBrokenStream : public TStream {
public:
  int64_t Read(void*, int64_t) override { throw EReadError(); }
  int64_t Write(const void*, int64_t) override { throw EWriteError(); }
  int64_t Seek(int64_t, TSeekOrigin) override { throw EStreamError("broken"); }
};

TEST_F(Registry, ReaderChoiceAndInfoNeverRaise) {
  TBrokenStream broken;
  EXPECT_EQ(nullptr, Full.registry->FindReader(broken, "tga"));
  EXPECT_EQ(nullptr, FindFileFormatReader(broken, "bmp"));
  std::string description = "old";
  TPGFileInfo info;
  EXPECT_FALSE(GetStreamInfo(broken, "bmp", 0, description, info));
  EXPECT_EQ("", description);
  EXPECT_EQ(0, info.ImageCount);
}

TEST_F(Registry, LoadThroughTheRegistry) {
  const TPGFormatRegistry& r = *Full.registry;
  const std::string targa(20, '\0');
  TPixelGraphic g;
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  {
    TReadOnlyMemoryStream s(targa.data(), 20);
    r.LoadStreamAs(g, s, "TGA", 0);
    EXPECT_EQ(static_cast<uint32_t>('t'), g.Pixels(0, 0));
    EXPECT_EQ(1, changes);
  }
  {
    Make24(g);
    changes = 0;
    TReadOnlyMemoryStream s(targa.data(), 20);
    try {
      r.LoadStreamAs(g, s, "dat", 0);
      FAIL();
    } catch (const EPGUnknownFileFormat& e) {
      EXPECT_EQ("Unknown file format", e.Message());
    }
    EXPECT_TRUE(g.Empty());
    EXPECT_EQ(0, g.Width());
    EXPECT_EQ(bc24Bit, g.BitCount());
    EXPECT_EQ(0, g.UpdateCount());
    EXPECT_EQ(1, changes);  // the bracket closes however the load ends
  }
}

TEST_F(Registry, StreamAndFileInfo) {
  TPixelGraphic g;
  Make24(g, 5, 2);
  const std::string name = Path("info.BMP");
  g.SaveToFile(name);
  std::string description;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(name, 0, description, info));
  EXPECT_EQ("Bitmap", description);
  EXPECT_EQ(5, info.Width);
  EXPECT_EQ(2, info.Height);
  EXPECT_EQ(24, info.BitsPerPixel);
  EXPECT_EQ("Windows, RGB", info.DetailsText);
  // A reader that raises: false, with the description already set.
  EXPECT_FALSE(GetFileInfo(name, 1, description, info));
  EXPECT_EQ("Bitmap", description);
  EXPECT_FALSE(GetFileInfo(Path("missing.bmp"), 0, description, info));
  EXPECT_FALSE(GetFileInfo(Dir.string() + "/", 0, description, info));
  EXPECT_FALSE(GetFileInfo("", 0, description, info));
  WriteFile(Path("plain.txt"), "hello");
  EXPECT_FALSE(GetFileInfo(Path("plain.txt"), 0, description, info));
  EXPECT_EQ("", description);
}

TEST_F(Registry, ExtractFormatExtension) {
  EXPECT_EQ("jpg", ExtractFormatExtension("/a/b/photo.JPG"));
  EXPECT_EQ("tiff", ExtractFormatExtension("x.y.TiFf"));
  EXPECT_EQ("", ExtractFormatExtension("name."));
  EXPECT_EQ("", ExtractFormatExtension("noext"));
  EXPECT_EQ("", ExtractFormatExtension("dir.d/file"));
  EXPECT_EQ("", ExtractFormatExtension(""));
}

// ---------------------------------------------------------------- gamma

TEST_F(Registry, GammaCorrectionMapsChannelsByTheExponent) {
  const TPGFormatRegistry& r = *Full.registry;
  const std::string bytes = "x";
  TPixelGraphic g;
  TReadOnlyMemoryStream s(bytes.data(), 1);
  r.LoadStreamAs(g, s, "gam", 0);
  EXPECT_DOUBLE_EQ(1.8, static_cast<double>(g.Gamma()));
  auto expected = [](int v) {
    return static_cast<unsigned>(std::nearbyint(255.0 * std::pow(v / 255.0, 2.2 / 1.8)));
  };
  for (int x = 0; x < 256; ++x) {
    const TColorRef c = g.PixelColors(x, 0);
    ASSERT_EQ(expected(x), GetRValue(c)) << x;
    ASSERT_EQ(expected(255 - x), GetBValue(c)) << x;
  }
  EXPECT_EQ(0u, GetRValue(g.PixelColors(0, 0)));
  EXPECT_EQ(255u, GetRValue(g.PixelColors(255, 0)));
  EXPECT_EQ(110u, GetRValue(g.PixelColors(128, 0)));

  // Within 5 %: left as it is.
  Full.gamma->Gamma = 1.85L;
  s.SetPosition(0);
  r.LoadStreamAs(g, s, "gam", 0);
  EXPECT_EQ(128u, GetRValue(g.PixelColors(128, 0)));

  // Palette images map their palette; the indices stay.
  Full.gamma->Gamma = 2.2L;
  Full.gamma->Palette = true;
  s.SetPosition(0);
  r.LoadStreamAs(g, s, "gam", 0);
  EXPECT_EQ(128u, g.Pixels(1, 0));
  EXPECT_EQ(RGBColor(110, 110, 110), g.PixelColors(1, 0));
  EXPECT_EQ(pUnknown, g.PaletteIdent());

  PGGammaCorrection = false;
  s.SetPosition(0);
  r.LoadStreamAs(g, s, "gam", 0);
  EXPECT_EQ(RGBColor(128, 128, 128), g.PixelColors(1, 0));
  EXPECT_EQ(pGray256, g.PaletteIdent());
}

TEST_F(Registry, GammaTableEdges) {
  uint8_t t[256];
  PGBuildGammaTable(1.0L, t);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(v, t[v]);
  PGBuildGammaTable(0.0L, t);  // x^0 = 1
  EXPECT_EQ(255, t[0]);
  EXPECT_EQ(255, t[200]);
  PGBuildGammaTable(2.0L, t);  // v^2 / 255: 0, 0 (0.0039), ..., 16 / 255 * 16 = 1.004
  EXPECT_EQ(0, t[0]);
  EXPECT_EQ(0, t[1]);
  EXPECT_EQ(1, t[16]);
  EXPECT_EQ(64, t[128]);  // 64.25
}

// ---------------------------------------------------------------- saving

TEST_F(Registry, WriterChoiceAndItsErrors) {
  const TPGFormatRegistry& r = *Full.registry;
  TPixelGraphic g;
  Make24(g);
  TMemoryStream s;
  r.SaveStreamAs(g, s, ".JPG");
  EXPECT_EQ(1, Full.jpg->Calls);
  EXPECT_EQ(&g, Full.jpg->LastGraphic);  // no conversion: the image itself
  // Every save writes through a writer object made for it, never the listed one.
  r.SaveStreamAs(g, s, "jpg");
  EXPECT_EQ(2, Full.jpg->Objects);
  EXPECT_EQ(2, Full.jpg->Calls);
  try {
    r.SaveStreamAs(g, s, ".XyZ");
    FAIL();
  } catch (const EPGUnknownExtension& e) {
    EXPECT_EQ("Unknown file extension \"xyz\"", e.Message());
  }
  try {
    r.SaveStreamAs(g, s, "");
    FAIL();
  } catch (const EPGUnknownExtension& e) {
    EXPECT_EQ("Unknown file extension \"\"", e.Message());
  }

  TPGFormatRegistry none{TPGFormatLists{}};
  try {
    none.SaveStreamAs(g, s, "bmp");
    FAIL();
  } catch (const EPGFileFormatWritersEmpty& e) {
    EXPECT_EQ("FileFormatWriters is empty", e.Message());
  }
  TPGFormatLists l;
  AddClass<TFakeWriter>(l.Writers, std::string("raw"), std::string("Raw"), TPGColorResSet{0});
  TPGFormatRegistry cannot{std::move(l)};
  try {
    cannot.SaveStreamAs(g, s, "raw");
    FAIL();
  } catch (const EPGCanWriteResolutionsEmpty& e) {
    EXPECT_EQ("TFakeWriter.CanWriteResolutions is empty", e.Message());
  }
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(Registry, PreferenceRows) {
  // Rows 4 and 1 as the writers of JPEG and TIFF meet them.
  EXPECT_EQ(7, PGColorResTarget(4, Codes({5, 7})));
  EXPECT_EQ(4, PGColorResTarget(1, PGAllColorRes & ~PGColorResBit(1)));
  EXPECT_EQ(0, PGColorResTarget(7, Codes({0})));
  EXPECT_EQ(5, PGColorResTarget(2, Codes({5, 7})));
  EXPECT_EQ(3, PGColorResTarget(6, Codes({0, 1, 2, 3})));
  EXPECT_EQ(2, PGColorResTarget(6, Codes({0, 1, 2})));
  EXPECT_EQ(-1, PGColorResTarget(3, 0));
  for (int cur = 0; cur < 8; ++cur) EXPECT_EQ(cur, PGColorResTarget(cur, PGAllColorRes));
  const char* names[8] = {"black and white",     "2 colors",           "16 shades of gray", "16 system colors",
                          "16 colors",           "256 shades of gray", "256 colors",        "16.7 million colors"};
  for (int code = 0; code < 8; ++code) EXPECT_EQ(names[code], PGColorResName(code));
}

TEST_F(Registry, FallbackConvertsACopyAfterTheWarning) {
  const TPGFormatRegistry& r = *Full.registry;
  TPixelGraphic g;
  Make24(g);
  int progressStarts = 0;
  g.OnProgressStart = [&](TObject*) { ++progressStarts; };
  TMemoryStream s;
  r.SaveStreamAs(g, s, "pbm");
  ASSERT_EQ(1u, Boxes.size());
  EXPECT_EQ(
      "The graphic cannot be saved to a Portable Bitmap file with the current color resolution (16.7 million "
      "colors).\r\rThe graphic will be saved with a different color resolution (black and white).",
      Boxes[0].Text);
  EXPECT_EQ("Warning", Boxes[0].Caption);
  EXPECT_EQ(platform::TMsgButtons::OKCancel, Boxes[0].Buttons);
  EXPECT_EQ(platform::TMsgIcon::Warning, Boxes[0].Icon);
  EXPECT_EQ(1, Full.pbm->Calls);
  EXPECT_NE(&g, Full.pbm->LastGraphic);
  EXPECT_EQ(bc1Bit, Full.pbm->LastBitCount);
  EXPECT_EQ(pBlackWhite, Full.pbm->LastIdent);
  EXPECT_EQ(4, Full.pbm->LastWidth);
  EXPECT_EQ(bc24Bit, g.BitCount());  // the image itself is unchanged
  EXPECT_EQ(RGBColor(40, 60, 200), g.PixelColors(1, 1));

  // 16 colours to JPEG: 24 bit; 2 colours to TIFF: 16 colours (4 bit).
  TPixelGraphic p;
  p.SetSize(3, 2, bc4Bit);
  p.SetPaletteCount(16);
  for (int i = 0; i < 16; ++i) p.SetPaletteColor(i, RGBColor(i * 3, 100, 7));
  Boxes.clear();
  r.SaveStreamAs(p, s, "jpg");
  EXPECT_EQ(bc24Bit, Full.jpg->LastBitCount);
  EXPECT_NE(std::string::npos, Boxes.at(0).Text.find("(16 colors)"));
  EXPECT_NE(std::string::npos, Boxes.at(0).Text.find("(16.7 million colors)."));
  TPixelGraphic two;
  two.SetSize(3, 2, bc1Bit);
  two.SetPaletteCount(2);
  two.SetPaletteColor(0, RGBColor(255, 0, 0));
  two.SetPaletteColor(1, RGBColor(0, 0, 255));
  r.SaveStreamAs(two, s, "tif");
  EXPECT_EQ(bc4Bit, Full.tif->LastBitCount);
  // A writer that takes the resolution gets the image itself, without a box.
  Boxes.clear();
  r.SaveStreamAs(two, s, "png");
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(Registry, WarningActions) {
  const TPGFormatRegistry& r = *Full.registry;
  TPixelGraphic g;
  Make24(g);
  TMemoryStream s;
  const std::string refused =
      "The graphic cannot be saved with to a Portable Bitmap file with the current color resolution (16.7 million "
      "colors)";

  // OK-Cancel answered Cancel: nothing written.
  Answer = platform::mrCancel;
  try {
    r.SaveStreamAs(g, s, "pbm");
    FAIL();
  } catch (const EPGCannotWriteColorRes& e) {
    EXPECT_EQ(refused, e.Message());
  }
  EXPECT_EQ(0, Full.pbm->Calls);
  EXPECT_EQ(0, s.Size());
  EXPECT_EQ(1u, Boxes.size());

  // OK box: whatever the answer, the save goes on.
  g.SetSaveColorResWarningAction(pgwaOKBox);
  r.SaveStreamAs(g, s, "pbm");
  EXPECT_EQ(2u, Boxes.size());
  EXPECT_EQ(platform::TMsgButtons::OK, Boxes[1].Buttons);
  EXPECT_EQ(1, Full.pbm->Calls);

  // Ignore: silent. Raise: refused without asking.
  g.SetSaveColorResWarningAction(pgwaIgnore);
  r.SaveStreamAs(g, s, "pbm");
  EXPECT_EQ(2, Full.pbm->Calls);
  g.SetSaveColorResWarningAction(pgwaRaise);
  EXPECT_THROW(r.SaveStreamAs(g, s, "pbm"), EPGCannotWriteColorRes);
  EXPECT_EQ(2, Full.pbm->Calls);
  EXPECT_EQ(2u, Boxes.size());

  // German texts.
  MessageLanguage = 1;
  g.SetSaveColorResWarningAction(pgwaOKCancelBox);
  Answer = platform::mrOk;
  r.SaveStreamAs(g, s, "pbm");
  EXPECT_EQ("Warnung", Boxes.back().Caption);
  EXPECT_EQ(
      "Die Grafik kann nicht mit der augenblicklichen Farbauflösung (16.7 Millionen Farben) in eine Portable "
      "Bitmap Datei gespeichert werden.\r\rDie Grafik wird mit einer anderen Auflösung (schwarz-weiß) gespeichert.",
      Boxes.back().Text);
}

// ---------------------------------------------------------------- files on failure

TEST_F(Registry, SaveToFileLeavesNothingBehindOnFailure) {
  const TPGFormatRegistry& r = *Full.registry;
  TPixelGraphic g;
  Make24(g);

  // Success creates exactly the file.
  r.SaveToFile(g, Path("new.JPG"));
  EXPECT_EQ("jpg", ReadFile(Path("new.JPG")));
  EXPECT_EQ(std::vector<std::string>{"new.JPG"}, FolderContents());

  // Unknown or empty extension: nothing is created.
  EXPECT_THROW(r.SaveToFile(g, Path("a.xyz")), EPGUnknownExtension);
  try {
    r.SaveToFile(g, Path("dot."));
    FAIL();
  } catch (const EPGUnknownExtension& e) {
    EXPECT_EQ("Unknown file extension \"\"", e.Message());
  }
  // Conversion refused: an existing file is untouched, a new one not created.
  WriteFile(Path("old.pbm"), "precious");
  Answer = platform::mrCancel;
  EXPECT_THROW(r.SaveToFile(g, Path("old.pbm")), EPGCannotWriteColorRes);
  EXPECT_THROW(r.SaveToFile(g, Path("fresh.pbm")), EPGCannotWriteColorRes);
  EXPECT_EQ("precious", ReadFile(Path("old.pbm")));
  EXPECT_EQ((std::vector<std::string>{"new.JPG", "old.pbm"}), FolderContents());

  // A writer failing half-way: the old file keeps its content, no temporary
  // file remains, and a file that did not exist still does not.
  Answer = platform::mrOk;
  Full.pbm->FailAfterWriting = true;
  Full.tga->FailAfterWriting = true;
  EXPECT_THROW(r.SaveToFile(g, Path("old.pbm")), EPixelGraphic);
  EXPECT_THROW(r.SaveToFile(g, Path("fresh.tga")), EPixelGraphic);
  EXPECT_EQ("precious", ReadFile(Path("old.pbm")));
  EXPECT_EQ((std::vector<std::string>{"new.JPG", "old.pbm"}), FolderContents());

  // A successful save replaces the old content.
  Full.pbm->FailAfterWriting = false;
  r.SaveToFile(g, Path("old.pbm"));
  EXPECT_EQ("pbm", ReadFile(Path("old.pbm")));
  EXPECT_EQ((std::vector<std::string>{"new.JPG", "old.pbm"}), FolderContents());
}

TEST_F(Registry, ImageMethodsGoThroughTheLibrarysRegistry) {
  TPixelGraphic g, back;
  Make24(g, 6, 5);
  g.SaveToFile(Path("pic.Bmp"));
  back.LoadFromFile(Path("pic.Bmp"));
  EXPECT_EQ(RGBColor(200, 240, 200), back.PixelColors(5, 4));
  back.LoadFileImage(Path("pic.Bmp"), 0);
  EXPECT_THROW(back.LoadFileImage(Path("pic.Bmp"), 1), EPGBMPFileFormatReader);
  // The same bytes under another name are still found by content.
  fs::copy_file(Path("pic.Bmp"), Path("pic.dat"));
  back.LoadFromFile(Path("pic.dat"));
  EXPECT_EQ(6, back.Width());
  EXPECT_THROW(g.SaveToFile(Path("pic.rle")), EPGUnknownExtension);
  EXPECT_THROW(g.SaveToFile(Path("pic.")), EPGUnknownExtension);
  g.SaveToFile(Path("pic.DIB"));
  EXPECT_EQ(ReadFile(Path("pic.Bmp")), ReadFile(Path("pic.DIB")));
  EXPECT_EQ((std::vector<std::string>{"pic.Bmp", "pic.DIB", "pic.dat"}), FolderContents());
  // A file that is not there: the stream's open error.
  EXPECT_THROW(back.LoadFromFile(Path("nothing.bmp")), EFOpenError);
}

} // namespace
