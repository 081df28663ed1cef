#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/core/autoalign.h"
#include "app/core/stereo_core.h"

// The compose pipeline: every window-free step from two pictures to a stereo
// image. The main window's stereo command runs ComposePictures on the pictures
// its views hold; zwillo-cli runs ComposeFiles, which loads the pair (both
// photographs at the same time), reads their parameter files, runs the same
// steps and saves the result.

// The steps of a composition, in the order they run.
enum TComposeStep : int {
  csLoadLeft,  // loading the left photograph
  csLoadRight, // loading the right photograph
  csTilt,      // turning the right picture by the tilt difference
  csCompose,   // the mode's worker
  csStore,     // handing the result on (saving it, or the caller's store callback)
  csAlign,     // the automatic alignment of a pair loaded from files (after the loads)
};

// A failure of a composition: the step it ended in and the error that ended
// it. what() is that error's message unchanged; Rethrow() throws the original
// (an EPixelGraphic of the library, a file error, std::bad_alloc, ...). A
// failure in csTilt leaves the stereo command's last mode as it was; a failure
// in a later step happens after the command took the new mode.
class EComposeFailed : public std::runtime_error {
public:
  EComposeFailed(TComposeStep step, std::exception_ptr error, const std::string& message)
      : std::runtime_error(message), FStep(step), FError(std::move(error)) {}
  TComposeStep Step() const { return FStep; }
  const std::exception_ptr& Error() const { return FError; }
  [[noreturn]] void Rethrow() const { std::rethrow_exception(FError); }

private:
  TComposeStep FStep;
  std::exception_ptr FError;
};

