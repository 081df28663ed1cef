#include "platform/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

using platform::ErrnoText;
using platform::FileText;

namespace {

int64_t ClampSeek(int64_t pos) { return pos < 0 ? 0 : pos; }

} // namespace

EReadError::EReadError() : EStreamError(FileText(platform::ftStreamRead)) {}
EWriteError::EWriteError() : EStreamError(FileText(platform::ftStreamWrite)) {}

int64_t TStream::Size() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError(FileText(platform::ftCannotResize)); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count <= 0) return;
  if (Write(buffer, count) != count) RaiseWriteError();
}

void TStream::RaiseWriteError() { throw EWriteError(); }

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buffer.size()));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    done += n;
  }
  return done;
}

// ---------------------------------------------------------------- files

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : FFileName(fileName) {
  if (mode == fmCreate) {
    FFd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0) throw EFCreateError(FileText(platform::ftCannotCreate, fileName, ErrnoText(errno)));
    return;
  }
  int flags = O_RDONLY;
  if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  FFd = ::open(fileName.c_str(), flags | O_CLOEXEC);
  if (FFd < 0) throw EFOpenError(FileText(platform::ftCannotOpen, fileName, ErrnoText(errno)));
  struct stat st {};
  if (::fstat(FFd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FFd);
    FFd = -1;
    throw EFOpenError(FileText(platform::ftCannotOpen, fileName, ErrnoText(EISDIR)));
  }
}

TFileStream::~TFileStream() { Close(); }

void TFileStream::Close() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
    const ssize_t n = ::read(FFd, p + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EReadError(FileText(platform::ftCannotRead, FFileName, ErrnoText(errno)));
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
    const ssize_t n = ::write(FFd, p + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      FWriteErrno = errno;
      break;
    }
    if (n == 0) {
      FWriteErrno = ENOSPC;
      break;
    }
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  off_t r = ::lseek(FFd, static_cast<off_t>(offset), whence);
  if (r < 0) {
    // A seek before the start stays at the start, as memory streams do.
    r = ::lseek(FFd, 0, SEEK_SET);
    if (r < 0) throw EStreamError(FileText(platform::ftSeekFailed, FFileName, ErrnoText(errno)));
  }
  return r;
}

int64_t TFileStream::Size() {
  struct stat st {};
  if (::fstat(FFd, &st) != 0) throw EStreamError(FileText(platform::ftCannotReadSize, FFileName, ErrnoText(errno)));
  return st.st_size;
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(FFd, static_cast<off_t>(newSize)) != 0) RaiseWriteError(errno);
}

void TFileStream::RaiseWriteError() { RaiseWriteError(FWriteErrno != 0 ? FWriteErrno : ENOSPC); }

void TFileStream::RaiseWriteError(int error) {
  throw EWriteError(FileText(platform::ftCannotWrite, FFileName, ErrnoText(error)));
}

// ---------------------------------------------------------------- safe files

TSafeFileStream::TSafeFileStream(const std::string& targetName) : FTarget(targetName) {
  FFileName = targetName;
  std::string dir = ".";
  const size_t slash = targetName.find_last_of('/');
  if (slash != std::string::npos) dir = slash == 0 ? "/" : targetName.substr(0, slash);
  std::string base = slash == std::string::npos ? targetName : targetName.substr(slash + 1);
  std::string templ = (dir == "/" ? "" : dir) + "/." + base + ".XXXXXX";
  if (slash == std::string::npos) templ = "." + base + ".XXXXXX";
  std::vector<char> name(templ.begin(), templ.end());
  name.push_back('\0');
  FFd = ::mkstemp(name.data());
  if (FFd < 0) throw EFCreateError(FileText(platform::ftCannotCreate, targetName, ErrnoText(errno)));
  FTempName = name.data();
  // mkstemp creates the file private to the user; give it the mode the target
  // has, or the mode a newly created file would get.
  struct stat st {};
  mode_t mode;
  if (::stat(targetName.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(FFd, mode) != 0) { /* keep the private mode */ }
}

TSafeFileStream::~TSafeFileStream() {
  if (!FCommitted) {
    Close();
    ::unlink(FTempName.c_str());
  }
}

void TSafeFileStream::Commit() {
  if (FCommitted) return;
  if (::fsync(FFd) != 0 && errno != EINVAL && errno != EROFS) RaiseWriteError(errno);
  if (::close(FFd) != 0) {
    const int error = errno;
    FFd = -1;
    RaiseWriteError(error);
  }
  FFd = -1;
  if (::rename(FTempName.c_str(), FTarget.c_str()) != 0) RaiseWriteError(errno);
  FCommitted = true;
}

// ---------------------------------------------------------------- memory

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = static_cast<int64_t>(FData.size());
  if (count <= 0 || FPos >= size) return 0;
  const int64_t n = std::min(count, size - FPos);
  std::memcpy(buffer, FData.data() + FPos, static_cast<size_t>(n));
  FPos += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = FPos + count;
  if (end > static_cast<int64_t>(FData.size())) {
    if (end > static_cast<int64_t>(FData.capacity()))
      FData.reserve(static_cast<size_t>(std::max<int64_t>(end, static_cast<int64_t>(FData.capacity()) * 2)));
    FData.resize(static_cast<size_t>(end));
  }
  std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
  FPos = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0
                 : origin == TSeekOrigin::soCurrent ? FPos
                                                    : static_cast<int64_t>(FData.size());
  FPos = ClampSeek(base + offset);
  return FPos;
}

void TMemoryStream::SetSize(int64_t newSize) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
  if (FPos > newSize) FPos = std::max<int64_t>(newSize, 0);
}

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPos >= FSize) return 0;
  const int64_t n = std::min(count, FSize - FPos);
  std::memcpy(buffer, FData + FPos, static_cast<size_t>(n));
  FPos += n;
  return n;
}

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? FPos : FSize;
  FPos = ClampSeek(base + offset);
  return FPos;
}
