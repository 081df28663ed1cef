#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"

// The format registry: every load and save of an image passes through it.
//
// The registry is built once, on first use, from the Register*Formats
// functions of the format units; both lists are sorted by extension
// (case-insensitively) while it is built and never change afterwards, so any
// number of threads may query it at the same time. Every load, save and file
// information call works on a reader or writer object of its own, created for
// that call; the listed objects are only asked what they are.

// ---------------------------------------------------------------- colour resolutions

// Colour-resolution codes of an image (bit n of TPGColorResSet = code n).
enum TPGColorRes : int {
  crBlackWhite = 0,   // 1 bit, pBlackWhite
  cr2Colors = 1,      // 1 bit, any other palette
  cr16Gray = 2,       // 4 bit, pGray16
  cr16System = 3,     // 4 bit, pSys16
  cr16Colors = 4,     // 4 bit, any other palette
  cr256Gray = 5,      // 8 bit, pGray256
  cr256Colors = 6,    // 8 bit, any other palette
  crTrueColor = 7,    // 24 bit
};

constexpr TPGColorResSet PGColorResBit(int code) { return static_cast<TPGColorResSet>(1u << code); }

// The code of an image by its BitCount and current PaletteIdent (no detection).
int PGColorResCode(const TPixelGraphic& graphic);
// The display name of a code (library messages 8..15), in the current language.
std::string PGColorResName(int code);
// The preference row of each current code: the codes to try, best first.
extern const uint8_t PGColorResPreferences[8][8];
// The first code of cur's preference row contained in canWrite; -1 if none.
int PGColorResTarget(int cur, TPGColorResSet canWrite);

// ---------------------------------------------------------------- the registry

class TPGFormatRegistry {
public:
  // Takes the lists over and sorts them by extension.
  explicit TPGFormatRegistry(TPGFormatLists lists);
  TPGFormatRegistry(const TPGFormatRegistry&) = delete;
  TPGFormatRegistry& operator=(const TPGFormatRegistry&) = delete;

  // The lists in their effective (sorted) order.
  const TPGFormatList<TFileFormatReader>& Readers() const { return FLists.Readers; }
  const TPGFormatList<TFileFormatWriter>& Writers() const { return FLists.Writers; }

  // Reader choice: content detection first (17-byte header), then, for readers
  // that do not detect by content, the extension. Never raises; null if none.
  const TFileFormatReader* FindReader(TStream& stream, const std::string& extension) const noexcept;
  // The first writer with this extension (case-insensitive, one leading dot
  // removed); null if none.
  const TFileFormatWriter* FindWriter(const std::string& extension) const;

  // Header summary of image index of a stream. False if no reader was found or
  // anything raised. The stream position is restored.
  bool GetStreamInfo(TStream& stream, const std::string& extension, int index, std::string& description,
                     TPGFileInfo& info) const noexcept;
  bool GetFileInfo(const std::string& fileName, int index, std::string& description,
                   TPGFileInfo& info) const noexcept;

  // Dialog filter strings.
  std::string BuildOpenFilter() const;
  std::string BuildSaveFilter() const;

  // The load and save algorithms behind the image's methods.
  void LoadStreamAs(TPixelGraphic& graphic, TStream& stream, const std::string& extension, int index) const;
  void SaveStreamAs(TPixelGraphic& graphic, TStream& stream, const std::string& extension) const;
  // Writes through a temporary file beside the target that replaces it only
  // when the writer has finished: on any failure an existing file is left
  // untouched and no file is created.
  void SaveToFile(TPixelGraphic& graphic, const std::string& fileName) const;
  // Several images into one file (a stereo pair as MPO or JPS, a multi-image
  // TIFF): BeginFile, WriteImage of each image in turn, EndFile, through one
  // writer object chosen by extension. Each image is converted as a single
  // save would convert it, with the same warning. A writer that is not
  // MultiImage takes exactly one image ("Invalid value for MultiImage"
  // otherwise). The file is written as SaveToFile writes it.
  void SaveImagesStreamAs(const std::vector<TPixelGraphic*>& images, TStream& stream,
                          const std::string& extension) const;
  void SaveImagesToFile(const std::vector<TPixelGraphic*>& images, const std::string& fileName) const;

private:
  const TPGFormatClass<TFileFormatReader>* FindReaderClass(TStream& stream, const std::string& extension) const noexcept;
  const TPGFormatClass<TFileFormatWriter>* FindWriterClass(const std::string& extension) const;
  // The writer class of a save; raises for an empty list or an unknown extension.
  const TPGFormatClass<TFileFormatWriter>& SaveWriterClass(const std::string& extension) const;
  // Chooses the writer and the target resolution, asks the user where needed,
  // and calls write(writer, image) with a new writer object and the image or
  // a converted temporary copy.
  template <typename WriteFn>
  void Save(TPixelGraphic& graphic, const std::string& extension, WriteFn&& write) const;
  // The resolution part of a save: write(image) with the image or its copy
  // converted for the writer.
  template <typename WriteFn>
  void WriteConverted(TPixelGraphic& graphic, const TFileFormatWriter& writer, WriteFn&& write) const;

  TPGFormatLists FLists;
};

// The library's registry, built on first use from all Register*Formats functions.
const TPGFormatRegistry& PGFormatRegistry();
// The class of the image's stream form (SaveToStream, WriteData): a BMP writer
// outside the registry; each SaveToStream writes through an object of its own.
const TFileFormatWriter& PGStandaloneBMPWriter();

// Free functions over the library's registry.
// The file's extension, lower case, leading dot removed; empty if none.
std::string ExtractFormatExtension(const std::string& fileName);
const TFileFormatReader* FindFileFormatReader(TStream& stream, const std::string& extension) noexcept;
bool GetStreamInfo(TStream& stream, const std::string& extension, int index, std::string& description,
                   TPGFileInfo& info) noexcept;
bool GetFileInfo(const std::string& fileName, int index, std::string& description, TPGFileInfo& info) noexcept;
// TPGFormatRegistry::SaveImagesToFile on the library's registry.
void PGSaveImagesToFile(const std::vector<TPixelGraphic*>& images, const std::string& fileName);
std::string BuildOpenFilter();
std::string BuildSaveFilter();

// Gamma correction after loading: when PGGammaCorrection is on and the image's
// gamma differs from PGDefaultGamma by more than 5 %, every colour channel (the
// palette of palette images, every pixel byte of 24-bit images) is mapped by
// T[v] = round(255 * (v / 255) ^ (gamma / PGDefaultGamma)), ties to even; the
// image's gamma then is PGDefaultGamma.
void PGApplyGammaCorrection(TPixelGraphic& graphic);
// The mapping table for an exponent (exposed for tests).
void PGBuildGammaTable(long double exponent, uint8_t table[256]);
