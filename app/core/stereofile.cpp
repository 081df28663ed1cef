#include "app/core/stereofile.h"

#include "app/core/correction.h"
#include "app/core/paramfile.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/jps.h"
#include "pgraphic/formats/mpo.h"
#include "pgraphic/formats/registry.h"
#include "platform/stream.h"

namespace {

// Reports the progress of the one decode that yields both views as the
// loading of both sides; the handlers are removed however the load ends.
class TBothSidesProgress {
public:
  TBothSidesProgress(TPixelGraphic& image, const TComposeProgress& progress) : FImage(image) {
    if (!progress.Detail) return;
    auto both = [&progress](int percent) {
      progress.Detail(csLoadLeft, percent);
      progress.Detail(csLoadRight, percent);
    };
    image.OnProgressStart = [both](TObject*) { both(0); };
    image.OnProgress = [both](TObject*, int step, int max, bool&) {
      both(max > 0 ? static_cast<int>(100LL * step / max) : 100);
    };
    image.OnProgressEnd = [both](TObject*) { both(100); };
  }
  ~TBothSidesProgress() {
    FImage.OnProgressStart = nullptr;
    FImage.OnProgress = nullptr;
    FImage.OnProgressEnd = nullptr;
  }
  TBothSidesProgress(const TBothSidesProgress&) = delete;
  TBothSidesProgress& operator=(const TBothSidesProgress&) = delete;

private:
  TPixelGraphic& FImage;
};

TStereoPair NewPair() {
  TStereoPair pair;
  pair.Left = std::make_unique<TPixelGraphic>();
  pair.Right = std::make_unique<TPixelGraphic>();
  return pair;
}

// A picture holding both views, loaded in any format and split. A JPS file
// is taken whole, as the JPEG it is, so the split overrides its descriptor.
TStereoPair LoadSplit(const std::string& fileName, const TStereoLayout& layout, const TComposeProgress& progress) {
  TStereoPair pair = NewPair();
  InComposeStep(csLoadLeft, [&] {
    TPixelGraphic picture;
    {
      TBothSidesProgress report(picture, progress);
      const std::string ext = ExtractFormatExtension(fileName);
      TFileStream stream(fileName, fmOpenRead);
      picture.LoadStreamAs(stream, ext == "jps" ? "jpg" : ext, 0);
    }
    ExtractStereoView(picture, layout, false, *pair.Left);
    ExtractStereoView(picture, layout, true, *pair.Right);
  });
  return pair;
}

// The views of an MPO file: its two disparity images, decoded at the same
// time from streams of their own.
TStereoPair LoadMPO(const std::string& fileName, const TComposeProgress& progress) {
  InComposeStep(csLoadLeft, [&] {
    TFileStream stream(fileName, fmOpenRead);
    if (!ReadMPOIndex(stream).StereoPair) throw EPGMPOFileFormatReaderWriter("MPO: " + GetMessage1(msgNotAFile, "MPO/JPS"));
  });
  return LoadStereoPair([&fileName](TPixelGraphic& p) { p.LoadFileImage(fileName, 0); },
                        [&fileName](TPixelGraphic& p) { p.LoadFileImage(fileName, 1); }, progress);
}

} // namespace

bool IsStereoPairFileName(const std::string& fileName) {
  const std::string ext = ExtractFormatExtension(fileName);
  return ext == "mpo" || ext == "jps";
}

std::string PairParameterFileName(const std::string& pairFileName, bool rightSide) {
  const std::string name = ParameterFileName(pairFileName); // ends in ".3DF"
  return name.substr(0, name.size() - 4) + (rightSide ? "_r.3DF" : "_l.3DF");
}

TPairAlignment ReadPairParameters(const std::string& pairFileName) {
  TPairAlignment a;
  a.Left = ReadParameterFile(PairParameterFileName(pairFileName, false));
  a.Right = ReadParameterFile(PairParameterFileName(pairFileName, true));
  return a;
}

void WritePairParameters(const std::string& pairFileName, bool rightSide, const TSideAlignment& side) {
  WriteParameterFile(PairParameterFileName(pairFileName, rightSide), side);
}

bool HoldsStereoPair(const std::string& fileName) noexcept {
  try {
    TFileStream stream(fileName, fmOpenRead);
    const TFileFormatReader* reader = FindFileFormatReader(stream, ExtractFormatExtension(fileName));
    if (dynamic_cast<const TMPOFileFormatReader*>(reader)) return ReadMPOIndex(stream).StereoPair;
    if (dynamic_cast<const TJPSFileFormatReader*>(reader)) return ReadJPSLayout(stream).Stereo;
  } catch (...) {
  }
  return false;
}

