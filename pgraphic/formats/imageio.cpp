#include <cstdint>

#include "pgraphic/core/endian.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

// The image's file and stream entry points: all of them go through the format
// registry.

void TPixelGraphic::LoadFromFile(const std::string& fileName) { LoadFileImage(fileName, 0); }

void TPixelGraphic::LoadFileImage(const std::string& fileName, int index) {
  TFileStream stream(fileName, fmOpenRead);
  LoadStreamAs(stream, ExtractFormatExtension(fileName), index);
}

void TPixelGraphic::LoadFromStream(TStream& stream) { LoadStreamAs(stream, "", 0); }

void TPixelGraphic::LoadStreamAs(TStream& stream, const std::string& extension, int index) {
  PGFormatRegistry().LoadStreamAs(*this, stream, extension, index);
}

void TPixelGraphic::SaveToFile(const std::string& fileName) { PGFormatRegistry().SaveToFile(*this, fileName); }

void TPixelGraphic::SaveStreamAs(TStream& stream, const std::string& extension) {
  PGFormatRegistry().SaveStreamAs(*this, stream, extension);
}

void TPixelGraphic::SaveToStream(TStream& stream) {
  TBMPFileFormatWriter writer;
  writer.WriteGraphic(stream, *this);
}

void TPixelGraphic::ReadData(TStream& stream) {
  uint8_t b[4];
  stream.ReadBuffer(b, 4);
  const int64_t length = pg::GetLE32(b);
  const int64_t start = stream.Position();
  // Whatever the reader consumed, the stream continues after the counted bytes.
  try {
    LoadStreamAs(stream, "bmp", 0);
  } catch (...) {
    stream.SetPosition(start + length);
    throw;
  }
  stream.SetPosition(start + length);
}

void TPixelGraphic::WriteData(TStream& stream) {
  const int64_t lengthPos = stream.Position();
  const uint8_t zero[4] = {0, 0, 0, 0};
  stream.WriteBuffer(zero, 4);
  SaveToStream(stream);
  const int64_t end = stream.Position();
  const uint32_t length = static_cast<uint32_t>(end - lengthPos - 4);
  uint8_t b[4];
  pg::PutLE32(b, length);
  stream.SetPosition(lengthPos);
  stream.WriteBuffer(b, 4);
  stream.SetPosition(end);
}
