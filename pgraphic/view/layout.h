#pragma once

// The view's layout as a pure function: from the stretch rule, the picture's
// size, the room the view offers and the scroll bars' extent to the picture
// box's rectangle, the effective zoom and the scroll state. The view
// (TPGImage::Rearrange) applies what it returns; nothing here touches a window.

#include <cstdint>

enum TStretch : uint8_t {
  sNeverKAR,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR,
};

struct TPGLayoutInput {
  TStretch Stretch = sNeverKAR;
  int ImageWidth = 0, ImageHeight = 0;
  // The view's size less its border (the whole control, not the client area:
  // the scroll bars are accounted for with ScrollBarExtent).
  int AvailWidth = 0, AvailHeight = 0;
  int ScrollBarExtent = 0; // the vertical bar's width, the horizontal bar's height
  long double ZoomFactor = 1.0L; // used by sZoomKAR; 0 or less shows 1:1
  bool Center = false;
};

// The scroll box's rules for a picture box reaching to (Right, Bottom): a bar
// shows only when its range exceeds the client size, which each bar shown
// reduces; the positions run from 0 to the range less the client size.
struct TPGScrollState {
  bool Horz = false, Vert = false;
  int ClientWidth = 0, ClientHeight = 0;
  int HorzMax = 0, VertMax = 0;
};
TPGScrollState PGScrollState(int availW, int availH, int scrollBarExtent, int boxRight, int boxBottom);

struct TPGLayout {
  // The picture box before scrolling.
  int Left = 0, Top = 0, Width = 0, Height = 0;
  // The effective zoom: 1 at 1:1, -1 when stretched without keeping the
  // aspect ratio.
  long double Zoom = 1.0L;
  // With Center, the axes along which the centred picture needs a bar; the
  // view scrolls those to the middle.
  bool CenterHorz = false, CenterVert = false;
  // The scroll state with the box placed, and the positions the layout sets:
  // 0, or the middle along a centred axis with a bar.
  TPGScrollState Scroll;
  int HorzPosition = 0, VertPosition = 0;
};
TPGLayout PGLayout(const TPGLayoutInput& in);

// The two fits of the aspect-ratio-keeping rules, on the picture box's size
// and the zoom. FitInside: the whole picture within the available room.
// FitLongerEdge: as FitInside, unless that leaves both edges short of the
// room beside a scroll bar; then the picture fills the room along one edge
// beside the other edge's bar.
struct TPGFit {
  int Width, Height;
  long double Zoom;
};
TPGFit PGFitInside(int imageW, int imageH, int availW, int availH);
TPGFit PGFitLongerEdge(int imageW, int imageH, int availW, int availH, int scrollBarExtent);
