#include "app/desktop/forms/configdlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include "pgraphic/view/dialogunits.h"
#include "platform/inifile.h"
#include "platform/messagebox.h"

namespace {

constexpr int PanelHeight = 41;

// Every control is placed in the design's pixels; the layout scales them to
// the font in use when the dialog is complete.
template <class W>
W* Place(TPGDialogLayout& layout, W* w, const char* name, int x, int y, int width, int height) {
  w->setObjectName(name);
  layout.Place(w, QRect(x, y, width, height));
  return w;
}

QLabel* MakeLabel(TPGDialogLayout& layout, QWidget* parent, const char* name, const QString& text, int x, int y,
                  int width, Qt::Alignment align = Qt::AlignLeft) {
  auto* l = Place(layout, new QLabel(text, parent), name, x, y, width, 13);
  l->setAlignment(align | Qt::AlignTop);
  return l;
}

// A program's change of an edit's text, as the window system does it: only a
// different text is set (and reported), and the caret goes to the start.
void SetEditText(QLineEdit* edit, const QString& text) {
  if (edit->text() == text) return;
  edit->setText(text);
  edit->setCursorPosition(0);
}

bool ToInteger(const QString& text, int32_t& value) { return platform::TryStrToInt(text.toStdString(), value); }

} // namespace

TConfigDlg::TConfigDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("ConfigDlg");
  setWindowTitle("Einstellungen");
  setModal(true);
  TPGDialogLayout layout;

  PageControl1 = Place(layout, new QTabWidget(this), "PageControl1", 0, 0, ClientWidth, ClientHeight - PanelHeight);

  // ---- "Allgemein"
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  PageControl1->addTab(TabSheet1, "Allgemein");

  GroupBox1 = Place(layout, new QGroupBox(QString::fromUtf8("JPEG-Qualität"), TabSheet1), "GroupBox1", 8, 8, 402, 97);
  Label1 = MakeLabel(layout, GroupBox1, "Label1", "1..100", 16, 28, 33);
  EdQuality = Place(layout, new QLineEdit(GroupBox1), "EdQuality", 56, 24, 41, 21);
  TrackBar1 = Place(layout, new QSlider(Qt::Horizontal, GroupBox1), "TrackBar1", 104, 20, 289, 33);
  TrackBar1->setRange(1, 100);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(2);
  TrackBar1->setTickInterval(5);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  Label2 = MakeLabel(layout, GroupBox1, "Label2", QString::fromUtf8("Höchste Kompression"), 112, 56, 120);
  Label3 = MakeLabel(layout, GroupBox1, "Label3", QString::fromUtf8("Geringste Qualität"), 112, 72, 120);
  Label4 = MakeLabel(layout, GroupBox1, "Label4", QString::fromUtf8("Geringe Kompression"), 265, 56, 120, Qt::AlignRight);
  Label5 = MakeLabel(layout, GroupBox1, "Label5", QString::fromUtf8("Höchste Qualität"), 265, 72, 120, Qt::AlignRight);

  GroupBox2 = Place(layout, new QGroupBox("Benutzerdefinierter Zoomfaktor", TabSheet1), "GroupBox2", 8, 112, 402, 77);
  RadioButton1 = Place(layout, new QRadioButton("Prozent-Angabe:", GroupBox2), "RadioButton1", 16, 22, 161, 17);
  EdPercent = Place(layout, new QLineEdit(GroupBox2), "EdPercent", 184, 20, 57, 21);
  Label6 = MakeLabel(layout, GroupBox2, "Label6", "%", 248, 24, 20);
  RadioButton2 = Place(layout, new QRadioButton("Konstante Breite in Pixeln:", GroupBox2), "RadioButton2", 16, 48, 161, 17);
  EdPixel = Place(layout, new QLineEdit(GroupBox2), "EdPixel", 184, 46, 57, 21);
  Label7 = MakeLabel(layout, GroupBox2, "Label7", "Pixel", 248, 50, 30);
  RadioButton1->setChecked(true);
  CbCropWedges = Place(layout, new QCheckBox(QString::fromUtf8("Schwarze Ecken gedrehter Bilder abschneiden"), TabSheet1),
                       "CbCropWedges", 16, 196, 377, 17);

  // ---- "ELSA 3D REVELATOR"
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  PageControl1->addTab(TabSheet2, "ELSA 3D REVELATOR");

  GroupBox3 = Place(layout, new QGroupBox("Stereo3D-Viewer", TabSheet2), "GroupBox3", 8, 8, 402, 81);
  EdStereo3D = Place(layout, new QLineEdit(GroupBox3), "EdStereo3D", 16, 24, 353, 21);
  SpeedButton1 = Place(layout, new QToolButton(GroupBox3), "SpeedButton1", 373, 23, 23, 22);
  SpeedButton1->setText("...");
  SpeedButton1->setFocusPolicy(Qt::NoFocus);  // a speed button never takes the focus
  CbStereo3D = Place(layout, new QCheckBox("Stereo3D-Viewer aufrufen nach Berechnung Stereobild", GroupBox3),
                     "CbStereo3D", 16, 52, 377, 17);

  // ---- bottom panel
  Panel1 = Place(layout, new QFrame(this), "Panel1", 0, ClientHeight - PanelHeight, ClientWidth, PanelHeight);
  BitBtn1 = Place(layout, new QPushButton("OK", Panel1), "BitBtn1", 256, 8, 75, 25);
  BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  BitBtn1->setDefault(true);  // Enter
  BitBtn2 = Place(layout, new QPushButton("Abbrechen", Panel1), "BitBtn2", 340, 8, 75, 25);
  BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));  // Escape: QDialog::reject

  layout.Apply(font());
  setFixedSize(layout.Map(QSize(ClientWidth, ClientHeight)));

  OpenDialog1 = new QFileDialog(this, QString::fromUtf8("Öffnen"));
  OpenDialog1->setObjectName("OpenDialog1");
  OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
  OpenDialog1->setFileMode(QFileDialog::AnyFile);
  OpenDialog1->setNameFilter(QString("ELSA Stereo Viewer (St3dview.exe %1)").arg(ReplacementViewerName));

  connect(TrackBar1, &QSlider::valueChanged, this, &TConfigDlg::TrackBar1Change);
  connect(EdQuality, &QLineEdit::textChanged, this, &TConfigDlg::EdQualityChange);
  connect(EdPercent, &QLineEdit::textChanged, this, &TConfigDlg::EdPercentChange);
  connect(EdPixel, &QLineEdit::textChanged, this, &TConfigDlg::EdPixelChange);
  connect(SpeedButton1, &QToolButton::clicked, this, &TConfigDlg::SpeedButton1Click);
  connect(BitBtn1, &QPushButton::clicked, this, [this] {
    BitBtn1Click();
    accept();
  });
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

  // FormCreate: the settings as the program starts with them.
  FSettings = ReadSettings();
  if (FSettings.ELSAViewer.empty())
    FSettings.ELSAViewer = ReplacementViewer(QCoreApplication::applicationDirPath()).toStdString();
  ApplySettingsToLibrary(FSettings);
}

