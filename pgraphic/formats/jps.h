#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"

// JPS files: one JPEG picture holding a stereo pair, by convention side by
// side with the right view in the left half (cross-eyed). An optional APP3
// segment ("_JPSJPS_", a block length, a big-endian descriptor) says
// otherwise: bits 0..7 media type (0 one image, 1 stereo), 8..15 layout (1
// interleaved rows, 2 side by side, 3 over/under, 4 anaglyph), 16..23 flags
// (0x01 half height, 0x02 half width, 0x04 left view first), 24..31
// separation. Image index 0 is the left view, 1 the right view; a picture of
// one image (media type 0, anaglyph) has only index 0, the whole picture.
//
// The splitting of a picture into its two views serves side-by-side and
// over/under pictures of any format as well (scanned stereo cards).

class EPGJPSFileFormatReaderWriter : public EPixelGraphic {
public:
  using EPixelGraphic::EPixelGraphic;
};

enum TStereoArrangement { saSideBySide, saOverUnder, saInterleaved };

// How a picture holds a stereo pair.
struct TStereoLayout {
  TStereoArrangement Arrangement = saSideBySide;
  bool LeftFirst = false; // the left view in the left half, the top half or the even rows
  bool Stereo = true;     // false: the picture is one image (JPS media type 0, anaglyph)
  bool HalfWidth = false, HalfHeight = false; // views stored squeezed (reported, not undone)
  int Separation = 0;
};

// Side by side, left view left (parallel viewing); right view left
// (cross-eyed viewing, the JPS default); left view on top.
constexpr TStereoLayout slParallel{saSideBySide, true};
constexpr TStereoLayout slCross{saSideBySide, false};
constexpr TStereoLayout slOverUnder{saOverUnder, true};

// The size of each view of a width x height picture: half the width (side by
// side) or half the height (over/under, interleaved), truncated. Of an odd
// size the middle column or row belongs to neither view; of interleaved rows
// an odd last row is dropped.
void StereoViewSize(int32_t width, int32_t height, const TStereoLayout& layout, int32_t& viewWidth,
                    int32_t& viewHeight);

// Copies the left or the right view out of picture into view, with the
// picture's bit depth and palette. Raises EPixelGraphic ("Width = 0 or
// Height = 0") when the picture is too small to hold two views.
void ExtractStereoView(const TPixelGraphic& picture, const TStereoLayout& layout, bool rightView,
                       TPixelGraphic& view);

// The layout a JPS file declares (the stream at the file's start; its
// position is restored): the first JPS APP3 segment's descriptor, or
// cross-eyed side by side without one. Raises EPGJPSFileFormatReaderWriter
// ("JPS: Unknown subformat") for an unknown media type or layout.
TStereoLayout ReadJPSLayout(TStream& stream);

// Both views of a JPS file, decoding the picture once. The picture is decoded
// with left's reading settings and progress events. Raises ("JPS: Not
// supported subformat") when the file holds one image only.
void ReadJPSPair(TStream& stream, TPixelGraphic& left, TPixelGraphic& right);

class TJPSFileFormatReader : public TFileFormatReader {
public:
  TJPSFileFormatReader();
  const char* ClassName() const override { return "TJPSFileFormatReader"; }

  // A JPEG stream in a file named .jps (and not an MPO file).
  bool IsFormatInStream(TStream& stream, const uint8_t* header, const std::string& extension) const override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) const override;
  // The JPEG reader's information with ImageCount 2 (1 for one image), the
  // view's size, KindText "Left view" or "Right view" and the layout added to
  // DetailsText.
  void GetInfo(TStream& stream, int index, TPGFileInfo& info) const override;
};

// Writes a stereo pair of equal sizes (BeginFile, WriteImage left view,
// WriteImage right view, EndFile) as one cross-eyed side-by-side JPEG with a
// JPS APP3 descriptor: stereo, side by side, right view first. 256-grey views
// give a grey picture, any other pair a 24-bit one. WriteGraphic with a single
// picture is refused.
class TJPSFileFormatWriter : public TFileFormatWriter {
public:
  TJPSFileFormatWriter();
  const char* ClassName() const override { return "TJPSFileFormatWriter"; }

  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
  void BeginFile(TStream& stream) override;
  void WriteImage(TStream& stream, TPixelGraphic& graphic) override;
  void EndFile(TStream& stream) override;

private:
  std::unique_ptr<TPixelGraphic> FLeft; // the left view until the right one comes
  std::vector<uint8_t> FFile;           // the finished file
  int FImages = 0;
};
