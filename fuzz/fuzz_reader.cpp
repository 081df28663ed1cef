// Every reader through the extension path. The mode byte's bits 2..7 pick the
// reader (modulo the number of readers); its extension is passed to
// LoadStreamAs, so a reader that is chosen only by extension (TGA) is reached
// even when no header matches. Bit 1: the other reading settings and image
// index 1 (zwfuzz::ReadSettings).
#include "fuzz/fuzz_common.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

#include <cstdio>
#include <cstdlib>

// With ZWILLO_FUZZ_LIST_READERS set, prints the readers' extensions in
// registry order and exits: scripts/fuzz builds the seeds' mode bytes from it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::getenv("ZWILLO_FUZZ_LIST_READERS")) {
    for (const auto& reader : PGFormatRegistry().Readers()) std::printf("%s\n", reader->Extension.c_str());
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const auto& readers = PGFormatRegistry().Readers();
  if (readers.empty()) return 0;
  const TFileFormatReader& reader = *readers[(mode >> 2) % readers.size()];
  TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(zwfuzz::WarningAction(mode));
  const int index = zwfuzz::ReadSettings(mode);
  zwfuzz::Guard([&] { graphic.LoadStreamAs(stream, reader.Extension, index); });
  return 0;
}
