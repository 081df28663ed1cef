#include "app/core/compose.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/core/autoalign.h"
#include "app/core/correction.h"
#include "app/core/paramfile.h"
#include "pgraphic/core/messages.h"

const char* const TextFinished = "Fertig.";

namespace {

// Runs one step; whatever it throws leaves as EComposeFailed of that step.
template <typename F>
auto InStep(TComposeStep step, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const EComposeFailed&) {
    throw;
  } catch (const std::exception& e) {
    throw EComposeFailed(step, std::current_exception(), e.what());
  } catch (...) {
    throw EComposeFailed(step, std::current_exception(), "unknown error");
  }
}

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
  InStep(csTilt, [&] {
    scaled = ScaleCompensated(*source, correction, progress.Report, rows);
    take(scaled);
    turned = TiltCompensated(*source, alignment, progress.Report, rows);
    take(turned);
  });
  TStereoResult result =
      InStep(csCompose, [&] { return ComposeStereo(mode, left, *source, area, work, progress.Report); });
  turned.reset();
  scaled.reset();
  if (result.Image && store) InStep(csStore, [&] { store(*result.Image); });
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
  auto loadRight = [&] {
    try {
      pair.Right->LoadFromFile(rightName);
    } catch (...) {
      rightError = std::current_exception();
    }
  };
  std::thread worker;
  try {
    worker = std::thread(loadRight);
  } catch (const std::system_error&) {
    // No thread to be had: the right photograph loads after the left one.
  }
  try {
    pair.Left->LoadFromFile(leftName);
  } catch (...) {
    leftError = std::current_exception();
    stopRight = true;
  }
  if (worker.joinable()) worker.join();
  else if (!leftError) loadRight();

  if (leftError) InStep(csLoadLeft, [&] { std::rethrow_exception(leftError); });
  if (rightError) InStep(csLoadRight, [&] { std::rethrow_exception(rightError); });
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
  if (job.UseParameterFiles) {
    a.Left = ReadParameters(FullPhotoName(job.LeftName));
    a.Right = ReadParameters(FullPhotoName(job.RightName));
  }
  job.Overrides.ApplyTo(a);
  return a;
}

TComposeFilesResult ComposeFiles(const TComposeFilesJob& job, const TComposeProgress& progress) {
  TPairAlignment alignment = JobAlignment(job);
  TStereoPair pair = LoadStereoPair(job.LeftName, job.RightName, progress);
  if (job.AutoAlign) {
    TAutoAlignControl control;
    if (progress.Detail) control.Progress = [&progress](int percent) { progress.Detail(csAlign, percent); };
    const TAutoAlignResult found = InStep(csAlign, [&] { return AutoAlign(*pair.Left, *pair.Right, control); });
    if (found.Status == aasAligned) {
      alignment = found.Alignment;
      job.Overrides.ApplyTo(alignment);
    }
    if (job.Aligned) job.Aligned(found);
  }
  TComposeFilesResult saved;
  TPixelGraphic work;
  ComposePictures(job.Mode, pair, alignment, work, progress, [&](TPixelGraphic& result) {
    // The photographs are no longer needed: freed before saving.
    pair.Left.reset();
    pair.Right.reset();
    TPixelGraphic* out = &result;
    TPixelGraphic scaled;
    if (job.Zoom > 0) {
      // As the main window saves with its zoom factor: both sides truncated.
      const long double w = std::trunc(out->Width() * job.Zoom), h = std::trunc(out->Height() * job.Zoom);
      if (w > std::numeric_limits<int32_t>::max() || h > std::numeric_limits<int32_t>::max())
        throw EPixelGraphic(GetMessage1(msgFailed, "CreateDIBSection"));
      scaled.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h), bc24Bit);
      scaled.SetStretchMode(smPrecise);
      scaled.StretchFrom(*out);
      out = &scaled;
    }
    TProgressGuard guard{*out};
    if (progress.Detail) {
      out->OnProgressStart = [&progress](TObject*) { progress.Detail(csStore, 0); };
      out->OnProgress = [&progress](TObject*, int step, int max, bool&) {
        progress.Detail(csStore, Percent(step, max));
      };
      out->OnProgressEnd = [&progress](TObject*) { progress.Detail(csStore, 100); };
    }
    out->SaveToFile(job.OutputName);
    saved = {true, out->Width(), out->Height()};
  }, job.CropWedges);
  return saved;
}
