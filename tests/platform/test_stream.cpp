#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_test_util.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/stream.h"

namespace {

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  EXPECT_EQ(m.Size(), 5);
  EXPECT_EQ(m.Position(), 5);
  m.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 4);  // a short read at the end is not an error
  EXPECT_STREQ(buf, "ello");
  m.SetPosition(3);
  EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);
  try {
    m.SetPosition(4);
    m.ReadBuffer(buf, 2);
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  m.Seek(-100, TSeekOrigin::soCurrent);
  EXPECT_EQ(m.Position(), 0);
  m.Seek(10, TSeekOrigin::soBeginning);  // writing past the end grows the stream
  m.WriteBuffer("!", 1);
  EXPECT_EQ(m.Size(), 11);
  EXPECT_EQ(m.Data()[7], 0);
}

TEST(Streams, ReadOnlyViewNeverWrites) {
  const char data[] = "abc";
  TReadOnlyMemoryStream v(data, 3);
  char buf[4] = {};
  v.ReadBuffer(buf, 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_THROW(v.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(v.Seek(0, TSeekOrigin::soEnd), 3);
}

TEST(Streams, FileStreamOpenCreateAndErrors) {
  testutil::TScratchFolder scratch("stream");
  const std::string& dir = scratch.Dir();
  const std::string name = dir + "/a.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
  }
  EXPECT_TRUE(platform::FileExists(name));
  {
    TFileStream f(name, fmOpenRead);
    EXPECT_EQ(f.Size(), 10);
    f.Seek(-3, TSeekOrigin::soEnd);
    char buf[4] = {};
    EXPECT_EQ(f.Read(buf, 4), 3);
    EXPECT_STREQ(buf, "789");
  }
  EXPECT_THROW(TFileStream(dir + "/missing", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir + "/no/such/dir/x", fmCreate), EFCreateError);
  if (platform::FileExists("/dev/full") || ::access("/dev/full", W_OK) == 0) {
    TFileStream full("/dev/full", fmOpenWrite);
    EXPECT_THROW(full.WriteBuffer("x", 1), EWriteError);
  }
}

TEST(Streams, SafeFileStreamReplacesOnlyOnCommit) {
  testutil::TScratchFolder scratch("stream");
  const std::string& dir = scratch.Dir();
  const std::string name = dir + "/photo.bmp";
  {
    std::ofstream(name) << "old contents";
  }
  ::chmod(name.c_str(), 0640);
  {
    TSafeFileStream s(name);
    s.WriteBuffer("new", 3);
    EXPECT_EQ(testutil::ReadFileText(name), "old contents");  // untouched while writing
    // destroyed without Commit: the old file stays, the temporary goes
  }
  EXPECT_EQ(testutil::ReadFileText(name), "old contents");
  std::string temp;
  {
    TSafeFileStream s(name);
    temp = s.TempName();
    s.WriteBuffer("new", 3);
    s.Commit();
  }
  EXPECT_EQ(testutil::ReadFileText(name), "new");
  EXPECT_FALSE(platform::FileExists(temp));
  struct stat st {};
  ::stat(name.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file keeps its mode
  // A file that did not exist is not created by an abandoned save.
  const std::string fresh = dir + "/fresh.png";
  { TSafeFileStream s(fresh); }
  EXPECT_FALSE(platform::FileExists(fresh));
  // Only our file is left in the folder.
  platform::DeleteFile(name);
  EXPECT_EQ(::rmdir(dir.c_str()), 0);
}

TEST(Files, NameHelpers) {
  EXPECT_EQ(platform::ExtractFileExt("/a.b/c.JPG"), ".JPG");
  EXPECT_EQ(platform::ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(platform::ExtractFileExt("name."), ".");
  EXPECT_EQ(platform::ExtractFileName("/x/y/z.png"), "z.png");
  EXPECT_EQ(platform::ExtractFilePath("/x/y/z.png"), "/x/y/");
  EXPECT_EQ(platform::ExtractFilePath("z.png"), "");
  EXPECT_EQ(platform::GetTempPath().back(), '/');
}

TEST(Files, ConfigFolderFollowsXdg) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(platform::WindowsDirectory(), "/cfg/zwillo");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(platform::WindowsDirectory(), std::string(std::getenv("HOME")) + "/.config/zwillo");
  if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(MessageBox, HookIsScriptableAndDefaultAnswersOK) {
  std::string seen;
  auto old = platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption,
                                             platform::TMsgButtons buttons, platform::TMsgIcon) {
    seen = caption + "|" + text;
    return buttons == platform::TMsgButtons::OKCancel ? platform::mrCancel : platform::mrOk;
  });
  EXPECT_EQ(platform::MessageBox("t", "c", platform::TMsgButtons::OKCancel, platform::TMsgIcon::Warning),
            platform::mrCancel);
  EXPECT_EQ(seen, "c|t");
  platform::SetMessageBoxHook(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::MessageBox("line1\rline2", "JPG Warning", platform::TMsgButtons::OKCancel,
                                 platform::TMsgIcon::Warning),
            platform::mrOk);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "JPG Warning: line1\nline2\n");
  platform::SetMessageBoxHook(old);
}

} // namespace
