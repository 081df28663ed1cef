#include "pgraphic/formats/jps.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/formats/jpeg_segments.h"

using namespace pg::jpegseg;

namespace {

[[noreturn]] void Raise(const std::string& text) { throw EPGJPSFileFormatReaderWriter("JPS: " + text); }

const uint8_t kIdentifier[8] = {'_', 'J', 'P', 'S', 'J', 'P', 'S', '_'};

enum : uint32_t { jpsMono = 0, jpsStereo = 1 };
enum : uint32_t { jpsInterleaved = 1, jpsSideBySide = 2, jpsOverUnder = 3, jpsAnaglyph = 4 };
enum : uint32_t { jpsHalfHeight = 0x01, jpsHalfWidth = 0x02, jpsLeftFirst = 0x04 };

// Whether the view lies in the second half (right, bottom, odd rows).
bool SecondHalf(const TStereoLayout& layout, bool rightView) { return rightView == layout.LeftFirst; }

// Restores a stream's position however the scope ends.
struct TKeepPosition {
  TStream& Stream;
  int64_t Pos;
  explicit TKeepPosition(TStream& s) : Stream(s), Pos(s.Position()) {}
  ~TKeepPosition() {
    try {
      Stream.SetPosition(Pos);
    } catch (...) {
    }
  }
};

// Decodes the whole picture with graphic's reading settings and progress events.
void DecodePicture(TStream& stream, const TPixelGraphic& settings, TPixelGraphic& picture) {
  picture.SetReadWarningAction(settings.ReadWarningAction());
  picture.SetFastLoad(settings.FastLoad());
  picture.SetLoadReduce(settings.LoadReduceMaxWidth(), settings.LoadReduceMaxHeight());
  picture.OnProgressStart = settings.OnProgressStart;
  picture.OnProgress = settings.OnProgress;
  picture.OnProgressEnd = settings.OnProgressEnd;
  TJPGFileFormatReader().ReadGraphic(stream, picture, 0);
}

std::string LayoutText(const TStereoLayout& l) {
  if (!l.Stereo) return "one image";
  std::string text = l.Arrangement == saSideBySide ? "side by side" : l.Arrangement == saOverUnder ? "over/under"
                                                                                                  : "interleaved rows";
  text += l.LeftFirst ? ", left view first" : ", right view first";
  if (l.HalfWidth) text += ", half width";
  if (l.HalfHeight) text += ", half height";
  return text;
}

} // namespace

// ---------------------------------------------------------------- views

void StereoViewSize(int32_t width, int32_t height, const TStereoLayout& layout, int32_t& viewWidth,
                    int32_t& viewHeight) {
  viewWidth = layout.Arrangement == saSideBySide ? width / 2 : width;
  viewHeight = layout.Arrangement == saSideBySide ? height : height / 2;
}

void ExtractStereoView(const TPixelGraphic& picture, const TStereoLayout& layout, bool rightView,
                       TPixelGraphic& view) {
  int32_t w, h;
  StereoViewSize(picture.Width(), picture.Height(), layout, w, h);
  if (w <= 0 || h <= 0) throw EPixelGraphic(GetMessage(msgWidthOrHeightZero));
  const bool second = SecondHalf(layout, rightView);
  const int32_t x0 = layout.Arrangement == saSideBySide && second ? picture.Width() - w : 0;
  view.SetSize(w, h, picture.BitCount());
  if (picture.BitCount() != bc24Bit) view.CopyPalette(picture);
  const int bits = picture.BitCountNum();
  for (int32_t y = 0; y < h; ++y) {
    int32_t sy = y;
    if (layout.Arrangement == saOverUnder && second) sy = picture.Height() - h + y;
    if (layout.Arrangement == saInterleaved) sy = 2 * y + (second ? 1 : 0);
    if (bits >= 8) {
      const size_t bpp = static_cast<size_t>(bits / 8);
      std::memcpy(view.ScanLine(y), picture.ScanLine(sy) + bpp * static_cast<size_t>(x0), bpp * static_cast<size_t>(w));
    } else {
      for (int32_t x = 0; x < w; ++x) view.SetPixels(x, y, picture.Pixels(x0 + x, sy));
    }
  }
  view.SetGamma(picture.Gamma());
  view.Changed();
}

