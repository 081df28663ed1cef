#include "app/desktop/programcursors.h"

#include "pgraphic/view/cursors.h"

namespace {

// Black pixels drawn into the library's cursor art; the white outline comes
// when the cursor is made.
class TCursorArt {
public:
  void Dot(int x, int y) {
    if (x >= 0 && y >= 0 && x < 32 && y < 32) FArt[size_t(y)][size_t(x)] = '#';
  }
  void HLine(int x1, int x2, int y) {
    for (int x = x1; x <= x2; ++x) Dot(x, y);
  }
  void VLine(int x, int y1, int y2) {
    for (int y = y1; y <= y2; ++y) Dot(x, y);
  }
  QCursor Make(int hotX, int hotY) const {
    TPGCursorArt art = FArt;
    PGOutlineCursorArt(art);
    return PGMakeCursor(art, QPoint(hotX, hotY));
  }

private:
  TPGCursorArt FArt = PGBlankCursorArt();
};

QCursor MakeLineCursor() {
  TCursorArt art;
  // Small cross centred on the hot spot.
  art.HLine(2, 12, 6);
  art.VLine(7, 1, 11);
  // The diagonal stroke below and right of it.
  for (int i = 0; i < 12; ++i) art.Dot(14 + i, 13 + i);
  return art.Make(7, 6);
}

QCursor MakeTargetCursor() {
  TCursorArt art;
  // Cross-hair with an open centre.
  art.HLine(3, 11, 15);
  art.HLine(19, 27, 15);
  art.VLine(15, 3, 11);
  art.VLine(15, 19, 27);
  // Four corner marks.
  art.HLine(7, 10, 7);
  art.VLine(7, 7, 10);
  art.HLine(20, 23, 7);
  art.VLine(23, 7, 10);
  art.HLine(7, 10, 23);
  art.VLine(7, 20, 23);
  art.HLine(20, 23, 23);
  art.VLine(23, 20, 23);
  return art.Make(15, 15);
}

} // namespace

QCursor ProgramCursor(TProgramCursor which) { return which == pcLine ? MakeLineCursor() : MakeTargetCursor(); }
