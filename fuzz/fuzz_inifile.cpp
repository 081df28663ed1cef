// The INI reader and writer behind the settings and parameter files: the
// input is the file. A few keys are read by name (fixed ones, and one whose
// section and key names come from the input's second line, "section/key"), the
// integer parser sees the input as text, and with mode bit 1 a key is written
// back (in-place update, appended key or appended section).
#include <string>

#include "fuzz/fuzz_common.h"
#include "fuzz/fuzz_tempfile.h"
#include "platform/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string path = zwfuzz::WriteTempFile("settings.ini", data + 1, size - 1);

  std::string section = "Parameter", key = "x";
  const size_t nl = text.find('\n');
  if (nl != std::string::npos) {
    const std::string second = text.substr(nl + 1, text.find('\n', nl + 1) - nl - 1);
    const size_t slash = second.find('/');
    if (slash != std::string::npos) {
      section = second.substr(0, slash);
      key = second.substr(slash + 1);
    }
  }
  int32_t v = 0;
  (void)platform::TryStrToInt(text.substr(0, 64), v);
  zwfuzz::Guard([&] {
    const platform::TIniFile ini(path);
    (void)ini.ReadString(section, key, "");
    (void)ini.ReadInteger("Parameter", "xD", 0);
    (void)ini.ReadBool("Settings", "Interpolate", false);
    if (mode & 2) {
      ini.WriteString(section, key, "12");
      ini.WriteInteger("Parameter", "y2", -5);
      if (ini.ReadInteger("Parameter", "y2", 0) != -5) std::abort();
    }
  });
  return 0;
}
