#pragma once

#include <string>
#include <sys/types.h>

// File and folder helpers standing in for the platform's file functions.
namespace platform {

bool FileExists(const std::string& name);
bool DeleteFile(const std::string& name);
// The extension with its dot ("x.JPG" -> ".JPG"); empty when there is none.
std::string ExtractFileExt(const std::string& name);
// The name without its folder.
std::string ExtractFileName(const std::string& name);
// The folder part including the trailing separator; empty when there is none.
std::string ExtractFilePath(const std::string& name);
// The folder for temporary files, ending with a separator ($TMPDIR or /tmp/).
std::string GetTempPath();
// Creates one folder; false when it exists already or cannot be made.
bool CreateDirectory(const std::string& name);
// Creates a folder and its missing parents; false when that fails.
bool ForceDirectories(const std::string& name);
// The program's configuration folder, which takes the place of the Windows
// directory: $XDG_CONFIG_HOME/zwillo, else ~/.config/zwillo (not created here).
std::string WindowsDirectory();

// ------------------------------------------------------------ private folders

// A folder only the user can reach: the folder must be a real folder (not a
// link), owned by owner, and writable by nobody else. Missing, it is created
// with mode 0700 (its parent must exist). True when the folder can be used;
// otherwise error holds the reason, in the selected language.
bool EnsurePrivateFolder(const std::string& folder, std::string& error, uid_t owner);
bool EnsurePrivateFolder(const std::string& folder, std::string& error);
// The user's own folder for files handed to other programs:
// $XDG_RUNTIME_DIR when it is set, else "zwillo-" and the user id in the
// temporary folder (GetTempPath). No trailing separator.
std::string UserRuntimeFolder();
// Makes sure UserRuntimeFolder() can be used: the system's runtime folder is
// taken as it is, the program's own in the temporary folder is created
// private or checked (EnsurePrivateFolder).
bool EnsureUserRuntimeFolder(std::string& error);

// ------------------------------------------------------------ texts

// The file layer's messages. %S1 is the file's or folder's name, %S2 the
// reason (ErrnoText). Each has an English and a German text; the language is
// platform::TextLanguage (the graphics library's MessageLanguage), English
// where a language has no text.
enum TFileText : int {
  ftCannotOpen,
  ftCannotCreate,
  ftCannotRead,
  ftCannotWrite,
  ftStreamRead,
  ftStreamWrite,
  ftCannotResize,
  ftSeekFailed,
  ftCannotReadSize,
  ftCannotCreateFolder,
  ftNotAFolder,
  ftFolderNotOwn,
  ftFolderWritableByOthers,
  ftCount
};
// The message's text in language (0..5), placeholders unfilled.
std::string FileTextTemplate(int text, int language);
// The message in the selected language with its placeholders filled.
std::string FileText(TFileText text, const std::string& name = {}, const std::string& reason = {});
// The reason of a failed file operation (an errno value) in the selected
// language: the C library's English text where no translation exists.
std::string ErrnoText(int error);

} // namespace platform
