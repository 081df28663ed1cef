#include "app/desktop/program.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/core/settingsfile.h"
#include "app/desktop/mainform.h"
#include "app/desktop/resources.h"
#include "app/desktop/splashform.h"
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

void LoadProgramSettings(TMain& main) { main.SetSettings(ReadSettings()); }

int RunZwillo(int argc, char** argv) {
  QApplication app(argc, argv);
  PrepareApplication(app);
  TForm3* splash = ShowSplash();
  TMainOptions options;
  options.Splash = splash;
  TMain main(options);
  LoadProgramSettings(main);
  return QApplication::exec();
}
