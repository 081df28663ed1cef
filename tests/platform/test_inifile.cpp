#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "common/file_test_util.h"
#include "platform/files.h"
#include "platform/inifile.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

class IniFileTest : public ::testing::Test {
protected:
  std::string Path(const std::string& name) const { return FScratch.Path(name); }
  static void Put(const std::string& path, const std::string& content) { testutil::WriteFileText(path, content); }
  static std::string Get(const std::string& path) { return testutil::ReadFileText(path); }
  testutil::TScratchFolder FScratch{"ini", true};
  const std::string& FDir = FScratch.Dir();
};

TEST_F(IniFileTest, ReadsCaseInsensitivelyWithBlanksQuotesAndDefaults) {
  const std::string p = Path("a.ini");
  Put(p, "; comment\r\n[Other]\r\nx=1\r\n[ parameter ]\r\n  X = 42 \r\nname=\"quoted value\"\r\nempty=\r\nx=7\r\n");
  EXPECT_EQ(GetProfileString(p, "PARAMETER", "x", "d"), "42"); // first key of the name wins
  EXPECT_EQ(GetProfileString(p, "Other", "X", "d"), "1");
  EXPECT_EQ(GetProfileString(p, "parameter", "NAME", "d"), "quoted value");
  EXPECT_EQ(GetProfileString(p, "parameter", "empty", "d"), "");
  EXPECT_EQ(GetProfileString(p, "parameter", "missing", "d"), "d");
  EXPECT_EQ(GetProfileString(p, "nosection", "x", "d"), "d");
  EXPECT_EQ(GetProfileString(Path("missing.ini"), "parameter", "x", "d"), "d");
}

TEST_F(IniFileTest, ReplacesInPlaceAndKeepsForeignContentByteForByte) {
  const std::string p = Path("b.ini");
  const std::string before = "; keep me\r\n[Parameter]\r\nx=185\r\nforeign = stays  \r\ny=226\r\n\r\n[Zzz]\r\nq=1";
  Put(p, before);
  WriteProfileString(p, "parameter", "X", "-5");
  EXPECT_EQ(Get(p), "; keep me\r\n[Parameter]\r\nX=-5\r\nforeign = stays  \r\ny=226\r\n\r\n[Zzz]\r\nq=1");
  // A new key goes after the section's last entry, before its blank lines, with the file's line ends.
  WriteProfileString(p, "Parameter", "xD", "0");
  EXPECT_EQ(Get(p), "; keep me\r\n[Parameter]\r\nX=-5\r\nforeign = stays  \r\ny=226\r\nxD=0\r\n\r\n[Zzz]\r\nq=1");
  // A key of the last section on a last line without line end.
  WriteProfileString(p, "zzz", "r", "2");
  EXPECT_EQ(Get(p), "; keep me\r\n[Parameter]\r\nX=-5\r\nforeign = stays  \r\ny=226\r\nxD=0\r\n\r\n[Zzz]\r\nq=1\r\nr=2\r\n");
  // A new section is appended at the end.
  WriteProfileString(p, "Settings", "JPEG", "80");
  EXPECT_EQ(GetProfileString(p, "settings", "jpeg", ""), "80");
  EXPECT_EQ(Get(p).substr(Get(p).size() - 21), "[Settings]\r\nJPEG=80\r\n");
}

TEST_F(IniFileTest, NewFileGetsKeysInWriteOrder) {
  const std::string p = Path("new.3DF");
  WriteProfileString(p, "Parameter", "x", "512");
  WriteProfileString(p, "Parameter", "y", "384");
  WriteProfileString(p, "Parameter", "xD", "0");
  EXPECT_EQ(Get(p), "[Parameter]\nx=512\ny=384\nxD=0\n");
}

TEST_F(IniFileTest, NameWithoutFolderLivesInConfigFolderCreatedOnWrite) {
  const std::string config = FDir + "/config/zwillo";
  EXPECT_EQ(ProfileFilePath("VEXO.INI"), config + "/VEXO.INI");
  EXPECT_EQ(ProfileFilePath("./VEXO.INI"), "./VEXO.INI");
  EXPECT_FALSE(fs::exists(config));
  EXPECT_EQ(GetProfileString("VEXO.INI", "Settings", "JPEG", "none"), "none");
  EXPECT_FALSE(fs::exists(config)); // reading creates nothing
  WriteProfileString("VEXO.INI", "Settings", "JPEG", "75");
  EXPECT_TRUE(fs::exists(config + "/VEXO.INI"));
  EXPECT_EQ(GetProfileString("VEXO.INI", "Settings", "JPEG", "none"), "75");
}

TEST_F(IniFileTest, FailedWriteRaisesGermanMessageAndKeepsFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  const std::string sub = Path("ro");
  fs::create_directory(sub);
  const std::string p = sub + "/p.3DF";
  Put(p, "[Parameter]\nx=1\n");
  fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
  try {
    WriteProfileString(p, "Parameter", "x", "2");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(std::string(e.what()), "nach " + p + " kann nicht geschrieben werden");
  }
  fs::permissions(sub, fs::perms::owner_all);
  EXPECT_EQ(Get(p), "[Parameter]\nx=1\n");
  // No temporary files left behind.
  int count = 0;
  for (auto& e : fs::directory_iterator(sub)) { (void)e; ++count; }
  EXPECT_EQ(count, 1);
}

TEST_F(IniFileTest, WriteFailingHalfWayKeepsOldFile) {
  const std::string p = Path("big.ini");
  const std::string before = "[S]\nk=" + std::string(3000, 'a') + "\n";
  Put(p, before);
  // Let the write of the new content fail after 1000 bytes (file size limit).
  bool raised = false;
  try {
    testutil::TFileSizeLimit limit(1000);
    WriteProfileString(p, "S", "k", std::string(3000, 'b'));
  } catch (const EIniFileException& e) {
    raised = true;
    EXPECT_EQ(std::string(e.what()), "nach " + p + " kann nicht geschrieben werden");
  }
  EXPECT_TRUE(raised);
  EXPECT_EQ(Get(p), before);
  int count = 0;
  for (auto& e : fs::directory_iterator(FDir)) { (void)e; ++count; }
  EXPECT_EQ(count, 1); // no temporary file left
  // A missing folder fails the same way.
  EXPECT_THROW(WriteProfileString(Path("nofolder/x.ini"), "S", "k", "v"), EIniFileException);
}

TEST(IniIntegers, DecimalAndHexRules) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("0x1F", v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryStrToInt("0XfF", v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(TryStrToInt("-17", v));
  EXPECT_EQ(v, -17);
  EXPECT_TRUE(TryStrToInt("+8", v));
  EXPECT_EQ(v, 8);
  EXPECT_TRUE(TryStrToInt("0xFFFFFFFF", v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  EXPECT_EQ(v, INT32_MIN);
  for (const char* bad : {"12abc", "", "0x", "-", "2147483648", "0x123456789", "1 2", "0xG", "$1F", "1.5"})
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
  EXPECT_EQ(StrToIntDef("12abc", 0), 0);
  EXPECT_EQ(StrToIntDef(" 100 ", 0), 100);
}

} // namespace
