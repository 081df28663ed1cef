#include "app/desktop/edithistory.h"

#include <algorithm>
#include <utility>

TPictureStep::TPictureStep(TEditPart part, std::string caption, std::unique_ptr<TPixelGraphic> before,
                           const TSideAlignment* alignmentBefore)
    : TEditStep(part, std::move(caption)), FPart(part), FPicture(std::move(before)) {
  if (alignmentBefore) {
    FHasAlignment = true;
    FAlignment = *alignmentBefore;
  }
}

void TPictureStep::Revert(TEditTarget& target) {
  FPicture = target.ExchangePicture(FPart, std::move(FPicture));
  if (FHasAlignment)
    if (TSideAlignment* side = target.Alignment(FPart)) std::swap(*side, FAlignment);
}

int64_t TPictureStep::Bytes() const { return FPicture ? FPicture->ByteSize() : 0; }

void TTurnStep::Revert(TEditTarget& target) {
  target.Turn(FPart, -FDegrees);
  FDegrees = -FDegrees;
}

void TAlignmentStep::Revert(TEditTarget& target) {
  for (TEditPart part : {epLeft, epRight})
    if (Parts() & part)
      if (TSideAlignment* side = target.Alignment(part))
        std::swap(*side, part == epLeft ? FAlignment.Left : FAlignment.Right);
}

void TEditHistory::Push(std::unique_ptr<TEditStep> step) {
  FRedo.clear();
  FUndo.push_back(std::move(step));
  while (FUndo.size() > 1 && (FUndo.size() > FMaxSteps || Bytes() > FBudget)) FUndo.pop_front();
}

unsigned TEditHistory::Move(std::deque<std::unique_ptr<TEditStep>>& from, std::deque<std::unique_ptr<TEditStep>>& to,
                            TEditTarget& target) {
  if (from.empty()) return 0;
  from.back()->Revert(target);
  to.push_back(std::move(from.back()));
  from.pop_back();
  return to.back()->Parts();
}

unsigned TEditHistory::Undo(TEditTarget& target) { return Move(FUndo, FRedo, target); }
unsigned TEditHistory::Redo(TEditTarget& target) { return Move(FRedo, FUndo, target); }

void TEditHistory::Forget(unsigned parts) {
  for (auto* list : {&FUndo, &FRedo})
    list->erase(std::remove_if(list->begin(), list->end(), [parts](const auto& s) { return (s->Parts() & parts) != 0; }),
                list->end());
}

int64_t TEditHistory::Bytes() const {
  int64_t n = 0;
  for (const auto* list : {&FUndo, &FRedo})
    for (const auto& s : *list) n += s->Bytes();
  return n;
}
