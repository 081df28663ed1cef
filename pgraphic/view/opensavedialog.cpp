#include "pgraphic/view/opensavedialog.h"

#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "pgraphic/core/colorconv.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/formats/registry.h"
#include "pgraphic/view/dialogunits.h"
#include "pgraphic/view/paintworker.h"
#include "pgraphic/view/screencopy.h"
#include "pgraphic/view/viewplatform.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/strings.h"

namespace {

// A line the GDI way: from p to q, q itself not drawn (axis-parallel segments).
void GdiLine(QPainter& p, int x0, int y0, int x1, int y1) {
  if (x0 == x1 && y0 == y1) return;
  const int ex = x1 - (x1 > x0) + (x1 < x0), ey = y1 - (y1 > y0) + (y1 < y0);
  p.drawLine(x0, y0, ex, ey);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

int ListedCount(const TPGFormatList<TFileFormatReader>& list) {
  int n = 0;
  for (const auto& c : list)
    if (c->ListedInFilter) ++n;
  return n;
}

} // namespace

// ====================================================================== worker

void TCreateOpenSaveDialogPaintPGThread::Execute() {
  // Any failure (a damaged file, exhausted memory) frees what was made and
  // posts nothing: the information stays, without a thumbnail.
  try {
    std::unique_ptr<TPixelGraphic> image = Body();
    if (image && !Terminated() && FSettings.ChildDialogWindow)
      QCoreApplication::postEvent(FSettings.ChildDialogWindow, new TPGThumbnailEvent(Generation(), std::move(image)));
  } catch (...) {
  }
}

void TCreateOpenSaveDialogPaintPGThread::ReducedSize(int width, int height, int maxW, int maxH, int& outW,
                                                     int& outH) {
  outW = width;
  outH = height;
  if (width <= maxW && height <= maxH) return;
  const long double r = static_cast<long double>(width) / height;
  if (static_cast<long double>(maxW) / maxH >= r) {
    outW = std::min(std::max(static_cast<int>(std::trunc(r * maxH)), 1), width);
    outH = maxH;
  } else {
    outW = maxW;
    outH = std::min(std::max(static_cast<int>(std::trunc(maxW / r)), 1), height);
  }
}

std::unique_ptr<TPixelGraphic> TCreateOpenSaveDialogPaintPGThread::Body() {
  FStep = 1;
  FSubStep = 0;
  FLastPercent = 0;
  FLastPercentDiv16 = 0;
  FLastTick = PGTickCount();
  if (!platform::FileExists(FSettings.FileName) || FSettings.MaxWidth < 1 || FSettings.MaxHeight < 1) return nullptr;
  const auto progress = [this](TObject*, int step, int max, bool& abort) { Progress(step, max, abort); };

  auto image = std::make_unique<TPixelGraphic>();
  image->OnProgress = progress;
  image->SetReadWarningAction(pgwaIgnore);
  image->SetFastLoad(true);
  if (FSettings.ReducedJPEGDecode) image->SetLoadReduce(FSettings.MaxWidth, FSettings.MaxHeight);
  image->LoadFromFile(FSettings.FileName);
  if (Terminated()) return nullptr;

  if (image->Width() > FSettings.MaxWidth || image->Height() > FSettings.MaxHeight) {
    int w = 0, h = 0;
    ReducedSize(image->Width(), image->Height(), FSettings.MaxWidth, FSettings.MaxHeight, w, h);
    auto reduced = std::make_unique<TPixelGraphic>();
    reduced->OnProgress = progress;
    reduced->SetStretchMode(FSettings.StretchMode);
    reduced->SetSize(w, h, bc24Bit);
    reduced->StretchFrom(*image);
    image = std::move(reduced);
    ++FStep;
  }
  if (Terminated()) return nullptr;

  // Adapted to the screen: 16 system colours below 8 bits, a palette of 256
  // at 8 bits, unchanged above.
  std::unique_ptr<TPixelGraphic> adapted;
  if (FSettings.ScreenBitsPerPixel <= 8) {
    adapted = std::make_unique<TPixelGraphic>();
    adapted->OnProgress = progress;
    adapted->SetSize(image->Width(), image->Height(), PGScreenBitCount(FSettings.ScreenBitsPerPixel));
    if (PGSetScreenPalette(*adapted, *image, FSettings.ScreenBitsPerPixel, FSettings.Palette8BitSys24BitGraphic,
                           FSettings.Palette8BitSys8BitGraphic))
      BuildOptimizedPalette(*adapted, *image, 252, true);
  }
  if (adapted && !Terminated()) {
    adapted->StretchFrom(*image);
    image = std::move(adapted);
    ++FStep;
  }
  if (Terminated()) return nullptr;
  image->OnProgress = nullptr;
  return image;
}

void TCreateOpenSaveDialogPaintPGThread::Progress(int step, int max, bool& abort) {
  if (max > 0) {
    const int percent = static_cast<int>(static_cast<int64_t>(step) * 100 / max);
    const uint32_t t = PGTickCount();
    if (percent != FLastPercent && (t / 100 != FLastTick / 100 || percent / 16 != FLastPercentDiv16)) {
      FLastPercent = percent;
      FLastPercentDiv16 = percent / 16;
      FLastTick = t;
      if (FSettings.ChildDialogWindow)
        QCoreApplication::postEvent(
            FSettings.ChildDialogWindow,
            new TPGThumbnailProgressEvent(Generation(), TPGThumbnailProgress{FStep * 16 + FSubStep, percent}));
    }
  }
  abort = Terminated();
}

// ====================================================================== the panel

// The panel right of the file dialog's own controls: receives the worker's
// events and holds the two owner-drawn areas.
class TPGDialogPanel : public QWidget {
public:
  TPGDialogPanel(TPGOpenDialog* dialog, QWidget* parent) : QWidget(parent), FDialog(dialog) {}

protected:
  bool event(QEvent* e) override {
    // Only the results of the current worker count.
    if (auto* te = TPGThumbnailEvent::Cast(e)) {
      if (Current(te->Generation)) FDialog->TakeThumbnail(std::move(te->Result));
      return true;
    }
    if (auto* pe = TPGThumbnailProgressEvent::Cast(e)) {
      if (Current(pe->Generation)) FDialog->Progress(pe->Result.StepX16, pe->Result.Percent);
      return true;
    }
    return QWidget::event(e);
  }

private:
  bool Current(uint64_t generation) const {
    return FDialog->FWorker && generation == FDialog->FWorker->Generation() && FDialog->isVisible();
  }
  TPGOpenDialog* FDialog;
};

class TPGThumbnailArea : public QWidget {
public:
  TPGThumbnailArea(TPGOpenDialog* dialog, QWidget* parent) : QWidget(parent), FDialog(dialog) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

protected:
  void paintEvent(QPaintEvent*) override { FDialog->PaintThumbnailArea(*this); }

private:
  TPGOpenDialog* FDialog;
};

class TPGInfoArea : public QWidget {
public:
  TPGInfoArea(TPGOpenDialog* dialog, QWidget* parent) : QWidget(parent), FDialog(dialog) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

protected:
  void paintEvent(QPaintEvent*) override { FDialog->PaintInfoArea(*this); }

private:
  TPGOpenDialog* FDialog;
};

// ====================================================================== open dialog

QStringList PGFilterToNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty() && parts[i + 1].isEmpty()) continue;
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    result << parts[i] + " (" + patterns.join(u' ') + ")";
  }
  return result;
}

