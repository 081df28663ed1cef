#pragma once

#include <QStringList>

class QApplication;
class TMain;

// The program's start, shared by main() and the tests.

// Prepares the application object: name "Zwillo", window icon, Qt's German
// texts for standard buttons and dialogs, and the library's message boxes as
// Qt message boxes.
void PrepareApplication(QApplication& app);

// Reads the settings file "VEXO.INI" into the main window and hands the JPEG
// quality to the library, as the program does at start.
void LoadProgramSettings(TMain& main);

// The photographs named on the command line (the program's arguments after
// its name, as full paths).
QStringList CommandLineFiles(const QStringList& arguments);

// The whole program: splash, main window (disabled behind the splash until its
// countdown has run out), settings, message loop. Returns the exit code.
int RunZwillo(int argc, char** argv);
