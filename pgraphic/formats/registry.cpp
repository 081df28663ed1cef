#include "pgraphic/formats/registry.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "pgraphic/core/colorconv.h"
#include "pgraphic/core/intmath.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/formats/settings.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/strings.h"

namespace {

std::string LowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string StripDot(const std::string& extension) {
  return !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
}

template <typename T>
void SortByExtension(TPGFormatList<T>& list) {
  std::stable_sort(list.begin(), list.end(), [](const TPGFormatClass<T>& a, const TPGFormatClass<T>& b) {
    return LowerCase(a->Extension) < LowerCase(b->Extension);
  });
}

// Restores a stream's position when it goes out of scope, whatever happens.
class TPositionGuard {
public:
  explicit TPositionGuard(TStream& stream) : FStream(stream), FPos(stream.Position()) {}
  ~TPositionGuard() {
    try {
      FStream.SetPosition(FPos);
    } catch (...) {
    }
  }

private:
  TStream& FStream;
  int64_t FPos;
};

} // namespace

// ---------------------------------------------------------------- colour resolutions

const uint8_t PGColorResPreferences[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 4, 6, 7, 3, 0, 2, 5}, {2, 4, 5, 6, 7, 3, 0, 1}, {3, 4, 6, 7, 2, 5, 0, 1},
    {4, 6, 7, 3, 2, 5, 0, 1}, {5, 6, 7, 2, 4, 3, 0, 1}, {6, 7, 4, 3, 5, 2, 0, 1}, {7, 6, 4, 3, 5, 2, 0, 1},
};

int PGColorResCode(const TPixelGraphic& graphic) {
  switch (graphic.BitCount()) {
    case bc1Bit:
      return graphic.PaletteIdent() == pBlackWhite ? crBlackWhite : cr2Colors;
    case bc4Bit:
      if (graphic.PaletteIdent() == pGray16) return cr16Gray;
      return graphic.PaletteIdent() == pSys16 ? cr16System : cr16Colors;
    case bc8Bit:
      return graphic.PaletteIdent() == pGray256 ? cr256Gray : cr256Colors;
    default:
      return crTrueColor;
  }
}

std::string PGColorResName(int code) {
  if (code < 0 || code > 7) return {};
  return GetMessage(msgBlackAndWhite + code);
}

int PGColorResTarget(int cur, TPGColorResSet canWrite) {
  if (cur < 0 || cur > 7) return -1;
  for (uint8_t code : PGColorResPreferences[cur])
    if (canWrite & PGColorResBit(code)) return code;
  return -1;
}

// ---------------------------------------------------------------- gamma

void PGBuildGammaTable(long double exponent, uint8_t table[256]) {
  for (int v = 0; v < 256; ++v) {
    long double p;
    if (exponent == 0)
      p = 1;  // x^0 = 1
    else if (v == 0)
      p = 0;  // 0^e = 0
    else
      p = std::pow(static_cast<long double>(v) / 255.0L, exponent);
    const long double r = pg::RoundHalfEvenL(255.0L * p);
    table[v] = static_cast<uint8_t>(r < 0 ? 0 : (r > 255 ? 255 : r));
  }
}

void PGApplyGammaCorrection(TPixelGraphic& graphic) {
  if (!PGGammaCorrection || PGDefaultGamma == 0) return;
  const long double exponent = graphic.Gamma() / PGDefaultGamma;
  if (!(std::fabs(exponent - 1) > 0.05L)) return;
  uint8_t table[256];
  PGBuildGammaTable(exponent, table);
  if (graphic.BitCount() == bc24Bit) {
    const size_t used = 3 * static_cast<size_t>(graphic.Width());
    for (int y = 0; y < graphic.Height(); ++y) {
      uint8_t* p = graphic.ScanLine(y);
      for (size_t i = 0; i < used; ++i) p[i] = table[p[i]];
    }
  } else if (graphic.PaletteIdent() != pNone && graphic.PaletteIdent() != pTrueColor) {
    for (int i = 0; i < graphic.PaletteCount(); ++i) {
      const TColorRef c = graphic.PaletteData()[i];
      graphic.SetPaletteColor(i, RGBColor(table[GetRValue(c)], table[GetGValue(c)], table[GetBValue(c)]));
    }
  }
  graphic.SetGamma(PGDefaultGamma);
}

