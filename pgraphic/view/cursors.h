#pragma once

#include <array>

#include <QCursor>
#include <QPoint>

// The view's four cursors: 32 x 32 monochrome bitmaps (black lines on a white
// outline, the rest transparent), made on first use on the window thread and
// freed when the application object goes.
enum TPGCursor : int {
  pgcOpenHand,   // hot spot (16, 12): over a picture that can be dragged
  pgcClosedHand, // hot spot (16, 12): while the picture is dragged
  pgcCrossHair,  // hot spot (15, 15): thin dashed cross-hair with an open centre
  pgcMoveArrows, // hot spot (16, 15): four-way arrows, moving the selection
};

QCursor PGCursor(TPGCursor which);
QPoint PGCursorHotSpot(TPGCursor which);

// Cursor art, shared with the program's own cursors: a 32 x 32 drawing, '#'
// black, '.' white, ' ' transparent.
using TPGCursorArt = std::array<std::array<char, 32>, 32>;
TPGCursorArt PGBlankCursorArt();
// Every transparent pixel next to a black one turns white, so the black
// lines show on any background.
void PGOutlineCursorArt(TPGCursorArt& art);
// The monochrome cursor of a drawing with its hot spot.
QCursor PGMakeCursor(const TPGCursorArt& art, QPoint hotSpot);
