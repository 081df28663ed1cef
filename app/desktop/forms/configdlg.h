#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "app/core/settingsfile.h"

class QCheckBox;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QToolButton;
class QWidget;

// The settings dialog "Einstellungen" (form "ConfigDlg"): JPEG quality and the
// user zoom on the tab "Allgemein", the external stereo viewer on the tab
// "ELSA 3D REVELATOR". The object lives as long as the main window; creating it
// reads "VEXO.INI" once and hands the JPEG quality to the JPEG writer
// (PGJPEGQuality). Execute shows it modally; OK takes the values over and
// writes the file at once, Cancel changes nothing.
class TConfigDlg : public QDialog {
  Q_OBJECT
public:
  // Reads the settings file (FormCreate).
  explicit TConfigDlg(QWidget* parent = nullptr);

  // Fills the controls (FormShow) and runs the dialog; true when closed with OK.
  bool Execute();

  // The values in force (read at creation, changed only by OK).
  const TSettings& Settings() const { return FSettings; }
  int32_t JPEGQuality() const { return FSettings.JPEGQuality; }
  int32_t ZoomType() const { return FSettings.ZoomType; }
  int32_t ZoomPercent() const { return FSettings.ZoomPercent; }
  int32_t ZoomPixel() const { return FSettings.ZoomPixel; }
  QString ELSAViewer() const { return QString::fromStdString(FSettings.ELSAViewer); }
  bool ShowELSAViewer() const { return FSettings.ShowELSAViewer; }

  // The viewer that stands in for ELSA's program when no viewer is set: the
  // file ReplacementViewerName in programFolder when it exists as an
  // executable file, else empty.
  static constexpr const char* ReplacementViewerName = "zwillo-stereo3d";
  static QString ReplacementViewer(const QString& programFolder);

  // Handlers, public so the main window and tests can reach them as the design does.
  void FormShow();
  void TrackBar1Change();
  void EdQualityChange();
  void EdPercentChange();
  void EdPixelChange();
  void SpeedButton1Click();
  void BitBtn1Click();

  // Last accepted contents of the zoom fields, taken over by OK.
  int32_t PendingPercent = 0;
  int32_t PendingPixel = 0;

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;  // "Allgemein"
  QWidget* TabSheet2 = nullptr;  // "ELSA 3D REVELATOR"
  QGroupBox* GroupBox1 = nullptr;  // "JPEG-Qualität"
  QLabel* Label1 = nullptr;        // "1..100"
  QLineEdit* EdQuality = nullptr;
  QSlider* TrackBar1 = nullptr;
  QLabel* Label2 = nullptr;  // "Höchste Kompression"
  QLabel* Label3 = nullptr;  // "Geringste Qualität"
  QLabel* Label4 = nullptr;  // "Geringe Kompression"
  QLabel* Label5 = nullptr;  // "Höchste Qualität"
  QGroupBox* GroupBox2 = nullptr;  // "Benutzerdefinierter Zoomfaktor"
  QRadioButton* RadioButton1 = nullptr;
  QLineEdit* EdPercent = nullptr;
  QLabel* Label6 = nullptr;  // "%"
  QRadioButton* RadioButton2 = nullptr;
  QLineEdit* EdPixel = nullptr;
  QLabel* Label7 = nullptr;  // "Pixel"
  QGroupBox* GroupBox3 = nullptr;  // "Stereo3D-Viewer"
  QLineEdit* EdStereo3D = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QCheckBox* CbStereo3D = nullptr;
  QCheckBox* CbCropWedges = nullptr;  // on "Allgemein": crop hand-aligned pictures too
  QFrame* Panel1 = nullptr;  // the bottom panel
  QPushButton* BitBtn1 = nullptr;  // OK
  QPushButton* BitBtn2 = nullptr;  // Abbrechen
  QFileDialog* OpenDialog1 = nullptr;

  static constexpr int ClientWidth = 426;
  // 274 and one row for the crop check box under the zoom group.
  static constexpr int ClientHeight = 296;

protected:
  void showEvent(QShowEvent* event) override;

private:
  void ZoomFieldChange(QLineEdit* edit, int32_t& pending);
  TSettings FSettings;
};
