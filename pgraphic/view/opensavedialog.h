#pragma once

// The previewing open and save dialogs: Qt's widget-based file dialog with a
// panel on the right that shows a thumbnail of the selected image file and,
// below it, what the file holds. The thumbnail is loaded on a worker thread
// 150 ms after the selection settles; the file-type list comes from the
// format registry.
//
// Use (the window thread only):
//   TPGOpenDialog dlg(this);
//   dlg.SetInitialDir(dir);
//   if (dlg.Execute()) Load(dlg.FileName());
//
// Between runs the object keeps its properties; a run shows the dialog modally
// and returns true when the user pressed OK. FileName, Files and FilterIndex
// change only then.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QFileDialog>
#include <QWidget>

#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/view/worker.h"

class QTimer;
class TPGOpenDialog;

// The open options of the dialogs, one bit each (bit n = option n); the names
// are those of the platform's open-dialog options.
enum TOpenOption : uint8_t {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
};
using TOpenOptions = uint32_t;
constexpr TOpenOptions OpenOptionBit(TOpenOption o) { return TOpenOptions{1} << o; }
constexpr bool HasOpenOption(TOpenOptions set, TOpenOption o) { return (set & OpenOptionBit(o)) != 0; }

// What the thumbnail loader posts: the finished thumbnail, owned by the event
// until the dialog takes it (a pending event of a destroyed panel is deleted
// by Qt and frees the image), and the clock's step (times 16) and percent.
struct TPGThumbnailTag;
struct TPGThumbnailProgressTag;
struct TPGThumbnailProgress {
  int StepX16;
  int Percent;
};
using TPGThumbnailEvent = TPGResultEvent<TPGThumbnailTag, std::unique_ptr<TPixelGraphic>>;
using TPGThumbnailProgressEvent = TPGResultEvent<TPGThumbnailProgressTag, TPGThumbnailProgress>;

// What a dialog run hands its thumbnail loader before the start.
struct TPGThumbnailSettings {
  QObject* CommonDialogWindow = nullptr;
  QObject* ChildDialogWindow = nullptr; // results go here
  std::string FileName;
  int MaxWidth = 0;
  int MaxHeight = 0;
  TStretchMode StretchMode = smPrecise;
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  int ScreenBitsPerPixel = 24;
  // Decode JPEG files at the smallest scale that still covers the maximum
  // size (a preview-only shortcut; off loads at full size as everywhere else).
  bool ReducedJPEGDecode = true;
};

// The thumbnail loader of a dialog run. The dialog owns the object and frees
// it; the object never frees itself. Results go to the panel (the "child
// dialog window") as posted events stamped with the worker's generation: the
// finished thumbnail with its ownership, and the clock's step and percent.
class TCreateOpenSaveDialogPaintPGThread final : public TPGWorker {
public:
  // An inert worker: Resume does nothing, WaitFor returns at once.
  TCreateOpenSaveDialogPaintPGThread() = default;
  explicit TCreateOpenSaveDialogPaintPGThread(TPGThumbnailSettings settings)
      : FInert(false), FSettings(std::move(settings)) {}
  ~TCreateOpenSaveDialogPaintPGThread() override { Stop(); }

  const TPGThumbnailSettings& Settings() const { return FSettings; }
  // The load, reduction and colour adaptation; returns the thumbnail, or null
  // when terminated or when the file cannot be read. Exposed for tests.
  std::unique_ptr<TPixelGraphic> Body();
  // OnProgress of every image the worker makes.
  void Progress(int step, int max, bool& abort);

  // The thumbnail size of an image reduced into maxW x maxH (keeping the
  // aspect ratio, at least 1 pixel, never more than the image).
  static void ReducedSize(int width, int height, int maxW, int maxH, int& outW, int& outH);

protected:
  void Execute() override;
  bool Inert() const override { return FInert; }

private:
  bool FInert = true;
  TPGThumbnailSettings FSettings;
  // Thread-side state.
  int FStep = 1;
  int FSubStep = 0;
  int FLastPercent = 0;
  int FLastPercentDiv16 = 0;
  uint32_t FLastTick = 0;
};

