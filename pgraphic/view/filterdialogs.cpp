#include "pgraphic/view/filterdialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

#include "pgraphic/core/intmath.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/view/dialogunits.h"
#include "pgraphic/view/imageview.h"

std::optional<QFont> PGFilterDialogFont;

namespace {

// Message keys of the filter dialogs.
enum : int {
  msgRGBFilter = 44,
  msgR = 45,
  msgG = 46,
  msgB = 47,
  msgCMYFilter = 48,
  msgC = 49,
  msgM = 50,
  msgY = 51,
  msgGamma = 63,
  msgRadioRGB = 64,
  msgRadioY = 65,
  msgBrightness = 66,
  msgContrast = 67,
  msgApplyOn = 68,
  msgBCGFilter = 69,
  msgPlusMinus = 82,
};

// Default heights of controls created at run time whose height the layout
// does not set (labels, radio buttons, check box).
constexpr int kLabelHeight = 17;
constexpr int kButtonLikeHeight = 17;

int ScreenPixelsPerInch() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInch())) : 96;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// General floating format with up to 15 significant digits and the locale's
// decimal separator.
std::string FloatText(long double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15Lg", v);
  std::string s(buf);
  const std::string sep = QLocale().decimalPoint().toStdString();
  if (const size_t dot = s.find('.'); dot != std::string::npos) s.replace(dot, 1, sep);
  return s;
}

} // namespace

// ============================================================ TFilterDialog

TFilterDialog::TFilterDialog(QObject* owner) : QObject(owner) {}

TFilterDialog::~TFilterDialog() = default;

std::string TFilterDialog::PercentText(int position) {
  std::string text = position > 0 ? std::string("+") : position == 0 ? GetMessage(msgPlusMinus) : std::string();
  text.append(std::to_string(position));
  text.push_back('%');
  return text;
}

std::string TFilterDialog::SliderTextAt(int k, int position) {
  TSliderGroup& s = FSliders[k - 1];
  const int kept = s.Position;
  s.Position = position;
  const std::string text = k == 1 ? SliderText1() : k == 2 ? SliderText2() : SliderText3();
  s.Position = kept;
  return text;
}

std::string TFilterDialog::SliderText1() { return PercentText(FSliders[0].Position); }
std::string TFilterDialog::SliderText2() { return PercentText(FSliders[1].Position); }
std::string TFilterDialog::SliderText3() { return PercentText(FSliders[2].Position); }

void TFilterDialog::ConfigureFilter(TPGFilter&) {}

void TFilterDialog::ControlChanged() {
  TFilterDialogForm* f = FForm;
  if (!f) return;
  for (int k = 1; k <= 3; ++k) {
    if (!FSliders[k - 1].Enabled || !f->TrackBar(k)) continue;
    FSliders[k - 1].Position = f->TrackBar(k)->value();
    const std::string text = k == 1 ? SliderText1() : k == 2 ? SliderText2() : SliderText3();
    f->ValueLabel(k)->setText(Q(text));
  }
  if (CheckBoxEnabled && f->CheckBox()) CheckBoxState = f->CheckBox()->isChecked();
  if (RadioEnabled && f->RadioButton1()) {
    Radio1State = f->RadioButton1()->isChecked();
    Radio2State = f->RadioButton2()->isChecked();
  }
  ConfigureFilter(*FFilter);
  if (OnChange) OnChange();
}

bool TFilterDialog::Execute() {
  SaveValues();
  SetCaptions();
  auto form = std::make_unique<TFilterDialogForm>(this, QApplication::activeWindow());
  FForm = form.get();
  int result = QDialog::Rejected;
  try {
    form->BuildControls();
    if (PreviewEnabled && FPreviewImage) form->StartPreview(*FPreviewImage);
    result = form->exec();
  } catch (...) {
    FForm = nullptr;
    OnChange = nullptr;
    throw;
  }
  if (result != QDialog::Accepted) {
    RestoreValues();
    ConfigureFilter(*FFilter);
  }
  // Destroying the window stops its workers.
  form.reset();
  FForm = nullptr;
  OnChange = nullptr;
  return result == QDialog::Accepted;
}

// ============================================================ TPreviewFilterDialog

TPreviewFilterDialog::TPreviewFilterDialog(QObject* owner) : TFilterDialog(owner) {}

