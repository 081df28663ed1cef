// Header summaries: GetInfo of every reader on the same input (whatever its
// header says), then the registry's GetStreamInfo with the extension picked by
// the mode byte's bits 2..7. Bit 1: the other reading settings and image index
// 1 (zwfuzz::ReadSettings).
#include <string>

#include "fuzz/fuzz_common.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const int index = zwfuzz::ReadSettings(mode);
  const auto& readers = PGFormatRegistry().Readers();
  for (const auto& reader : readers) {
    TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
    TPGFileInfo info;
    zwfuzz::Guard([&] { reader->GetInfo(stream, index, info); });
  }
  if (!readers.empty()) {
    TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
    std::string description;
    TPGFileInfo info;
    (void)GetStreamInfo(stream, readers[(mode >> 2) % readers.size()]->Extension, index, description, info);
  }
  return 0;
}