// ---------------------------------------------------------------- layout

TStereoLayout ReadJPSLayout(TStream& stream) {
  TKeepPosition keep(stream);
  std::optional<uint32_t> descriptor;
  WalkSegments(stream, stream.Position(), [&](const TSegment& s) {
    if (s.Marker != mkAPP3 || s.Length < 10) return true;
    const TBytes p = ReadPayload(stream, s);
    if (std::memcmp(p.data(), kIdentifier, 8) != 0) return true;
    // A descriptor block shorter than 4 bytes (or cut off) carries no descriptor.
    if (pg::GetBE16(&p[8]) >= 4 && p.size() >= 14) descriptor = pg::GetBE32(&p[10]);
    return false;
  });
  TStereoLayout layout = slCross;
  if (!descriptor) return layout;
  const uint32_t media = *descriptor & 0xFF, arrangement = (*descriptor >> 8) & 0xFF,
                 flags = (*descriptor >> 16) & 0xFF;
  if (media == jpsMono || (media == jpsStereo && arrangement == jpsAnaglyph)) {
    layout.Stereo = false;
    return layout;
  }
  if (media != jpsStereo) Raise(GetMessage(msgUnknownSubformat));
  switch (arrangement) {
    case jpsInterleaved:
      layout.Arrangement = saInterleaved;
      break;
    case jpsSideBySide:
      layout.Arrangement = saSideBySide;
      break;
    case jpsOverUnder:
      layout.Arrangement = saOverUnder;
      break;
    default:
      Raise(GetMessage(msgUnknownSubformat));
  }
  layout.LeftFirst = (flags & jpsLeftFirst) != 0;
  layout.HalfWidth = (flags & jpsHalfWidth) != 0;
  layout.HalfHeight = (flags & jpsHalfHeight) != 0;
  layout.Separation = static_cast<int>(*descriptor >> 24);
  return layout;
}

void ReadJPSPair(TStream& stream, TPixelGraphic& left, TPixelGraphic& right) {
  const TStereoLayout layout = ReadJPSLayout(stream);
  if (!layout.Stereo) Raise(GetMessage(msgNotSupportedSubformat));
  TPixelGraphic picture;
  DecodePicture(stream, left, picture);
  int32_t w, h;
  StereoViewSize(picture.Width(), picture.Height(), layout, w, h);
  if (w <= 0 || h <= 0) Raise(GetMessage(msgWidthOrHeightZero));
  ExtractStereoView(picture, layout, false, left);
  ExtractStereoView(picture, layout, true, right);
}

// ---------------------------------------------------------------- reader

TJPSFileFormatReader::TJPSFileFormatReader() : TFileFormatReader("jps", "JPEG Stereo") {
  DetectsByContent = true; // a JPEG named .jps; never by the extension alone
  DetectsInStream = true;
}

bool TJPSFileFormatReader::IsFormatInStream(TStream& stream, const uint8_t* header,
                                            const std::string& extension) const {
  return extension == "jps" && header[0] == 0xFF && header[1] == mkSOI && !HasMPFSegment(stream, stream.Position());
}

void TJPSFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const {
  const TStereoLayout layout = ReadJPSLayout(stream);
  if (index < 0 || index >= (layout.Stereo ? 2 : 1)) Raise(GetMessage1(msgInvalid, "Index"));
  if (!layout.Stereo) {
    TJPGFileFormatReader().ReadGraphic(stream, graphic, 0);
    return;
  }
  TPixelGraphic picture;
  DecodePicture(stream, graphic, picture);
  int32_t w, h;
  StereoViewSize(picture.Width(), picture.Height(), layout, w, h);
  if (w <= 0 || h <= 0) Raise(GetMessage(msgWidthOrHeightZero));
  ExtractStereoView(picture, layout, index == 1, graphic);
}

