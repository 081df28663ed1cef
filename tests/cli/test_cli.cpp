#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/core/paramfile.h"
#include "cli/cli_test.h"
#include "common/file_test_util.h"
#include "app/core/stereo_core.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"

namespace fs = std::filesystem;

namespace {

using clitest::CliTest;
using clitest::TRun;

// ------------------------------------------------------------------ arguments and exit codes

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"compose", "a.jpg"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--split", "cross"},
      {"compose", "a.jpg", "b.jpg", "--split", "sideways"},
      {"compose", "a.jpg", "b.jpg", "c.mpo", "--mode", "1"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--mode", "16"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--swap=yes"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--mode", "sideways"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--left-point", "1,x"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--left-line", "1,2,3"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--quality", "101"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--zoom", "0"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--bogus"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--lang", "xx"},
      {"compose", "a.jpg", "b.jpg", "c.jpg", "--mode"},
      {"convert", "a.jpg"},
      {"convert", "a.jpg", "b.png", "--bits", "7"},
      {"convert", "a.jpg", "b.png", "--bits", "1", "--palette", "gray16"},
      {"convert", "a.jpg", "b.png", "--palette", "gray16"},
      {"convert", "a.jpg", "b.png", "--grey", "--rgb", "1,2,3"},
      {"convert", "a.jpg", "b.png", "--bcg", "0,9,1"},
      {"convert", "a.jpg", "b.png", "--resize", "10x"},
      {"convert", "a.jpg", "b.png", "--stretch-mode", "slow"},
      {"convert", "a.jpg", "b.png", "--threads", "0"},
      {"info"},
      {"info", "a", "b"},
      {"info", "a", "--threads", "two"},
      {"align", "a.jpg"},
      {"align", "a.jpg", "b.jpg", "--auto-align"},
      {"align", "a.jpg", "b.jpg", "--threads", "-1"},
      {"convert", "a.jpg", "b.png", "--crop-wedges"},
  };
  for (const auto& args : bad) {
    const TRun r = Run(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.Status, 2) << joined;
    EXPECT_NE(r.Err.find("Usage: zwillo-cli"), std::string::npos) << joined << r.Err;
    EXPECT_EQ(r.Out, "") << joined;
  }
}

