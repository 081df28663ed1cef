#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// A private folder for the file-based readers (settings and parameter files),
// created once per process and removed at exit.
namespace zwfuzz {

inline const std::string& TempFolder() {
  // Never destroyed: the exit handler that removes the folder needs the name.
  static const std::string& folder = *[] {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/zwillo-fuzz.XXXXXX";
    if (!mkdtemp(templ.data())) std::abort();
    std::atexit([] { std::system(("rm -rf '" + TempFolder() + "'").c_str()); });
    return new std::string(templ);
  }();
  return folder;
}

// Writes the bytes to name in the folder and returns the full path.
inline std::string WriteTempFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = TempFolder() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

} // namespace zwfuzz