bool TPreviewFilterDialog::Execute(TPixelGraphic& image) {
  FPreviewImage = &image;
  const bool ok = TFilterDialog::Execute();
  FPreviewImage = nullptr;
  return ok;
}

// ============================================================ RGB and CMY

TXXXFilterDialog::TXXXFilterDialog(QObject* owner) : TPreviewFilterDialog(owner) {
  for (TSliderGroup& s : FSliders) {
    s.Enabled = true;
    s.Min = -100;
    s.Max = 100;
    s.Frequency = 10;
    s.Neutral = 0;
    s.CaptionWidth = 14;
    s.ValueWidth = 32;
    s.Position = 0;
  }
  PreviewEnabled = true;
}

void TXXXFilterDialog::ConfigureFilter(TPGFilter& filter) {
  PGFillFilterCurves(static_cast<TXXXFilter&>(filter), FSliders[0].Position, FSliders[1].Position,
                     FSliders[2].Position);
}

void TXXXFilterDialog::SetPosition(int k, int value) {
  TSliderGroup& s = FSliders[k - 1];
  value = std::clamp(value, s.Min, s.Max);
  if (value == s.Position) return;
  s.Position = value;
  ConfigureFilter(*FFilter);
}

void TXXXFilterDialog::SaveValues() {
  for (int k = 0; k < 3; ++k) FSaved[k] = FSliders[k].Position;
}

void TXXXFilterDialog::RestoreValues() {
  for (int k = 0; k < 3; ++k) FSliders[k].Position = FSaved[k];
}

static void SetPercentScaleTexts(TFilterDialog::TSliderGroup& s) {
  s.ScaleTexts = {"-100%", GetMessage(msgPlusMinus) + "0%", "+100%"};
}

TRGBFilterDialog::TRGBFilterDialog(QObject* owner) : TXXXFilterDialog(owner) {
  FFilter = CreateFilter();
  ConfigureFilter(*FFilter);
}

void TRGBFilterDialog::SetCaptions() {
  WindowCaption = GetMessage(msgRGBFilter);
  FSliders[0].Caption = GetMessage(msgR);
  FSliders[1].Caption = GetMessage(msgG);
  FSliders[2].Caption = GetMessage(msgB);
  for (TSliderGroup& s : FSliders) SetPercentScaleTexts(s);
}

TCMYFilterDialog::TCMYFilterDialog(QObject* owner) : TXXXFilterDialog(owner) {
  FFilter = CreateFilter();
  ConfigureFilter(*FFilter);
}

void TCMYFilterDialog::SetCaptions() {
  WindowCaption = GetMessage(msgCMYFilter);
  FSliders[0].Caption = GetMessage(msgC);
  FSliders[1].Caption = GetMessage(msgM);
  FSliders[2].Caption = GetMessage(msgY);
  for (TSliderGroup& s : FSliders) SetPercentScaleTexts(s);
}

// ============================================================ BCG

TBCGFilterDialog::TBCGFilterDialog(QObject* owner) : TPreviewFilterDialog(owner) {
  for (int k = 0; k < 3; ++k) {
    TSliderGroup& s = FSliders[k];
    s.Enabled = true;
    s.Min = -100;
    s.Max = 100;
    s.Frequency = k == 0 ? 10 : 100;
    s.Neutral = 0;
    s.CaptionWidth = 55;
    s.ValueWidth = 32;
    s.Position = 0;
  }
  PreviewEnabled = true;
  RadioEnabled = true;
  Radio1State = true;
  Radio2State = false;
  FFilter = CreateFilter();
  ConfigureFilter(*FFilter);
}

void TBCGFilterDialog::SetCaptions() {
  WindowCaption = GetMessage(msgBCGFilter);
  FSliders[0].Caption = GetMessage(msgBrightness);
  FSliders[1].Caption = GetMessage(msgContrast);
  FSliders[2].Caption = GetMessage(msgGamma);
  SetPercentScaleTexts(FSliders[0]);
  FSliders[1].ScaleTexts = FSliders[2].ScaleTexts = {"0.20", "1.00", "5.00"};
  Radio1Caption = GetMessage(msgRadioRGB);
  Radio2Caption = GetMessage(msgRadioY);
  ExtraCaption = GetMessage(msgApplyOn);
}