// ---------------------------------------------------------------- the registry

TPGFormatRegistry::TPGFormatRegistry(TPGFormatLists lists) : FLists(std::move(lists)) {
  SortByExtension(FLists.Readers);
  SortByExtension(FLists.Writers);
}

const TFileFormatReader* TPGFormatRegistry::FindReader(TStream& stream, const std::string& extension) const noexcept {
  const TPGFormatClass<TFileFormatReader>* found = FindReaderClass(stream, extension);
  return found ? &**found : nullptr;
}

const TPGFormatClass<TFileFormatReader>* TPGFormatRegistry::FindReaderClass(TStream& stream,
                                                                          const std::string& extension) const noexcept {
  try {
    const std::string ext = StripDot(extension);
    uint8_t header[TFileFormatReader::HeaderSize] = {};
    {
      TPositionGuard guard(stream);
      stream.Read(header, sizeof header);
    }
    // Formats inside other formats first: an MPO is also a JPEG.
    const std::string lowerExt = LowerCase(ext);
    for (const auto& reader : FLists.Readers) {
      if (!reader->DetectsInStream) continue;
      TPositionGuard guard(stream);
      try {
        if (reader->IsFormatInStream(stream, header, lowerExt)) return &reader;
      } catch (...) {
      }
    }
    for (const auto& reader : FLists.Readers)
      if (reader->DetectsByContent && reader->IsFormat(header)) return &reader;
    if (!ext.empty())
      for (const auto& reader : FLists.Readers)
        if (!reader->DetectsByContent && platform::SameText(reader->Extension, ext)) return &reader;
  } catch (...) {
  }
  return nullptr;
}

const TFileFormatWriter* TPGFormatRegistry::FindWriter(const std::string& extension) const {
  const TPGFormatClass<TFileFormatWriter>* found = FindWriterClass(extension);
  return found ? &**found : nullptr;
}

const TPGFormatClass<TFileFormatWriter>* TPGFormatRegistry::FindWriterClass(const std::string& extension) const {
  const std::string ext = StripDot(extension);
  for (const auto& writer : FLists.Writers)
    if (platform::SameText(writer->Extension, ext)) return &writer;
  return nullptr;
}

bool TPGFormatRegistry::GetStreamInfo(TStream& stream, const std::string& extension, int index,
                                      std::string& description, TPGFileInfo& info) const noexcept {
  try {
    description.clear();
    info.ImageCount = 0;
    info.BitsPerPixel = 0;
    info.ColorsText.clear();
    info.Height = 0;
    info.Width = 0;
    info.KindText.clear();
    info.DetailsText.clear();
    const TPGFormatClass<TFileFormatReader>* found = FindReaderClass(stream, extension);
    if (!found) return false;
    description = (*found)->Description;
    TPositionGuard guard(stream);
    found->New()->GetInfo(stream, index, info);
    return true;
  } catch (...) {
    return false;
  }
}

bool TPGFormatRegistry::GetFileInfo(const std::string& fileName, int index, std::string& description,
                                    TPGFileInfo& info) const noexcept {
  try {
    if (platform::ExtractFileName(fileName).empty() || !platform::FileExists(fileName)) return false;
    TFileStream stream(fileName, fmOpenRead);
    return GetStreamInfo(stream, ExtractFormatExtension(fileName), index, description, info);
  } catch (...) {
    return false;
  }
}

std::string TPGFormatRegistry::BuildOpenFilter() const {
  std::string patterns, entries;
  bool any = false;
  for (const auto& reader : FLists.Readers) {
    if (!reader->ListedInFilter) continue;
    const std::string ext = LowerCase(reader->Extension);
    if (any) patterns += "; ";
    patterns += "*." + ext;
    entries += UpperCase(ext) + " - " + reader->Description + "|*." + ext + "|";
    any = true;
  }
  std::string filter;
  if (any) filter = GetMessage(msgImageFiles) + "|" + patterns + "|" + entries;
  return filter + GetMessage(msgAllFiles) + "|*.*";
}

std::string TPGFormatRegistry::BuildSaveFilter() const {
  std::string filter;
  for (const auto& writer : FLists.Writers) {
    if (!writer->ListedInFilter) continue;
    const std::string ext = LowerCase(writer->Extension);
    filter += UpperCase(ext) + " - " + writer->Description + "|*." + ext + "|";
  }
  return filter;
}