TEST_F(CliTest, HelpOfEveryCommand) {
  for (const char* cmd : {"compose", "batch", "align", "convert", "info"}) {
    const TRun r = Run({cmd, "--help"});
    EXPECT_EQ(r.Status, 0) << cmd;
    EXPECT_EQ(r.Out.rfind(std::string("Usage: zwillo-cli ") + cmd, 0), 0u) << r.Out;
  }
  const TRun r = Run({"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("compose LEFT RIGHT OUTPUT"), std::string::npos);
}

TEST_F(CliTest, LibraryFailuresExitWithOneAndTheMessage) {
  CopySamples();
  TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "out.xyz"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Unknown file extension \"xyz\""), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Path("out.xyz")));
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "out.xyz", "--lang", "de"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Unbekannte Dateinamenerweiterung \"xyz\""), std::string::npos) << r.Err;

  // Not an image: the registry finds no reader.
  std::ofstream(Path("text.jpg")) << "hello";
  r = Run({"convert", "text.jpg", "out.png"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Unknown file format"), std::string::npos) << r.Err;
  r = Run({"info", "text.jpg"});
  EXPECT_EQ(r.Status, 1);
  r = Run({"info", "missing.jpg"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("missing.jpg"), std::string::npos);
  r = Run({"compose", "missing.jpg", "szene_r.jpg", "out.bmp"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("missing.jpg"), std::string::npos) << r.Err;
}

TEST_F(CliTest, InfoPrintsOneFieldALine) {
  CopySamples();
  const TRun r = Run({"info", "szene_l.jpg"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Format: JPEG (JFIF compliant)\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\nWidth: 1200\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\nHeight: 900\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\nBits per pixel: 24\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\nImages: 1\n"), std::string::npos) << r.Out;
  for (const char* field : {"Details: ", "Kind: ", "Colors: "}) EXPECT_NE(r.Out.find(field), std::string::npos);
}

// A warning answered OK lets the save go on; --strict refuses it.
TEST_F(CliTest, StrictTurnsWarningsIntoFailures) {
  CopySamples();
  TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "out.pgm", "--no-params"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(fs::exists(Path("out.pgm")));
  EXPECT_NE(r.Err.find("256 shades of gray"), std::string::npos) << r.Err;
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "strict.pgm", "--no-params", "--strict"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Path("strict.pgm")));
}

// ------------------------------------------------------------------ compose end to end

std::unique_ptr<TPixelGraphic> Load(const std::string& name) {
  auto img = std::make_unique<TPixelGraphic>();
  img->LoadFromFile(name);
  return img;
}

TEST_F(CliTest, ComposesSamplePairInEveryModeWithItsParameterFiles) {
  CopySamples();
  // What the tool must do, in process: parameter files, common area, tilt, composition.
  TPairAlignment pair;
  pair.Left = ReadParameters(Path("szene_l.jpg"));
  pair.Right = ReadParameters(Path("szene_r.jpg"));
  ASSERT_EQ(pair.Left.Point.X, 185);
  ASSERT_EQ(pair.Right.Line.Y2, 371);
  auto L = Load(Path("szene_l.jpg"));
  auto R = Load(Path("szene_r.jpg"));
  const TCommonArea area = CommonArea(1200, 900, 1200, 900, pair.Left.Point, pair.Right.Point);
  EXPECT_EQ(area.X0, 33);
  EXPECT_EQ(area.Y0, 5);
  EXPECT_EQ(area.W, 1167);
  EXPECT_EQ(area.H, 895);
  ASSERT_TRUE(CompensateTilt(R, pair));

  const int widths[7] = {1167, 2 * 1167 + 10, 1167, 1167, 2 * 1167, 2 * 1167, 2 * 1193};
  // The modes after the seven by name, every other one with the eyes swapped.
  const char* const names[] = {"dubois",   "half-colour",     "optimised",          "grey",        "half-sbs",
                               "over-under", "half-over-under", "column-interleaved", "checkerboard"};
  for (int mode = 0; mode < StereoModeCount; ++mode) {
    const std::string out = "mode" + std::to_string(mode) + ".bmp";
    const bool swap = mode > smElsa && mode % 2 == 1;
    std::vector<std::string> args = {"compose", "szene_l.jpg", "szene_r.jpg", out, "--mode",
                                     mode > smElsa ? names[mode - smDubois] : std::to_string(mode)};
    if (swap) args.push_back("--swap");
    const TRun r = Run(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find(StereoModeCaption(mode)), std::string::npos) << r.Out;
    auto got = Load(Path(out));
    if (mode <= smElsa) {
      ASSERT_EQ(got->Width(), widths[mode]) << mode;
      ASSERT_EQ(got->Height(), 895) << mode;
    }
    TPixelGraphic work;
    TStereoResult want = ComposeStereo(swap ? mode | smSwapEyes : mode, *L, *R, area, work);
    ASSERT_NE(want.Image, nullptr);
    ASSERT_EQ(got->Width(), want.Image->Width()) << mode;
    ASSERT_EQ(got->Height(), want.Image->Height()) << mode;
    bool same = true;
    for (int y = 0; y < got->Height() && same; ++y)
      for (int x = 0; x < got->Width() && same; ++x) same = got->PixelColors(x, y) == want.Image->PixelColors(x, y);
    EXPECT_TRUE(same) << "mode " << mode;

    // A few known pixels.
    switch (mode) {
      case 2: // red from the left photograph, green and blue from the turned right one
        EXPECT_EQ(GetRValue(got->PixelColors(100, 200)), GetRValue(L->PixelColors(133, 205)));
        break;
      case 1: // the black gap and the left image mirrored
        EXPECT_EQ(got->PixelColors(1167, 400), 0u);
        EXPECT_EQ(got->PixelColors(1176, 400), 0u);
        EXPECT_EQ(got->PixelColors(1166, 400), L->PixelColors(33, 405));
        break;
      case 4:
        EXPECT_EQ(got->PixelColors(0, 0), L->PixelColors(33, 5));
        break;
      case 6: // frames of 1193 x 895, images 13 pixels in
        EXPECT_EQ(got->PixelColors(12, 100), 0u);
        EXPECT_EQ(got->PixelColors(13, 100), L->PixelColors(33, 105));
        break;
      default:
        break;
    }
  }
}

TEST_F(CliTest, ComposeOverridesZoomAndQuality) {
  CopySamples();
  // Overrides replace the files' values: no tilt, points at the origin.
  TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "o.bmp", "--mode", "left-right", "--left-point", "0,0",
                "--right-point", "0,0", "--left-line", "0,0,0,0", "--right-line", "0,0,0,0"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto o = Load(Path("o.bmp"));
  EXPECT_EQ(o->Width(), 2400);
  EXPECT_EQ(o->Height(), 900);
  auto L = Load(Path("szene_l.jpg"));
  EXPECT_EQ(o->PixelColors(0, 0), L->PixelColors(0, 0));

  // Saving with zoom 0.5: both sides truncated (1167 x 0.5 = 583.5).
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "z.bmp", "--zoom", "0.5", "--progress"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto z = Load(Path("z.bmp"));
  EXPECT_EQ(z->Width(), 583);
  EXPECT_EQ(z->Height(), 447);
  EXPECT_NE(r.Err.find("Stereobild berechnen"), std::string::npos);
  EXPECT_NE(r.Err.find("100%"), std::string::npos);

  // The JPEG quality: --quality, else the settings file's.
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "q20.jpg", "--quality", "20"}).Status, 0);
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "q95.jpg", "--quality", "95"}).Status, 0);
  fs::create_directories(Path("config/zwillo"));
  std::ofstream(Path("config/zwillo/VEXO.INI")) << "[Settings]\nJPEG=20\n";
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "ini.jpg"}).Status, 0);
  EXPECT_LT(fs::file_size(Path("q20.jpg")), fs::file_size(Path("q95.jpg")));
  EXPECT_EQ(testutil::ReadFileText(Path("ini.jpg")), testutil::ReadFileText(Path("q20.jpg")));
}

