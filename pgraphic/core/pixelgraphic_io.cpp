#include <cctype>
#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "platform/files.h"

// File and stream entry points of the image. Until the format registry is
// linked in, no reader or writer exists: loads find no format and saves find
// no writer for the extension.

namespace {
std::string LowerExtension(const std::string& fileName) {
  std::string ext = platform::ExtractFileExt(fileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}
} // namespace

void TPixelGraphic::LoadFromFile(const std::string& fileName) { LoadFileImage(fileName, 0); }
void TPixelGraphic::LoadFileImage(const std::string&, int) {
  throw EPGUnknownFileFormat(GetMessage(msgUnknownFileFormat));
}
void TPixelGraphic::LoadFromStream(TStream& stream) { LoadStreamAs(stream, "", 0); }
void TPixelGraphic::LoadStreamAs(TStream&, const std::string&, int) {
  throw EPGUnknownFileFormat(GetMessage(msgUnknownFileFormat));
}
void TPixelGraphic::SaveToFile(const std::string& fileName) {
  throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, LowerExtension(fileName)));
}
void TPixelGraphic::SaveStreamAs(TStream&, const std::string& extension) {
  throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, extension));
}
void TPixelGraphic::SaveToStream(TStream&) { throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, "bmp")); }
void TPixelGraphic::ReadData(TStream&) { throw EPGUnknownFileFormat(GetMessage(msgUnknownFileFormat)); }
void TPixelGraphic::WriteData(TStream&) { throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, "bmp")); }
void TPixelGraphic::ReadPackedBitmap(TStream&, bool) { throw EPGUnknownFileFormat(GetMessage(msgUnknownFileFormat)); }
void TPixelGraphic::WritePackedBitmap(TStream&) { throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, "bmp")); }
