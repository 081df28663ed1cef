#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

// Which values TForm2Ini writes.
enum TSaveOption : unsigned { soLeft = 1, soTop = 2, soWidth = 4, soHeight = 8, soState = 16 };
using TSaveOptions = unsigned;
constexpr TSaveOptions soAll = soLeft | soTop | soWidth | soHeight | soState;

// Where a window goes when no position is stored.
enum TShowDefault { sdDesigned, sdScreenCenter, sdTopLeft, sdTopRight };

// Remembers where a top-level window was: after the window has been built it
// places the window where it was last time (Loaded, also done on the window's
// first show), and when the component is destroyed (with its window, whose
// child it is) it writes position, size and window state into an INI file.
//
// File: IniFile, by default the program's name with ".INI" in the
// configuration folder (platform::WindowsDirectory()); section: IniSection, by
// default the window's class name without its first letter ("TMain" gives
// "Main"). Keys "Left", "Top" (the frame's top-left corner), "Width",
// "Height" (the client size, as Qt's resize takes it) and "State" (0 normal,
// 1 minimised, 2 maximised); -32000 reads as not stored.
class TForm2Ini : public QObject {
  Q_OBJECT
public:
  // owner must be a top-level window; anything else shows "Please use Pos2Ini
  // only in Forms!" and leaves the component unattached (it then neither reads
  // nor writes). className overrides the owner's meta-object class name.
  explicit TForm2Ini(QObject* owner, const QString& className = QString());
  ~TForm2Ini() override;

  bool ReadIni = true;
  bool WriteIni = true;
  TSaveOptions SaveOptions = soAll;
  TShowDefault ShowDefault = sdDesigned;
  bool UseWinDir = true;
  QString IniFile;
  QString IniSection;

  // The window has been built: ReadPosition once, when attached.
  void Loaded();
  void ReadPosition();
  void WritePosition();

  bool Attached() const { return FAttached; }

  static constexpr int32_t NotStored = -32000;

  // Shows the component's messages (the non-window owner, a failed write at
  // destruction); a plain message box unless replaced (tests replace it).
  using MessageHandler = std::function<void(const QString&)>;
  static void SetMessageHandler(MessageHandler handler);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void DeriveNames();

  QPointer<QWidget> FForm;
  QString FClassName;
  bool FAttached = false;
  bool FLoaded = false;
};