QString TConfigDlg::ReplacementViewer(const QString& programFolder) {
  if (programFolder.isEmpty()) return {};
  const QFileInfo viewer(QDir(programFolder), ReplacementViewerName);
  return viewer.isFile() && viewer.isExecutable() ? viewer.absoluteFilePath() : QString();
}

bool TConfigDlg::Execute() { return exec() == QDialog::Accepted; }

void TConfigDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) {
      const QRect s = screen->geometry();
      move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
    FormShow();
  }
  QDialog::showEvent(event);
}

void TConfigDlg::FormShow() {
  TrackBar1->setValue(FSettings.JPEGQuality);
  SetEditText(EdQuality, QString::number(FSettings.JPEGQuality));
  (FSettings.ZoomType != 0 ? RadioButton2 : RadioButton1)->setChecked(true);
  // The pending values first: a stored zoom of 0 or below then shows as
  // stored instead of being replaced by the pending value of an earlier,
  // cancelled session.
  PendingPercent = FSettings.ZoomPercent;
  PendingPixel = FSettings.ZoomPixel;
  SetEditText(EdPercent, QString::number(FSettings.ZoomPercent));
  SetEditText(EdPixel, QString::number(FSettings.ZoomPixel));
  EdStereo3D->setText(ELSAViewer());
  CbStereo3D->setChecked(FSettings.ShowELSAViewer);
  CbCropWedges->setChecked(FSettings.CropWedges);
}

void TConfigDlg::TrackBar1Change() { SetEditText(EdQuality, QString::number(TrackBar1->value())); }

void TConfigDlg::EdQualityChange() {
  int32_t v = 0;
  if (ToInteger(EdQuality->text(), v) && v >= 1 && v <= 100) {
    // The field is the source here: leave its text as typed.
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setValue(v);
  } else {
    SetEditText(EdQuality, QString::number(TrackBar1->value()));
  }
}

void TConfigDlg::ZoomFieldChange(QLineEdit* edit, int32_t& pending) {
  int32_t v = 0;
  if (ToInteger(edit->text(), v)) {
    if (v > 0)
      pending = v;
    else
      SetEditText(edit, QString::number(pending));
    return;
  }
  // Not a number: an emptied field means 0, anything else the last accepted value.
  if (edit->text().isEmpty()) pending = 0;
  SetEditText(edit, QString::number(pending));
}

void TConfigDlg::EdPercentChange() { ZoomFieldChange(EdPercent, PendingPercent); }

void TConfigDlg::EdPixelChange() { ZoomFieldChange(EdPixel, PendingPixel); }

void TConfigDlg::SpeedButton1Click() {
  if (OpenDialog1->exec() != QDialog::Accepted) return;
  const QStringList files = OpenDialog1->selectedFiles();
  if (!files.isEmpty()) EdStereo3D->setText(QDir::toNativeSeparators(files.first()));
}

void TConfigDlg::BitBtn1Click() {
  FSettings.ZoomType = RadioButton1->isChecked() ? 0 : 1;
  FSettings.ZoomPercent = PendingPercent;
  FSettings.ZoomPixel = PendingPixel;
  FSettings.JPEGQuality = TrackBar1->value();
  FSettings.ELSAViewer = EdStereo3D->text().toStdString();
  FSettings.ShowELSAViewer = CbStereo3D->isChecked();
  FSettings.CropWedges = CbCropWedges->isChecked();
  ApplySettingsToLibrary(FSettings);
  try {
    SaveToIni(FSettings);
  } catch (const platform::EIniFileException& e) {
    // The values taken over stay in force; the dialog still closes with OK.
    const QString caption = QGuiApplication::applicationDisplayName();
    platform::MessageBox(e.what(), caption.toStdString(), platform::TMsgButtons::OK, platform::TMsgIcon::Error);
  }
}
