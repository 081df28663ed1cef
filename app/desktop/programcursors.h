#pragma once

#include <QCursor>

// The program's two cursors, 32 x 32 monochrome: "Line" (hot spot (7, 6), a
// small cross with a diagonal stroke beside it) for drawing tilt lines and
// "Target" (hot spot (15, 15), a cross-hair with an open centre and four
// corner marks) for marking identical points.
enum TProgramCursor { pcLine, pcTarget };

QCursor ProgramCursor(TProgramCursor which);
