#pragma once

// Filter dialogs: non-visual components that ask for the parameters of a
// point filter in a modal dialog with track bars and a live preview. The
// dialog window is built control by control each time the dialog runs, from
// the component's settings, so that one generic dialog serves every filter.
//
//   TRGBFilterDialog dlg(owner);
//   if (dlg.Execute(*view->PixelGraphic())) {
//     TPixelGraphic& image = *view->PixelGraphic();
//     image.ApplyFilter(dlg.Filter(), image);
//   }

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QColor>
#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QObject>
#include <QSlider>

#include "pgraphic/core/filters.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/view/worker.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;
class TFilterDialogForm;
class TPGImage;

// Library-wide dialog font: when set, a filter dialog window takes it before
// its point size is set to 8.
extern std::optional<QFont> PGFilterDialogFont;

// ------------------------------------------------------------ dialogs

class TFilterDialog : public QObject, public TObject {
  Q_OBJECT
public:
  explicit TFilterDialog(QObject* owner = nullptr);
  ~TFilterDialog() override;

  // Runs the dialog with the preview image already stored; true when the user
  // pressed OK. Cancel, Escape and the close box restore the values of the
  // start of the run and the filter with them.
  bool Execute();
  // The dialog's filter (the dialog keeps it). After Execute returned true the
  // caller applies it, e.g. image.ApplyFilter(dlg.Filter(), image).
  TPGFilter& Filter() { return *FFilter; }
  // The dialog window while the dialog runs, else null.
  TFilterDialogForm* DialogWindow() const { return FForm; }

  // One track bar with its labels.
  struct TSliderGroup {
    bool Enabled = false;
    int Min = 0, Max = 100, Frequency = 10, Neutral = 0;
    int CaptionWidth = 14;
    std::string Caption;
    std::array<std::string, 3> ScaleTexts; // left, middle, right
    int ValueWidth = 32;
    int Position = 0;
  };
  const TSliderGroup& Slider(int k) const { return FSliders[k - 1]; } // k = 1..3

  // Settings of the generic dialog (set by the concrete constructors; the
  // captions are filled by SetCaptions at each run).
  TSliderGroup FSliders[3];
  std::string ExtraCaption;
  std::string WindowCaption;
  bool PreviewEnabled = false;
  bool CheckBoxEnabled = false, CheckBoxState = false;
  std::string CheckBoxCaption;
  bool RadioEnabled = false, Radio1State = false, Radio2State = false;
  std::string Radio1Caption, Radio2Caption;
  // Called after every control change (the preview restarts its debounce).
  std::function<void()> OnChange;

  // The text of a value label (the base: "+25%", "±0%", "-30%").
  virtual std::string SliderText1();
  virtual std::string SliderText2();
  virtual std::string SliderText3();
  // The text of slider k's value label (1..3) at position.
  std::string SliderTextAt(int k, int position);
  // Writes the dialog's values into a filter object of the dialog's class.
  virtual void ConfigureFilter(TPGFilter& filter);
  // A new filter object of the dialog's class.
  virtual std::unique_ptr<TPGFilter> CreateFilter() = 0;

protected:
  virtual void SetCaptions() {}
  virtual void SaveValues() {}
  virtual void RestoreValues() {}
  // The base value text of a position.
  static std::string PercentText(int position);

  std::unique_ptr<TPGFilter> FFilter; // made by the concrete constructor
  TPixelGraphic* FPreviewImage = nullptr; // not owned

private:
  friend class TFilterDialogForm;
  // The update handler: reads the controls, refreshes the value labels,
  // configures the filter and notifies.
  void ControlChanged();
  TFilterDialogForm* FForm = nullptr;
};

class TPreviewFilterDialog : public TFilterDialog {
  Q_OBJECT
public:
  explicit TPreviewFilterDialog(QObject* owner = nullptr);
  using TFilterDialog::Execute;
  // Stores image as the preview image (the caller keeps it; it is only read)
  // and runs the dialog.
  bool Execute(TPixelGraphic& image);

  // Handed to the preview view.
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  QColor ProgressClockBkColor;   // invalid: the window colour (clBtnFace)
  QColor ProgressClockLineColor; // invalid: the shadow colour (clBtnShadow)
  bool ProgressClockVisible = false;
};

// Three per-channel percentages in -100..100 through three curves.
class TXXXFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  explicit TXXXFilterDialog(QObject* owner = nullptr);
  void ConfigureFilter(TPGFilter& filter) override;

