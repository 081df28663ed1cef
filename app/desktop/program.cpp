#include "app/desktop/program.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include "app/desktop/mainform.h"
#include "app/desktop/forms/resources.h"
#include "app/desktop/forms/splashform.h"
#include "pgraphic/device/messagebox.h"

void PrepareApplication(QApplication& app) {
  // The application title; the main window's caption is its own.
  QCoreApplication::setApplicationName(QStringLiteral("Zwillo"));
  QGuiApplication::setWindowIcon(WindowIcon());
  // Standard buttons ("Ja", "Nein", "Abbrechen") and Qt's dialogs in German.
  auto* translator = new QTranslator(&app);
  if (translator->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(translator);
  else
    delete translator;
  InstallQtMessageBoxHook();
}

// The settings dialog is created once at start, as the program's settings
// are read: it reads "VEXO.INI", sets the JPEG quality and fills in the
// replacement viewer beside the program when none is stored. The main window
// owns it.
void LoadProgramSettings(TMain& main) { main.CreateConfigDlg(); }

QStringList CommandLineFiles(const QStringList& arguments) {
  QStringList files;
  for (qsizetype i = 1; i < arguments.size(); ++i)
    if (!arguments[i].isEmpty()) files << QFileInfo(arguments[i]).absoluteFilePath();
  return files;
}

int RunZwillo(int argc, char** argv) {
  QApplication app(argc, argv);
  PrepareApplication(app);
  TForm3* splash = ShowSplash();
  TMainOptions options;
  options.Splash = splash;
  TMain main(options);
  LoadProgramSettings(main);
  // "zwillo LEFT RIGHT" or "zwillo LEFT" (Qt's own options are taken out
  // already): loaded once the window is up.
  const QStringList files = CommandLineFiles(QCoreApplication::arguments());
  if (!files.isEmpty())
    QTimer::singleShot(0, &main, [&main, files] { main.OpenFiles(files, main.TabSheet1()); });
  return QApplication::exec();
}