TStereoPair LoadStereoFile(const std::string& fileName, TPairSource source, const TComposeProgress& progress) {
  switch (source) {
    case psParallel:
      return LoadSplit(fileName, slParallel, progress);
    case psCross:
      return LoadSplit(fileName, slCross, progress);
    case psOverUnder:
      return LoadSplit(fileName, slOverUnder, progress);
    case psStereoFile:
      break;
  }
  const TFileFormatReader* reader = InComposeStep(csLoadLeft, [&] {
    TFileStream stream(fileName, fmOpenRead);
    return FindFileFormatReader(stream, ExtractFormatExtension(fileName));
  });
  if (dynamic_cast<const TMPOFileFormatReader*>(reader)) return LoadMPO(fileName, progress);
  TStereoPair pair = NewPair();
  InComposeStep(csLoadLeft, [&] {
    if (!dynamic_cast<const TJPSFileFormatReader*>(reader)) throw EPixelGraphic(GetMessage1(msgNotAFile, "MPO/JPS"));
    TFileStream stream(fileName, fmOpenRead);
    TBothSidesProgress report(*pair.Left, progress);
    ReadJPSPair(stream, *pair.Left, *pair.Right);
  });
  return pair;
}

namespace {

// The common area of the pair (from the pictures' sizes and the identical
// points; the corrections keep the right picture's size), cropped to what
// both corrected pictures fill for an automatic alignment or on request.
TCommonArea PairArea(TPixelGraphic& left, TPixelGraphic& right, const TPairAlignment& alignment,
                     const TRightCorrection& correction, bool cropWedges) {
  const TCommonArea a = CommonArea(left.Width(), left.Height(), right.Width(), right.Height(),
                                   alignment.Left.Point, alignment.Right.Point);
  return cropWedges || correction.Automatic ? WedgeFreeArea(a, right.Width(), right.Height(), correction) : a;
}

// The corrections' rows reported as csTilt.
TPGProgressEvent TiltRows(const TComposeProgress& progress) {
  if (!progress.Detail) return {};
  return [&progress](TObject*, int step, int max, bool&) {
    progress.Detail(csTilt, max > 0 ? static_cast<int>(100LL * step / max) : 100);
  };
}

// The blocks the left-right stereo image is made of, each in a picture of its
// own; null views when the area is empty.
TStereoPair CommonViews(TPixelGraphic& left, TPixelGraphic& right, const TCommonArea& a) {
  TStereoPair views;
  if (a.W <= 0 || a.H <= 0) return views;
  InComposeStep(csCompose, [&] {
    views = NewPair();
    views.Left->SetSize(a.W, a.H, bc24Bit);
    views.Left->CopyRect(0, 0, left, a.Y0, a.X0, a.H, a.W);
    views.Right->SetSize(a.W, a.H, bc24Bit);
    views.Right->CopyRect(0, 0, right, a.Y0 - a.Dy, a.X0 - a.Dx, a.H, a.W);
  });
  return views;
}

} // namespace

TStereoPair AlignedPair(TStereoPair& pair, const TPairAlignment& alignment, const TComposeProgress& progress,
                        bool cropWedges) {
  const TRightCorrection correction = RightCorrection(alignment);
  const TCommonArea a = PairArea(*pair.Left, *pair.Right, alignment, correction, cropWedges);
  const TPGProgressEvent rows = TiltRows(progress);
  InComposeStep(csTilt, [&] {
    if (auto scaled = ScaleCompensated(*pair.Right, correction, progress.Report, rows)) pair.Right = std::move(scaled);
    CompensateTilt(pair.Right, alignment, progress.Report, rows);
  });
  return CommonViews(*pair.Left, *pair.Right, a);
}

TStereoPair AlignedPair(TPixelGraphic& left, TPixelGraphic& right, const TPairAlignment& alignment,
                        const TComposeProgress& progress, bool cropWedges) {
  const TRightCorrection correction = RightCorrection(alignment);
  const TCommonArea a = PairArea(left, right, alignment, correction, cropWedges);
  const TPGProgressEvent rows = TiltRows(progress);
  // The corrected copy; each stage frees the one before.
  std::unique_ptr<TPixelGraphic> corrected;
  InComposeStep(csTilt, [&] {
    corrected = ScaleCompensated(right, correction, progress.Report, rows);
    if (auto turned = TiltCompensated(corrected ? *corrected : right, alignment, progress.Report, rows))
      corrected = std::move(turned);
  });
  return CommonViews(left, corrected ? *corrected : right, a);
}

void SaveStereoPair(TPixelGraphic& left, TPixelGraphic& right, const std::string& fileName) {
  PGSaveImagesToFile({&left, &right}, fileName);
}