// The file information of the selected file, as GetFileInfo reports it.
struct TPGDialogFileInfo {
  std::string Description;
  TPGFileInfo Info;
};

class TPGOpenDialog : public QFileDialog {
  Q_OBJECT
public:
  explicit TPGOpenDialog(QWidget* parent = nullptr);
  ~TPGOpenDialog() override;

  // ------------------------------------------------------------ the run
  // Shows the dialog modally; true when the user pressed OK.
  virtual bool Execute();

  // ------------------------------------------------------------ properties of the platform dialog
  // The chosen file (the first one with several selected); before Execute the
  // preset name (a bare name, or a path whose folder the dialog opens in).
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& v) { FFileName = v; }
  // Every chosen file (ofAllowMultiSelect), full paths.
  const std::vector<std::string>& Files() const { return FFiles; }
  // "Description|patterns|Description|patterns..." as the registry builds it.
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& v) { FFilter = v; }
  // 1-based index of the selected file type.
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int v) { FFilterIndex = v; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& v) { FInitialDir = v; }
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& v) { FTitle = v; }
  // Appended (without dot) to a typed name that has no extension.
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& v) { FDefaultExt = v; }
  TOpenOptions Options() const { return FOptions; }
  // Without ofShareAware a message says so and the option is added.
  void SetOptions(TOpenOptions v);

  // ------------------------------------------------------------ own properties
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode v) { FStretchMode = v; }
  bool UseDefaultFilter() const { return FUseDefaultFilter; }
  void SetUseDefaultFilter(bool v) { FUseDefaultFilter = v; }
  QColor ProgressClockBkColor() const { return FProgressClockBkColor; }
  void SetProgressClockBkColor(const QColor& v) { FProgressClockBkColor = v; }
  QColor ProgressClockLineColor() const { return FProgressClockLineColor; }
  void SetProgressClockLineColor(const QColor& v) { FProgressClockLineColor = v; }
  bool ProgressClockVisible() const { return FProgressClockVisible; }
  void SetProgressClockVisible(bool v) { FProgressClockVisible = v; }
  TPaletteIdent Palette8BitSys24BitGraphic() const { return FPalette8BitSys24BitGraphic; }
  void SetPalette8BitSys24BitGraphic(TPaletteIdent v) { FPalette8BitSys24BitGraphic = v; }
  TPaletteIdent Palette8BitSys8BitGraphic() const { return FPalette8BitSys8BitGraphic; }
  void SetPalette8BitSys8BitGraphic(TPaletteIdent v) { FPalette8BitSys8BitGraphic = v; }
  bool ShowInfo() const { return FShowInfo; }
  void SetShowInfo(bool v);
  // Preview loads of JPEG files decode at a reduced DCT scale (default on).
  bool ReducedJPEGPreview() const { return FReducedJPEGPreview; }
  void SetReducedJPEGPreview(bool v) { FReducedJPEGPreview = v; }

  // ------------------------------------------------------------ the file types
  // The extension (lower case) of the index-th format entry of the filter;
  // empty outside the range or without UseDefaultFilter.
  virtual std::string FilterExtension(int index) const;
  // The number of format entries; 0 without UseDefaultFilter.
  virtual int FilterFormatCount() const;
  // The filter string of the registry (open: readers, save: writers).
  virtual std::string BuildFilter() const;

  // ------------------------------------------------------------ the preview, as a user sees it
  QWidget* PreviewArea() const { return FPreviewArea; }  // object name "PreviewArea"
  QWidget* InfoArea() const { return FInfoArea; }        // object name "InfoArea"
  const TPixelGraphic* Thumbnail() const { return FThumbnail.get(); }
  bool InfoValid() const { return FInfoValid; }
  const TPGDialogFileInfo& FileInfo() const { return FFileInfoData; }
  // The lines the information area shows (empty unless ShowInfo and info
  // valid), in the selected language, and the font it draws them in.
  std::vector<std::string> InfoLines() const;
  static QFont InfoFont();
  // The path the preview reads: the file-name field's first name in the
  // current folder, else the last current file of the file view.
  std::string SelectedFilePath() const;
  // The 1-based index of the file type selected in the running dialog.
  int CurrentFilterIndex() const;
  // The thumbnail's reduction limit: the area's client size less 4.
  int ThumbnailMaxWidth() const;
  int ThumbnailMaxHeight() const;
  // Whether a thumbnail load is running (for tests and the clock).
  bool Loading() const;

  // Dialog units to pixels with the dialog font (MapDialogRect).
  QRect MapDialogRect(const QRect& dialogUnits) const;

