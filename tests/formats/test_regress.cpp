// Inputs that once crashed, hung or leaked in a fuzz target, minimised, each
// replayed the way its target ran it (the file name's prefix names the
// target; the first byte is the target's mode byte, see fuzz/fuzz_common.h).
// Each must end with an image or one of the library's errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_test_util.h"
#include "fuzz/fuzz_modes.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/formats/settings.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> RegressionInputs() {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(ZWILLO_TEST_DATA) / "regress";
  if (fs::is_directory(dir))
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file() && e.path().filename().string().rfind("fuzz_", 0) == 0) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Replays one input; returns normally when the library ended with an image or
// its own error, fails the test for any other exception.
void Replay(const std::string& target, const std::vector<uint8_t>& input) {
  if (input.empty()) return;
  const uint8_t mode = input[0];
  const uint8_t* data = input.data() + 1;
  const int64_t size = static_cast<int64_t>(input.size() - 1);
  const TPGWarningAction action = zwfuzz::WarningAction(mode);
  const auto& readers = PGFormatRegistry().Readers();
  auto guarded = [&](auto&& body) {
    try {
      body();
    } catch (const EPixelGraphic&) {
    } catch (const EStreamError&) {
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected exception: " << e.what();
    }
  };
  TReadOnlyMemoryStream stream(data, size);
  TPixelGraphic g;
  g.SetReadWarningAction(action);
  const int index = target == "fuzz_packed" ? 0 : zwfuzz::ReadSettings(mode);
  if (target == "fuzz_load") {
    guarded([&] {
      if (index != 0)
        g.LoadStreamAs(stream, "", index);
      else
        g.LoadFromStream(stream);
    });
  } else if (target == "fuzz_reader") {
    const auto& reader = *readers[(mode >> 2) % readers.size()];
    guarded([&] { g.LoadStreamAs(stream, reader.Extension, index); });
  } else if (target == "fuzz_info") {
    for (const auto& reader : readers) {
      TReadOnlyMemoryStream s(data, size);
      TPGFileInfo info;
      guarded([&] { reader->GetInfo(s, index, info); });
    }
  } else if (target == "fuzz_packed") {
    guarded([&] {
      if (mode & 4)
        g.ReadData(stream);
      else
        g.ReadPackedBitmap(stream, (mode & 2) != 0);
    });
  }
  // Other targets (settings files) are replayed by the fuzz check step.
}

TEST(FuzzRegressions, EveryInputEndsWithAnImageOrAnError) {
  const auto files = RegressionInputs();
  if (files.empty()) GTEST_SKIP() << "no regression inputs";
  PGResetFormatSettings();
  const int64_t cap = PGMaxImageBytes;
  PGMaxImageBytes = int64_t{256} << 20;
  auto previous = platform::SetMessageBoxHook(
      [](const std::string&, const std::string&, platform::TMsgButtons, platform::TMsgIcon) { return 1; });
  for (const auto& f : files) {
    const std::string name = f.filename().string();
    SCOPED_TRACE(name);
    Replay(name.substr(0, name.find('-')), testutil::ReadFileBytes(f));
  }
  platform::SetMessageBoxHook(previous);
  PGMaxImageBytes = cap;
  PGResetFormatSettings();
}

} // namespace
