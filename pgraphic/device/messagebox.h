#pragma once

#include <string>

#include "platform/messagebox.h"

// The library's message box on Qt. On the window thread it shows a modal
// QMessageBox (object name "PGMessageBox") with the caption, text, buttons
// and icon asked for. Anywhere else (a worker thread, or no QApplication) it
// touches no widget and does not wait for the window thread, which may itself
// be waiting for that worker: it writes the caption and text to standard
// error and answers without asking, choosing the safe way out: OK for an OK
// box, Cancel where there is a Cancel button, No for a Yes/No box.
int QtMessageBox(const std::string& text, const std::string& caption, platform::TMsgButtons buttons,
                 platform::TMsgIcon icon);

// Installs QtMessageBox as the message-box hook; returns the previous hook.
platform::TMessageBoxHook InstallQtMessageBoxHook();
