#pragma once

#include <QString>
class QTimer;
#include <QWidget>
#include <memory>

#include "pgraphic/core/pixelgraphic.h"

class QLabel;

// The replacement for ELSA's Stereo3D viewer. The stereo program writes the
// ELSA pair (two 4:3 frames side by side, the left photograph's frame in the
// left half) to "ELSAVIEWER.BMP" in its hand-off folder and starts this viewer
// there, without arguments.

// The file the stereo program hands over, in the viewer's working directory.
inline constexpr const char* HandOffFileName = "ELSAVIEWER.BMP";

// The two halves of a side-by-side pair as 24-bit images: the left half is
// columns 0 .. w/2 - 1, the right half columns w/2 .. 2 * (w/2) - 1 (an odd
// last column, left over by a crop, belongs to neither). Both are null when
// the pair is narrower than 2 pixels.
struct TStereoHalves {
  std::unique_ptr<TPixelGraphic> Left;
  std::unique_ptr<TPixelGraphic> Right;
};
TStereoHalves SplitHalves(TPixelGraphic& pair);

// The colour anaglyph of two equally sized halves, by the stereo program's own
// rule: red from the left half, green and blue from the right one. 24 bit.
std::unique_ptr<TPixelGraphic> ColorAnaglyph(TPixelGraphic& left, TPixelGraphic& right);

// How the pair is shown.
enum TStereo3DMode : int {
  vmParallel = 0,   // left frame left, right frame right (parallel viewing)
  vmCrossed = 1,    // halves swapped (cross-eyed viewing)
  vmAnaglyph = 2,   // colour anaglyph (red-cyan glasses)
  vmAlternate = 3,  // left and right frame in turn, one per display refresh (shutter glasses)
};

// The viewer window: paints the halves (or the anaglyph) fitted into the
// window on black, keeping their aspect; keys: 1-4 modes, F/F11 full screen,
// F1/H help, Escape quits. A failed load shows its German message instead.
class TStereo3DViewer : public QWidget {
  Q_OBJECT
public:
  explicit TStereo3DViewer(QWidget* parent = nullptr);
  ~TStereo3DViewer() override;

  // Loads folder/"ELSAVIEWER.BMP" through the library's readers. false, with
  // the message shown in the window, when the file is missing or cannot be read.
  bool LoadFromFolder(const QString& folder);
  // The same for the current working directory, where the stereo program
  // starts the viewer.
  bool LoadFromWorkingDirectory();

  TStereo3DMode Mode() const { return FMode; }
  void SetMode(TStereo3DMode mode);
  bool Loaded() const { return FLeft != nullptr; }
  // The message of the last failed load ("" after a good one).
  QString ErrorMessage() const { return FError; }
  // Alternating mode: true while the right frame is shown.
  bool ShowingRight() const { return FShowRight; }
  // Alternating mode: the next frame (the timer's step, one per refresh).
  void AdvanceFrame();
  // Interval of the alternation timer in ms, from the screen's refresh rate.
  int FrameInterval() const;
  bool HelpVisible() const;
  void ToggleFullScreen();
  static QString HelpText();

protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  void UpdateTimer();
  void ShowError(const QString& message);
  // Makes the anaglyph once, when it is first needed (never per paint).
  void EnsureAnaglyph();

  std::unique_ptr<TPixelGraphic> FLeft, FRight, FAnaglyph;
  TStereo3DMode FMode = vmParallel;
  bool FShowRight = false;
  QString FError;
  QTimer* FFrameTimer = nullptr;
  QLabel* FMessage = nullptr;
  QLabel* FHelp = nullptr;
};
