#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/core/paramfile.h"
#include "app/core/settingsfile.h"
#include "common/file_test_util.h"
#include "pgraphic/formats/settings.h"
#include "platform/inifile.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder that also serves as the configuration folder.
class FileTest : public ::testing::Test {
protected:
  void SetUp() override { PGResetFormatSettings(); }
  void TearDown() override { PGResetFormatSettings(); }
  std::string Path(const std::string& name) const { return FScratch.Path(name); }
  std::string ConfigPath(const std::string& name) const { return FScratch.Path("config/zwillo/" + name); }
  static void Put(const std::string& path, const std::string& content) { testutil::WriteFileText(path, content); }
  static std::string Get(const std::string& path) { return testutil::ReadFileText(path); }
  testutil::TScratchFolder FScratch{"app", true};
};

TEST(ParameterFileName, FourCharactersCut) {
  EXPECT_EQ(ParameterFileName("/Bilder/haus_l.jpg"), "/Bilder/haus_l.3DF");
  EXPECT_EQ(ParameterFileName("bild.jpeg"), "bild..3DF");
  EXPECT_EQ(ParameterFileName("bild.tif"), "bild.3DF");
  EXPECT_EQ(ParameterFileName("a.b"), ".3DF");
  EXPECT_EQ(ParameterFileName(""), ".3DF");
  EXPECT_EQ(ParameterFileName("abcd"), ".3DF");
  // Characters, not bytes: a two-byte letter counts once.
  EXPECT_EQ(ParameterFileName("/x/bild\xC3\xA4.jpg"), "/x/bild\xC3\xA4.3DF");
  EXPECT_EQ(ParameterFileName("/x/bild.j\xC3\xA4g"), "/x/bild.3DF");
}

TEST_F(FileTest, ParametersRoundTripInOrderAndKeepForeignContent) {
  const std::string photo = Path("haus_l.jpg");
  TSideAlignment s;
  s.Point = {512, 384};
  s.Line = {100, 700, 900, 690};
  WriteParameters(photo, s);
  EXPECT_EQ(Get(Path("haus_l.3DF")), "[Parameter]\nx=512\ny=384\nxD=0\nyD=0\nx1=100\ny1=700\nx2=900\ny2=690\n");
  const TSideAlignment r = ReadParameters(photo);
  EXPECT_EQ(r.Point.X, 512);
  EXPECT_EQ(r.Point.Y, 384);
  EXPECT_EQ(r.TurnPoint.X, 0);
  EXPECT_EQ(r.Line.X2, 900);
  EXPECT_EQ(r.Line.Y2, 690);

  // Windows-written file with CR LF and foreign content: values replaced in place.
  const std::string other = Path("szene_r.jpg");
  Put(Path("szene_r.3DF"), "[Info]\r\nby=someone\r\n[Parameter]\r\nx=152\r\ny=221\r\nnote=keep\r\n");
  TSideAlignment t;
  t.Point = {-3, 7};
  WriteParameters(other, t);
  EXPECT_EQ(Get(Path("szene_r.3DF")),
            "[Info]\r\nby=someone\r\n[Parameter]\r\nx=-3\r\ny=7\r\nnote=keep\r\nxD=0\r\nyD=0\r\nx1=0\r\ny1=0\r\nx2=0\r\ny2=0\r\n");
}

TEST_F(FileTest, ParameterValuesParsedWithZeroForMissingOrMalformed) {
  Put(Path("p.3DF"), "[parameter]\nX=0x1F\ny=12abc\nxD= -40 \nyD=0X10\nx1=\ny1=0x\nx2=99999999999\n");
  const TSideAlignment s = ReadParameters(Path("p.jpg"));
  EXPECT_EQ(s.Point.X, 31);
  EXPECT_EQ(s.Point.Y, 0);
  EXPECT_EQ(s.TurnPoint.X, -40);
  EXPECT_EQ(s.TurnPoint.Y, 16);
  EXPECT_EQ(s.Line.X1, 0);
  EXPECT_EQ(s.Line.Y1, 0);
  EXPECT_EQ(s.Line.X2, 0);
  EXPECT_EQ(s.Line.Y2, 0); // missing
  // Missing file: zeros.
  const TSideAlignment z = ReadParameters(Path("none.png"));
  EXPECT_EQ(z.Point.X, 0);
  EXPECT_EQ(z.Line.Y2, 0);
}

TEST_F(FileTest, EmptyPhotoNameUsesBareNameInConfigFolder) {
  Put(ConfigPath(".3DF"), "[Parameter]\nx=5\n");
  EXPECT_EQ(ReadParameters("").Point.X, 5);
  EXPECT_EQ(ReadParameters("a.b").Point.X, 5);
}

TEST_F(FileTest, ParameterWriteFailureRaisesWithFileName) {
  const std::string photo = Path("missing_folder/bild.jpg");
  try {
    WriteParameters(photo, TSideAlignment{});
    FAIL() << "no exception";
  } catch (const platform::EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "nach " + Path("missing_folder/bild.3DF") + " kann nicht geschrieben werden");
  }
}

TEST_F(FileTest, SettingsDefaultsOnFirstStart) {
  const TSettings s = ReadSettings();
  EXPECT_EQ(s.JPEGQuality, 80);
  EXPECT_EQ(s.ZoomType, 0);
  EXPECT_EQ(s.ZoomPercent, 100);
  EXPECT_EQ(s.ZoomPixel, 640);
  EXPECT_EQ(s.ELSAViewer, "");
  EXPECT_TRUE(s.ShowELSAViewer);
  EXPECT_FALSE(fs::exists(ConfigPath("VEXO.INI"))); // reading writes nothing
  // The JPEG default is the library's current quality.
  PGJPEGQuality = 55;
  EXPECT_EQ(ReadSettings().JPEGQuality, 55);
}

TEST_F(FileTest, SettingsReadValuesAndLibraryQualityLowByte) {
  Put(ConfigPath("VEXO.INI"),
      "[settings]\r\njpeg=0x12C\r\nZoomType=abc\r\nZoomPercent=0\r\nZoomPixel=800\r\n"
      "ELSAViewer=/opt/elsa/St3DView.EXE\r\nShowELSAViewer=7\r\n");
  TSettings s = ReadSettings();
  EXPECT_EQ(s.JPEGQuality, 300);
  EXPECT_EQ(s.ZoomType, 0);
  EXPECT_EQ(s.ZoomPercent, 0);
  EXPECT_EQ(s.ZoomPixel, 800);
  EXPECT_EQ(s.ELSAViewer, "/opt/elsa/St3DView.EXE");
  EXPECT_TRUE(s.ShowELSAViewer);
  ApplySettingsToLibrary(s);
  EXPECT_EQ(PGJPEGQuality, 300 & 0xFF);
}

TEST_F(FileTest, SaveToIniWritesSixKeysInOrder) {
  TSettings s;
  s.JPEGQuality = 75;
  s.ZoomType = 1;
  s.ELSAViewer = "/opt/v";
  s.ShowELSAViewer = false;
  SaveToIni(s);
  EXPECT_EQ(Get(ConfigPath("VEXO.INI")),
            "[Settings]\nJPEG=75\nZoomType=1\nZoomPercent=100\nZoomPixel=640\nELSAViewer=/opt/v\nShowELSAViewer=0\n");
  const TSettings r = ReadSettings();
  EXPECT_EQ(r.JPEGQuality, 75);
  EXPECT_EQ(r.ZoomType, 1);
  EXPECT_FALSE(r.ShowELSAViewer);
  EXPECT_EQ(r.ELSAViewer, "/opt/v");
}

} // namespace