TPGOpenDialog::TPGOpenDialog(QWidget* parent) : QFileDialog(parent) {
  setObjectName("PGOpenDialog");
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::HideNameFilterDetails, true);
  FProgressClockBkColor = palette().color(QPalette::Button);   // clBtnFace
  FProgressClockLineColor = palette().color(QPalette::Dark);   // clBtnShadow
  FFilter = BuildFilter();
  FWorker = std::make_unique<TCreateOpenSaveDialogPaintPGThread>();
  FSelectionTimer = new QTimer(this);
  FSelectionTimer->setObjectName("SelectionTimer");
  FSelectionTimer->setSingleShot(true);
  FSelectionTimer->setInterval(150);
  connect(FSelectionTimer, &QTimer::timeout, this, [this] { StartThumbnail(); });
  BuildPanel();
  connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) {
    FLastCurrentPath = path.toStdString();
    SelectionChanged();
  });
  if (auto* edit = findChild<QLineEdit*>("fileNameEdit"))
    connect(edit, &QLineEdit::textChanged, this, [this] { SelectionChanged(); });
  for (QCompleter* c : findChildren<QCompleter*>()) c->popup()->installEventFilter(this);
  connect(this, &QFileDialog::filterSelected, this, [this] {
    UpdateDefaultSuffix();
    TypeChanged();
  });
}

TPGOpenDialog::~TPGOpenDialog() {
  FSelectionTimer->stop();
  StopWorker();
  FWorker.reset();
}