void TBCGFilterDialog::ConfigureFilter(TPGFilter& filter) {
  auto& f = static_cast<TBCGFilter&>(filter);
  f.SetBrightness(FSliders[0].Position);
  f.SetContrast(PGSliderToFactor(FSliders[1].Position));
  f.SetGamma(PGSliderToFactor(FSliders[2].Position));
  f.SetUseY(Radio2State);
}

// v + 0.001 in the general format with its last character dropped: exactly
// two decimals of the rounded factor.
static std::string FactorText(int position) {
  std::string s = FloatText(PGSliderToRoundedFactor(position) + 0.001L);
  if (!s.empty()) s.pop_back();
  return s;
}

std::string TBCGFilterDialog::SliderText2() { return FactorText(FSliders[1].Position); }
std::string TBCGFilterDialog::SliderText3() { return FactorText(FSliders[2].Position); }

// The setters reconfigure the filter at once, like those of the RGB and CMY
// dialogs: a caller that sets values and gets OK without a control change
// applies exactly those values.
void TBCGFilterDialog::SetBrightness(int v) {
  FSliders[0].Position = std::clamp(v, -100, 100);
  ConfigureFilter(*FFilter);
}

long double TBCGFilterDialog::Contrast() const { return PGSliderToRoundedFactor(FSliders[1].Position); }

void TBCGFilterDialog::SetContrast(long double v) {
  FSliders[1].Position = PGFactorToSlider(v);
  ConfigureFilter(*FFilter);
}

long double TBCGFilterDialog::Gamma() const { return PGSliderToRoundedFactor(FSliders[2].Position); }

void TBCGFilterDialog::SetGamma(long double v) {
  FSliders[2].Position = PGFactorToSlider(v);
  ConfigureFilter(*FFilter);
}

void TBCGFilterDialog::SetUseY(bool v) {
  Radio2State = v;
  Radio1State = !v;
  ConfigureFilter(*FFilter);
}

void TBCGFilterDialog::SaveValues() {
  for (int k = 0; k < 3; ++k) FSaved[k] = FSliders[k].Position;
  FSavedUseY = Radio2State;
}

void TBCGFilterDialog::RestoreValues() {
  for (int k = 0; k < 3; ++k) FSliders[k].Position = FSaved[k];
  Radio2State = FSavedUseY;
  Radio1State = !FSavedUseY;
}

// ============================================================ TPGTrackBar

TPGTrackBar::TPGTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  // The track bar's defaults: arrow keys move by 1, page keys by 2.
  setSingleStep(1);
  setPageStep(2);
  setTickPosition(QSlider::TicksBelow);
}

void TPGTrackBar::SetSelection(int start, int end) {
  FSelStart = start;
  FSelEnd = end;
  FHasSelection = true;
  update();
}

void TPGTrackBar::paintEvent(QPaintEvent* event) {
  QSlider::paintEvent(event);
  if (!FHasSelection || maximum() <= minimum()) return;
  QStyleOptionSlider opt;
  initStyleOption(&opt);
  const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
  const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  auto xOf = [&](int v) {
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), std::clamp(v, minimum(), maximum()), span,
                                           opt.upsideDown);
  };
  const int x0 = xOf(FSelStart), x1 = xOf(FSelEnd);
  QPainter p(this);
  // The selected range as a band in the channel, with a mark at each end
  // between the channel and the ticks.
  const int cy = groove.center().y();
  p.fillRect(QRect(std::min(x0, x1) - 1, cy - 1, std::abs(x1 - x0) + 3, 3), palette().color(QPalette::Highlight));
  p.setPen(palette().color(QPalette::WindowText));
  const int ty = handle.bottom() + 1;
  for (int x : {x0, x1}) {
    const QPoint tri[3] = {QPoint(x, ty), QPoint(x - 3, ty + 3), QPoint(x + 3, ty + 3)};
    p.setBrush(palette().color(QPalette::WindowText));
    p.drawPolygon(tri, 3);
  }
}

// ============================================================ workers

