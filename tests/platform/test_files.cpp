// The file layer's private folders and its messages in the selected language.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_test_util.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "platform/texts.h"

namespace {

struct TLanguage {
  explicit TLanguage(int language) { platform::TextLanguage = language; }
  ~TLanguage() { platform::TextLanguage = 0; }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// A missing folder is made with mode 0700 whatever the umask; a folder of the
// user's own that nobody else can write is used as it is. Refused, with the
// folder named: another owner's, one the group or others can write, a link,
// a file, and one whose parent is missing.
TEST(PrivateFolder, MadePrivateAndForeignOnesRefused) {
  testutil::TScratchFolder dir("private");
  const std::string folder = dir.Path("_stereo.dir");
  std::string error;
  const mode_t mask = ::umask(0);
  EXPECT_TRUE(platform::EnsurePrivateFolder(folder, error)) << error;
  ::umask(mask);
  EXPECT_EQ(ModeOf(folder), 0700u);
  EXPECT_TRUE(platform::EnsurePrivateFolder(folder, error));
  EXPECT_EQ(error, "");

  EXPECT_FALSE(platform::EnsurePrivateFolder(folder, error, ::getuid() + 1));
  EXPECT_EQ(error, "The folder \"" + folder + "\" belongs to another user.");
  for (mode_t open : {0770, 0702, 0777}) {
    ASSERT_EQ(::chmod(folder.c_str(), open), 0);
    EXPECT_FALSE(platform::EnsurePrivateFolder(folder, error)) << std::oct << open;
    EXPECT_EQ(error, "Other users can write into the folder \"" + folder + "\".");
  }
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);  // readable is the owner's choice
  EXPECT_TRUE(platform::EnsurePrivateFolder(folder, error));

  const std::string link = dir.Path("link.dir");
  ASSERT_EQ(::symlink(folder.c_str(), link.c_str()), 0);
  EXPECT_FALSE(platform::EnsurePrivateFolder(link, error));
  EXPECT_EQ(error, "\"" + link + "\" is not a folder.");
  testutil::WriteFileText(dir.Path("file"), "x");
  EXPECT_FALSE(platform::EnsurePrivateFolder(dir.Path("file"), error));
  {
    TLanguage german(1);
    EXPECT_FALSE(platform::EnsurePrivateFolder(dir.Path("none/_stereo.dir"), error));
    EXPECT_EQ(error, "Der Ordner \"" + dir.Path("none/_stereo.dir") +
                         "\" kann nicht angelegt werden. Datei oder Ordner nicht gefunden");
  }
}

// A full disk names the file and the reason, in English by default and in
// German when the program chose it; a file that cannot be created likewise.
TEST(FileTexts, ErrorsNameTheFileInTheSelectedLanguage) {
  auto writeFull = [] {
    TFileStream full("/dev/full", fmOpenWrite);
    const char data[64] = {};
    try {
      full.WriteBuffer(data, sizeof data);
    } catch (const EWriteError& e) {
      return std::string(e.what());
    }
    return std::string("written");
  };
  EXPECT_EQ(writeFull(), "Cannot write file \"/dev/full\". No space left on device");
  TLanguage german(1);
  EXPECT_EQ(writeFull(), "Die Datei \"/dev/full\" kann nicht geschrieben werden. Auf dem Datenträger ist kein Platz "
                         "mehr frei");
  try {
    TSafeFileStream s("/nonexistent-folder/x.bmp");
    ADD_FAILURE() << "created";
  } catch (const EFCreateError& e) {
    EXPECT_STREQ(e.what(), "Die Datei \"/nonexistent-folder/x.bmp\" kann nicht angelegt werden. Datei oder Ordner "
                           "nicht gefunden");
  }
  EXPECT_EQ(platform::ErrnoText(EACCES), "Zugriff verweigert");
  EXPECT_EQ(platform::ErrnoText(ENOTSUP), std::strerror(ENOTSUP));  // untranslated: the C library's text
}

}  // namespace