QRect TPGOpenDialog::MapDialogRect(const QRect& du) const {
  const QSize units = PGDialogBaseUnits(font());
  const int baseX = units.width(), baseY = units.height();
  // MulDiv: rounded to the nearest, halves away from zero (all values here are >= 0).
  const auto mx = [baseX](int v) { return (v * baseX + 2) / 4; };
  const auto my = [baseY](int v) { return (v * baseY + 4) / 8; };
  const int l = mx(du.left()), t = my(du.top()), r = mx(du.left() + du.width()), b = my(du.top() + du.height());
  return QRect(l, t, r - l, b - t);
}

void TPGOpenDialog::BuildPanel() {
  // The panel is the part of the 288 x 144 unit child dialog right of the
  // common dialog's own controls (which take 191 x 144 units).
  const int origin = MapDialogRect(QRect(191, 0, 0, 0)).left();
  const QRect whole = MapDialogRect(QRect(0, 0, 288, 144));
  auto* panel = new TPGDialogPanel(this, this);
  panel->setObjectName("PreviewPanel");
  panel->setFixedSize(whole.width() - origin, whole.height());
  FChildDialogWindow = panel;
  FPreviewArea = new TPGThumbnailArea(this, panel);
  FPreviewArea->setObjectName("PreviewArea");
  FPreviewArea->setGeometry(MapDialogRect(QRect(192, 20, 92, 85)).translated(-origin, 0));
  FInfoArea = new TPGInfoArea(this, panel);
  FInfoArea->setObjectName("InfoArea");
  FInfoArea->setGeometry(MapDialogRect(QRect(193, 110, 92, 33)).translated(-origin, 0));
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1, Qt::AlignTop);
}

void TPGOpenDialog::SetOptions(TOpenOptions v) {
  if (!HasOpenOption(v, ofShareAware)) {
    platform::MessageBox("TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!",
                         QGuiApplication::applicationDisplayName().toStdString(), platform::TMsgButtons::OK,
                         platform::TMsgIcon::None);
    v |= OpenOptionBit(ofShareAware);
  }
  FOptions = v;
}

void TPGOpenDialog::SetShowInfo(bool v) {
  FShowInfo = v;
  if (FInfoArea) FInfoArea->update();
}

std::string TPGOpenDialog::BuildFilter() const { return BuildOpenFilter(); }

int TPGOpenDialog::FilterFormatCount() const {
  return FUseDefaultFilter ? ListedCount(PGFormatRegistry().Readers()) : 0;
}

std::string TPGOpenDialog::FilterExtension(int index) const {
  if (!FUseDefaultFilter) return {};
  int n = 1; // entry 1 is "Image files"
  for (const auto& c : PGFormatRegistry().Readers())
    if (c->ListedInFilter && ++n == index) return Lower(c->Extension);
  return {};
}

bool TPGOpenDialog::Execute() {
  FInfoValid = false;
  if (FUseDefaultFilter) FFilter = BuildFilter();
  return RunDialog();
}

