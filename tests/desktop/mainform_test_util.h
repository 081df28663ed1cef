#pragma once

// Drives the main window as a user does: tool buttons and actions by object
// name, tabs by clicking the tab bar, the open dialog by answering it, the
// popup menu by a right click on a view.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <gtest/gtest.h>

#include "app/desktop/mainform.h"
#include "pgraphic/core/pixelgraphic.h"
#include "platform/messagebox.h"

namespace desktoptest {

// Sets an environment variable for the lifetime of the object.
struct TEnv {
  TEnv(const char* name, const QByteArray& value)
      : FName(name), FOld(qgetenv(name)), FHad(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
  }
  ~TEnv() {
    if (FHad)
      qputenv(FName, FOld);
    else
      qunsetenv(FName);
  }
  const char* FName;
  QByteArray FOld;
  bool FHad;
};

inline std::string SamplePath(const char* name) { return std::string(ZWILLO_SOURCE_DIR) + "/samples/" + name; }

// A 24-bit picture whose pixel (x, y) has red x, green y and blue 40 (modulo 256).
inline std::unique_ptr<TPixelGraphic> Gradient(int w, int h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, bc24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixels(x, y, RGBColor(x & 255, y & 255, 40));
  return g;
}

// A main window without splash and stored position, its configuration folder
// a temporary one, and every message box recorded and answered OK.
class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(FConfig.isValid());
    FOldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", FConfig.path().toLocal8Bit());
    FOldHook = platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, platform::TMsgButtons, platform::TMsgIcon icon) {
          Messages.push_back(caption + ": " + text);
          Icons.push_back(icon);
          return static_cast<int>(platform::mrOk);
        });
    TMainOptions options;
    options.UseWindowPosition = false;
    Main = std::make_unique<TMain>(options);
    Main->OpenDocument = [this](const std::string& name) {
      Opened.push_back(name);
      return true;
    };
    QApplication::processEvents();
  }
  void TearDown() override {
    Main.reset();
    platform::SetMessageBoxHook(FOldHook);
    qputenv("XDG_CONFIG_HOME", FOldConfig);
  }

  QString Dir() const { return FConfig.path(); }

  // Writes a picture into the temporary folder and returns its full name.
  std::string WritePicture(const std::string& name, TPixelGraphic& picture) {
    const std::string full = Dir().toStdString() + "/" + name;
    picture.SaveToFile(full);
    return full;
  }
  // Copies a file into the temporary folder.
  std::string Copy(const std::string& from, const std::string& name) {
    const QString to = Dir() + "/" + QString::fromStdString(name);
    QFile::remove(to);
    EXPECT_TRUE(QFile::copy(QString::fromStdString(from), to));
    return to.toStdString();
  }

  template <class T = QToolButton>
  T* Find(const char* name) {
    T* w = Main->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }

  void Click(const char* button) {
    QToolButton* b = Find(button);
    QTest::mouseClick(b, Qt::LeftButton);
  }

  // Runs act on the next modal dialog once it is open.
  static void OnModal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || !dialog->isVisible()) return;
      timer->stop();
      timer->deleteLater();
      act(dialog);
    });
    timer->start();
  }

  // Answers the next open dialog: file chosen (accepted) or empty (cancelled).
  // The dialog's caption is kept in DialogTitle; DialogsSeen counts them.
  void AnswerOpenDialog(const std::string& file) {
    OnModal([this, file](QDialog* dialog) {
      ++DialogsSeen;
      DialogTitle = dialog->windowTitle().toStdString();
      auto* files = qobject_cast<QFileDialog*>(dialog);
      if (file.empty() || !files) {
        dialog->reject();
      } else {
        // Typed into the name field, as a user does (a file made after the
        // folder was listed may not be selectable yet). The name the dialog
        // preselected is let go first: the dialog only drops it for text typed
        // while the field has the focus, which a window that is not yet
        // active (a slow start) does not give.
        if (auto* edit = files->findChild<QLineEdit*>("fileNameEdit")) {
          if (auto* list = files->findChild<QAbstractItemView*>("listView")) list->clearSelection();
          edit->setText(QString::fromStdString(file));
        }
        else
          files->selectFile(QString::fromStdString(file));
        dialog->accept();
      }
    });
  }

  // Switches tabs by clicking the tab bar (0 left, 1 right, 2 stereo).
  void ClickTab(int index) {
    QTabBar* bar = Main->PageControl1()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    QApplication::processEvents();
  }

  // Loads a photograph into a side as a user: switch to its (empty) tab, which
  // opens the dialog at once, or press "Bild laden" on it.
  void LoadSide(int tab, const std::string& file) {
    if (Main->PageControl1()->currentIndex() != tab) {
      const bool empty = (tab == 0 ? Main->ImLinks() : Main->ImRechts())->Empty();
      if (empty) AnswerOpenDialog(file);
      ClickTab(tab);
      if (empty) return;
    }
    AnswerOpenDialog(file);
    Click("ToolButton1");
    QApplication::processEvents();
  }

  // The sample pair with its parameter files, loaded left then right.
  void LoadSamplePair() {
    Copy(SamplePath("szene_l.3DF"), "szene_l.3DF");
    Copy(SamplePath("szene_r.3DF"), "szene_r.3DF");
    LoadSide(0, Copy(SamplePath("szene_l.jpg"), "szene_l.jpg"));
    LoadSide(1, Copy(SamplePath("szene_r.jpg"), "szene_r.jpg"));
  }

  // Opens the popup menu on a view by a right click on its picture box.
  QMenu* OpenPopup(TPGImage* view) {
    QWidget* target = view->PicBox()->isVisible() ? static_cast<QWidget*>(view->PicBox()) : view->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
    return Main->PopupMenu1();
  }
  // Clicks an item of an open menu.
  void ClickItem(QMenu* menu, const char* item) {
    QAction* a = Action(item);
    ASSERT_TRUE(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    QApplication::processEvents();
  }

  std::unique_ptr<TMain> Main;
  std::vector<std::string> Messages;
  std::vector<platform::TMsgIcon> Icons;
  std::vector<std::string> Opened;
  int DialogsSeen = 0;
  std::string DialogTitle;

private:
  QTemporaryDir FConfig;
  QByteArray FOldConfig;
  platform::TMessageBoxHook FOldHook;
};

} // namespace desktoptest
