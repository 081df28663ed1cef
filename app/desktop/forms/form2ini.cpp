#include "app/desktop/forms/form2ini.h"

#include "platform/inifile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

namespace {

TForm2Ini::MessageHandler& Handler() {
  static TForm2Ini::MessageHandler handler;
  return handler;
}

void ShowMessage(const QString& text) {
  if (Handler()) {
    Handler()(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
  box.exec();
}

QRect ScreenRect(QWidget* w) {
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

} // namespace

void TForm2Ini::SetMessageHandler(MessageHandler handler) { Handler() = std::move(handler); }

TForm2Ini::TForm2Ini(QObject* owner, const QString& className) : QObject(owner), FClassName(className) {
  setObjectName("Form2Ini1");
  auto* form = qobject_cast<QWidget*>(owner);
  if (form && form->isWindow()) {
    FForm = form;
    FAttached = true;
    form->installEventFilter(this);
  } else {
    ShowMessage("Please use Pos2Ini only in Forms!");
  }
}

TForm2Ini::~TForm2Ini() {
  if (!FAttached || !FForm) return;
  // A failed write must not leave the destructor as an exception: the
  // window is going away anyway, so the INI layer's message is shown instead.
  try {
    WritePosition();
  } catch (const std::exception& e) {
    ShowMessage(QString::fromStdString(e.what()));
  }
}

bool TForm2Ini::eventFilter(QObject* watched, QEvent* event) {
  // A window that was never told Loaded() gets its position before it first
  // appears.
  if (watched == FForm && event->type() == QEvent::Show && !FLoaded) Loaded();
  return QObject::eventFilter(watched, event);
}

void TForm2Ini::Loaded() {
  if (FLoaded || !FAttached) return;
  FLoaded = true;
  ReadPosition();
}

void TForm2Ini::DeriveNames() {
  if (IniFile.isEmpty()) IniFile = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".INI";
  if (!UseWinDir && QDir::isRelativePath(IniFile)) {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith('/')) dir += '/';
    IniFile = dir + IniFile;
  }
  if (IniSection.isEmpty()) {
    QString name = FClassName;
    if (name.isEmpty() && FForm) name = QString::fromLatin1(FForm->metaObject()->className());
    const qsizetype colons = name.lastIndexOf("::");
    if (colons >= 0) name = name.mid(colons + 2);
    IniSection = name.mid(1);
  }
}

void TForm2Ini::ReadPosition() {
  if (!FForm) return;
  int32_t left = NotStored, top = NotStored, width = NotStored, height = NotStored, state = NotStored;
  if (ReadIni) {
    DeriveNames();
    const platform::TIniFile ini(IniFile.toStdString());
    const std::string section = IniSection.toStdString();
    left = ini.ReadInteger(section, "Left", NotStored);
    top = ini.ReadInteger(section, "Top", NotStored);
    width = ini.ReadInteger(section, "Width", NotStored);
    height = ini.ReadInteger(section, "Height", NotStored);
    state = ini.ReadInteger(section, "State", NotStored);
  }
  QWidget* form = FForm;
  if (left == NotStored && top == NotStored) {
    // Nothing placed yet: the default placement, then the stored size and
    // state (a window closed maximised before it was ever closed normal has
    // only its state stored).
    if (height != NotStored && height > 0) form->resize(form->width(), height);
    if (width != NotStored && width > 0) form->resize(width, form->height());
    const QRect s = ScreenRect(form);
    switch (ShowDefault) {
    case sdDesigned:
      break;
    case sdScreenCenter:
      form->move(s.x() + (s.width() - form->width()) / 2, s.y() + (s.height() - form->height()) / 2);
      break;
    case sdTopLeft:
      form->move(s.x(), s.y());
      break;
    case sdTopRight:
      form->move(s.x() + s.width() - form->width(), s.y());
      break;
    }
  } else {
    if (top != NotStored) form->move(form->x(), top);
    if (left != NotStored) form->move(left, form->y());
    if (height != NotStored && height > 0) form->resize(form->width(), height);
    if (width != NotStored && width > 0) form->resize(width, form->height());
  }
  // Values other than 0, 1 and 2 are not a window state and are ignored.
  if (state == 1)
    form->setWindowState((form->windowState() & ~(Qt::WindowMaximized | Qt::WindowFullScreen)) | Qt::WindowMinimized);
  else if (state == 2)
    form->setWindowState((form->windowState() & ~(Qt::WindowMinimized | Qt::WindowFullScreen)) | Qt::WindowMaximized);
  else if (state == 0)
    form->setWindowState(form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void TForm2Ini::WritePosition() {
  if (!WriteIni || !FForm) return;
  DeriveNames();
  const platform::TIniFile ini(IniFile.toStdString());
  const std::string section = IniSection.toStdString();
  QWidget* form = FForm;
  const Qt::WindowStates ws = form->windowState();
  const int state = ws & Qt::WindowMinimized ? 1 : ws & (Qt::WindowMaximized | Qt::WindowFullScreen) ? 2 : 0;
  if (state == 0) {
    if (SaveOptions & soLeft) ini.WriteInteger(section, "Left", form->x());
    if (SaveOptions & soTop) ini.WriteInteger(section, "Top", form->y());
    if (SaveOptions & soWidth) ini.WriteInteger(section, "Width", form->width());
    if (SaveOptions & soHeight) ini.WriteInteger(section, "Height", form->height());
  }
  if (SaveOptions & soState) ini.WriteInteger(section, "State", state);
}
