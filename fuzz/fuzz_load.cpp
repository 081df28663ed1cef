// Loading from a memory stream through the registry with content detection
// (TPixelGraphic::LoadFromStream): no extension, so only the readers that
// recognise their header take part. Mode bit 1 asks for image index 1 instead
// of 0 (multi-image files).
#include "fuzz/fuzz_common.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zwfuzz::Init();
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  TReadOnlyMemoryStream stream(data + 1, static_cast<int64_t>(size - 1));
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(zwfuzz::WarningAction(mode));
  zwfuzz::Guard([&] {
    if (mode & 2)
      graphic.LoadStreamAs(stream, "", 1);
    else
      graphic.LoadFromStream(stream);
  });
  return 0;
}
