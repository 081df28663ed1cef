// Settings and parameter files when the disk fills up part-way: the write
// raises, the file on disk is never left cut short, and no temporary file
// remains. The limit is imposed with RLIMIT_FSIZE.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "app/paramfile.h"
#include "platform/inifile.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}
void WriteText(const fs::path& p, const std::string& s) {
  std::ofstream f(p, std::ios::binary);
  f << s;
}
std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A lowered file-size limit for the lifetime of the object: writes that
// would make a file larger than limit bytes fail with EFBIG (SIGXFSZ is
// ignored meanwhile). Only the soft limit changes, so it can be put back.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(int64_t limit) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit rl = FOld;
    rl.rlim_cur = static_cast<rlim_t>(limit);
    if (FOld.rlim_max != RLIM_INFINITY && rl.rlim_cur > FOld.rlim_max) rl.rlim_cur = FOld.rlim_max;
    setrlimit(RLIMIT_FSIZE, &rl);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    signal(SIGXFSZ, FOldHandler);
  }

private:
  rlimit FOld{};
  sighandler_t FOldHandler;
};

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
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zwillo_inifault_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

const std::string kOld = "; kept\r\n[Settings]\r\nLanguage=de\r\n[Parameter]\r\nx=1\r\n";

TEST_F(SettingsSaveFaults, IniWriteOnFullDiskKeepsTheOldFile) {
  const fs::path file = dir / "zwillo.ini";
  // The size of the complete result bounds the failure points.
  WriteText(file, kOld);
  platform::WriteProfileString(file.string(), "Parameter", "xD", "12345");
  const int64_t full = static_cast<int64_t>(ReadText(file).size());
  for (int64_t n = 0; n < full; ++n) {
    SCOPED_TRACE("limit " + std::to_string(n));
    WriteText(file, kOld);
    EXPECT_EQ(RunWithFileSizeLimit(n, [&] { platform::WriteProfileString(file.string(), "Parameter", "xD", "12345"); }),
              1);
    EXPECT_EQ(ReadText(file), kOld);
    EXPECT_EQ(Listing(dir), std::set<std::string>{"zwillo.ini"});
  }
  fs::remove(file);
  EXPECT_EQ(RunWithFileSizeLimit(4, [&] { platform::WriteProfileString(file.string(), "S", "k", "value"); }), 1);
  EXPECT_TRUE(Listing(dir).empty());
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
  const int64_t full = static_cast<int64_t>(ReadText(params).size());
  const std::string old = "[Parameter]\nx=7\n";
  for (int64_t n = 0; n < full; n += 3) {
    SCOPED_TRACE("limit " + std::to_string(n));
    WriteText(params, old);
    EXPECT_EQ(RunWithFileSizeLimit(n, [&] { WriteParameters(image, side); }), 1);
    const std::string now = ReadText(params);
    EXPECT_TRUE(now == old || (!now.empty() && now.back() == '\n' && now.rfind("[Parameter]\n", 0) == 0)) << now;
    EXPECT_EQ(Listing(dir), std::set<std::string>{"haus_l.3DF"});
  }
  EXPECT_EQ(RunWithFileSizeLimit(full, [&] { WriteParameters(image, side); }), 0);
  const TSideAlignment back = ReadParameters(image);
  EXPECT_EQ(back.Line.Y2, 4444);
  EXPECT_EQ(back.TurnPoint.X, -89);
}

} // namespace
