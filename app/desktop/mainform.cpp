// The main window: its components, menus, tool bar, popup menu and start-up.
#include "app/desktop/mainform.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/desktop/forms/form2ini.h"
#include "app/desktop/forms/progressform.h"
#include "app/desktop/forms/resources.h"
#include "app/desktop/forms/splashform.h"
#include "pgraphic/core/messages.h"
#include "pgraphic/view/dialogunits.h"
#include "pgraphic/view/filterdialogs.h"

namespace {

// clGray: the colour of an empty view.
const QColor ViewGray(128, 128, 128);

// Shows PopupMenu1 for a right click anywhere on a view (its frame, client
// area or picture box), naming the view as the menu's popup component.
class TPopupFilter : public QObject {
public:
  TPopupFilter(TMain* main, TPGImage* view) : QObject(view), FMain(main), FView(view) {}

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::ContextMenu) return false;
    auto* e = static_cast<QContextMenuEvent*>(event);
    FMain->Guarded([&] {
      FMain->PopupMenu1Popup(FView);
      FMain->PopupMenu1()->popup(e->globalPos());
    });
    return true;
  }

private:
  TMain* FMain;
  TPGImage* FView;
};

} // namespace

int TagOf(const QObject* sender) { return sender ? sender->property("Tag").toInt() : 0; }

TMain::TMain(const TMainOptions& options, QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QStringLiteral("Zwillo 1.2 "));
  setWindowIcon(WindowIcon());
  resize(640, 480);
  CreateComponents();
  CreateStereoFileCommands();
  if (options.UseWindowPosition) {
    FForm2Ini1 = new TForm2Ini(this);
    FForm2Ini1->setObjectName(QStringLiteral("Form2Ini1"));
    FForm2Ini1->ShowDefault = sdScreenCenter;
    FForm2Ini1->Loaded();
  }

  // 1. Every library message and dialog text in German.
  MessageLanguage = 1;
  // 2. Work images, viewer path, cursors.
  FWorkImage = std::make_unique<TPixelGraphic>();
  FScaledImage = std::make_unique<TPixelGraphic>();
  FSettings.ELSAViewer.clear();
  // 3. Show the window; the first show creates the progress window.
  show();
  FForm2 = new TForm2(this);
  FForm2->setObjectName(QStringLiteral("Form2"));
  BtLCD->setVisible(true);
  FieldSequentialLCD1->setVisible(true);
  SetActivePage(FTabSheet1);
  FLastStereoMode = -1;
  UpdateControls();
  repaint();
  // 4. Disabled behind the splash until its countdown has run out.
  if (options.Splash) WaitForSplash(this, options.Splash);
  // 5. The tilt-line animation, off until a view is painted.
  FAlignTool->ResetAnimation();
  // 6.
  UpdateControls();
}

TMain::~TMain() {
  // The views' events point back at this window: no handler runs from here on.
  for (TPGImage* view : {FImLinks, FImRechts, FImStereo}) {
    view->PicBoxOnMouseDown = nullptr;
    view->PicBoxOnMouseMove = nullptr;
    view->PicBoxOnMouseUp = nullptr;
    view->PicBoxOnPaint = nullptr;
    view->PicBoxOnSetCursor = nullptr;
    view->OnPixelGraphicProgressStart = nullptr;
    view->OnPixelGraphicProgressEnd = nullptr;
    view->OnSelectionMade = nullptr;
  }
}

void TMain::SetSettings(const TSettings& settings) {
  FSettings = settings;
  ApplySettingsToLibrary(FSettings);
}

// ============================================================ components