void TPGFormatRegistry::LoadStreamAs(TPixelGraphic& graphic, TStream& stream, const std::string& extension,
                                     int index) const {
  graphic.BeginUpdate();
  try {
    graphic.SetSize(0, 0, bc24Bit);
    graphic.SetGamma(PGDefaultGamma);
    const TPGFormatClass<TFileFormatReader>* found = FindReaderClass(stream, extension);
    if (!found) throw EPGUnknownFileFormat(GetMessage(msgUnknownFileFormat));
    found->New()->ReadGraphic(stream, graphic, index);
    PGApplyGammaCorrection(graphic);
    graphic.DetectPaletteIdent();
  } catch (...) {
    // The bracket closes however the load ends; the reader's error is the one
    // that passes on.
    try {
      graphic.EndUpdate();
    } catch (...) {
    }
    throw;
  }
  graphic.EndUpdate();
}

const TPGFormatClass<TFileFormatWriter>& TPGFormatRegistry::SaveWriterClass(const std::string& extension) const {
  const std::string ext = StripDot(extension);
  if (FLists.Writers.empty()) throw EPGFileFormatWritersEmpty(GetMessage1(msgIsEmpty, "FileFormatWriters"));
  const TPGFormatClass<TFileFormatWriter>* found = FindWriterClass(ext);
  if (!found) throw EPGUnknownExtension(GetMessage1(msgUnknownFileExtension, LowerCase(ext)));
  return *found;
}

template <typename WriteFn>
void TPGFormatRegistry::Save(TPixelGraphic& graphic, const std::string& extension, WriteFn&& write) const {
  const TPGFormatClass<TFileFormatWriter>& found = SaveWriterClass(extension);
  WriteConverted(graphic, *found, [&](TPixelGraphic& image) { write(*found.New(), image); });
}

template <typename WriteFn>
void TPGFormatRegistry::WriteConverted(TPixelGraphic& graphic, const TFileFormatWriter& listed, WriteFn&& write) const {
  const TFileFormatWriter* writer = &listed;
  graphic.DetectPaletteIdent();
  const int cur = PGColorResCode(graphic);
  const int tgt = PGColorResTarget(cur, writer->CanWriteResolutions);
  if (tgt < 0)
    throw EPGCanWriteResolutionsEmpty(GetMessage1(msgIsEmpty, std::string(writer->ClassName()) + ".CanWriteResolutions"));

  if (tgt == cur) {
    graphic.DetectPaletteIdent();
    write(graphic);
    return;
  }

  bool abort = false;
  switch (graphic.SaveColorResWarningAction()) {
    case pgwaIgnore:
      break;
    case pgwaOKBox:
    case pgwaOKCancelBox: {
      const bool cancel = graphic.SaveColorResWarningAction() == pgwaOKCancelBox;
      const int answer = platform::MessageBox(
          GetMessage3(msgColorResWarning, writer->Description, PGColorResName(cur), PGColorResName(tgt)),
          GetMessage(msgWarning), cancel ? platform::TMsgButtons::OKCancel : platform::TMsgButtons::OK,
          platform::TMsgIcon::Warning);
      abort = cancel && answer != platform::mrOk;
      break;
    }
    default:
      abort = true;
      break;
  }
  if (abort)
    throw EPGCannotWriteColorRes(GetMessage2(msgCannotWriteColorRes, writer->Description, PGColorResName(cur)));

  // The converted copy; freed however the write ends.
  TPixelGraphic temp;
  temp.OnProgressStart = graphic.OnProgressStart;
  temp.OnProgress = graphic.OnProgress;
  temp.OnProgressEnd = graphic.OnProgressEnd;
  // Bit count and palette of each target code; an optimised palette is
  // computed from the image.
  static const struct {
    uint8_t BitCount;
    TPaletteIdent Palette;
  } targets[8] = {{bc1Bit, pBlackWhite}, {bc1Bit, pOptimized252Sys16}, {bc4Bit, pGray16},
                  {bc4Bit, pSys16},      {bc4Bit, pOptimized252Sys16}, {bc8Bit, pGray256},
                  {bc8Bit, pOptimized252Sys16}, {bc24Bit, pNone}};
  ConvertColorResolution(temp, graphic, targets[tgt].BitCount, targets[tgt].Palette);
  write(temp);
}