// A tilt line given for one photograph only: no turn (the result equals the
// composition without lines), a warning naming the missing line; --strict fails.
TEST_F(CliTest, OneTiltLineWarnsAndIsNotCompensated) {
  CopySamples();
  TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "none.bmp", "--no-params", "--mode", "colour"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err.find("tilt"), std::string::npos) << r.Err;
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "one.bmp", "--no-params", "--mode", "colour", "--left-line",
           "10,300,1100,300"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("Warning: tilt not compensated: the right photograph has no tilt line"), std::string::npos)
      << r.Err;
  EXPECT_EQ(testutil::ReadFileText(Path("one.bmp")), testutil::ReadFileText(Path("none.bmp")));
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "de.bmp", "--no-params", "--right-line", "1,2,3,4", "--lang",
           "de", "--strict"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("im linken Bild fehlt die Verkantungslinie"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Path("de.bmp")));
}

TEST_F(CliTest, ElsaWithoutResult) {
  CopySamples();
  // Identical points that leave no common width and a height above 480.
  const TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "e.bmp", "--mode", "elsa", "--left-point", "0,0",
                      "--right-point", "1200,0", "--no-params"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Path("e.bmp")));
}

// The photographs load on two threads: each one's warning arrives whole, on a
// line of its own, and a failure names the photograph that failed (the left
// one when both do).
TEST_F(CliTest, ComposeParallelLoadWarningsAndFailures) {
  CopySamples();
  const std::string truncated = std::string(ZWILLO_TEST_DATA) + "/jpeg/truncated.jpg";
  fs::copy_file(truncated, Path("cut_l.jpg"));
  fs::copy_file(truncated, Path("cut_r.jpg"));
  TRun r = Run({"compose", "cut_l.jpg", "cut_r.jpg", "cut.bmp", "--no-params", "--progress"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  size_t lines = 0;
  std::istringstream err(r.Err);
  for (std::string line; std::getline(err, line);)
    if (line.find("Premature end of JPEG file") != std::string::npos) {
      ++lines;
      EXPECT_EQ(line.find('['), std::string::npos) << line; // no progress bar inside the line
    }
  EXPECT_EQ(lines, 2u) << r.Err;
  r = Run({"compose", "szene_l.jpg", "cut_r.jpg", "strict.bmp", "--no-params", "--strict"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_FALSE(fs::exists(Path("strict.bmp")));

  r = Run({"compose", "szene_l.jpg", "missing_r.jpg", "o.bmp"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("missing_r.jpg"), std::string::npos) << r.Err;
  r = Run({"compose", "missing_l.jpg", "missing_r.jpg", "o.bmp"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("missing_l.jpg"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Err.find("missing_r.jpg"), std::string::npos) << r.Err;
}

// ------------------------------------------------------------------ convert

TEST_F(CliTest, ParallelWorkChangesNoPixel) {
  CopySamples();
  auto bytes = [&](const std::string& name) { return testutil::ReadFileText(Path(name)); };
  for (const char* threads : {"1", "3"}) {
    const std::string n = threads;
    TRun r = Run({"convert", "szene_r.jpg", "c" + n + ".bmp", "--rotate", "1.7", "--mirror", "--resize", "1000x700",
                  "--bcg", "5,1.2,0.9", "--threads", threads});
    ASSERT_EQ(r.Status, 0) << r.Err;
    // With the tilt lines of the parameter files, the zoomed save and progress reports.
    r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "s" + n + ".bmp", "--mode", "colour", "--zoom", "0.7",
             "--progress", "--threads", threads});
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  EXPECT_EQ(bytes("c1.bmp"), bytes("c3.bmp"));
  EXPECT_EQ(bytes("s1.bmp"), bytes("s3.bmp"));
}

TEST_F(CliTest, ConvertStepsAndResolution) {
  CopySamples();
  TRun r = Run({"convert", "szene_l.jpg", "small.png", "--rotate", "90", "--resize", "90x120", "--bits", "8",
                "--palette", "gray256"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  r = Run({"info", "small.png"});
  ASSERT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("Width: 90\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Height: 120\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Bits per pixel: 8\n"), std::string::npos) << r.Out;

  // Rotating by 90 degrees with resize swaps the sides.
  r = Run({"convert", "szene_l.jpg", "rot.bmp", "--rotate", "-90"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto rot = Load(Path("rot.bmp"));
  EXPECT_EQ(rot->Width(), 900);
  EXPECT_EQ(rot->Height(), 1200);

  // Grey filter, mirror: a grey picture, mirrored.
  r = Run({"convert", "szene_l.jpg", "grey.bmp", "--grey", "--mirror"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto grey = Load(Path("grey.bmp"));
  auto src = Load(Path("szene_l.jpg"));
  const TColorRef c = src->PixelColors(1199, 10);
  const unsigned g = ((299 * GetRValue(c) + 587 * GetGValue(c) + 114 * GetBValue(c)) * 3 / 1000) / 3;
  EXPECT_EQ(grey->PixelColors(0, 10), RGBColor(g, g, g));

  // RGB curve: red +100 % makes red 255 everywhere.
  r = Run({"convert", "szene_l.jpg", "red.bmp", "--rgb", "100,0,0"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto red = Load(Path("red.bmp"));
  EXPECT_EQ(GetRValue(red->PixelColors(500, 500)), 255u);
  EXPECT_EQ(GetGValue(red->PixelColors(500, 500)), GetGValue(src->PixelColors(500, 500)));

  // One bit, black and white, without dithering.
  r = Run({"convert", "szene_l.jpg", "bw.bmp", "--bits", "1", "--no-dither"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto bw = Load(Path("bw.bmp"));
  EXPECT_EQ(bw->BitCount(), bc1Bit);
}

// The aligned pair as MPO and JPS, and stereo images composed from such files
// and from a picture of both views.
TEST_F(CliTest, StereoFilesInAndOut) {
  CopySamples();
  TRun r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "pair.mpo"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Stereo pair: 1167 x 895 each -> pair.mpo\n");
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "pair.jps"}).Status, 0);
  r = Run({"info", "pair.mpo"});
  EXPECT_NE(r.Out.find("Images: 2\nImage 0: Left view, 1167 x 895\nImage 1: Right view, 1167 x 895\n"),
            std::string::npos)
      << r.Out;
  r = Run({"info", "pair.jps", "--index", "1"});
  EXPECT_NE(r.Out.find("Kind: Right view\nWidth: 1167\n"), std::string::npos) << r.Out;

  // The aligned pair needs no alignment any more: its halves side by side.
  for (const char* pair : {"pair.mpo", "pair.jps"}) {
    r = Run({"compose", pair, "sbs.png", "--mode", "left-right"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Load(Path("sbs.png"))->Width(), 2 * 1167);
  }
  // A picture of both views, split.
  r = Run({"compose", "sbs.png", "anaglyph.png", "--split", "parallel"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Load(Path("anaglyph.png"))->Width(), 1167);
  // Without --split a plain picture is no pair; the message says what to do.
  r = Run({"compose", "sbs.png", "x.png"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("Not a MPO/JPS file\nFor a picture holding both views give --split"), std::string::npos)
      << r.Err;
  EXPECT_FALSE(fs::exists(Path("x.png")));
}

// ------------------------------------------------------------------ automatic alignment

TEST_F(CliTest, AlignPrintsWritesParametersAndComposeUsesThem) {
  CopySamples();
  fs::remove(Path("szene_l.3DF"));
  fs::remove(Path("szene_r.3DF"));
  TRun r = Run({"align", "szene_l.jpg", "szene_r.jpg"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  for (const char* line : {"Vertical offset: ", "\nRoll: ", "\nScale: 1.0", "\nWindow point: left ", "\nDeviation: ",
                           "\nResidual: ", "\nMatches: "})
    EXPECT_NE(r.Out.find(line), std::string::npos) << line << "\n" << r.Out;
  EXPECT_NE(r.Err.find("exceeds 1/30 of the width"), std::string::npos) << r.Err; // the close torus
  EXPECT_FALSE(fs::exists(Path("szene_l.3DF")));

  r = Run({"align", "szene_l.jpg", "szene_r.jpg", "--json", "--write-params"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.rfind("{\n  \"aligned\": true,\n", 0), 0u) << r.Out;
  EXPECT_NE(r.Out.find("\"deviationWarning\": true"), std::string::npos) << r.Out;
  const TSideAlignment left = ReadParameters(Path("szene_l.jpg")), right = ReadParameters(Path("szene_r.jpg"));
  ASSERT_TRUE(left.Scale && right.Scale && right.Exact);
  EXPECT_EQ(*left.Scale, 1);
  EXPECT_NE(r.Out.find("\"x\": " + std::to_string(right.Point.X) + ", \"y\": " + std::to_string(right.Point.Y)),
            std::string::npos);

  // Composing from the stored files and composing with --auto-align give the
  // same picture, cropped to what both corrected photographs fill.
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "stored.bmp", "--mode", "4"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "auto.bmp", "--mode", "4", "--auto-align", "--no-params"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.rfind("Aligned: vertical offset ", 0), 0u) << r.Out;
  EXPECT_TRUE(testutil::ReadFileText(Path("stored.bmp")) == testutil::ReadFileText(Path("auto.bmp")));
  auto a = Load(Path("auto.bmp"));
  EXPECT_LT(a->Width(), 2 * 1167);
  EXPECT_LT(a->Height(), 895);
  // The aligned pair as a stereo file holds the same two halves.
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "pair.mpo"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Stereo pair: " + std::to_string(a->Width() / 2) + " x " + std::to_string(a->Height()) +
                       " each -> pair.mpo\n");
  // A point given by hand overrides the automatic one on its side.
  r = Run({"compose", "szene_l.jpg", "szene_r.jpg", "moved.bmp", "--mode", "4", "--auto-align", "--left-point",
           std::to_string(left.Point.X + 20) + "," + std::to_string(left.Point.Y)});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Load(Path("moved.bmp"))->Width(), a->Width() - 2 * 20);
}

// Pictures with too little in common: align says so and writes nothing;
// compose says so and keeps the alignment it has (a failure with --strict).
TEST_F(CliTest, AlignRefusesPicturesWithTooLittleInCommon) {
  CopySamples();
  TPixelGraphic sky;
  sky.SetSize(1200, 900, bc24Bit);
  sky.Clear();
  sky.SaveToFile(Path("sky.bmp"));
  TRun r = Run({"align", "szene_l.jpg", "sky.bmp", "--write-params"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("too little in common"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Path("sky.3DF")));
  r = Run({"align", "szene_l.jpg", "sky.bmp", "--json", "--lang", "de"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("\"aligned\": false"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("zu wenig gemeinsam"), std::string::npos) << r.Out;

  r = Run({"compose", "szene_l.jpg", "sky.bmp", "o.bmp", "--mode", "4", "--auto-align", "--left-point", "10,0",
           "--right-point", "0,0"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("too little in common"), std::string::npos) << r.Err;
  EXPECT_EQ(Load(Path("o.bmp"))->Width(), 2 * 1190);
  r = Run({"compose", "szene_l.jpg", "sky.bmp", "s.bmp", "--auto-align", "--strict"});
  EXPECT_EQ(r.Status, 1);
}

// --crop-wedges (or the settings file's CropWedges) crops a hand-made tilt's
// black corners.
TEST_F(CliTest, CropWedgesForHandAlignments) {
  CopySamples();
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "plain.bmp", "--mode", "4"}).Status, 0);
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "crop.bmp", "--mode", "4", "--crop-wedges"}).Status, 0);
  fs::create_directories(Path("config/zwillo"));
  std::ofstream(Path("config/zwillo/VEXO.INI")) << "[Settings]\nCropWedges=1\n";
  ASSERT_EQ(Run({"compose", "szene_l.jpg", "szene_r.jpg", "ini.bmp", "--mode", "4"}).Status, 0);
  auto plain = Load(Path("plain.bmp")), crop = Load(Path("crop.bmp"));
  auto black = [](const TPixelGraphic& g) {
    int n = 0;
    for (int y = 0; y < g.Height(); ++y)
      for (int x = 0; x < g.Width(); ++x) n += g.PixelColors(x, y) == 0;
    return n;
  };
  EXPECT_EQ(plain->Width(), 2 * 1167);
  EXPECT_GT(black(*plain), 1000); // the wedges
  EXPECT_LT(crop->Width(), plain->Width());
  EXPECT_LT(crop->Height(), plain->Height());
  EXPECT_EQ(black(*crop), 0);
  EXPECT_TRUE(testutil::ReadFileText(Path("ini.bmp")) == testutil::ReadFileText(Path("crop.bmp")));
}

} // namespace
