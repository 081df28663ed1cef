#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;

// The progress window "Berechnen Stereobild", shown while a stereo image is
// computed. It has no behaviour of its own: the main window feeds it through
// ShowProgress while its own thread is busy, so both controls are repainted at
// once instead of waiting for the event loop.
class TForm2 : public QDialog {
  Q_OBJECT
public:
  explicit TForm2(QWidget* parent = nullptr);

  // The message panel's caption := text, the bar's position := percent
  // (clamped to 0..100); both are repainted before the call returns, unless
  // paintNow is false.
  void ShowProgress(const QString& text, int percent, bool paintNow = true);

  QLabel* Panel2 = nullptr;              // 41 px along the top, lowered bevel, the message
  QFrame* Panel1 = nullptr;              // 24 px below it, lowered bevel
  QProgressBar* ProgressBar1 = nullptr;  // fills Panel1, range 0..100

  static constexpr int ClientWidth = 380;
  static constexpr int ClientHeight = 109;

protected:
  void showEvent(QShowEvent* event) override;
};
