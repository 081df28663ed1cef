#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/object.h"

// Byte streams shared by the image readers and writers: files, growable memory
// buffers and read-only views of memory owned elsewhere.

class EStreamError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
// The default texts are "Stream read error" and "Stream write error" in the
// selected language (platform::TextLanguage).
class EReadError : public EStreamError {
public:
  EReadError();
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
  EWriteError();
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
  using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
public:
  // Reads up to count bytes; returns how many were read (fewer at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

  // Reads exactly count bytes or raises EReadError ("Stream read error").
  void ReadBuffer(void* buffer, int64_t count);
  // Writes exactly count bytes or raises EWriteError ("Stream write error";
  // a file names itself and the reason).
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source (the rest of it when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);

protected:
  // The error of a short write.
  [[noreturn]] virtual void RaiseWriteError();
};

enum TFileMode : unsigned {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmCreate = 0xFF00,
};

// A file on disk, unbuffered: large reads and writes go straight to the kernel.
class TFileStream : public TStream {
public:
  // fmCreate creates or truncates; fmOpen* open an existing file.
  TFileStream(const std::string& fileName, unsigned mode);
  ~TFileStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  const std::string& FileName() const { return FFileName; }
  int Handle() const { return FFd; }

protected:
  TFileStream() = default;
  void Close();
  // "Cannot write file" with the file's name and the reason of the last
  // failed write (a write that wrote nothing: the disk is full).
  [[noreturn]] void RaiseWriteError() override;
  [[noreturn]] void RaiseWriteError(int error);
  std::string FFileName;
  int FFd = -1;
  int FWriteErrno = 0;
};

// Writes a file safely: the data goes to a temporary file in the target's
// folder, and Commit() renames it over the target. Destroying the stream
// without Commit() removes the temporary file, so a failed save leaves any
// existing file untouched and creates nothing.
class TSafeFileStream : public TFileStream {
public:
  explicit TSafeFileStream(const std::string& targetName);
  ~TSafeFileStream() override;
  // Flushes the data to disk and replaces the target; raises EWriteError on failure.
  void Commit();
  const std::string& TempName() const { return FTempName; }
  const std::string& TargetName() const { return FTarget; }

private:
  std::string FTarget;
  std::string FTempName;
  bool FCommitted = false;
};

// A growable, owned memory buffer.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;
  uint8_t* Memory() { return FData.data(); }
  const std::vector<uint8_t>& Data() const { return FData; }
  std::vector<uint8_t>& Data() { return FData; }
  void Clear() { FData.clear(); FPos = 0; }

private:
  std::vector<uint8_t> FData;
  int64_t FPos = 0;
};

// A read-only view of memory owned by someone else (no copy is made).
// Writes fail with a short count.
class TReadOnlyMemoryStream : public TStream {
public:
  TReadOnlyMemoryStream(const void* data, int64_t size)
      : FData(static_cast<const uint8_t*>(data)), FSize(size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }

private:
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPos = 0;
};
