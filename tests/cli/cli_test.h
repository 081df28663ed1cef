// The fixture of the zwillo-cli tests: each test runs the built tool in a
// scratch folder that is also its configuration folder.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_test_util.h"

namespace clitest {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  q += '\'';
  return q;
}

// Each test runs the tool in a scratch folder that is also its configuration folder.
class CliTest : public ::testing::Test {
protected:
  std::string Path(const std::string& name) const { return FScratch.Path(name); }

  TRun Run(const std::vector<std::string>& args) const {
    std::string cmd = "cd ";
    cmd += Quote(FDir);
    cmd += " && ";
    cmd += Quote(ZWILLO_CLI);
    for (const auto& a : args) {
      cmd += ' ';
      cmd += Quote(a);
    }
    cmd += " >";
    cmd += Quote(Path("stdout.txt"));
    cmd += " 2>";
    cmd += Quote(Path("stderr.txt"));
    TRun r;
    const int status = std::system(cmd.c_str());
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.Out = testutil::ReadFileText(Path("stdout.txt"));
    r.Err = testutil::ReadFileText(Path("stderr.txt"));
    return r;
  }
  // The sample pair copied into the scratch folder with its parameter files.
  void CopySamples() const {
    for (const char* f : {"szene_l.jpg", "szene_r.jpg", "szene_l.3DF", "szene_r.3DF"})
      fs::copy_file(std::string(ZWILLO_SAMPLES) + "/" + f, Path(f));
  }
  testutil::TScratchFolder FScratch{"cli", true};
  const std::string& FDir = FScratch.Dir();
};

} // namespace clitest