void TCreateSrcPGThread::Execute() {
  TPixelGraphic& target = *FSettings.Target;
  // A failing reduction (exhausted memory) posts nothing: the preview stays
  // empty and the dialog keeps working.
  try {
    if (!Terminated()) {
      target.OnProgress = [this](TObject*, int, int, bool& abort) { abort = Terminated(); };
      target.StretchFrom(*FSettings.Source);
      target.OnProgress = nullptr;
    }
    if (!Terminated())
      QCoreApplication::postEvent(FSettings.FormWindow, new TPGFilterPreviewEvent(Generation(), {1, nullptr}));
  } catch (...) {
    target.OnProgress = nullptr;
  }
}

void TCreateDestPGThread::Execute() {
  try {
    auto target = std::make_unique<TPixelGraphic>();
    target->OnProgress = [this](TObject*, int, int, bool& abort) { abort = Terminated(); };
    target->ApplyFilter(*FFilter, *FSettings.Source);
    target->OnProgress = nullptr;
    if (!Terminated())
      QCoreApplication::postEvent(FSettings.FormWindow,
                                  new TPGFilterPreviewEvent(Generation(), {2, std::move(target)}));
  } catch (...) {
    // A failing filter run (exhausted memory) shows no new preview.
  }
  FFilter.reset();
}

// ============================================================ TFilterDialogForm

TFilterDialogForm::TFilterDialogForm(TFilterDialog* dialog, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FDialog(dialog),
      FSrcThread(std::make_unique<TCreateSrcPGThread>()),
      FDestThread(std::make_unique<TCreateDestPGThread>()) {
  setObjectName("TFilterDialogForm");
  if (PGFilterDialogFont) setFont(*PGFilterDialogFont);
  setWindowTitle(Q(dialog->WindowCaption));
}

TFilterDialogForm::~TFilterDialogForm() {
  StopWorkers();
  FPreviewSource.reset();
}

void TFilterDialogForm::StopWorkers() {
  if (FTimer) FTimer->stop();
  if (FDialog) FDialog->OnChange = nullptr;
  // The preview worker reads what the source worker writes: it goes first.
  FDestThread.reset();
  FSrcThread.reset();
}

QSize TFilterDialogForm::PreviewSourceSize(int w, int h, int cw, int ch) {
  if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0) return QSize(0, 0);
  if (w <= cw && h <= ch) return QSize(w, h);
  // W/H > cw/ch, compared without division.
  if (static_cast<int64_t>(w) * ch > static_cast<int64_t>(cw) * h)
    return QSize(cw, static_cast<int>(pg::RoundHalfEven(static_cast<long double>(h) * cw / w)));
  return QSize(static_cast<int>(pg::RoundHalfEven(static_cast<long double>(w) * ch / h)), ch);
}

