#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "app/core/compose.h"
#include "app/core/correction.h"
#include "app/core/paramfile.h"
#include "app/core/settingsfile.h"
#include "common/file_test_util.h"

namespace {

class AlignmentFiles : public ::testing::Test {
protected:
  std::string Path(const std::string& name) const { return FScratch.Path(name); }
  testutil::TScratchFolder FScratch{"alignfiles", true};
};

// The keys of an automatic alignment come after the design's eight, read
// back exactly enough; a hand-made alignment writes the design's file only.
TEST_F(AlignmentFiles, AutomaticKeysRoundTripAndHandAlignmentsStayAsDesigned) {
  const std::string photo = Path("r.jpg");
  TSideAlignment s;
  s.Point = {429, 765};
  s.Scale = 1.0181814;
  s.Exact = TExactPoint{428.6524, 764.8016};
  WriteParameters(photo, s);
  EXPECT_EQ(testutil::ReadFileText(Path("r.3DF")),
            "[Parameter]\nx=429\ny=765\nxD=0\nyD=0\nx1=0\ny1=0\nx2=0\ny2=0\nScale=1.018181\nxExact=428.652\n"
            "yExact=764.802\n");
  const TSideAlignment r = ReadParameters(photo);
  ASSERT_TRUE(r.Scale && r.Exact);
  EXPECT_DOUBLE_EQ(*r.Scale, 1.018181);
  EXPECT_DOUBLE_EQ(r.Exact->Y, 764.802);

  // Saving the side after the keys were dropped (a hand-made alignment)
  // empties them, so they do not come back.
  s.Scale.reset();
  s.Exact.reset();
  WriteParameters(photo, s);
  const TSideAlignment h = ReadParameters(photo);
  EXPECT_FALSE(h.Scale || h.Exact);
  const std::string fresh = Path("l.jpg");
  WriteParameters(fresh, s);
  EXPECT_EQ(testutil::ReadFileText(Path("l.3DF")), "[Parameter]\nx=429\ny=765\nxD=0\nyD=0\nx1=0\ny1=0\nx2=0\ny2=0\n");
}

// Numbers with a point whatever the locale; anything else is no key.
TEST_F(AlignmentFiles, MalformedAutomaticKeysAreIgnored) {
  testutil::WriteFileText(Path("p.3DF"), "[Parameter]\nx=5\ny=6\nScale=1,02\nxExact=5.2\n");
  TSideAlignment s = ReadParameters(Path("p.jpg"));
  EXPECT_FALSE(s.Scale);
  EXPECT_FALSE(s.Exact); // yExact missing
  testutil::WriteFileText(Path("p.3DF"), "[Parameter]\nx=5\ny=6\nScale=0x1\nxExact=5.2\nyExact=nan\n");
  s = ReadParameters(Path("p.jpg"));
  EXPECT_FALSE(s.Scale || s.Exact);
  // A scale the composition cannot mean, or on one side only, does nothing.
  TPairAlignment a;
  a.Left.Scale = 1;
  a.Right.Scale = 40;
  EXPECT_FALSE(RightCorrection(a).Automatic);
  a.Right.Scale = 1.02;
  EXPECT_TRUE(RightCorrection(a).Automatic);
  a.Left.Scale.reset();
  EXPECT_FALSE(RightCorrection(a).Automatic);

  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
    s.Scale = 1.5;
    WriteParameters(Path("q.jpg"), s);
    EXPECT_NE(testutil::ReadFileText(Path("q.3DF")).find("Scale=1.500000\n"), std::string::npos);
    std::setlocale(LC_NUMERIC, saved.c_str());
  }
}

// An exact point belongs to its identical point: one moved by hand (or given
// on the command line) no longer uses it.
TEST_F(AlignmentFiles, ExactPointFollowsItsIdenticalPoint) {
  TPairAlignment a;
  a.Left.Scale = 1;
  a.Right.Scale = 1;
  a.Left.Point = {100, 100};
  a.Right.Point = {90, 101};
  a.Right.Exact = TExactPoint{90.2, 100.7};
  EXPECT_TRUE(RightCorrection(a).Resample);
  EXPECT_DOUBLE_EQ(RightCorrection(a).SourceY, 100.7);
  a.Right.Point = {90, 103};
  EXPECT_FALSE(RightCorrection(a).Resample);
  a.Right.Point = {90, 101};
  TAlignmentOverrides o;
  o.LeftPoint = TStereoPoint{120, 100};
  o.ApplyTo(a);
  EXPECT_FALSE(a.Right.Exact);
  EXPECT_TRUE(a.Right.Scale); // the scale belongs to the photographs, not to the points
}

TEST_F(AlignmentFiles, CropSettingIsWrittenOnlyWhenUsed) {
  const std::string ini = Path("config/zwillo/VEXO.INI");
  TSettings s = ReadSettings();
  EXPECT_FALSE(s.CropWedges);
  SaveToIni(s);
  EXPECT_EQ(testutil::ReadFileText(ini).find("CropWedges"), std::string::npos);
  s.CropWedges = true;
  SaveToIni(s);
  EXPECT_NE(testutil::ReadFileText(ini).find("ShowELSAViewer=1\nCropWedges=1\n"), std::string::npos);
  EXPECT_TRUE(ReadSettings().CropWedges);
  s.CropWedges = false;
  SaveToIni(s);
  EXPECT_NE(testutil::ReadFileText(ini).find("CropWedges=0\n"), std::string::npos);
  EXPECT_FALSE(ReadSettings().CropWedges);
}

} // namespace