void TMain::CreateComponents() {
  FAlignTool = std::make_unique<TAlignmentTool>(static_cast<TAlignmentToolHost&>(*this), this);
  connect(FAlignTool->Timer(), &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateViews();
  CreatePopupMenu();
  CreateEditMenu();
  CreateDesktopBindings();

  FBCGFilterDialog1 = new TBCGFilterDialog(this);
  FBCGFilterDialog1->setObjectName(QStringLiteral("BCGFilterDialog1"));
  FBCGFilterDialog1->SetContrast(1.0L);
  FBCGFilterDialog1->SetGamma(1.0L);
  FRGBFilterDialog1 = new TRGBFilterDialog(this);
  FRGBFilterDialog1->setObjectName(QStringLiteral("RGBFilterDialog1"));
  FCMYFilterDialog1 = new TCMYFilterDialog(this);
  FCMYFilterDialog1->setObjectName(QStringLiteral("CMYFilterDialog1"));

  FStatusBar1 = new QStatusBar(this);
  FStatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  // 19 pixels high for the design font, higher for a larger one.
  FStatusBar1->setFixedHeight(std::max(19, 19 * PGDialogBaseUnits(font()).height() / PGDesignBaseUnitY));
  FStatusText = new QLabel(FStatusBar1);
  FStatusText->setObjectName(QStringLiteral("SimpleText"));
  FStatusBar1->addWidget(FStatusText, 1);
  FAlignStatus = new QLabel(FStatusBar1);
  FAlignStatus->setObjectName(QStringLiteral("AlignStatus"));
  // Shown whole where the window is wide enough, cut short (the tool tip
  // holds it whole) where not: the window never widens for it.
  FAlignStatus->setMinimumWidth(1);
  FStatusBar1->addPermanentWidget(FAlignStatus);
  setStatusBar(FStatusBar1);
}

QAction* TMain::NewAction(const char* name, const QString& caption, int tag) {
  auto* a = new QAction(caption, this);
  a->setObjectName(QString::fromLatin1(name));
  a->setProperty("Tag", tag);
  return a;
}

void TMain::CreateActions() {
  auto bind = [this](QAction* a, auto handler) {
    connect(a, &QAction::triggered, this, [this, a, handler] { Guarded([&] { handler(a); }); });
  };
  MILaden = NewAction("MILaden", QStringLiteral("Bild &laden..."));
  bind(MILaden, [this](QObject*) { ToolButton1Click(); });
  MIlinks = NewAction("MIlinks", QStringLiteral("Bild 90° nach li&nks drehen"), -90);
  MIRechts = NewAction("MIRechts", QStringLiteral("Bild 90° nach re&chts drehen"), 90);
  for (QAction* a : {MIlinks, MIRechts}) bind(a, [this](QObject* s) { RotateClick(s); });
  MIIn = NewAction("MIIn", QStringLiteral("Zoom &in"), 1);
  MIout = NewAction("MIout", QStringLiteral("Zoom &out"), -1);
  for (QAction* a : {MIIn, MIout}) bind(a, [this](QObject* s) { BtZoomClick(s); });

  MI1 = NewAction("MI1", QStringLiteral("&Bild verschieben"));
  MI2 = NewAction("MI2", QStringLiteral("&Identischen Punkt definieren"));
  Mi3 = NewAction("Mi3", QStringLiteral("&Verkantung bestimmen"));
  MI4 = NewAction("MI4", QStringLiteral("B&eschneiden"));
  auto* modes = new QActionGroup(this);
  modes->setObjectName(QStringLiteral("ModeItems"));
  modes->setExclusive(true);
  for (QAction* a : {MI1, MI2, Mi3, MI4}) {
    a->setCheckable(true);
    modes->addAction(a);
  }
  MI1->setChecked(true);
  bind(MI1, [this](QObject*) { BtPanClick(); });
  bind(MI2, [this](QObject*) { BtLockClick(); });
  bind(Mi3, [this](QObject*) { BtLineClick(); });
  bind(MI4, [this](QObject*) { BtCutClick(); });
  MIAutomatischAusrichten = NewAction("MIAutomatischAusrichten", QStringLiteral("&Automatisch ausrichten"));
  bind(MIAutomatischAusrichten, [this](QObject*) { MIAutomatischAusrichtenClick(); });

  RotgrnAnaglyphenbild1 = NewAction("RotgrnAnaglyphenbild1", QStringLiteral("&Rot-Grün-Anaglyphenbild"), 0);
  FarbAnaglyphenbild1 = NewAction("FarbAnaglyphenbild1", QStringLiteral("&Spiegel-Stereobild"), 1);
  FarbAnaglyphenbild2 = NewAction("FarbAnaglyphenbild2", QStringLiteral("&Farb-Anaglyphenbild"), 2);
  FieldSequentialLCD1 = NewAction("FieldSequentialLCD1", QStringLiteral("F&ield-Sequential LCD"), 3);
  StereoBildlinksrechts1 = NewAction("StereoBildlinksrechts1", QStringLiteral("S&tereo-Bild links-rechts"), 4);
  StereoBildrechtslinks1 = NewAction("StereoBildrechtslinks1", QStringLiteral("St&ereo-Bild rechts-links"), 5);
  StereobildfrELSA3DREVELATOR1 =
      NewAction("StereobildfrELSA3DREVELATOR1", QStringLiteral("Stere&obild für ELSA 3D REVELATOR"), 6);
  for (QAction* a : {RotgrnAnaglyphenbild1, FarbAnaglyphenbild1, FarbAnaglyphenbild2, FieldSequentialLCD1,
                     StereoBildlinksrechts1, StereoBildrechtslinks1, StereobildfrELSA3DREVELATOR1})
    bind(a, [this](QObject* s) { MIberechnenClick(s); });
  // Hidden at design time, shown by the first show.
  FieldSequentialLCD1->setVisible(false);
  // The modes for today's glasses and screens, with access letters none of
  // the seven uses, and the eye swap, which applies to every stereo command.
  DuboisAnaglyphenbild1 = NewAction("DuboisAnaglyphenbild1", QStringLiteral("&Dubois-Anaglyphenbild"), smDubois);
  HalbfarbAnaglyphenbild1 =
      NewAction("HalbfarbAnaglyphenbild1", QStringLiteral("&Halbfarb-Anaglyphenbild"), smHalfColour);
  OptimiertesAnaglyphenbild1 =
      NewAction("OptimiertesAnaglyphenbild1", QStringLiteral("O&ptimiertes Anaglyphenbild"), smOptimised);
  GrauAnaglyphenbild1 = NewAction("GrauAnaglyphenbild1", QStringLiteral("&Grau-Anaglyphenbild"), smGreyAnaglyph);
  StereoBildhalbeBreite1 = NewAction("StereoBildhalbeBreite1", QStringLiteral("Stereo-Bild links-rechts, halbe &Breite"),
                                     smHalfSideBySide);
  StereoBildobenunten1 = NewAction("StereoBildobenunten1", QStringLiteral("Stereo-Bild oben-&unten"), smOverUnder);
  StereoBildobenuntenhalbeHoehe1 = NewAction("StereoBildobenuntenhalbeHoehe1",
                                             QStringLiteral("Stereo-Bild oben-unten, ha&lbe Höhe"), smHalfOverUnder);
  StereoBildspaltenweise1 = NewAction("StereoBildspaltenweise1",
                                      QStringLiteral("Stereo-Bild spalten&weise verschachtelt"), smColumnInterleaved);
  SchachbrettStereobild1 =
      NewAction("SchachbrettStereobild1", QStringLiteral("S&chachbrett-Stereobild"), smCheckerboard);
  for (QAction* a : MoreStereoItems()) bind(a, [this](QObject* s) { MIberechnenClick(s); });
  BilderVertauschen1 = NewAction("BilderVertauschen1", QStringLiteral("Linkes und rechtes Bild vert&auschen"));
  BilderVertauschen1->setCheckable(true);

  MISpeichern = NewAction("MISpeichern", QStringLiteral("Stereobild s&peichern..."), 0);
  bind(MISpeichern, [this](QObject* s) { BtSaveStereoClick(s); });
  MIdrucken = NewAction("MIdrucken", QStringLiteral("Stereobild &drucken..."));
  bind(MIdrucken, [this](QObject*) { BtPrintClick(); });
  Einstellungen1 = NewAction("Einstellungen1", QStringLiteral("&Einstellungen..."));
  bind(Einstellungen1, [this](QObject*) { Einstellungen1Click(); });
  Beenden1 = NewAction("Beenden1", QStringLiteral("&Beenden"));
  bind(Beenden1, [this](QObject*) { Beenden1Click(); });
  Hilfe2 = NewAction("Hilfe2", QStringLiteral("&Hilfe"));
  Hilfe2->setShortcut(QKeySequence(Qt::Key_F1));
  bind(Hilfe2, [this](QObject*) { Hilfe2Click(); });
  MIAbout = NewAction("MIAbout", QStringLiteral("Ü&ber Zwillo"));
  bind(MIAbout, [this](QObject*) { MIAboutClick(); });

  MIZoom100 = NewAction("MIZoom100", QStringLiteral("  100 %"));
  bind(MIZoom100, [this](QObject*) { MIZoom100Click(); });
  MIUserZoom = NewAction("MIUserZoom", QStringLiteral("  &Benutzerdefiniert"));
  bind(MIUserZoom, [this](QObject*) { MIUserZoomClick(); });
  MIBestFit = NewAction("MIBestFit", QStringLiteral("  &Eingepasst"));
  bind(MIBestFit, [this](QObject*) { MIBestFitClick(); });
  PI1 = NewAction("PI1", QStringLiteral("  Helligkeit / Kontrast / Gamma ..."), 1);
  PI2 = NewAction("PI2", QStringLiteral("  Rot / Grün / Blau ..."), 2);
  PI3 = NewAction("PI3", QStringLiteral("  Cyan / Magenta / Yellow ..."), 3);
  for (QAction* a : {PI1, PI2, PI3}) bind(a, [this](QObject* s) { PI1Click(s); });
  MiELSAStereo = NewAction("MiELSAStereo", QStringLiteral("ELSA Stereo3D-Viewer"));
  bind(MiELSAStereo, [this](QObject*) { MiELSAStereoClick(); });
}

void TMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));

  QMenu* datei = bar->addMenu(QStringLiteral("&Datei"));
  datei->setObjectName(QStringLiteral("Datei1"));
  datei->addAction(MILaden);
  datei->addSeparator();
  datei->addActions({MIlinks, MIRechts, MIIn, MIout});
  datei->addSeparator();
  QMenu* stereo = datei->addMenu(QStringLiteral("&Stereobild berechnen"));
  stereo->setObjectName(QStringLiteral("MIberechnenMenu"));
  MIberechnen = stereo->menuAction();
  MIberechnen->setObjectName(QStringLiteral("MIberechnen"));
  stereo->addActions({RotgrnAnaglyphenbild1, FarbAnaglyphenbild2, StereobildfrELSA3DREVELATOR1, FarbAnaglyphenbild1,
                      StereoBildlinksrechts1, StereoBildrechtslinks1, FieldSequentialLCD1});
  stereo->addSeparator();
  stereo->addActions(MoreStereoItems());
  stereo->addSeparator();
  stereo->addAction(BilderVertauschen1);
  datei->addActions({MISpeichern, MIdrucken});
  datei->addSeparator();
  datei->addAction(Einstellungen1);
  datei->addSeparator();
  datei->addAction(Beenden1);

  QMenu* modus = bar->addMenu(QStringLiteral("&Modus"));
  modus->setObjectName(QStringLiteral("Modus1"));
  modus->addActions({MI1, MI2, Mi3, MI4});
  modus->addSeparator();
  modus->addAction(MIAutomatischAusrichten);

  QMenu* hilfe = bar->addMenu(QStringLiteral("&Hilfe"));
  hilfe->setObjectName(QStringLiteral("Hilfe1"));
  hilfe->addAction(Hilfe2);
  hilfe->addSeparator();
  hilfe->addAction(MIAbout);
}

