// The POSIX Env. Exposed (rather than hidden in env_posix.cpp) so that tests can derive from it
// and change how extended attributes behave, e.g. to model a file system without them.
//
// DOS attributes on POSIX:
//   read-only  the owner write bit is clear;
//   hidden     the name starts with "." or the hidden bit is stored;
//   system     stored;
//   archive    stored, in the hex text form "0x20" of the "user.DOSATTRIB" extended attribute that
//              Samba and Wine share. A file that never had its archive bit cleared has it set.
//              Clearing also records the file's size and last-write time in "user.dravello.cleared";
//              a file whose size or time differs from that record reads as archive-set again, the
//              way every write on Windows sets the bit. Without extended attributes the archive bit
//              always reads as set and the system bit as clear.
#pragma once

#include <sys/types.h>

#include <string>

#include "runtime/Env.h"

namespace dravello {

class PosixEnv : public Env {
 public:
  FileStat Stat(const std::string& path) override;
  std::vector<DirEntry> ListDirectory(const std::string& dir) override;
  void CreateDir(const std::string& path) override;
  void RemoveDir(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  void RenameFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewAppendableFile(const std::string& path) override;
  std::string CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) override;
  FileStat CopyFileContents(const std::string& src, const std::string& dst) override;
  TempCopy CopyToTempBeside(const std::string& src, const std::string& target) override;
  void SetFileTime(const std::string& path, int64_t mtimeNs) override;
  std::optional<uint32_t> GetAttributes(const std::string& path) override;
  std::optional<uint32_t> GetAttributesOf(const std::string& path, const FileStat& known) override;
  bool SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead = nullptr) override;
  bool KeepsArchiveAttribute(const std::string& path) override;
  void SyncDir(const std::string& dir) override;
  void SyncFileSystem(const std::string& path) override;
  DriveInfo GetDriveInfo(const std::string& path) override;
  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& path, std::string* error) override;
  bool ProcessExists(int64_t pid) override;
  int64_t ProcessId() override;
  std::string HostName() override;
  bool LookupsAreThreadSafe() override { return true; }
  void ReleaseFreedMemory() override;
  std::string ProgramFileName() override;
  std::string GetCurrentDir() override;
  std::optional<std::string> EnvironmentVariable(const std::string& name) override;
  bool CanCreateFilesIn(const std::string& dir) override;
  bool OpenAddress(const std::string& address) override;
  bool StdoutIsTerminal() override;
  bool DisplayAnswers() override;
  TDateTimeParts LocalTimeOf(int64_t mtimeNs) override;

  static constexpr const char* kDosAttribName = "user.DOSATTRIB";
  static constexpr const char* kClearedName = "user.dravello.cleared";

 protected:
  // Extended-attribute primitives with the semantics of getxattr/setxattr/removexattr: -1 and
  // errno on failure (ENODATA when absent, ENOTSUP when the file system has none).
  virtual ssize_t GetXattr(const std::string& path, const char* name, char* buf, size_t size);
  virtual int SetXattr(const std::string& path, const char* name, const std::string& value);
  virtual int RemoveXattr(const std::string& path, const char* name);

 private:
  // The stored DOS attribute bits, or nothing when none are stored (or cannot be).
  std::optional<uint32_t> ReadStoredBits(const std::string& path, bool* unsupported);
  // Our record of the state a file had when we cleared its archive bit, against its state `st`.
  enum class ClearedRecord { None, ForThisState, ForAnotherState };
  ClearedRecord ReadClearedRecord(const std::string& path, const FileStat& st);
  // The DOS attributes of `path`, whose state is `st`.
  uint32_t AttributesOf(const std::string& path, const FileStat& st);
  // Writes `bits` into our extended attributes (with the size-and-time record when the archive
  // bit is cleared). False when the file system has no extended attributes.
  bool StoreBits(const std::string& path, uint32_t bits, bool isDir, const FileStat& stamp);
  // Stores `bits` on a new file at `path` that will carry the name `nameAs`, writing nothing when
  // that name reads as those bits anyway. False when the file system cannot keep them.
  bool StoreNewFileBits(const std::string& path, const std::string& nameAs, uint32_t bits, const FileStat& stamp);
};

}  // namespace dravello
