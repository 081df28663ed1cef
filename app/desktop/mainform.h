#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QCursor>
#include <QMainWindow>
#include <QStringList>

#include "app/core/settingsfile.h"
#include "app/core/stereo_core.h"
#include "app/desktop/alignmenttool.h"
#include "app/desktop/edithistory.h"
#include "pgraphic/view/imageview.h"

class QAction;
class QPainter;
class QActionGroup;
class QButtonGroup;
class QLabel;
class QMenu;
class QPrinter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class TForm2;
class TForm3;
class TForm2Ini;
class TConfigDlg;
class TBCGFilterDialog;
class TPGOpenDialog;
class TPGSaveDialog;
class TRGBFilterDialog;
class TCMYFilterDialog;
class TPreviewFilterDialog;
struct TAutoAlignResult;

// How the main window is created. The program passes its splash window; a
// window made without one (tests, benchmarks) starts at once.
struct TMainOptions {
  // The start-up splash: the window shows itself disabled behind it and waits
  // until its countdown has run out, then destroys it.
  TForm3* Splash = nullptr;
  // Restore and store the window position (the program does).
  bool UseWindowPosition = true;
};

// The main window: one stereo pair (left photograph, right photograph, stereo
// image) in three views on three tabs, the pair's alignment data, the menus,
// the tool bar, the popup menu of the views and the status bar. Every command
// is handled here on the window thread; library errors that reach a handler
// are shown in the program's error box.
//
// Widgets and actions carry their design names as object names ("MILaden",
// "ToolButton1", "BtStereo", "TabSheet3", "ImLinks", "PopupMenu1", ...);
// commands that share a handler carry their Tag as the dynamic property "Tag".
class TMain : public QMainWindow, private TAlignmentToolHost {
  Q_OBJECT

public:
  explicit TMain(const TMainOptions& options = {}, QWidget* parent = nullptr);
  ~TMain() override;

  // ------------------------------------------------------------ pair state
  TPixelGraphic& WorkImage() { return *FWorkImage; }
  TPixelGraphic& ScaledImage() { return *FScaledImage; }
  TPairAlignment& Alignment() { return FAlignTool->Pair(); }
  TSideAlignment& LeftSide() { return FAlignTool->Pair().Left; }
  TSideAlignment& RightSide() { return FAlignTool->Pair().Right; }
  // Alignment input, markers, tilt lines and their animation.
  TAlignmentTool& AlignTool() { return *FAlignTool; }
  int LastStereoMode() const { return FLastStereoMode; }
  bool LineDragging() const { return FAlignTool->LineDragging(); }
  TPGImage* LineView() const { return FAlignTool->LineView(); }
  TPGImage* PopupView() const { return FPopupView; }
  const QCursor& LineCursor() const { return FAlignTool->LineCursor(); }
  const QCursor& TargetCursor() const { return FAlignTool->TargetCursor(); }

  // The six user settings (read from "VEXO.INI" at program start). Setting
  // them also hands the JPEG quality to the library.
  const TSettings& Settings() const { return FSettings; }
  void SetSettings(const TSettings& settings);
  const std::string& ELSAViewer() const { return FSettings.ELSAViewer; }
  bool ShowELSAViewer() const { return FSettings.ShowELSAViewer; }
  // The settings dialog, one for the window's lifetime: creating it reads
  // "VEXO.INI" and takes its values over (the program does so at start; a
  // window without one creates it when Einstellungen... is first chosen).
  TConfigDlg* ConfigDlg() const { return FConfigDlg; }
  void CreateConfigDlg();