QToolButton* TMain::NewButton(const char* name, const QString& hint, int image, int tag) {
  auto* b = new QToolButton(FToolBar1);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(hint);
  b->setIcon(ToolIcon(image));
  b->setIconSize(QSize(20, 20));
  b->setFixedSize(27, 26);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  b->setProperty("Tag", tag);
  b->setProperty("ImageIndex", image);
  FToolBar1->addWidget(b);
  return b;
}

void TMain::CreateToolBar() {
  FToolBar1 = new QToolBar(this);
  FToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  FToolBar1->setMovable(false);
  FToolBar1->setFloatable(false);
  FToolBar1->setFixedHeight(30);
  FToolBar1->setIconSize(QSize(20, 20));
  FToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, FToolBar1);

  auto bind = [this](QToolButton* b, auto handler) {
    connect(b, &QToolButton::clicked, this, [this, b, handler] { Guarded([&] { handler(b); }); });
  };
  ToolButton1 = NewButton("ToolButton1", QStringLiteral("Bild laden"), 3);
  bind(ToolButton1, [this](QObject*) { ToolButton1Click(); });
  RotateLeft = NewButton("RotateLeft", QStringLiteral("90° nach links drehen"), 7, -90);
  RotateRight = NewButton("RotateRight", QStringLiteral("90° nach rechts drehen"), 8, 90);
  for (QToolButton* b : {RotateLeft, RotateRight}) bind(b, [this](QObject* s) { RotateClick(s); });
  BtZoomIn = NewButton("BtZoomIn", QStringLiteral("Vergrößern"), 9, 1);
  BtZoomOut = NewButton("BtZoomOut", QStringLiteral("Verkleinern"), 10, -1);
  for (QToolButton* b : {BtZoomIn, BtZoomOut}) bind(b, [this](QObject* s) { BtZoomClick(s); });
  FToolBar1->addSeparator();

  BtPan = NewButton("BtPan", QStringLiteral("Bild schieben"), 1);
  BtLock = NewButton("BtLock", QStringLiteral("Identischer Punkt"), 0);
  BtLine = NewButton("BtLine", QStringLiteral("Verkantung bestimmen"), 2);
  BtCut = NewButton("BtCut", QStringLiteral("Ausschneiden"), 13);
  auto* group = new QButtonGroup(this);
  group->setObjectName(QStringLiteral("ModeButtons"));
  group->setExclusive(true);
  for (QToolButton* b : {BtPan, BtLock, BtLine, BtCut}) {
    b->setCheckable(true);
    group->addButton(b);
  }
  BtPan->setChecked(true);
  bind(BtPan, [this](QObject*) { BtPanClick(); });
  bind(BtLock, [this](QObject*) { BtLockClick(); });
  bind(BtLine, [this](QObject*) { BtLineClick(); });
  bind(BtCut, [this](QObject*) { BtCutClick(); });
  BtAutoAlign = NewButton("BtAutoAlign", QStringLiteral("Automatisch ausrichten"), 21);
  bind(BtAutoAlign, [this](QObject*) { MIAutomatischAusrichtenClick(); });
  BtSaveParms = NewButton("BtSaveParms", QStringLiteral("Identischen Punkt und Drehung speichern"), 11);
  bind(BtSaveParms, [this](QObject*) { BtSaveParmsClick(); });
  FToolBar1->addSeparator();

  BtStereo = NewButton("BtStereo", QStringLiteral("Rot-Grün-Anaglyphenbild"), 4, 0);
  BtStereoColor = NewButton("BtStereoColor", QStringLiteral("Farb-Anaglyphenbild"), 15, 2);
  BtElsa = NewButton("BtElsa", QStringLiteral("Stereobild für ELSA 3D Revelator"), 20, 6);
  BtMirror = NewButton("BtMirror", QStringLiteral("Spiegel Stereobild"), 14, 1);
  BtLiRe = NewButton("BtLiRe", QStringLiteral("Stereobild links-rechts"), 17, 4);
  BtReLi = NewButton("BtReLi", QStringLiteral("Stereobild rechts-links"), 18, 5);
  BtLCD = NewButton("BtLCD", QStringLiteral("Field-Sequential LCD"), 16, 3);
  for (QToolButton* b : {BtStereo, BtStereoColor, BtElsa, BtMirror, BtLiRe, BtReLi, BtLCD})
    bind(b, [this](QObject* s) { MIberechnenClick(s); });
  // Hidden at design time, shown by the first show.
  BtLCD->setVisible(false);
  FToolBar1->addSeparator();

  BtSaveStereo = NewButton("BtSaveStereo", QStringLiteral("Stereobild abspeichern"), 6, 0);
  BtSaveStereoZoom = NewButton("BtSaveStereoZoom", QStringLiteral("Stereobild mit Zoomfaktor abspeichern"), 19, 1);
  for (QToolButton* b : {BtSaveStereo, BtSaveStereoZoom}) bind(b, [this](QObject* s) { BtSaveStereoClick(s); });
  BtPrint = NewButton("BtPrint", QStringLiteral("Stereobild drucken"), 5);
  bind(BtPrint, [this](QObject*) { BtPrintClick(); });
}