protected:
  // Clamps to the slider's range and, when it changed, reconfigures the filter.
  void SetPosition(int k, int value);
  void SaveValues() override;
  void RestoreValues() override;

private:
  int FSaved[3] = {0, 0, 0};
};

class TRGBFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit TRGBFilterDialog(QObject* owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() override { return std::make_unique<TRGBFilter>(); }
  int Red() const { return FSliders[0].Position; }
  void SetRed(int v) { SetPosition(1, v); }
  int Green() const { return FSliders[1].Position; }
  void SetGreen(int v) { SetPosition(2, v); }
  int Blue() const { return FSliders[2].Position; }
  void SetBlue(int v) { SetPosition(3, v); }

protected:
  void SetCaptions() override;
};

class TCMYFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
public:
  explicit TCMYFilterDialog(QObject* owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() override { return std::make_unique<TCMYFilter>(); }
  int Cyan() const { return FSliders[0].Position; }
  void SetCyan(int v) { SetPosition(1, v); }
  int Magenta() const { return FSliders[1].Position; }
  void SetMagenta(int v) { SetPosition(2, v); }
  int Yellow() const { return FSliders[2].Position; }
  void SetYellow(int v) { SetPosition(3, v); }

protected:
  void SetCaptions() override;
};

// Brightness (percent), contrast and gamma (factors 0.2..5 on a logarithmic
// slider), applied to R, G and B or to the luma Y.
class TBCGFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
public:
  explicit TBCGFilterDialog(QObject* owner = nullptr);
  std::unique_ptr<TPGFilter> CreateFilter() override { return std::make_unique<TBCGFilter>(); }
  void ConfigureFilter(TPGFilter& filter) override;
  std::string SliderText2() override;
  std::string SliderText3() override;

  // The setters reconfigure the filter at once.
  int Brightness() const { return FSliders[0].Position; }
  void SetBrightness(int v);
  // Round(5^(s/100) * 100) * 0.01 of the slider position s; writing clamps
  // to 0.2..5 and stores the position Round(ln(v) * 100 / ln 5).
  long double Contrast() const;
  void SetContrast(long double v);
  long double Gamma() const;
  void SetGamma(long double v);
  bool UseY() const { return Radio2State; }
  void SetUseY(bool v);

protected:
  void SetCaptions() override;
  void SaveValues() override;
  void RestoreValues() override;

private:
  int FSaved[3] = {0, 0, 0};
  bool FSavedUseY = false;
};

// ------------------------------------------------------------ the window

// A track bar with the Windows selection range: SetSelection(a, b) marks the
// positions a..b on the bar (the filter dialogs mark the neutral position).
class TPGTrackBar : public QSlider {
  Q_OBJECT
public:
  explicit TPGTrackBar(QWidget* parent = nullptr);
  void SetSelection(int start, int end);
  int SelStart() const { return FSelStart; }
  int SelEnd() const { return FSelEnd; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  int FSelStart = 0, FSelEnd = 0;
  bool FHasSelection = false;
};

// What a filter dialog's workers post to its window: the reduced source is
// ready (kind 1), or a finished preview whose ownership travels inside the
// event (kind 2; whoever deletes the event frees what is still in it).
struct TPGFilterPreviewTag;
struct TPGFilterPreview {
  int Kind = 0;
  std::unique_ptr<TPixelGraphic> Target;
};
using TPGFilterPreviewEvent = TPGResultEvent<TPGFilterPreviewTag, TPGFilterPreview>;

// Reduces the preview image into the preview source. An inert worker does nothing.
struct TPGPreviewSourceSettings {
  QObject* FormWindow = nullptr;
  TPixelGraphic* Source = nullptr; // the caller's image, only read
  TPixelGraphic* Target = nullptr; // the preview source
};
class TCreateSrcPGThread final : public TPGWorker {
public:
  TCreateSrcPGThread() = default;
  explicit TCreateSrcPGThread(const TPGPreviewSourceSettings& settings) : FSettings(settings) {}
  ~TCreateSrcPGThread() override { Stop(); }

protected:
  void Execute() override;
  bool Inert() const override { return !FSettings.Source || !FSettings.Target; }

private:
  TPGPreviewSourceSettings FSettings;
};

// Filters the preview source into a new image and posts it. It owns its
// filter. An inert worker does nothing.
struct TPGPreviewSettings {
  QObject* FormWindow = nullptr;
  TPixelGraphic* Source = nullptr; // the preview source, only read
};
class TCreateDestPGThread final : public TPGWorker {
public:
  TCreateDestPGThread() = default;
  TCreateDestPGThread(const TPGPreviewSettings& settings, std::unique_ptr<TPGFilter> filter)
      : FSettings(settings), FFilter(std::move(filter)) {}
  ~TCreateDestPGThread() override { Stop(); }

protected:
  void Execute() override;
  bool Inert() const override { return !FSettings.Source || !FFilter; }

private:
  TPGPreviewSettings FSettings;
  std::unique_ptr<TPGFilter> FFilter;
};

// The dialog window, built at run time by TFilterDialog::Execute. Controls
// carry object names: TrackBar1..3, CaptionLabel1..3, ScaleLabel1Left,
// ScaleLabel1Middle, ScaleLabel1Right (and 2, 3), ValueLabel1..3,
// ExtraCaptionLabel, RadioButton1, RadioButton2, CheckBox, PreviewImage,
// Bevel, OKButton, CancelButton.
class TFilterDialogForm : public QDialog {
  Q_OBJECT
public:
  TFilterDialogForm(TFilterDialog* dialog, QWidget* parent = nullptr);
  ~TFilterDialogForm() override; // stops both workers