bool TPGOpenDialog::RunDialog() {
  setAcceptMode(FSaveFlag ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (HasOpenOption(FOptions, ofAllowMultiSelect))
    setFileMode(QFileDialog::ExistingFiles);
  else if (HasOpenOption(FOptions, ofFileMustExist))
    setFileMode(QFileDialog::ExistingFile);
  else
    setFileMode(QFileDialog::AnyFile);
  setOption(QFileDialog::DontConfirmOverwrite, !HasOpenOption(FOptions, ofOverwritePrompt));
  const QStringList filters = PGFilterToNameFilters(FFilter);
  setNameFilters(filters.isEmpty() ? QStringList{QStringLiteral("(*)")} : filters);
  if (!filters.isEmpty()) selectNameFilter(filters[FFilterIndex >= 1 && FFilterIndex <= filters.size() ? FFilterIndex - 1 : 0]);
  if (!FTitle.empty()) setWindowTitle(QString::fromStdString(FTitle));
  if (!FInitialDir.empty()) setDirectory(QString::fromStdString(FInitialDir));
  FLastCurrentPath.clear();
  // The preset name, or none: the field never offers the name of an earlier run.
  selectFile(QString::fromStdString(FFileName));
  if (FFileName.empty()) SetFileNameField("");
  UpdateDefaultSuffix();

  int result;
  {
    const QScopedValueRollback<bool> running(FRunning, true);
    result = exec();
  }
  if (result != QDialog::Accepted) return false;
  FFiles.clear();
  for (const QString& f : selectedFiles()) FFiles.push_back(f.toStdString());
  FFileName = FFiles.empty() ? std::string() : FFiles.front();
  FFilterIndex = CurrentFilterIndex();
  return true;
}

void TPGOpenDialog::UpdateDefaultSuffix() {
  // A typed name without extension gets DefaultExt, or in the save dialog the
  // chosen type's extension, before the dialog checks for an existing file.
  std::string suffix = FDefaultExt;
  if (suffix.empty() && FSaveFlag && FUseDefaultFilter) suffix = FilterExtension(CurrentFilterIndex());
  if (!suffix.empty() && suffix.front() == '.') suffix.erase(0, 1);
  setDefaultSuffix(QString::fromStdString(suffix));
}

int TPGOpenDialog::CurrentFilterIndex() const {
  // The type list itself: the dialog's selected name filter lags behind a
  // change until the change has been handled.
  const auto* combo = findChild<QComboBox*>("fileTypeCombo");
  if (combo && combo->currentIndex() >= 0 && combo->count() == nameFilters().size()) return combo->currentIndex() + 1;
  const qsizetype i = nameFilters().indexOf(selectedNameFilter());
  return i >= 0 ? static_cast<int>(i) + 1 : FFilterIndex;
}

void TPGOpenDialog::showEvent(QShowEvent* e) {
  QFileDialog::showEvent(e);
  // Horizontally centred on the screen, top at a third of the free height.
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect sg = s ? s->geometry() : QRect();
  const QSize size = frameGeometry().size();
  if (s) move(sg.x() + (sg.width() - size.width()) / 2, sg.y() + (sg.height() - size.height()) / 3);
  // The preset name is selected, so that a typed name replaces it.
  if (auto* edit = findChild<QLineEdit*>("fileNameEdit")) {
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
  }
  // A preset name is previewed like a chosen one.
  SelectionChanged();
}

void TPGOpenDialog::done(int result) {
  // The dialog window goes: no worker may outlive it, no thumbnail stays, and
  // no popup of it stays on the screen.
  FSelectionTimer->stop();
  StopWorker();
  FThumbnail.reset();
  FClockActive = false;
  QFileDialog::done(result);
  ClosePopups();
}

void TPGOpenDialog::ClosePopups() {
  // The name field's completion list is a window of its own: left open it
  // would hold mouse and keyboard over the program's window.
  for (QCompleter* c : findChildren<QCompleter*>())
    if (c->popup()->isVisible()) c->popup()->hide();
  // Any other popup still open was opened from the dialog (it is modal).
  for (int i = 0; i < 16 && QApplication::activePopupWidget(); ++i) QApplication::activePopupWidget()->close();
}

bool TPGOpenDialog::eventFilter(QObject* watched, QEvent* event) {
  // A completion that finishes after the dialog closed (the folder listing
  // arrives late) must not open the list again.
  if (event->type() == QEvent::Show && !isVisible())
    if (auto* popup = qobject_cast<QWidget*>(watched)) QMetaObject::invokeMethod(popup, &QWidget::hide, Qt::QueuedConnection);
  return QFileDialog::eventFilter(watched, event);
}

std::string TPGOpenDialog::EditPath() const {
  const auto* edit = findChild<QLineEdit*>("fileNameEdit");
  QString text = edit ? edit->text() : QString();
  if (text.isEmpty()) return {};
  // Several names ("a.jpg" "b.jpg"): the first one.
  const qsizetype cut = text.indexOf(QStringLiteral("\" \""));
  if (cut >= 0) {
    text.truncate(cut);
    text.remove(text.indexOf(u'"'), 1);
  }
  return QDir::cleanPath(directory().absoluteFilePath(text)).toStdString();
}

std::string TPGOpenDialog::SelectedFilePath() const {
  std::string path = EditPath();
  return path.empty() ? FLastCurrentPath : path;
}

void TPGOpenDialog::SetFileNameField(const std::string& text) {
  if (auto* edit = findChild<QLineEdit*>("fileNameEdit")) edit->setText(QString::fromStdString(text));
}

void TPGOpenDialog::StopWorker() {
  if (!FWorker) return;
  FWorker->Terminate();
  FWorker->WaitFor();
}

void TPGOpenDialog::SelectionChanged() {
  FSelectionTimer->stop();
  StopWorker();
  FThumbnail.reset();
  FInfoValid = false;
  FClockActive = false;
  FPreviewArea->update();
  FInfoArea->update();
  if (FRunning || isVisible()) FSelectionTimer->start();
}

int TPGOpenDialog::ThumbnailMaxWidth() const { return FPreviewArea->width() - 4; }
int TPGOpenDialog::ThumbnailMaxHeight() const { return FPreviewArea->height() - 4; }

bool TPGOpenDialog::Loading() const { return FWorker && FWorker->Started() && !FWorker->Finished(); }

void TPGOpenDialog::StartThumbnail() {
  FThumbnail.reset();
  StopWorker();
  FClockActive = false;
  const std::string path = SelectedFilePath();
  FFileInfoData = TPGDialogFileInfo{};
  FInfoValid = !path.empty() && GetFileInfo(path, 0, FFileInfoData.Description, FFileInfoData.Info);
  FPreviewArea->update();
  FInfoArea->update();
  if (!FInfoValid) return;
  TPGThumbnailSettings settings;
  settings.CommonDialogWindow = this;
  settings.ChildDialogWindow = FChildDialogWindow;
  settings.FileName = path;
  settings.MaxWidth = ThumbnailMaxWidth();
  settings.MaxHeight = ThumbnailMaxHeight();
  settings.StretchMode = FStretchMode;
  settings.Palette8BitSys24BitGraphic = FPalette8BitSys24BitGraphic;
  settings.Palette8BitSys8BitGraphic = FPalette8BitSys8BitGraphic;
  settings.ScreenBitsPerPixel = pgview::ScreenBitsPerPixel();
  settings.ReducedJPEGDecode = FReducedJPEGPreview;
  FWorker = std::make_unique<TCreateOpenSaveDialogPaintPGThread>(std::move(settings));
  FWorker->SetGeneration(++FGeneration);
  FWorker->Resume();
}

void TPGOpenDialog::TakeThumbnail(std::unique_ptr<TPixelGraphic> thumbnail) {
  FThumbnail = std::move(thumbnail);
  FClockActive = false;
  FPreviewArea->update();
}

void TPGOpenDialog::Progress(int stepX16, int percent) {
  if (!FProgressClockVisible) return;
  FClockActive = true;
  FClockStep = stepX16 / 16;
  FClockPercent = percent;
  const QPoint c(FPreviewArea->width() / 2, FPreviewArea->height() / 2);
  FPreviewArea->repaint(QRect(c.x() - 8, c.y() - 8, 15, 15));
}

void TPGOpenDialog::PaintThumbnailArea(QWidget& area) {
  QPainter p(&area);
  const int L = 0, T = 0, R = area.width(), B = area.height();
  const QColor face = palette().color(QPalette::Button), shadow = palette().color(QPalette::Dark);
  p.fillRect(QRect(L, T, R - L, B - T), face); // the button's own background
  // Interior (a GDI rectangle with a null pen leaves out its right and bottom edge).
  p.fillRect(QRect(L + 2, T + 2, (R - 1) - (L + 2) - 1, (B - 1) - (T + 2) - 1), face);
  // The sunken frame.
  p.setPen(shadow);
  GdiLine(p, L, B - 2, L, T);
  GdiLine(p, L, T, R - 1, T);
  p.setPen(Qt::black);
  GdiLine(p, L + 1, B - 3, L + 1, T + 1);
  GdiLine(p, L + 1, T + 1, R - 2, T + 1);
  p.setPen(Qt::white);
  GdiLine(p, L, B - 1, R - 1, B - 1);
  GdiLine(p, R - 1, B - 1, R - 1, T - 1);
  p.setPen(face);
  GdiLine(p, L + 1, B - 2, R - 2, B - 2);
  GdiLine(p, R - 2, B - 2, R - 2, T);

  if (FThumbnail && !FThumbnail->Empty()) {
    const int w = R - L - 4, h = B - T - 4;
    int tw = FThumbnail->Width(), th = FThumbnail->Height();
    if (tw > w || th > h) {
      const long double ratio = static_cast<long double>(tw) / th;
      if (static_cast<long double>(w) / h >= ratio) {
        tw = static_cast<int>(std::trunc(h * ratio));
        th = h;
      } else {
        tw = w;
        th = static_cast<int>(std::trunc(w / ratio));
      }
    }
    const int x = (L + R - tw) / 2, y = (T + B - th) / 2;
    pgview::DrawGraphic(*FThumbnail, p, x, y, x + tw, y + th);
  }

  if (FClockActive && FProgressClockVisible) {
    // The loading clock on a 15 x 15 square of button face in the middle.
    const int x = R / 2 - 8, y = B / 2 - 8;
    p.fillRect(QRect(x, y, 15, 15), face);
    PGDrawProgressClock(p, x, y, FClockStep, FClockPercent, FProgressClockLineColor, FProgressClockBkColor);
  }
}

QFont TPGOpenDialog::InfoFont() {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setPixelSize(8);
  f.setWeight(QFont::Normal);
  return f;
}

std::vector<std::string> TPGOpenDialog::InfoLines() const {
  std::vector<std::string> lines;
  if (!FShowInfo || !FInfoValid) return lines;
  // The readers describe a file in English; the lines are in the selected language.
  const TPGFileInfo& i = FFileInfoData.Info;
  std::string line4 = std::to_string(i.Width) + "x" + std::to_string(i.Height) + "x" + TranslatedText(i.ColorsText.c_str()) +
                      " " + std::to_string(i.BitsPerPixel) + " " + GetMessage(msgBit);
  if (i.ImageCount > 1) line4 += ", " + std::to_string(i.ImageCount);
  for (const std::string& s : {TranslatedList(FFileInfoData.Description), TranslatedList(i.DetailsText),
                               TranslatedList(i.KindText), line4})
    if (!s.empty()) lines.push_back(s);
  return lines;
}

void TPGOpenDialog::PaintInfoArea(QWidget& area) {
  QPainter p(&area);
  p.fillRect(area.rect(), palette().color(QPalette::Button));
  const std::vector<std::string> lines = InfoLines();
  if (lines.empty()) return;
  const QFont f = InfoFont();
  p.setFont(f);
  p.setPen(palette().color(QPalette::ButtonText));
  const int n = static_cast<int>(lines.size()), H = area.height(), ascent = QFontMetrics(f).ascent();
  for (int i = 0; i < n; ++i) p.drawText(0, i * H / n + ascent, QString::fromStdString(lines[static_cast<size_t>(i)]));
}

// ====================================================================== save dialog

TPGSaveDialog::TPGSaveDialog(QWidget* parent) : TPGOpenDialog(parent) {
  setObjectName("PGSaveDialog");
  FSaveFlag = true;
  SetFilter(BuildFilter());
  setAcceptMode(QFileDialog::AcceptSave);
}

std::string TPGSaveDialog::BuildFilter() const { return BuildSaveFilter(); }

int TPGSaveDialog::FilterFormatCount() const {
  if (!UseDefaultFilter()) return 0;
  int n = 0;
  for (const auto& c : PGFormatRegistry().Writers())
    if (c->ListedInFilter) ++n;
  return n;
}

std::string TPGSaveDialog::FilterExtension(int index) const {
  if (!UseDefaultFilter()) return {};
  int n = 0;
  for (const auto& c : PGFormatRegistry().Writers())
    if (c->ListedInFilter && ++n == index) return Lower(c->Extension);
  return {};
}

bool TPGSaveDialog::Execute() {
  if (UseDefaultFilter()) {
    SetFilter(BuildFilter());
    const std::string ext = ExtractFormatExtension(FileName());
    if (!ext.empty()) {
      for (int i = 1; i <= FilterFormatCount(); ++i)
        if (platform::SameText(FilterExtension(i), ext)) {
          SetFilterIndex(i);
          break;
        }
    }
  }
  const bool result = TPGOpenDialog::Execute();
  if (result && UseDefaultFilter() && ExtractFormatExtension(FileName()).empty() &&
      !FilterExtension(FilterIndex()).empty())
    SetFileName(FileName() + "." + FilterExtension(FilterIndex()));
  return result;
}

void TPGSaveDialog::TypeChanged() {
  if (HasOpenOption(Options(), ofAllowMultiSelect)) return;
  std::string path = EditPath();
  if (path.empty() || QFileInfo(QString::fromStdString(path)).isDir()) return;
  const std::string ext = FilterExtension(CurrentFilterIndex());
  if (ext.empty()) return; // a type without extension leaves the name as it is
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) path += ".xxx";
  path = path.substr(0, path.rfind('.')) + "." + ext;
  // In the current folder only the name remains.
  std::string folder = QDir::cleanPath(directory().absolutePath()).toStdString();
  const size_t cut = path.rfind('/');
  const std::string dir = cut == 0 ? std::string("/") : path.substr(0, cut);
  if (dir == folder) path = path.substr(cut + 1);
  SetFileNameField(path);
}