TPGImage* TMain::CreateView(QWidget* page, const char* name) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* view = new TPGImage(page);
  view->setObjectName(QString::fromLatin1(name));
  layout->addWidget(view);
  view->SetColor(ViewGray);
  view->SetPicBoxColor(ViewGray);
  view->SetUseThread(false);
  view->SetZoomFactor(1.0L);
  auto* popup = new TPopupFilter(this, view);
  view->installEventFilter(popup);
  view->viewport()->installEventFilter(popup);
  view->PicBox()->installEventFilter(popup);
  return view;
}

void TMain::CreateViews() {
  FPageControl1 = new QTabWidget(this);
  FPageControl1->setObjectName(QStringLiteral("PageControl1"));
  FTabSheet1 = new QWidget;
  FTabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  FTabSheet2 = new QWidget;
  FTabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  FTabSheet3 = new QWidget;
  FTabSheet3->setObjectName(QStringLiteral("TabSheet3"));
  FPageControl1->addTab(FTabSheet1, QStringLiteral("Linkes Bild"));
  FPageControl1->addTab(FTabSheet2, QStringLiteral("Rechtes Bild"));
  FPageControl1->addTab(FTabSheet3, QStringLiteral("Stereobild"));
  setCentralWidget(FPageControl1);

  FImLinks = CreateView(FTabSheet1, "ImLinks");
  FImRechts = CreateView(FTabSheet2, "ImRechts");
  FImStereo = CreateView(FTabSheet3, "ImStereo");
  BindAlignmentEvents();

  connect(FPageControl1, &QTabWidget::currentChanged, this, [this] {
    if (!FSettingPage) Guarded([this] { PageControl1Change(); });
  });
}