  // ------------------------------------------------------------ components
  TPGImage* ImLinks() const { return FImLinks; }
  TPGImage* ImRechts() const { return FImRechts; }
  TPGImage* ImStereo() const { return FImStereo; }
  QTabWidget* PageControl1() const { return FPageControl1; }
  QWidget* TabSheet1() const { return FTabSheet1; }
  QWidget* TabSheet2() const { return FTabSheet2; }
  QWidget* TabSheet3() const { return FTabSheet3; }
  QWidget* ActivePage() const;
  QMenu* PopupMenu1() const { return FPopupMenu1; }
  QToolBar* ToolBar1() const { return FToolBar1; }
  QTimer* Timer1() const { return FAlignTool->Timer(); }
  TForm2* Form2() const { return FForm2; }
  // The open and save dialogs, made on first use.
  TPGOpenDialog* PGOpenDialog1();
  TPGSaveDialog* PGSaveDialog1();
  QString StatusText() const;

  // ------------------------------------------------------------ internal operations
  // Chooses a photograph for view (ImLinks or ImRechts) and loads it; reads the
  // parameter file of the active tab's photograph, also after a cancel.
  void LoadImage(TPGImage* view, const std::string& title);
  // Reads the parameter file of the active tab's photograph into its side and
  // repaints that view.
  void LoadParameters();
  // Status bar text and progress window, both repainted at once; without
  // paintNow they are painted by the event loop.
  void ShowProgress(const std::string& text, int percent, bool paintNow = true);
  void UpdateControls();
  void ClearSelections();
  // The view of the active tab.
  TPGImage* ActiveView() const;

  // ------------------------------------------------------------ opening from the desktop
  // Loads photographs as "Bild laden..." does, without the dialog (with their
  // parameter files): two files into the left and right tab; one file into
  // target (TabSheet1 or TabSheet2), or with the stereo tab as target into the
  // empty photograph tab (none: nothing is loaded). A file that cannot be read
  // shows the error box and leaves the other tab alone. Afterwards the tab of
  // the first file is shown. The command line and dropped files come here.
  void OpenFiles(const QStringList& files, QWidget* target);
  // Ctrl+Tab / Ctrl+PgDown (+1) and Ctrl+Shift+Tab / Ctrl+PgUp (-1): the
  // next or previous tab, as the user's click on it.
  void ChangePage(int step);
  // The arrow keys in "Identischen Punkt definieren": the shown photograph's
  // identical point moves by dx, dy pixels (kept inside the picture).
  void NudgePoint(int dx, int dy);

  // ------------------------------------------------------------ handlers
  // sender is the menu item or tool button; its "Tag" property selects the command.
  void ToolButton1Click();
  void PageControl1Change();
  void RotateClick(QObject* sender);
  void BtZoomClick(QObject* sender);
  void BtPanClick();
  void BtLockClick();
  void BtLineClick();
  void BtCutClick();
  void BtSaveParmsClick();
  void MIberechnenClick(QObject* sender);
  void BtSaveStereoClick(QObject* sender);
  void BtPrintClick();
  void Einstellungen1Click();
  void Beenden1Click();
  void Hilfe2Click();
  void MIAboutClick();
  void PopupMenu1Popup(TPGImage* view);
  void MIZoom100Click();
  void MIBestFitClick();
  void MIUserZoomClick();
  void PI1Click(QObject* sender);
  void MiELSAStereoClick();
  void Timer1Timer();

