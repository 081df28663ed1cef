#include "app/desktop/forms/resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

// The resource file lives in a static library: make sure its initialiser is
// linked and run before the first picture is read.
static void InitFormsResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(zwillo_forms);
    return true;
  }();
  (void)done;
}

QPixmap SplashPicture() {
  InitFormsResources();
  QPixmap picture(403, 332);
  picture.fill(QColor(235, 240, 250));
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QPixmap scene(":/zwillo/splash.jpg");
  if (!scene.isNull()) p.drawPixmap((403 - scene.width()) / 2, (332 - scene.height()) / 2, scene);
  // A band at the bottom edge with the version and what the program does;
  // the About window's OK button sits below it.
  p.fillRect(QRect(0, 252, 403, 38), QColor(255, 255, 255, 190));
  p.setPen(QColor(30, 30, 60));
  QFont f = p.font();
  f.setPixelSize(15);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 252, 403, 20), Qt::AlignCenter, "Zwillo 1.2");
  f.setPixelSize(11);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 270, 403, 18), Qt::AlignCenter, QString::fromUtf8("Stereobilder aus zwei Fotografien"));
  p.setPen(QPen(QColor(60, 60, 90), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, 402, 331));
  return picture;
}

QString HelpFilePath() {
  const QString name = "Vexo.html";
  QStringList candidates;
  const QString exeDir = QCoreApplication::applicationDirPath();
  candidates << exeDir + "/help/" + name;
  candidates << exeDir + "/" + name;
#ifdef ZWILLO_HELP_INSTALL_DIR
  candidates << QDir::cleanPath(exeDir + "/../" ZWILLO_HELP_INSTALL_DIR "/" + name);
#endif
#ifdef ZWILLO_HELP_SOURCE_DIR
  candidates << QString(ZWILLO_HELP_SOURCE_DIR "/") + name;
#endif
  for (const QString& c : candidates)
    if (QFileInfo(c).isFile()) return QFileInfo(c).absoluteFilePath();
  return QString();
}
