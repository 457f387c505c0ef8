// An Env that fails on demand, for tests of what the program does when the disk fills up, a
// read breaks off, a rename is refused or a folder cannot be created. Everything not armed to
// fail is forwarded to the target Env.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>

#include "runtime/Env.h"

namespace dravello {

class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env& target) : EnvWrapper(target) {}

  // Writes fail with ENOSPC once this many more bytes have been written (across all files): a
  // write that does not fit in what is left fails whole, writing nothing, and BytesWritten counts
  // the writes that went through. -1 never fails.
  // With `which`, only writes to files whose path it accepts count and fail (a full disk that
  // holds the backup, say, while the log lives elsewhere).
  void FailWritesAfter(int64_t bytes, std::function<bool(const std::string& path)> which = {}) {
    writeBudget_ = bytes;
    writeFilter_ = std::move(which);
  }
  // Reads fail with EIO once this many more bytes have been read: a read that brings more than
  // is left fails (its bytes are lost); reaching the end of a file within the budget is no
  // failure. -1 never fails.
  // With `which`, only reads of files whose path it accepts count and fail (a source that breaks
  // off while the archive being extended still reads).
  void FailReadsAfter(int64_t bytes, std::function<bool(const std::string& path)> which = {}) {
    readBudget_ = bytes;
    readFilter_ = std::move(which);
  }
  // Sync fails with EIO.
  void FailSync(bool fail) { failSync_ = fail; }
  // Operations on paths for which the predicate holds fail with EACCES (EOSError). `op` is one of
  // "open" (reading, appending), "create" (new or temporary file; the path is the one asked for),
  // "rename" (the path is the target), "mkdir", "delete", "list", "attrs" (setting), "time",
  // "load" (a library: OpenLibrary then gives nullptr and the reason); nullptr disarms.
  void FailWhen(std::function<bool(const std::string& op, const std::string& path)> predicate) {
    failWhen_ = std::move(predicate);
  }
  // Runs once, just before the next file is opened for reading, sequentially or at positions
  // (for example to delete or change a source between listing and copying).
  // With `which`, the hook waits for the first file whose path it accepts.
  void BeforeFirstRead(std::function<void(const std::string& path)> hook,
                       std::function<bool(const std::string& path)> which = {}) {
    beforeRead_ = std::move(hook);
    beforeReadFilter_ = std::move(which);
  }

  // Runs after every rename that went through, with its source and target (for example to
  // change the bytes of an archive between its writing and its reading back).
  void AfterRename(std::function<void(const std::string& from, const std::string& to)> hook) {
    afterRename_ = std::move(hook);
  }

  int64_t BytesWritten() const { return bytesWritten_; }

  // Env overrides that can fail.
  std::vector<DirEntry> ListDirectory(const std::string& dir) override;
  void CreateDir(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
  void RenameFile(const std::string& from, const std::string& to) override;
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override;
  std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  std::unique_ptr<WritableFile> NewAppendableFile(const std::string& path) override;
  std::string CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) override;
  void SetFileTime(const std::string& path, int64_t mtimeNs) override;
  bool SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead = nullptr) override;
  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& path, std::string* error) override;

  // Used by the file wrappers.
  void ChargeWrite(const std::string& path, size_t n);
  void ChargeRead(const std::string& path, size_t n);
  void CheckSync(const std::string& path);

 private:
  void Check(const char* op, const std::string& path);
  void RunBeforeRead(const std::string& path);

  int64_t writeBudget_ = -1;
  std::function<bool(const std::string&)> writeFilter_;
  std::function<bool(const std::string&)> beforeReadFilter_;
  int64_t readBudget_ = -1;
  std::function<bool(const std::string&)> readFilter_;
  bool failSync_ = false;
  int64_t bytesWritten_ = 0;
  std::function<bool(const std::string&, const std::string&)> failWhen_;
  std::function<void(const std::string&)> beforeRead_;
  std::function<void(const std::string&, const std::string&)> afterRename_;
};

}  // namespace dravello