void TJPSFileFormatReader::GetInfo(TStream& stream, int index, TPGFileInfo& info) const {
  TFileFormatReader::GetInfo(stream, index, info);
  const TStereoLayout layout = ReadJPSLayout(stream);
  if (index < 0 || index >= (layout.Stereo ? 2 : 1)) Raise(GetMessage1(msgInvalidValueFor, "Index"));
  TJPGFileFormatReader().GetInfo(stream, 0, info);
  info.DetailsText += (info.DetailsText.empty() ? "" : ", ") + LayoutText(layout);
  if (!layout.Stereo) return;
  info.ImageCount = 2;
  int32_t w, h;
  StereoViewSize(info.Width, info.Height, layout, w, h);
  info.Width = w;
  info.Height = h;
  info.KindText = index == 0 ? "Left view" : "Right view";
}

// ---------------------------------------------------------------- writer

TJPSFileFormatWriter::TJPSFileFormatWriter() : TFileFormatWriter("jps", "JPEG Stereo") {
  // The save dialogs store one picture; a pair is saved by its own command.
  ListedInFilter = false;
  MultiImage = true;
  CanWriteResolutions = static_cast<TPGColorResSet>((1u << 5) | (1u << 7));
}

void TJPSFileFormatWriter::WriteGraphic(TStream&, TPixelGraphic&) {
  Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
}

void TJPSFileFormatWriter::BeginFile(TStream&) {
  FLeft.reset();
  FFile.clear();
  FImages = 0;
}

void TJPSFileFormatWriter::WriteImage(TStream&, TPixelGraphic& graphic) {
  if (FImages >= 2) Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
  graphic.DetectPaletteIdent();
  const bool grey = graphic.BitCount() == bc8Bit && graphic.PaletteIdent() == pGray256;
  if (graphic.BitCount() != bc24Bit && !grey) Raise(GetMessage1(msgInvalidValueFor, "BitCount"));
  if (FImages++ == 0) {
    FLeft = std::make_unique<TPixelGraphic>();
    FLeft->Assign(&graphic);
    return;
  }
  TPixelGraphic& left = *FLeft;
  if (graphic.Width() != left.Width() || graphic.Height() != left.Height())
    Raise(GetMessage1(msgInvalidSizeOf, "Image 2"));
  // Right view in the left half.
  const int32_t w = left.Width(), h = left.Height();
  if (2 * static_cast<int64_t>(w) > INT32_MAX) Raise(GetMessage1(msgInvalidSizeOf, "Image 2"));
  const bool greyPair = grey && left.BitCount() == bc8Bit;
  TPixelGraphic picture;
  picture.SetSize(2 * w, h, greyPair ? bc8Bit : bc24Bit);
  if (greyPair) picture.SetPaletteIdent(pGray256);
  picture.CopyRect(0, 0, graphic, 0, 0, h, w);
  picture.CopyRect(w, 0, left, 0, 0, h, w);
  FLeft.reset();
  picture.OnProgressStart = graphic.OnProgressStart;
  picture.OnProgress = graphic.OnProgress;
  picture.OnProgressEnd = graphic.OnProgressEnd;

  TBytes payload(kIdentifier, kIdentifier + 8);
  payload.resize(14);
  pg::PutBE16(&payload[8], 4);
  pg::PutBE32(&payload[10], jpsStereo | (jpsSideBySide << 8));
  FFile = InsertAfterSOI(EncodeJPEG(picture), MakeSegment(mkAPP3, payload), true);
}

void TJPSFileFormatWriter::EndFile(TStream& stream) {
  if (FImages != 2) Raise(GetMessage1(msgInvalidValueFor, "NumberOfImages"));
  stream.WriteBuffer(FFile.data(), static_cast<int64_t>(FFile.size()));
  FFile.clear();
}

void RegisterJPSFormats(TPGFormatLists& lists) {
  lists.Readers.push_back(std::make_unique<TJPSFileFormatReader>());
  lists.Writers.push_back(std::make_unique<TJPSFileFormatWriter>());
}
