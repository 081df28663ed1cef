// Settings and parameter files when the disk fills up part-way: the write
// raises, the file on disk is never left cut short, and no temporary file
// remains. The limit is imposed with RLIMIT_FSIZE.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "app/core/paramfile.h"
#include "common/file_test_util.h"
#include "platform/inifile.h"

namespace fs = std::filesystem;

namespace {

using namespace testutil;


// Runs body while files may not grow past limit bytes. Returns 0 when body
// returned, 1 for EIniFileException, 2 for anything else.
int RunWithFileSizeLimit(int64_t limit, const std::function<void()>& body) {
  TFileSizeLimit guard(limit);
  try {
    body();
    return 0;
  } catch (const platform::EIniFileException&) {
    return 1;
  } catch (...) {
    return 2;
  }
}

class SettingsSaveFaults : public ::testing::Test {
protected:
  TScratchFolder scratch{"inifault"};
  fs::path dir{scratch.Dir()};
};

const std::string kOld = "; kept\r\n[Settings]\r\nLanguage=de\r\n[Parameter]\r\nx=1\r\n";

TEST_F(SettingsSaveFaults, IniWriteOnFullDiskKeepsTheOldFile) {
  const fs::path file = dir / "zwillo.ini";
  // The size of the complete result bounds the failure points.
  WriteFileText(file, kOld);
  platform::WriteProfileString(file.string(), "Parameter", "xD", "12345");
  const int64_t full = static_cast<int64_t>(ReadFileText(file).size());
  for (int64_t n = 0; n < full; ++n) {
    SCOPED_TRACE("limit " + std::to_string(n));
    WriteFileText(file, kOld);
    EXPECT_EQ(RunWithFileSizeLimit(n, [&] { platform::WriteProfileString(file.string(), "Parameter", "xD", "12345"); }),
              1);
    EXPECT_EQ(ReadFileText(file), kOld);
    EXPECT_EQ(FolderListing(dir), std::set<std::string>{"zwillo.ini"});
  }
  fs::remove(file);
  EXPECT_EQ(RunWithFileSizeLimit(4, [&] { platform::WriteProfileString(file.string(), "S", "k", "value"); }), 1);
  EXPECT_TRUE(FolderListing(dir).empty());
  EXPECT_EQ(RunWithFileSizeLimit(full, [&] { platform::WriteProfileString(file.string(), "S", "k", "value"); }), 0);
  EXPECT_EQ(platform::GetProfileString(file.string(), "S", "k", ""), "value");
}

// The parameter file is written key by key: keys written before the failure
// stay, but the file is always a complete INI file (whole lines) and the
// write reports the failure.
TEST_F(SettingsSaveFaults, ParameterFileOnFullDiskRaisesAndStaysWhole) {
  const std::string image = (dir / "haus_l.jpg").string();
  const fs::path params = dir / "haus_l.3DF";
  TSideAlignment side;
  side.Point = {1234, 567};
  side.TurnPoint = {-89, 10};
  side.Line = {11, 22, 3333, 4444};
  WriteParameters(image, side);
  const int64_t full = static_cast<int64_t>(ReadFileText(params).size());
  const std::string old = "[Parameter]\nx=7\n";
  for (int64_t n = 0; n < full; n += 3) {
    SCOPED_TRACE("limit " + std::to_string(n));
    WriteFileText(params, old);
    EXPECT_EQ(RunWithFileSizeLimit(n, [&] { WriteParameters(image, side); }), 1);
    const std::string now = ReadFileText(params);
    EXPECT_TRUE(now == old || (!now.empty() && now.back() == '\n' && now.rfind("[Parameter]\n", 0) == 0)) << now;
    EXPECT_EQ(FolderListing(dir), std::set<std::string>{"haus_l.3DF"});
  }
  EXPECT_EQ(RunWithFileSizeLimit(full, [&] { WriteParameters(image, side); }), 0);
  const TSideAlignment back = ReadParameters(image);
  EXPECT_EQ(back.Line.Y2, 4444);
  EXPECT_EQ(back.TurnPoint.X, -89);
}

} // namespace
