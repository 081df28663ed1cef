#pragma once

#include <string>

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

} // namespace platform
