// A stand-in for the external stereo viewer. Started by the program's hand-off,
// it records its working directory, whether "ELSAVIEWER.BMP" is there (and its
// size in bytes) and the number of its arguments, one a line, into the file
// named by ZWILLO_STUB_RECORD, then ends. The record is written under another
// name and renamed, so that whoever waits for it never reads half of it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char**) {
  const char* record = std::getenv("ZWILLO_STUB_RECORD");
  if (!record || !*record) return 2;
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  if (ec) return 3;
  const bool found = std::filesystem::is_regular_file("ELSAVIEWER.BMP", ec);
  const long long size = found ? static_cast<long long>(std::filesystem::file_size("ELSAVIEWER.BMP", ec)) : -1;
  const std::string part = std::string(record) + ".part";
  std::FILE* f = std::fopen(part.c_str(), "w");
  if (!f) return 4;
  std::fprintf(f, "%s\n%s\n%lld\n%d\n", folder.c_str(), found ? "found" : "missing", size, argc - 1);
  if (std::fclose(f) != 0) return 4;
  return std::rename(part.c_str(), record) == 0 ? 0 : 5;
}