protected:
  // Fills the running dialog from the properties and runs it; reads the
  // results back when accepted.
  bool RunDialog();
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // The type change of the running dialog (the save dialog's extension rule).
  virtual void TypeChanged() {}
  void SetFileNameField(const std::string& text);
  // The file-name field's first name in the current folder; empty when the field is.
  std::string EditPath() const;

  bool FSaveFlag = false;

private:
  friend class TPGDialogPanel;
  friend class TPGThumbnailArea;
  friend class TPGInfoArea;
  void BuildPanel();
  void ApplyFilter();
  void SelectionChanged();
  void StartThumbnail();
  void StopWorker();
  void TakeThumbnail(std::unique_ptr<TPixelGraphic> thumbnail);
  void Progress(int step, int percent);
  void PaintThumbnailArea(QWidget& area);
  void PaintInfoArea(QWidget& area);
  void UpdateDefaultSuffix();
  void ClosePopups();

  std::string FFileName;
  std::vector<std::string> FFiles;
  std::string FFilter;
  int FFilterIndex = 1;
  std::string FInitialDir;
  std::string FTitle;
  std::string FDefaultExt;
  TOpenOptions FOptions = OpenOptionBit(ofHideReadOnly) | OpenOptionBit(ofShareAware);

  // Fields of the design.
  QWidget* FPreviewArea = nullptr;
  QWidget* FInfoArea = nullptr;
  QWidget* FChildDialogWindow = nullptr; // the panel holding the two areas
  std::unique_ptr<TPixelGraphic> FThumbnail;
  std::unique_ptr<TCreateOpenSaveDialogPaintPGThread> FWorker;
  TStretchMode FStretchMode = smPrecise;
  bool FUseDefaultFilter = true;
  QColor FProgressClockBkColor;
  QColor FProgressClockLineColor;
  bool FProgressClockVisible = true;
  TPaletteIdent FPalette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent FPalette8BitSys8BitGraphic = pOptimized252Sys16;
  QTimer* FSelectionTimer = nullptr;
  bool FInfoValid = false;
  TPGDialogFileInfo FFileInfoData;
  bool FShowInfo = true;
  bool FReducedJPEGPreview = true;

  std::string FLastCurrentPath;
  bool FClockActive = false;
  int FClockStep = 1;
  int FClockPercent = 0;
  bool FRunning = false;
  uint64_t FGeneration = 0;
};

class TPGSaveDialog : public TPGOpenDialog {
  Q_OBJECT
public:
  explicit TPGSaveDialog(QWidget* parent = nullptr);

  // Preselects the type of the FileName's extension, runs the dialog and
  // supplies a missing extension from the chosen type.
  bool Execute() override;

  std::string FilterExtension(int index) const override;
  int FilterFormatCount() const override;
  std::string BuildFilter() const override;

protected:
  void TypeChanged() override;
};

// Qt name filters of a filter string: "Description|*.a; *.b|..." becomes
// "Description (*.a *.b)", in the same order; a trailing empty entry is dropped.
QStringList PGFilterToNameFilters(const std::string& filter);