void TFilterDialogForm::BuildControls() {
  TFilterDialog& d = *FDialog;
  const auto& s1 = d.FSliders[0];
  const int m = s1.Enabled ? 10 : 40;
  int clientW;
  if (s1.Enabled)
    clientW = m + s1.CaptionWidth + s1.ValueWidth + m + (d.PreviewEnabled ? 390 : 240);
  else
    clientW = 2 * m + 140;

  // Design bounds of every control, scaled at the end: by the screen's
  // logical resolution / 100 as designed, and wider where the font in use
  // needs the room (dialog units of that font, captions whole).
  TPGDialogLayout layout(ScreenPixelsPerInch() / 100.0);
  auto place = [&](QWidget* w, int x, int y, int width, int height, const QStringList& alsoShows = {}) {
    layout.Place(w, QRect(x, y, width, height), alsoShows);
    return w;
  };
  auto makeLabel = [&](const char* name, const std::string& text, int x, int y, int width, Qt::Alignment align,
                       const QStringList& alsoShows = {}) {
    auto* l = new QLabel(Q(text), this);
    l->setObjectName(name);
    l->setAlignment(align | Qt::AlignTop);
    l->setWordWrap(false);
    place(l, x, y, width, kLabelHeight, alsoShows);
    return l;
  };
  // The font first: the layout measures the captions in it.
  QFont f = font();
  f.setPointSize(8);
  setFont(f);

  static const char* const kTrack[3] = {"TrackBar1", "TrackBar2", "TrackBar3"};
  static const char* const kCaption[3] = {"CaptionLabel1", "CaptionLabel2", "CaptionLabel3"};
  static const char* const kValue[3] = {"ValueLabel1", "ValueLabel2", "ValueLabel3"};
  static const char* const kScale[3][3] = {{"ScaleLabel1Left", "ScaleLabel1Middle", "ScaleLabel1Right"},
                                           {"ScaleLabel2Left", "ScaleLabel2Middle", "ScaleLabel2Right"},
                                           {"ScaleLabel3Left", "ScaleLabel3Middle", "ScaleLabel3Right"}};
  for (int k = 0; k < 3; ++k) {
    const auto& s = d.FSliders[k];
    const int y = 10 + 50 * k;
    if (!s.Enabled) {
      if (k == 2 && d.RadioEnabled)
        FCaptionLabels[k] = makeLabel(kCaption[k], s.Caption, m, y + 6, s.CaptionWidth, Qt::AlignLeft);
      continue;
    }
    auto* t = new TPGTrackBar(this);
    t->setObjectName(kTrack[k]);
    t->setMaximum(s.Max);
    t->setMinimum(s.Min);
    t->setTickInterval(s.Frequency);
    t->setValue(s.Position);
    t->SetSelection(s.Neutral, s.Neutral);
    connect(t, &QSlider::valueChanged, this, [this] { FDialog->ControlChanged(); });
    place(t, m + s.CaptionWidth, y, 240, 32);
    FTrackBars[k] = t;
    FCaptionLabels[k] = makeLabel(kCaption[k], s.Caption, m, y + 6, s.CaptionWidth, Qt::AlignLeft);
    static const Qt::Alignment kAlign[3] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int i = 0; i < 3; ++i)
      FScaleLabels[k][i] = makeLabel(kScale[k][i], s.ScaleTexts[i], m + s.CaptionWidth + 80 * i, y + 32, 80, kAlign[i]);
    // The value label shows every position's text whole, the ends' too.
    const QStringList extremes{Q(d.SliderTextAt(k + 1, s.Min)), Q(d.SliderTextAt(k + 1, s.Max))};
    FValueLabels[k] = makeLabel(kValue[k], d.SliderTextAt(k + 1, s.Position), m + s.CaptionWidth + 240, y + 6,
                                s.ValueWidth, Qt::AlignRight, extremes);
  }

  if (d.PreviewEnabled) {
    FPreview = new TPGImage(this);
    FPreview->setObjectName("PreviewImage");
    if (auto* p = dynamic_cast<TPreviewFilterDialog*>(&d)) {
      FPreview->SetPalette8BitSys24BitGraphic(p->Palette8BitSys24BitGraphic);
      FPreview->SetPalette8BitSys8BitGraphic(p->Palette8BitSys8BitGraphic);
      FPreview->SetProgressClockBkColor(p->ProgressClockBkColor.isValid() ? p->ProgressClockBkColor
                                                                          : palette().color(QPalette::Button));
      FPreview->SetProgressClockLineColor(p->ProgressClockLineColor.isValid() ? p->ProgressClockLineColor
                                                                              : palette().color(QPalette::Dark));
      FPreview->SetProgressClockVisible(p->ProgressClockVisible);
    }
    FPreview->SetKeepOldPaintPixelGraphic(true);
    FPreview->SetCenter(true);
    layout.Place(FPreview, QRect(clientW - m - 140, 12, 140, 140),
                 [this](const QRect& r) { FPreview->SetBounds(r.x(), r.y(), r.width(), r.height()); });
  }

  if (d.CheckBoxEnabled) {
    FCheckBox = new QCheckBox(Q(d.CheckBoxCaption), this);
    FCheckBox->setObjectName("CheckBox");
    FCheckBox->setChecked(d.CheckBoxState);
    connect(FCheckBox, &QCheckBox::clicked, this, [this] { FDialog->ControlChanged(); });
    place(FCheckBox, m, 160, 140, kButtonLikeHeight);
  }

  const int cw1 = s1.CaptionWidth;
  int radioTop = 0;
  if (d.RadioEnabled) {
    radioTop = d.FSliders[2].Enabled ? 160 : 115;
    FRadio1 = new QRadioButton(Q(d.Radio1Caption), this);
    FRadio1->setObjectName("RadioButton1");
    FRadio2 = new QRadioButton(Q(d.Radio2Caption), this);
    FRadio2->setObjectName("RadioButton2");
    FRadio1->setChecked(d.Radio1State);
    FRadio2->setChecked(d.Radio2State);
    for (QRadioButton* r : {FRadio1, FRadio2})
      connect(r, &QRadioButton::clicked, this, [this] { FDialog->ControlChanged(); });
    // The radio buttons keep the default width of a new radio button.
    place(FRadio1, m + cw1 + 6, radioTop, 113, kButtonLikeHeight);
    place(FRadio2, m + cw1 + 112, radioTop, 113, kButtonLikeHeight);
  }

  if (!d.ExtraCaption.empty())
    FExtraCaptionLabel = makeLabel("ExtraCaptionLabel", d.ExtraCaption, m, 161, cw1, Qt::AlignLeft);

  int bevelTop = 10;
  if (d.FSliders[1].Enabled) bevelTop = 60 + 32 + kLabelHeight + 10;
  if (d.PreviewEnabled) bevelTop = 160;
  if (d.RadioEnabled) bevelTop = radioTop + kButtonLikeHeight + 10;
  if (d.CheckBoxEnabled) bevelTop = 160 + kButtonLikeHeight + 10;
  FBevel = new QFrame(this);
  FBevel->setObjectName("Bevel");
  FBevel->setFrameShape(QFrame::HLine);
  FBevel->setFrameShadow(QFrame::Sunken);
  place(FBevel, 5, bevelTop, clientW - 10, 3);

  FOK = new QPushButton(Q(GetMessage(msgOK)), this);
  FOK->setObjectName("OKButton");
  FOK->setDefault(true);
  connect(FOK, &QPushButton::clicked, this, &QDialog::accept);
  place(FOK, clientW / 2 - 95, bevelTop + 12, 85, 24);
  FCancel = new QPushButton(Q(GetMessage(msgCancel)), this);
  FCancel->setObjectName("CancelButton");
  FCancel->setAutoDefault(false);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
  place(FCancel, clientW / 2 + 10, bevelTop + 12, 85, 24);
  const int clientH = bevelTop + 12 + 24 + 10;

  layout.Apply(font());
  FScaleX = layout.ScaleX();
  FScaleY = layout.ScaleY();
  setFixedSize(layout.Map(QSize(clientW, clientH)));

  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect g = screen->geometry();
    move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
  }
}

