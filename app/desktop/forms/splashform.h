#pragma once

#include <QDialog>
#include <QLabel>
#include <cstdint>

class QPushButton;
class QTimer;

// The picture of the splash window: a label that reports a click (press and
// release of the left button on it).
class TSplashImage : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;
signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool FPressed = false;
};

// The splash window shown while the program starts, reused as the About
// window: borderless, on top, centred, 403 x 332, the splash picture filling it.
// Its timer counts Countdown down once a second; a click on the picture ends
// the count at once. BtOk is shown only in the About window.
class TForm3 : public QDialog {
  Q_OBJECT
public:
  explicit TForm3(QWidget* parent = nullptr);

  TSplashImage* Image1 = nullptr;
  QPushButton* BtOk = nullptr;
  QTimer* Timer1 = nullptr;
  int32_t Countdown = 0;  // seconds still to wait at start-up

  void FormCreate();
  void Timer1Timer();
  void Image1Click();
  void BtOkClick();

  // Shows a new About window modally (OK button visible) and destroys it
  // when it closes.
  static void ShowAbout(QWidget* parent);

  // The timer interval new windows get: 1000 ms; tests shorten it.
  static int TimerInterval();
  static void SetTimerInterval(int ms);

  static constexpr int DesignWidth = 403;
  static constexpr int DesignHeight = 332;

protected:
  void showEvent(QShowEvent* event) override;
};

// Creates the start-up splash window, shows it and paints it at once. The
// caller hands it to WaitForSplash when its main window has been shown.
TForm3* ShowSplash();

// The start-up wait: disables mainWindow, processes events until the splash's
// Countdown has reached 0 (its timer, or a click on the picture), destroys the
// splash window and enables mainWindow again. splash may be null (no wait).
void WaitForSplash(QWidget* mainWindow, TForm3* splash);
