#include "pgraphic/device/messagebox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>
#include <QMessageBox>
#include <QThread>

using platform::TMsgButtons;
using platform::TMsgIcon;

namespace {

int UnattendedAnswer(TMsgButtons buttons) {
  switch (buttons) {
    case TMsgButtons::OK:
      return platform::mrOk;
    case TMsgButtons::YesNo:
      return platform::mrNo;
    default:
      return platform::mrCancel;
  }
}

} // namespace

int QtMessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!qobject_cast<QApplication*>(app) || QThread::currentThread() != app->thread()) {
    platform::DefaultMessageBox(text, caption, buttons, icon);
    return UnattendedAnswer(buttons);
  }
  QMessageBox box(QApplication::activeWindow());
  box.setObjectName(QStringLiteral("PGMessageBox"));
  box.setWindowTitle(QString::fromStdString(caption));
  // The library separates lines with carriage returns.
  box.setText(QString::fromStdString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  switch (icon) {
    case TMsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case TMsgIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case TMsgIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case TMsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    default:
      break;
  }
  QMessageBox::StandardButtons set = QMessageBox::Ok;
  QMessageBox::StandardButton escape = QMessageBox::Ok;
  switch (buttons) {
    case TMsgButtons::OK:
      break;
    case TMsgButtons::OKCancel:
      set = QMessageBox::Ok | QMessageBox::Cancel;
      escape = QMessageBox::Cancel;
      break;
    case TMsgButtons::YesNo:
      set = QMessageBox::Yes | QMessageBox::No;
      escape = QMessageBox::No;
      break;
    case TMsgButtons::YesNoCancel:
      set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      escape = QMessageBox::Cancel;
      break;
  }
  box.setStandardButtons(set);
  box.setEscapeButton(escape);
  // Wide enough for its caption: the window manager cuts a caption longer
  // than the box. Its title font is not known here; the box's font in bold,
  // with room for the title bar's icon and buttons, stands in for it.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    QFont title = box.font();
    title.setBold(true);
    const QFontMetrics fm(title);
    const int width = fm.horizontalAdvance(box.windowTitle()) + 8 * fm.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
      return platform::mrOk;
    case QMessageBox::Yes:
      return platform::mrYes;
    case QMessageBox::No:
      return platform::mrNo;
    case QMessageBox::Cancel:
      return platform::mrCancel;
    default:
      return UnattendedAnswer(buttons);
  }
}

platform::TMessageBoxHook InstallQtMessageBoxHook() { return platform::SetMessageBoxHook(QtMessageBox); }
