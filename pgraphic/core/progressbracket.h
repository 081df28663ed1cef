#pragma once

#include <exception>

#include "pgraphic/core/pixelgraphic.h"

// Fires the image's progress start at construction and its progress end once:
// at End(), or when the scope is left, however it is left. An end handler
// that throws on the normal way out passes its exception on; while another
// exception is on its way, that one wins and the handler's is dropped.
class TPGProgressBracket {
public:
  TPGProgressBracket(TPixelGraphic& graphic, TObject* sender)
      : FGraphic(graphic), FSender(sender), FExceptions(std::uncaught_exceptions()) {
    FGraphic.DoProgressStart(FSender);
  }
  ~TPGProgressBracket() noexcept(false) {
    if (FEnded) return;
    if (std::uncaught_exceptions() == FExceptions) {
      End();
      return;
    }
    try {
      End();
    } catch (...) {
    }
  }
  // Ends the bracket before the scope does (an operation that signals its
  // change after the progress end).
  void End() {
    if (FEnded) return;
    FEnded = true;
    FGraphic.DoProgressEnd(FSender);
  }
  TPGProgressBracket(const TPGProgressBracket&) = delete;
  TPGProgressBracket& operator=(const TPGProgressBracket&) = delete;

private:
  TPixelGraphic& FGraphic;
  TObject* FSender;
  int FExceptions;
  bool FEnded = false;
};
