#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

std::string ExtractFileExt(const std::string& name) {
  const size_t pos = name.find_last_of("./");
  if (pos == std::string::npos || name[pos] != '.') return {};
  return name.substr(pos);
}

std::string ExtractFileName(const std::string& name) {
  const size_t pos = name.find_last_of('/');
  return pos == std::string::npos ? name : name.substr(pos + 1);
}

std::string ExtractFilePath(const std::string& name) {
  const size_t pos = name.find_last_of('/');
  return pos == std::string::npos ? std::string() : name.substr(0, pos + 1);
}

std::string GetTempPath() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool CreateDirectory(const std::string& name) { return ::mkdir(name.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& name) {
  if (name.empty()) return false;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string path;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = name.find('/', pos + 1);
    path = name.substr(0, pos);
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WindowsDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/zwillo";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/zwillo";
}

} // namespace platform