void TPGFormatRegistry::SaveStreamAs(TPixelGraphic& graphic, TStream& stream, const std::string& extension) const {
  Save(graphic, extension, [&stream](TFileFormatWriter& writer, TPixelGraphic& image) {
    writer.WriteGraphic(stream, image);
  });
}

void TPGFormatRegistry::SaveToFile(TPixelGraphic& graphic, const std::string& fileName) const {
  // The file is only opened once the writer and the resolution are settled, and
  // it is written beside the target first: an unknown extension or a refused
  // conversion creates nothing, and a failing writer leaves an existing file as
  // it was.
  Save(graphic, ExtractFormatExtension(fileName), [&fileName](TFileFormatWriter& writer, TPixelGraphic& image) {
    TSafeFileStream file(fileName);
    writer.WriteGraphic(file, image);
    file.Commit();
  });
}

void TPGFormatRegistry::SaveImagesStreamAs(const std::vector<TPixelGraphic*>& images, TStream& stream,
                                           const std::string& extension) const {
  const TPGFormatClass<TFileFormatWriter>& found = SaveWriterClass(extension);
  if (images.empty() || (!found->MultiImage && images.size() != 1))
    throw EPixelGraphic(GetMessage1(msgInvalidValueFor, "MultiImage"));
  if (!found->MultiImage) {
    WriteConverted(*images[0], *found, [&](TPixelGraphic& image) { found.New()->WriteGraphic(stream, image); });
    return;
  }
  // One writer object for the whole file; each image is converted (and its
  // temporary copy freed) in turn.
  const std::unique_ptr<TFileFormatWriter> writer = found.New();
  writer->BeginFile(stream);
  for (TPixelGraphic* graphic : images)
    WriteConverted(*graphic, *found, [&](TPixelGraphic& image) { writer->WriteImage(stream, image); });
  writer->EndFile(stream);
}

void TPGFormatRegistry::SaveImagesToFile(const std::vector<TPixelGraphic*>& images, const std::string& fileName) const {
  TSafeFileStream file(fileName);
  SaveImagesStreamAs(images, file, ExtractFormatExtension(fileName));
  file.Commit();
}

const TPGFormatRegistry& PGFormatRegistry() {
  static const TPGFormatRegistry registry([] {
    TPGFormatLists lists;
    RegisterBMPFormats(lists);
    RegisterJPEGFormats(lists);
    RegisterPNGFormats(lists);
    RegisterPCXFormats(lists);
    RegisterPxMFormats(lists);
    RegisterTGAFormats(lists);
    RegisterTIFFFormats(lists);
    RegisterMPOFormats(lists);
    RegisterJPSFormats(lists);
    return lists;
  }());
  return registry;
}

const TFileFormatWriter& PGStandaloneBMPWriter() {
  static const TBMPFileFormatWriter writer;
  return writer;
}

// ---------------------------------------------------------------- free functions

std::string ExtractFormatExtension(const std::string& fileName) {
  return LowerCase(StripDot(platform::ExtractFileExt(fileName)));
}

const TFileFormatReader* FindFileFormatReader(TStream& stream, const std::string& extension) noexcept {
  try {
    return PGFormatRegistry().FindReader(stream, extension);
  } catch (...) {
    return nullptr;
  }
}

bool GetStreamInfo(TStream& stream, const std::string& extension, int index, std::string& description,
                   TPGFileInfo& info) noexcept {
  try {
    return PGFormatRegistry().GetStreamInfo(stream, extension, index, description, info);
  } catch (...) {
    return false;
  }
}

bool GetFileInfo(const std::string& fileName, int index, std::string& description, TPGFileInfo& info) noexcept {
  try {
    return PGFormatRegistry().GetFileInfo(fileName, index, description, info);
  } catch (...) {
    return false;
  }
}

void PGSaveImagesToFile(const std::vector<TPixelGraphic*>& images, const std::string& fileName) {
  PGFormatRegistry().SaveImagesToFile(images, fileName);
}

std::string BuildOpenFilter() { return PGFormatRegistry().BuildOpenFilter(); }
std::string BuildSaveFilter() { return PGFormatRegistry().BuildSaveFilter(); }
