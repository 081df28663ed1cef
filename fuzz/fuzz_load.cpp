// Loading from a memory stream through the registry with content detection
// (TPixelGraphic::LoadFromStream): no extension, so only the readers that
// recognise their header take part. Mode bit 1: the other reading settings
// and image index 1 (zwfuzz::ReadSettings).
#include "fuzz/fuzz_common.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(zwfuzz::WarningAction(mode));
  const int index = zwfuzz::ReadSettings(mode);
  zwfuzz::Guard([&] {
    if (index != 0)
      graphic.LoadStreamAs(stream, "", index);
    else
      graphic.LoadFromStream(stream);
  });
  return 0;
}
