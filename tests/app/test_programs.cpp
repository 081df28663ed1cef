#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The shared libraries a program loads, as the dynamic loader resolves them.
std::string Libraries(const std::string& program) {
  std::string out;
  FILE* p = ::popen(("ldd '" + program + "' 2>&1").c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  ::pclose(p);
  return out;
}

// No program of the build loads Qt 5 (the Qt 6 programs would crash or
// misbehave with both): the alignment links only OpenCV's modules without
// its GUI. This test program links the alignment itself.
TEST(Programs, NoneLinksQt5) {
  std::ifstream list(ZWILLO_PROGRAM_LIST);
  std::string program;
  int checked = 0;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  for (bool first = true; first || std::getline(list, program); first = false) {
    if (first) program = self;
    if (program.empty() || !std::filesystem::exists(program)) continue;
    const std::string libs = Libraries(program);
    EXPECT_NE(libs.find("libc.so"), std::string::npos) << program << ": " << libs;
    EXPECT_EQ(libs.find("libQt5"), std::string::npos) << program << ": " << libs;
    ++checked;
  }
  EXPECT_GE(checked, 2);
  EXPECT_NE(Libraries(self).find("libopencv_features2d"), std::string::npos);
}

} // namespace