void TMain::CreatePopupMenu() {
  FPopupMenu1 = new QMenu(this);
  FPopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* zoom = FPopupMenu1->addAction(QStringLiteral("Zoom"));
  zoom->setObjectName(QStringLiteral("Zoom1"));
  FPopupMenu1->addActions({MIZoom100, MIUserZoom, MIBestFit});
  FPopupMenu1->addSeparator();
  QAction* filter = FPopupMenu1->addAction(QStringLiteral("Filter"));
  filter->setObjectName(QStringLiteral("Filter1"));
  FPopupMenu1->addActions({PI1, PI2, PI3});
  FPopupMenu1->addSeparator();
  FPopupMenu1->addAction(MiELSAStereo);
}

// ============================================================ small helpers

QList<QAction*> TMain::MoreStereoItems() const {
  return {DuboisAnaglyphenbild1,  HalbfarbAnaglyphenbild1,        OptimiertesAnaglyphenbild1,
          GrauAnaglyphenbild1,    StereoBildhalbeBreite1,         StereoBildobenunten1,
          StereoBildobenuntenhalbeHoehe1, StereoBildspaltenweise1, SchachbrettStereobild1};
}

QWidget* TMain::ActivePage() const { return FPageControl1->currentWidget(); }

TPGImage* TMain::ActiveView() const {
  QWidget* page = ActivePage();
  if (page == FTabSheet1) return FImLinks;
  if (page == FTabSheet2) return FImRechts;
  return FImStereo;
}

// Changing the page from code does not run the tab change handler, which
// answers the user's switching only.
void TMain::SetActivePage(QWidget* page) {
  FSettingPage = true;
  FPageControl1->setCurrentWidget(page);
  FSettingPage = false;
}

QString TMain::StatusText() const { return FStatusText->text(); }
QString TMain::AlignStatusText() const { return FAlignStatus->text(); }

void TMain::closeEvent(QCloseEvent* event) {
  if (!ConfirmQuit()) {
    event->ignore();
    return;
  }
  FAlignTool->Timer()->stop();
  QMainWindow::closeEvent(event);
}
