#pragma once

#include <functional>
#include <string>

// The message box of the window system, as a replaceable hook. The desktop
// front end installs a hook that shows a real dialog; tests install scripted
// answers; programs without windows keep the default, which prints the text
// to standard error and answers OK.
namespace platform {

enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel };
enum class TMsgIcon { None, Information, Warning, Error, Question };
// The button pressed, with the values of the Windows dialog results.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

using TMessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon)>;

// Shows a message box through the installed hook and returns the button pressed.
int MessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon);
// Installs a hook (an empty one restores the default); returns the previous hook.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);
// The default behaviour: the caption and text on standard error, answer OK.
int DefaultMessageBox(const std::string& text, const std::string& caption, TMsgButtons buttons, TMsgIcon icon);

} // namespace platform
