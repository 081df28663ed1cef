#include "app/core/compose.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "app/core/autoalign.h"
#include "app/core/correction.h"
#include "app/core/paramfile.h"
#include "app/core/stereofile.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/core/threadpool.h"

const char* const TextFinished = "Fertig.";

namespace {

int Percent(int step, int max) { return max > 0 ? static_cast<int>(100LL * step / max) : 100; }

void DetachProgress(TPixelGraphic& image) {
  image.OnProgressStart = nullptr;
  image.OnProgress = nullptr;
  image.OnProgressEnd = nullptr;
}

// Clears an image's progress handlers however the scope ends (they refer to
// the caller's locals).
struct TProgressGuard {
  TPixelGraphic& Image;
  ~TProgressGuard() { DetachProgress(Image); }
};

// Reports the saving of a picture as csStore.
void AttachStoreProgress(TPixelGraphic& image, const TComposeProgress& progress) {
  if (!progress.Detail) return;
  image.OnProgressStart = [&progress](TObject*) { progress.Detail(csStore, 0); };
  image.OnProgress = [&progress](TObject*, int step, int max, bool&) { progress.Detail(csStore, Percent(step, max)); };
  image.OnProgressEnd = [&progress](TObject*) { progress.Detail(csStore, 100); };
}

// The steps of ComposeFiles for an MPO or JPS output: the aligned pair,
// scaled as a stereo image would be, saved with the photographs freed.
TComposeFilesResult SaveAlignedPair(const TComposeFilesJob& job, TStereoPair& pair, const TPairAlignment& alignment,
                                    const TComposeProgress& progress) {
  TStereoPair views = AlignedPair(pair, alignment, progress, job.CropWedges);
  pair.Left.reset();
  pair.Right.reset();
  // The eye swap exchanges the aligned views.
  if (job.Mode >= 0 && (job.Mode & smSwapEyes) != 0) std::swap(views.Left, views.Right);
  TComposeFilesResult saved;
  if (views.Left) {
    InComposeStep(csStore, [&] {
      TPixelGraphic scaledLeft, scaledRight;
      TPixelGraphic& left = ScaledForSave(*views.Left, job.Zoom, scaledLeft);
      TPixelGraphic& right = ScaledForSave(*views.Right, job.Zoom, scaledRight);
      TProgressGuard leftGuard{left}, rightGuard{right};
      AttachStoreProgress(left, progress);
      AttachStoreProgress(right, progress);
      SaveStereoPair(left, right, job.OutputName);
      saved = {true, left.Width(), left.Height()};
    });
  }
  if (progress.Report) progress.Report(TextFinished, 100);
  return saved;
}

// The steps of ComposePictures. With ownedRight (which holds right), the
// turned picture replaces the photograph at once, so the two never take
// memory together past the turn.
TStereoResult Compose(int mode, TPixelGraphic& left, TPixelGraphic& right, std::unique_ptr<TPixelGraphic>* ownedRight,
                      const TPairAlignment& alignment, TPixelGraphic& work, const TComposeProgress& progress,
                      const TStoreResult& store, bool cropWedges) {
  TCommonArea area = CommonArea(left.Width(), left.Height(), right.Width(), right.Height(), alignment.Left.Point,
                                alignment.Right.Point);
  // An automatic alignment adds the scale step and always crops the corners
  // that one corrected picture does not cover.
  const TRightCorrection correction = RightCorrection(alignment);
  if (cropWedges || correction.Automatic) area = WedgeFreeArea(area, right.Width(), right.Height(), correction);
  TPGProgressEvent rows;
  if (progress.Detail)
    rows = [&progress](TObject*, int step, int max, bool&) { progress.Detail(csTilt, Percent(step, max)); };
  // The corrected right picture: with ownedRight (which holds right) each
  // stage replaces the one before at once.
  std::unique_ptr<TPixelGraphic> scaled, turned;
  TPixelGraphic* source = &right;
  auto take = [&](std::unique_ptr<TPixelGraphic>& next) {
    if (!next) return;
    if (ownedRight) {
      *ownedRight = std::move(next);
      source = ownedRight->get();
    } else {
      source = next.get();
    }
  };
  InComposeStep(csTilt, [&] {
    scaled = ScaleCompensated(*source, correction, progress.Report, rows);
    take(scaled);
    turned = TiltCompensated(*source, alignment, progress.Report, rows);
    take(turned);
  });
  TStereoResult result =
      InComposeStep(csCompose, [&] { return ComposeStereo(mode, left, *source, area, work, progress.Report); });
  turned.reset();
  scaled.reset();
  if (result.Image && store) InComposeStep(csStore, [&] { store(*result.Image); });
  if (progress.Report) progress.Report(TextFinished, 100);
  return result;
}

} // namespace

TStereoResult ComposePictures(int mode, TPixelGraphic& left, TPixelGraphic& right, const TPairAlignment& alignment,
                              TPixelGraphic& work, const TComposeProgress& progress, const TStoreResult& store,
                              bool cropWedges) {
  return Compose(mode, left, right, nullptr, alignment, work, progress, store, cropWedges);
}

TStereoResult ComposePictures(int mode, TStereoPair& pair, const TPairAlignment& alignment, TPixelGraphic& work,
                              const TComposeProgress& progress, const TStoreResult& store, bool cropWedges) {
  return Compose(mode, *pair.Left, *pair.Right, &pair.Right, alignment, work, progress, store, cropWedges);
}

TStereoPair LoadStereoPair(const std::string& leftName, const std::string& rightName,
                           const TComposeProgress& progress) {
  return LoadStereoPair([&leftName](TPixelGraphic& p) { p.LoadFromFile(leftName); },
                        [&rightName](TPixelGraphic& p) { p.LoadFromFile(rightName); }, progress);
}

