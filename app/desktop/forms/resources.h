#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's artwork and help file.

// Number of tool-bar images (the indices of the main window's image list).
constexpr int ToolIconCount = 22;

// Tool-bar image index (ImageList1) of each button:
//   0 BtLock (identical point)   1 BtPan           2 BtLine (tilt line)
//   3 ToolButton1 (load)         4 BtStereo        5 BtPrint
//   6 BtSaveStereo               7 RotateLeft      8 RotateRight
//   9 BtZoomIn                  10 BtZoomOut      11 BtSaveParms
//  12 settings (not on the bar) 13 BtCut          14 BtMirror
//  15 BtStereoColor             16 BtLCD          17 BtLiRe
//  18 BtReLi                    19 BtSaveStereoZoom  20 BtElsa
//  21 BtAutoAlign
// 20 x 20 at normal scale (also drawn at twice that), with a disabled
// (greyed) variant in QIcon::Disabled mode. Out of range: a null icon.
QIcon ToolIcon(int index);
// One image of the list at the given device pixel ratio (1 or 2).
QPixmap ToolPixmap(int index, bool disabled, int scale = 1);

// The program's window icon.
QIcon WindowIcon();

// The 403 x 332 picture of the splash and About window.
QPixmap SplashPicture();

// The German help document: beside the program (help/Vexo.html), in the
// installed share folder, or in the source tree; empty when none is found.
QString HelpFilePath();
