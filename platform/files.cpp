#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/texts.h"

namespace platform {

bool FileExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

std::string ExtractFileExt(const std::string& name) {
  const size_t pos = name.find_last_of("./");
  if (pos == std::string::npos || name[pos] != '.') return {};
  return name.substr(pos);
}

std::string ExtractFileName(const std::string& name) {
  const size_t pos = name.find_last_of('/');
  return pos == std::string::npos ? name : name.substr(pos + 1);
}

std::string ExtractFilePath(const std::string& name) {
  const size_t pos = name.find_last_of('/');
  return pos == std::string::npos ? std::string() : name.substr(0, pos + 1);
}

std::string GetTempPath() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool CreateDirectory(const std::string& name) { return ::mkdir(name.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& name) {
  if (name.empty()) return false;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string path;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = name.find('/', pos + 1);
    path = name.substr(0, pos);
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WindowsDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/zwillo";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/zwillo";
}

// ---------------------------------------------------------------- private folders

bool EnsurePrivateFolder(const std::string& folder, std::string& error, uid_t owner) {
  error.clear();
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = FileText(ftCannotCreateFolder, folder, ErrnoText(errno));
    return false;
  }
  // The folder itself, not where a link would lead.
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    error = FileText(ftCannotCreateFolder, folder, ErrnoText(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode))
    error = FileText(ftNotAFolder, folder);
  else if (st.st_uid != owner)
    error = FileText(ftFolderNotOwn, folder);
  else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    error = FileText(ftFolderWritableByOthers, folder);
  return error.empty();
}

bool EnsurePrivateFolder(const std::string& folder, std::string& error) {
  return EnsurePrivateFolder(folder, error, ::getuid());
}

namespace {

// $XDG_RUNTIME_DIR without trailing separators; empty when unset or relative.
std::string SystemRuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || *runtime != '/') return {};
  std::string dir = runtime;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

} // namespace

std::string UserRuntimeFolder() {
  const std::string system = SystemRuntimeFolder();
  return system.empty() ? GetTempPath() + "zwillo-" + std::to_string(::getuid()) : system;
}

bool EnsureUserRuntimeFolder(std::string& error) {
  error.clear();
  return !SystemRuntimeFolder().empty() || EnsurePrivateFolder(UserRuntimeFolder(), error);
}

// ---------------------------------------------------------------- texts

namespace {

// English and German; the other columns fall back to English.
struct TTextPair {
  const char* English;
  const char* German;
};

const TTextPair FileTexts[ftCount] = {
    {"Cannot open file \"%S1\". %S2", "Die Datei \"%S1\" kann nicht geöffnet werden. %S2"},
    {"Cannot create file \"%S1\". %S2", "Die Datei \"%S1\" kann nicht angelegt werden. %S2"},
    {"Cannot read file \"%S1\". %S2", "Die Datei \"%S1\" kann nicht gelesen werden. %S2"},
    {"Cannot write file \"%S1\". %S2", "Die Datei \"%S1\" kann nicht geschrieben werden. %S2"},
    {"Stream read error", "Lesefehler im Datenstrom"},
    {"Stream write error", "Schreibfehler im Datenstrom"},
    {"Stream cannot change its size", "Die Größe des Datenstroms kann nicht geändert werden"},
    {"Seek failed: %S2", "Positionieren in der Datei \"%S1\" fehlgeschlagen: %S2"},
    {"Cannot read the file size: %S2", "Die Größe der Datei \"%S1\" kann nicht gelesen werden: %S2"},
    {"Cannot create folder \"%S1\". %S2", "Der Ordner \"%S1\" kann nicht angelegt werden. %S2"},
    {"\"%S1\" is not a folder.", "\"%S1\" ist kein Ordner."},
    {"The folder \"%S1\" belongs to another user.", "Der Ordner \"%S1\" gehört einem anderen Benutzer."},
    {"Other users can write into the folder \"%S1\".", "Andere Benutzer können in den Ordner \"%S1\" schreiben."},
};

// The reasons users meet, with the C library's English texts.
const struct {
  int Error;
  TTextPair Text;
} ErrnoTexts[] = {
    {ENOENT, {"No such file or directory", "Datei oder Ordner nicht gefunden"}},
    {EACCES, {"Permission denied", "Zugriff verweigert"}},
    {EPERM, {"Operation not permitted", "Vorgang nicht zulässig"}},
    {ENOSPC, {"No space left on device", "Auf dem Datenträger ist kein Platz mehr frei"}},
    {EDQUOT, {"Disk quota exceeded", "Das Speicherkontingent ist erschöpft"}},
    {EROFS, {"Read-only file system", "Das Dateisystem ist schreibgeschützt"}},
    {EISDIR, {"Is a directory", "Ist ein Ordner"}},
    {ENOTDIR, {"Not a directory", "Ist kein Ordner"}},
    {ENAMETOOLONG, {"File name too long", "Der Dateiname ist zu lang"}},
    {ELOOP, {"Too many levels of symbolic links", "Zu viele Ebenen symbolischer Verknüpfungen"}},
    {EIO, {"Input/output error", "Ein-/Ausgabefehler"}},
    {EMFILE, {"Too many open files", "Zu viele offene Dateien"}},
    {EFBIG, {"File too large", "Die Datei ist zu groß"}},
    {EEXIST, {"File exists", "Die Datei existiert bereits"}},
    {ENOMEM, {"Cannot allocate memory", "Nicht genug Speicher"}},
};

const char* Select(const TTextPair& t, int language) { return language == 1 ? t.German : t.English; }

} // namespace

std::string FileTextTemplate(int text, int language) {
  if (text < 0 || text >= ftCount) return {};
  return Select(FileTexts[text], language);
}

std::string FileText(TFileText text, const std::string& name, const std::string& reason) {
  const std::string args[2] = {name, reason};
  return FillPlaceholders(FileTextTemplate(text, TextLanguage.load(std::memory_order_relaxed)), args, 2);
}

std::string ErrnoText(int error) {
  for (const auto& e : ErrnoTexts)
    if (e.Error == error) return Select(e.Text, TextLanguage.load(std::memory_order_relaxed));
  return std::strerror(error);
}

} // namespace platform