  TFilterDialog* Dialog() const { return FDialog; }
  TPGTrackBar* TrackBar(int k) const { return FTrackBars[k - 1]; }
  QLabel* CaptionLabel(int k) const { return FCaptionLabels[k - 1]; }
  QLabel* ScaleLabel(int k, int i) const { return FScaleLabels[k - 1][i]; }
  QLabel* ValueLabel(int k) const { return FValueLabels[k - 1]; }
  QLabel* ExtraCaptionLabel() const { return FExtraCaptionLabel; }
  QRadioButton* RadioButton1() const { return FRadio1; }
  QRadioButton* RadioButton2() const { return FRadio2; }
  QCheckBox* CheckBox() const { return FCheckBox; }
  TPGImage* PreviewImage() const { return FPreview; }
  QFrame* Bevel() const { return FBevel; }
  QPushButton* OKButton() const { return FOK; }
  QPushButton* CancelButton() const { return FCancel; }

  // Preview state, for inspection.
  const TPixelGraphic* PreviewSource() const { return FPreviewSource.get(); }
  bool SourceReady() const { return FSourceReady; }
  QTimer* DebounceTimer() const { return FTimer; }
  TCreateSrcPGThread& SourceThread() { return *FSrcThread; }
  TCreateDestPGThread& PreviewThread() { return *FDestThread; }
  // Number of preview workers started in this run.
  int PreviewCount() const { return FPreviewCount; }
  // The factors by which the design bounds were scaled (the screen's
  // resolution, the font in use and its captions).
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }

  // The size of the reduced preview source for an image of w x h and a
  // preview client area of cw x ch.
  static QSize PreviewSourceSize(int w, int h, int cw, int ch);

protected:
  bool event(QEvent* event) override;

private:
  friend class TFilterDialog;
  void BuildControls();
  void StartPreview(TPixelGraphic& image);
  void RestartDebounce();
  void DebounceTick();
  void StopWorkers();

  TFilterDialog* FDialog;
  TPGTrackBar* FTrackBars[3] = {};
  QLabel* FCaptionLabels[3] = {};
  QLabel* FScaleLabels[3][3] = {};
  QLabel* FValueLabels[3] = {};
  QLabel* FExtraCaptionLabel = nullptr;
  QRadioButton* FRadio1 = nullptr;
  QRadioButton* FRadio2 = nullptr;
  QCheckBox* FCheckBox = nullptr;
  TPGImage* FPreview = nullptr;
  QFrame* FBevel = nullptr;
  QPushButton* FOK = nullptr;
  QPushButton* FCancel = nullptr;
  std::unique_ptr<TPixelGraphic> FPreviewSource;
  std::unique_ptr<TCreateSrcPGThread> FSrcThread;
  std::unique_ptr<TCreateDestPGThread> FDestThread;
  bool FSourceReady = false;
  QTimer* FTimer = nullptr;
  int FPreviewCount = 0;
  double FScaleX = 1, FScaleY = 1;
};