  // Alignment input on the left and right views (mouse, markers, tilt lines:
  // the alignment tool's) and the crop of any view; bound by
  // BindAlignmentEvents.
  void ImPicBoxOnMouseDown(TPGImage* view, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void ImPicBoxOnMouseMove(TPGImage* view, Qt::KeyboardModifiers shift, int x, int y);
  void ImPicBoxOnMouseUp(TPGImage* view, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void ImPicBoxOnPaint(TPGImage* view, QPainter& canvas);
  void ImLinksPicBoxOnSetCursor(TPGImage* view, QCursor& cursor);
  void ImPixelGraphicProgressStart();
  void ImPixelGraphicProgressEnd();
  void ImSelectionMade(TPGImage* view);
  // One step of the tilt-line animation (Timer1 calls it after advancing the phase).
  void DrawMarchingLines();
  uint8_t AnimationPhase() const { return FAlignTool->AnimationPhase(); }

  // ------------------------------------------------------------ replaceable parts
  // Writes the hand-off file and starts the external stereo viewer.
  using TLaunchViewer = std::function<void(TMain& main)>;
  // Opens a document (the help) in the desktop's viewer.
  using TOpenDocument = std::function<bool(const std::string& fileName)>;
  // Prepares the printer before the print dialog shows it (tests print into a PDF file).
  using TPrinterSetup = std::function<void(QPrinter& printer)>;
  TLaunchViewer LaunchELSAViewer = &TMain::RunELSAViewer;
  TOpenDocument OpenDocument;
  TPrinterSetup PrinterSetup;
  // The program's own hand-off: the stereo image as "ELSAVIEWER.BMP" in the
  // folder HandOffFolder(), then the viewer of the settings started there.
  // A folder that is not the user's own, or that others can write, is
  // refused with a message, and nothing is handed off.
  static void RunELSAViewer(TMain& main);
  // "_stereo.dir" in the user's own runtime folder ($XDG_RUNTIME_DIR, else a
  // folder of the user's own in the temporary folder).
  static QString HandOffFolder();

  // ------------------------------------------------------------ picture edits, undo, quitting
  // Loads a photograph into view (ImLinks or ImRechts) as the open dialog's
  // choice does: loaded aside, so that a failure (raised) leaves the tab's
  // picture, crop, filters and points as they were; on success the side's
  // alignment is reset, its edit history dropped and its parameter file read.
  void LoadImageFile(TPGImage* view, const std::string& fileName);
  // The pair's edit history (crops, 90° turns, filters).
  TEditHistory& History() { return FHistory; }
  void MIRueckgaengigClick();
  void MIWiederherstellenClick();
  // Turns the picture of view by degrees (a multiple of 90, positive
  // clockwise) and a photograph's alignment with it, so that markers and
  // lines stay on their details; a turn back restores them exactly.
  void TurnPicture(TPGImage* view, int degrees);
  // A computed or edited stereo picture that has not been saved since.
  bool StereoUnsaved() const { return FStereoUnsaved && !FImStereo->Empty(); }
  // Asks before quitting with an unsaved stereo picture (Ja saves it first);
  // false when the program is to stay.
  bool ConfirmQuit();
  // The view of an edit part and back.
  TPGImage* ViewOf(TEditPart part) const;
  TEditPart PartOf(const TPGImage* view) const;

  // Runs f and shows a library error that leaves it in the program's error box.
  void Guarded(const std::function<void()>& f);
  // The program's standard error box: caption "Zwillo", the error's text.
  static void ShowException(const std::exception& e);

  // ------------------------------------------------------------ stereo files
  // Loads both photographs of one MPO or JPS file (HoldsStereoPair) onto their
  // tabs, with the pair's parameter files; a failure (raised) leaves both tabs,
  // their points and their edit history as they were. "Bild laden..." on
  // either photograph tab comes here for such a file.
  // Automatisch ausrichten, and the history step every change of the
  // alignment leaves (parts: epLeft, epRight or both). Arrow-key nudges in a
  // row, captioned NudgeCaption, make one step.
  void MIAutomatischAusrichtenClick();
  void AlignmentChanging(unsigned parts, const std::string& caption);
  static constexpr const char* NudgeCaption = "Punkt verschoben";
  QString AlignStatusText() const;

  void LoadStereoPairFile(const std::string& fileName);
  // The pair file view's photograph came from; empty for a photograph loaded
  // from a file of its own (and for an empty view).
  const std::string& PairFileOf(const TPGImage* view) const;
  // The parameter file of view's photograph: beside its own file, or for a
  // view of a pair file that side's file (PairParameterFileName).
  std::string ParameterFileOf(const TPGImage* view) const;
  // The photograph's name as the window shows it (the tab's tool tip): its
  // file, and for a view of a pair file the side, "/bilder/haus.mpo (links)".
  std::string PhotographName(const TPGImage* view) const;
  // "Stereopaar speichern (MPO/JPS)...": the aligned pair (tilt compensated,
  // common area, the two halves of the left-right image) as MPO or JPS.
  void MIStereopaarSpeichernClick();
  // The save dialog of that command: the MPO and JPS types.
  TPGSaveDialog* PGPairSaveDialog();
  // Asks whether an existing file name is to be replaced; true when it does
  // not exist or the user answered Ja.
  static bool ConfirmReplace(const std::string& name);
  QAction* MIStereopaarSpeichern = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void CreateComponents();
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateViews();
  void CreatePopupMenu();
  void BindAlignmentEvents();
  // Tab keys, arrow keys of the identical point, dropped files.
  void CreateDesktopBindings();
  // What the alignment tool asks of the window.
  TPGImage* ActiveAlignmentView() const override;
  TAlignmentInput AlignmentInput() const override;
  bool AlignmentWindowActive() const override;
  QColor AlignmentWindowColor() const override;
  void ShowAlignmentPosition(int x, int y) override;
  TPGImage* CreateView(QWidget* page, const char* name);
  QAction* NewAction(const char* name, const QString& caption, int tag = 0);
  QToolButton* NewButton(const char* name, const QString& hint, int image, int tag = 0);
  void SetActivePage(QWidget* page);
  void SetWorkMode(TActionMode mode, QAction* item, QToolButton* button, bool clearSelections);
  void ZoomStatus(TPGImage* view);
  void ShowProgressWindow();
  // The open dialog for a photograph: title is its caption, fileName the
  // current name on entry and the chosen one when it returns true.
  bool RunOpenDialog(const std::string& title, std::string& fileName);
  // The filter dialog of tag (1 brightness/contrast/gamma, 2 red/green/blue,
  // 3 cyan/magenta/yellow) with image as preview source: the dialog when the
  // user confirmed it (its Filter() is the one chosen), else null.
  TPreviewFilterDialog* RunFilterDialog(int tag, TPixelGraphic& image);
  // The Bearbeiten menu and the keyboard shortcuts of the menus.
  void CreateEditMenu();
  // Enables undo and redo (named after their step) and the menus' zoom to 100 %.
  void UpdateEditControls();
  // After an edit of view's picture: the step goes into the history.
  void PictureEdited(TPGImage* view, std::unique_ptr<TEditStep> step);
  // After an undo or redo: the tab of what changed is shown.
  void ShowReverted(unsigned parts);
  // The status text when only one photograph has a tilt line.
  void ReportOneTiltLine();
  // Zoom 100 % of a view.
  void Zoom100(TPGImage* view);
  // The Datei menu's command for stereo files.
  void CreateStereoFileCommands();
  // Where view's photograph came from (pairFile empty: a file of its own),
  // shown as the tab's tool tip.
  void SetPhotographOrigin(TPGImage* view, const std::string& pairFile);
  TAutoAlignResult RunAutoAlign(const TPixelGraphic& left, const TPixelGraphic& right);

  // Pair state.
  std::unique_ptr<TPixelGraphic> FWorkImage;
  std::unique_ptr<TPixelGraphic> FScaledImage;
  std::unique_ptr<TAlignmentTool> FAlignTool;
  TPGImage* FPopupView = nullptr;
  int FLastStereoMode = -1;
  TSettings FSettings;
  bool FSettingPage = false;
  TEditHistory FHistory;
  bool FStereoUnsaved = false;
  // The pair file of each photograph (left, right); empty for its own file.
  std::string FPairFile[2];
  TPGSaveDialog* FPGPairSaveDialog = nullptr;

  // Components.
  QToolBar* FToolBar1 = nullptr;
  QTabWidget* FPageControl1 = nullptr;
  QWidget *FTabSheet1 = nullptr, *FTabSheet2 = nullptr, *FTabSheet3 = nullptr;
  TPGImage *FImLinks = nullptr, *FImRechts = nullptr, *FImStereo = nullptr;
  QStatusBar* FStatusBar1 = nullptr;
  QLabel* FStatusText = nullptr;
  QLabel* FAlignStatus = nullptr; // what the last automatic alignment found
  QMenu* FPopupMenu1 = nullptr;
  TForm2* FForm2 = nullptr;
  TForm2Ini* FForm2Ini1 = nullptr;
  TConfigDlg* FConfigDlg = nullptr;
  TPGOpenDialog* FPGOpenDialog1 = nullptr;
  TPGSaveDialog* FPGSaveDialog1 = nullptr;
  TBCGFilterDialog* FBCGFilterDialog1 = nullptr;
  TRGBFilterDialog* FRGBFilterDialog1 = nullptr;
  TCMYFilterDialog* FCMYFilterDialog1 = nullptr;

public:
  // Menu items and tool buttons (object names as the member names).
  QAction *MILaden = nullptr, *MIlinks = nullptr, *MIRechts = nullptr, *MIIn = nullptr, *MIout = nullptr;
  QAction *MI1 = nullptr, *MI2 = nullptr, *Mi3 = nullptr, *MI4 = nullptr;
  QAction* MIAutomatischAusrichten = nullptr;
  QToolButton* BtAutoAlign = nullptr;
  QAction* MIberechnen = nullptr; // the submenu's entry
  QAction *RotgrnAnaglyphenbild1 = nullptr, *FarbAnaglyphenbild1 = nullptr, *FarbAnaglyphenbild2 = nullptr,
          *FieldSequentialLCD1 = nullptr, *StereoBildlinksrechts1 = nullptr, *StereoBildrechtslinks1 = nullptr,
          *StereobildfrELSA3DREVELATOR1 = nullptr;
  // The modes after the seven (Tags 7..15), below a separator in the stereo
  // submenu, and below another the check item that swaps the eyes.
  QAction *DuboisAnaglyphenbild1 = nullptr, *HalbfarbAnaglyphenbild1 = nullptr, *OptimiertesAnaglyphenbild1 = nullptr,
          *GrauAnaglyphenbild1 = nullptr, *StereoBildhalbeBreite1 = nullptr, *StereoBildobenunten1 = nullptr,
          *StereoBildobenuntenhalbeHoehe1 = nullptr, *StereoBildspaltenweise1 = nullptr,
          *SchachbrettStereobild1 = nullptr;
  QAction* BilderVertauschen1 = nullptr;
  // The nine items of the modes after the seven, in their menu order.
  QList<QAction*> MoreStereoItems() const;
  QAction *MISpeichern = nullptr, *MIdrucken = nullptr, *Einstellungen1 = nullptr, *Beenden1 = nullptr;
  QAction *Hilfe2 = nullptr, *MIAbout = nullptr;
  QAction *MIRueckgaengig = nullptr, *MIWiederherstellen = nullptr, *MIZoom100Menu = nullptr;
  QAction *MIZoom100 = nullptr, *MIUserZoom = nullptr, *MIBestFit = nullptr, *PI1 = nullptr, *PI2 = nullptr,
          *PI3 = nullptr, *MiELSAStereo = nullptr;
  QToolButton *ToolButton1 = nullptr, *RotateLeft = nullptr, *RotateRight = nullptr, *BtZoomIn = nullptr,
              *BtZoomOut = nullptr, *BtPan = nullptr, *BtLock = nullptr, *BtLine = nullptr, *BtCut = nullptr,
              *BtSaveParms = nullptr, *BtStereo = nullptr, *BtStereoColor = nullptr, *BtElsa = nullptr,
              *BtMirror = nullptr, *BtLiRe = nullptr, *BtReLi = nullptr, *BtLCD = nullptr, *BtSaveStereo = nullptr,
              *BtSaveStereoZoom = nullptr, *BtPrint = nullptr;
};

// The Tag of a menu item or tool button (0 when it has none).
int TagOf(const QObject* sender);
