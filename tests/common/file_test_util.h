// File helpers shared by the test suites: whole-file reads and writes, folder
// listings, a scratch folder that doubles as the configuration folder, and a
// lowered file-size limit that makes writes fail as on a full disk.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace testutil {

namespace fs = std::filesystem;

// The whole file as text; empty when it cannot be read.
inline std::string ReadFileText(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The whole file as bytes; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Writes content as the whole file, creating missing folders.
inline void WriteFileText(const fs::path& p, const std::string& content) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f << content;
}

// The names of the entries of one folder.
inline std::set<std::string> FolderListing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// A fresh folder under /tmp for the lifetime of the object. With
// asConfigHome, XDG_CONFIG_HOME points at its "config" subfolder meanwhile,
// so the configuration folder is Path("config/zwillo"). The destructor puts
// the environment back and removes the folder, even one made read-only.
class TScratchFolder {
public:
  explicit TScratchFolder(const std::string& tag, bool asConfigHome = false) : FConfig(asConfigHome) {
    std::string templ = "/tmp/zwillo_" + tag + "_XXXXXX";
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    FDir = templ;
    if (FConfig) {
      const char* old = getenv("XDG_CONFIG_HOME");
      FHadXdg = old != nullptr;
      if (old) FOldXdg = old;
      setenv("XDG_CONFIG_HOME", (FDir + "/config").c_str(), 1);
    }
  }
  ~TScratchFolder() {
    if (FConfig) {
      if (FHadXdg) setenv("XDG_CONFIG_HOME", FOldXdg.c_str(), 1);
      else unsetenv("XDG_CONFIG_HOME");
    }
    std::error_code ec;
    fs::permissions(FDir, fs::perms::owner_all, ec);
    fs::remove_all(FDir, ec);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  const std::string& Dir() const { return FDir; }
  std::string Path(const std::string& name) const { return FDir + "/" + name; }

private:
  std::string FDir, FOldXdg;
  bool FConfig, FHadXdg = false;
};

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
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit FOld{};
  sighandler_t FOldHandler;
};

} // namespace testutil