TStereoPair LoadStereoPair(const TPictureLoad& loadLeft, const TPictureLoad& loadRight,
                           const TComposeProgress& progress) {
  TStereoPair pair;
  pair.Left = std::make_unique<TPixelGraphic>();
  pair.Right = std::make_unique<TPixelGraphic>();
  TProgressGuard leftGuard{*pair.Left}, rightGuard{*pair.Right};

  // The loads report one at a time; a failed left load stops the right one at
  // its next row, since only the left error is reported then.
  std::mutex reportMutex;
  std::atomic<bool> stopRight{false};
  auto attach = [&](TPixelGraphic& image, TComposeStep step) {
    const bool isRight = step == csLoadRight;
    if (progress.Detail) {
      image.OnProgressStart = [&, step](TObject*) {
        std::lock_guard<std::mutex> lock(reportMutex);
        progress.Detail(step, 0);
      };
      image.OnProgressEnd = [&, step](TObject*) {
        std::lock_guard<std::mutex> lock(reportMutex);
        progress.Detail(step, 100);
      };
    }
    image.OnProgress = [&, step, isRight](TObject*, int s, int max, bool& abort) {
      if (isRight && stopRight.load(std::memory_order_relaxed)) abort = true;
      if (!progress.Detail) return;
      std::lock_guard<std::mutex> lock(reportMutex);
      progress.Detail(step, Percent(s, max));
    };
  };
  attach(*pair.Left, csLoadLeft);
  attach(*pair.Right, csLoadRight);

  std::exception_ptr leftError, rightError;
  auto runRight = [&] {
    try {
      loadRight(*pair.Right);
    } catch (...) {
      rightError = std::current_exception();
    }
  };
  std::thread worker;
  try {
    // With the library set to one thread, one after the other.
    if (PGThreadCount() > 1) worker = std::thread(runRight);
  } catch (const std::system_error&) {
    // No thread to be had: the right photograph loads after the left one.
  }
  try {
    loadLeft(*pair.Left);
  } catch (...) {
    leftError = std::current_exception();
    stopRight = true;
  }
  if (worker.joinable()) worker.join();
  else if (!leftError) runRight();

  if (leftError) InComposeStep(csLoadLeft, [&] { std::rethrow_exception(leftError); });
  if (rightError) InComposeStep(csLoadRight, [&] { std::rethrow_exception(rightError); });
  return pair;
}

void TAlignmentOverrides::ApplyTo(TPairAlignment& a) const {
  if (LeftPoint || RightPoint) {
    a.Left.Exact.reset();
    a.Right.Exact.reset();
  }
  if (LeftPoint) a.Left.Point = *LeftPoint;
  if (RightPoint) a.Right.Point = *RightPoint;
  if (LeftTurnPoint) a.Left.TurnPoint = *LeftTurnPoint;
  if (RightTurnPoint) a.Right.TurnPoint = *RightTurnPoint;
  if (LeftLine) a.Left.Line = *LeftLine;
  if (RightLine) a.Right.Line = *RightLine;
}

TPairAlignment JobAlignment(const TComposeFilesJob& job) {
  TPairAlignment a;
  if (job.UseParameterFiles && job.RightName.empty()) {
    a = ReadPairParameters(FullPhotoName(job.LeftName));
  } else if (job.UseParameterFiles) {
    a.Left = ReadParameters(FullPhotoName(job.LeftName));
    a.Right = ReadParameters(FullPhotoName(job.RightName));
  }
  job.Overrides.ApplyTo(a);
  return a;
}

TPixelGraphic& ScaledForSave(TPixelGraphic& picture, long double zoom, TPixelGraphic& scaled) {
  if (!(zoom > 0)) return picture;
  // As the main window saves with its zoom factor: both sides truncated.
  const long double w = std::trunc(picture.Width() * zoom), h = std::trunc(picture.Height() * zoom);
  if (w > std::numeric_limits<int32_t>::max() || h > std::numeric_limits<int32_t>::max())
    throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
  scaled.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h), bc24Bit);
  scaled.SetStretchMode(smPrecise);
  scaled.StretchFrom(picture);
  return scaled;
}

TComposeFilesResult ComposeFiles(const TComposeFilesJob& job, const TComposeProgress& progress) {
  TPairAlignment alignment = JobAlignment(job);
  TStereoPair pair = job.RightName.empty() ? LoadStereoFile(job.LeftName, job.Source, progress)
                                           : LoadStereoPair(job.LeftName, job.RightName, progress);
  if (job.AutoAlign) {
    TAutoAlignControl control;
    if (progress.Detail) control.Progress = [&progress](int percent) { progress.Detail(csAlign, percent); };
    const TAutoAlignResult found =
        InComposeStep(csAlign, [&] { return AutoAlign(*pair.Left, *pair.Right, control); });
    if (found.Status == aasAligned) {
      alignment = found.Alignment;
      job.Overrides.ApplyTo(alignment);
    }
    if (job.Aligned) job.Aligned(found);
  }
  if (IsStereoPairFileName(job.OutputName)) return SaveAlignedPair(job, pair, alignment, progress);
  TComposeFilesResult saved;
  TPixelGraphic work;
  ComposePictures(job.Mode, pair, alignment, work, progress, [&](TPixelGraphic& result) {
    // The photographs are no longer needed: freed before saving.
    pair.Left.reset();
    pair.Right.reset();
    TPixelGraphic scaled;
    TPixelGraphic* out = &ScaledForSave(result, job.Zoom, scaled);
    TProgressGuard guard{*out};
    AttachStoreProgress(*out, progress);
    out->SaveToFile(job.OutputName);
    saved = {true, out->Width(), out->Height()};
  }, job.CropWedges);
  return saved;
}