// Runs f as one step of a composition: whatever it throws leaves as
// EComposeFailed of that step (an EComposeFailed passes unchanged).
template <typename F>
auto InComposeStep(TComposeStep step, F&& f) -> decltype(f()) {
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

// The text of the last report of every composition.
extern const char* const TextFinished;

// Progress of a composition.
struct TComposeProgress {
  // The reports of the stereo command, in its order: ("Verkantung ausgleichen",
  // 0) when a tilt is given, the worker's "Stereobild berechnen" reports (30,
  // 60, 80 for modes 0 and 2, else 0) and ("Fertig.", 100) at the end.
  TStereoProgress Report;
  // Optional finer progress within the long steps (loading, turning, saving):
  // the step and 0..100 percent. While a pair loads it is called from both
  // loading threads, never by both at once.
  std::function<void(TComposeStep step, int percent)> Detail;
};

// Two photographs loaded from files.
struct TStereoPair {
  std::unique_ptr<TPixelGraphic> Left, Right;
};

// Receives the result of a composition (see ComposePictures).
using TStoreResult = std::function<void(TPixelGraphic& result)>;

// The stereo command's computation on two pictures the caller holds: the common
// area from the pictures' sizes and the identical points, the tilt
// compensation on a turned copy of right, the mode's worker (work is the
// caller's work image, the result of the modes ModeUsesWorkImage names), then
// store, when set, with the result, then ("Fertig.", 100). left and right are only read; the
// turned copy is freed before store runs, and nothing touches left or right
// after that (store may free them). The result is ComposeStereo's: Image is
// null for a mode outside the list and for mode 6 without common width (store is
// not called then). Failures: EComposeFailed in csTilt, csCompose or csStore.
// An automatic alignment (both sides carry a Scale) adds the scale step before
// the tilt (still csTilt) and crops the result to the part both corrected
// pictures fill (WedgeFreeArea); cropWedges does that crop for any alignment.
TStereoResult ComposePictures(int mode, TPixelGraphic& left, TPixelGraphic& right, const TPairAlignment& alignment,
                              TPixelGraphic& work, const TComposeProgress& progress = {},
                              const TStoreResult& store = {}, bool cropWedges = false);
// The same on a pair the caller hands over: with a tilt (or the scale step),
// the corrected picture replaces pair.Right as soon as it exists (the right
// photograph is freed then, so it is never held together with the result);
// store may free the pair.
TStereoResult ComposePictures(int mode, TStereoPair& pair, const TPairAlignment& alignment, TPixelGraphic& work,
                              const TComposeProgress& progress = {}, const TStoreResult& store = {},
                              bool cropWedges = false);

// Loads both photographs at the same time, the right one on a thread of its
// own (one after the other when the library is set to one thread,
// PGSetThreadCount). Both loads have ended when it returns. On failure the error is the left
// photograph's when that one fails (the right load is then stopped early), else
// the right one's: EComposeFailed in csLoadLeft or csLoadRight.
TStereoPair LoadStereoPair(const std::string& leftName, const std::string& rightName,
                           const TComposeProgress& progress = {});
// The same with the two loads given: each fills the picture it is handed
// (for example two images of one file); the right one runs on a thread of its
// own.
using TPictureLoad = std::function<void(TPixelGraphic& picture)>;
TStereoPair LoadStereoPair(const TPictureLoad& loadLeft, const TPictureLoad& loadRight,
                           const TComposeProgress& progress = {});

// Alignment values given explicitly; each replaces what a parameter file (or
// the automatic alignment) says. A given identical point drops the exact
// points of both sides, which belong to the points they were found with.
struct TAlignmentOverrides {
  std::optional<TStereoPoint> LeftPoint, RightPoint, LeftTurnPoint, RightTurnPoint;
  std::optional<TStereoLine> LeftLine, RightLine;
  void ApplyTo(TPairAlignment& alignment) const;
};

// Where the two photographs of a pair in one file come from (stereofile.h).
enum TPairSource : int {
  psStereoFile, // an MPO (its two disparity images) or a JPS (as its descriptor says)
  psParallel,   // a picture side by side, left view left
  psCross,      // a picture side by side, right view left
  psOverUnder,  // a picture with the left view on top
};

// A composition from files to a file. With RightName empty both photographs
// come from LeftName (Source says how; the parameter files are the pair's,
// PairParameterFileName). An OutputName ending in .mpo or .jps receives the
// aligned pair (AlignedPair) instead of a stereo image; of Mode only
// smSwapEyes is used then (the views exchanged).
struct TComposeFilesJob {
  int Mode = smRedGreen;
  std::string LeftName, RightName, OutputName;
  TPairSource Source = psStereoFile;
  bool UseParameterFiles = true; // read each photograph's parameter file (by its full path)
  TAlignmentOverrides Overrides;
  long double Zoom = 0; // > 0: saved scaled by Zoom (precise resampling, both sides truncated)
  // Align the loaded pair automatically (AutoAlign); the overrides apply on
  // top. When the pictures have too little in common the alignment stays as
  // the parameter files and overrides give it.
  bool AutoAlign = false;
  bool CropWedges = false; // crop to what both corrected pictures fill also without automatic alignment
  std::function<void(const TAutoAlignResult&)> Aligned; // receives the automatic alignment's result
};

struct TComposeFilesResult {
  bool Saved = false; // false: no result (mode 6 without common width, a pair without common area); nothing was written
  int32_t Width = 0, Height = 0; // size of the saved picture (of each view of a pair)
};

// The pair's alignment for a job: the parameter files, then the overrides.
TPairAlignment JobAlignment(const TComposeFilesJob& job);

// The picture as a save with the zoom factor stores it: scaled by zoom
// (precise resampling, both sides truncated) into scaled, which is returned;
// the picture itself when zoom <= 0.
TPixelGraphic& ScaledForSave(TPixelGraphic& picture, long double zoom, TPixelGraphic& scaled);

// Loads the pair (LoadStereoPair), aligns it when asked (csAlign), composes it
// (ComposePictures, the work image a temporary) and saves the result through
// the format registry, the photographs freed before saving. Failures:
// EComposeFailed of the step.
TComposeFilesResult ComposeFiles(const TComposeFilesJob& job, const TComposeProgress& progress = {});

// The seconds a composition by rows spent decoding, composing and encoding.
struct TRowComposeTimes {
  double Load = 0, Compose = 0, Save = 0;
};

// ComposeFiles for the jobs that need no whole picture: two colour JPEG
// photographs, a red-green or colour anaglyph (eyes swapped or not) whose
// alignment has no tilt and no scale step, no zoom, no automatic alignment, a
// JPEG output. The rows are decoded, composed and encoded one at a time on the
// calling thread, so the pair takes a few hundred kilobytes instead of three
// pictures and its data stays in the processor's caches; the file is the one
// ComposeFiles writes. Nothing (and no file) for every other job and whenever
// anything unusual happens, a library warning or any error included: the
// caller then runs ComposeFiles, which reports as it always does.
std::optional<TComposeFilesResult> ComposeFilesByRows(const TComposeFilesJob& job, TRowComposeTimes* times = nullptr);