void TFilterDialogForm::StartPreview(TPixelGraphic& image) {
  FDialog->OnChange = [this] { RestartDebounce(); };
  FTimer = new QTimer(this);
  FTimer->setObjectName("DebounceTimer");
  FTimer->setInterval(100);
  connect(FTimer, &QTimer::timeout, this, [this] { DebounceTick(); });
  FSourceReady = false;
  FPreviewSource = std::make_unique<TPixelGraphic>();
  const QSize size = PreviewSourceSize(image.Width(), image.Height(), FPreview->ClientWidth(), FPreview->ClientHeight());
  FPreviewSource->SetSize(size.width(), size.height(), bc24Bit);
  FSrcThread = std::make_unique<TCreateSrcPGThread>(TPGPreviewSourceSettings{this, &image, FPreviewSource.get()});
  FSrcThread->Resume();
}

void TFilterDialogForm::RestartDebounce() {
  if (FDestThread) FDestThread->Terminate();
  if (!FTimer) return;
  FTimer->stop();
  FTimer->start();
}

void TFilterDialogForm::DebounceTick() {
  FTimer->stop();
  if (!FSourceReady) return;
  FDestThread.reset(); // stops it
  std::unique_ptr<TPGFilter> filter = FDialog->CreateFilter();
  FDialog->ConfigureFilter(*filter);
  FDestThread =
      std::make_unique<TCreateDestPGThread>(TPGPreviewSettings{this, FPreviewSource.get()}, std::move(filter));
  FDestThread->SetGeneration(++FPreviewCount);
  FDestThread->Resume();
}

bool TFilterDialogForm::event(QEvent* event) {
  if (auto* e = TPGFilterPreviewEvent::Cast(event)) {
    if (e->Result.Kind == 1) {
      FSourceReady = true;
      RestartDebounce();
    } else if (e->Result.Kind == 2 && FPreview) {
      FPreview->AdoptPixelGraphic(std::move(e->Result.Target));
    }
    return true;
  }
  return QDialog::event(event);
}
