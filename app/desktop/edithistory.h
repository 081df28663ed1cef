#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "app/core/stereo_core.h"
#include "pgraphic/core/pixelgraphic.h"

// The history behind Rückgängig and Wiederherstellen: the edits of the pair's
// pictures (crops, 90° turns, filters), one list for the whole pair so that a
// step may touch both photographs (alignment changes join it the same way: a
// step that holds a side's earlier alignment). Window-free: the main window
// is the target the steps act on.

// The parts of the pair an edit touches.
enum TEditPart : unsigned { epLeft = 1, epRight = 2, epStereo = 4 };

// What edit steps act on: the pictures of the three views and the alignment
// of the two photographs.
class TEditTarget {
public:
  virtual ~TEditTarget() = default;
  // Hands part's view picture and returns the one it held.
  virtual std::unique_ptr<TPixelGraphic> ExchangePicture(TEditPart part, std::unique_ptr<TPixelGraphic> picture) = 0;
  // The alignment of a photograph; null for the stereo picture.
  virtual TSideAlignment* Alignment(TEditPart part) = 0;
  // Turns part's picture by degrees (a multiple of 90, positive clockwise)
  // and its alignment with it.
  virtual void Turn(TEditPart part, int degrees) = 0;
};

// One edit. Revert restores the state the step holds and keeps the state it
// replaces, so that reverting it again does the edit again: the same step
// serves for undo and redo.
class TEditStep {
public:
  TEditStep(unsigned parts, std::string caption) : FParts(parts), FCaption(std::move(caption)) {}
  virtual ~TEditStep() = default;
  virtual void Revert(TEditTarget& target) = 0;
  // Memory the step holds (pictures).
  virtual int64_t Bytes() const { return 0; }
  unsigned Parts() const { return FParts; }
  const std::string& Caption() const { return FCaption; }

private:
  unsigned FParts;
  std::string FCaption;
};

// An edit that replaced a picture (crop, filter): the picture before it and,
// when the edit changed the alignment too (a crop resets it), the alignment
// before it.
class TPictureStep : public TEditStep {
public:
  TPictureStep(TEditPart part, std::string caption, std::unique_ptr<TPixelGraphic> before,
               const TSideAlignment* alignmentBefore = nullptr);
  void Revert(TEditTarget& target) override;
  int64_t Bytes() const override;

private:
  TEditPart FPart;
  std::unique_ptr<TPixelGraphic> FPicture;
  bool FHasAlignment = false;
  TSideAlignment FAlignment;
};

// A 90° turn: lossless, so nothing is kept; reverting turns back.
class TTurnStep : public TEditStep {
public:
  TTurnStep(TEditPart part, std::string caption, int degrees)
      : TEditStep(part, std::move(caption)), FPart(part), FDegrees(degrees) {}
  void Revert(TEditTarget& target) override;

private:
  TEditPart FPart;
  int FDegrees;
};

// A change of the alignment alone (a point clicked or nudged, a tilt line
// drawn, an automatic alignment): the alignment of the sides in parts
// (epLeft, epRight or both) before it.
class TAlignmentStep : public TEditStep {
public:
  TAlignmentStep(unsigned parts, std::string caption, const TPairAlignment& before)
      : TEditStep(parts, std::move(caption)), FAlignment(before) {}
  void Revert(TEditTarget& target) override;

private:
  TPairAlignment FAlignment;
};

class TEditHistory {
public:
  // Pictures kept for undo and redo take at most this much memory together
  // (about five 24-megapixel photographs), the list at most this many steps;
  // the oldest steps go first, the newest is always kept.
  static constexpr int64_t kDefaultBudget = int64_t{384} << 20;
  static constexpr size_t kDefaultMaxSteps = 50;

  explicit TEditHistory(int64_t budget = kDefaultBudget, size_t maxSteps = kDefaultMaxSteps)
      : FBudget(budget), FMaxSteps(maxSteps) {}

  // A new edit: the redo list is dropped, old steps beyond the limits too.
  void Push(std::unique_ptr<TEditStep> step);
  bool CanUndo() const { return !FUndo.empty(); }
  bool CanRedo() const { return !FRedo.empty(); }
  const TEditStep* NextUndo() const { return FUndo.empty() ? nullptr : FUndo.back().get(); }
  const TEditStep* NextRedo() const { return FRedo.empty() ? nullptr : FRedo.back().get(); }
  // Reverts the last step, which becomes the next redo (Redo the other way
  // round); returns the parts it touched, 0 when there was nothing. A step
  // whose revert fails stays where it was.
  unsigned Undo(TEditTarget& target);
  unsigned Redo(TEditTarget& target);
  // Drops every step touching parts (a new photograph or stereo picture).
  void Forget(unsigned parts);
  int64_t Bytes() const;
  size_t UndoCount() const { return FUndo.size(); }
  size_t RedoCount() const { return FRedo.size(); }

private:
  static unsigned Move(std::deque<std::unique_ptr<TEditStep>>& from, std::deque<std::unique_ptr<TEditStep>>& to,
                       TEditTarget& target);
  int64_t FBudget;
  size_t FMaxSteps;
  // Most recent at the back.
  std::deque<std::unique_ptr<TEditStep>> FUndo, FRedo;
};
