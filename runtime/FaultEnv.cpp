#include "runtime/FaultEnv.h"

#include <cstring>

#include "runtime/SysUtils.h"

namespace dravello {

namespace {

class FaultWritableFile final : public WritableFile {
 public:
  FaultWritableFile(FaultEnv& env, std::string path, std::unique_ptr<WritableFile> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}
  void Append(const char* data, size_t n) override {
    // Like a disk that fills up: the part that still fits is written, then the write fails.
    size_t allowed = env_.ChargeWrite(n);
    target_->Append(data, allowed);
    if (allowed < n) env_.FailWrite(path_);
  }
  void Sync() override {
    env_.CheckSync(path_);
    target_->Sync();
  }
  void Close() override { target_->Close(); }

 private:
  FaultEnv& env_;
  std::string path_;
  std::unique_ptr<WritableFile> target_;
};

class FaultSequentialFile final : public SequentialFile {
 public:
  FaultSequentialFile(FaultEnv& env, std::string path, std::unique_ptr<SequentialFile> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}
  size_t Read(char* buf, size_t n) override {
    // What the budget still allows is delivered; the read after that fails, unless it only
    // finds the end of the file.
    size_t allowed = env_.ReadAllowance(n);
    if (allowed == 0 && n > 0) {
      char probe;
      if (target_->Read(&probe, 1) == 0) return 0;
      env_.FailRead(path_);
    }
    size_t got = target_->Read(buf, allowed);
    env_.ChargeRead(path_, got);
    return got;
  }

 private:
  FaultEnv& env_;
  std::string path_;
  std::unique_ptr<SequentialFile> target_;
};

class FaultRandomAccessFile final : public RandomAccessFile {
 public:
  FaultRandomAccessFile(FaultEnv& env, std::string path, std::unique_ptr<RandomAccessFile> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}
  int64_t Size() override { return target_->Size(); }
  size_t ReadAt(int64_t offset, char* buf, size_t n) override {
    // A short positioned read would look like the end of the file, so it fails whole.
    size_t got = target_->ReadAt(offset, buf, n);
    env_.ChargeRead(path_, got);
    return got;
  }

 private:
  FaultEnv& env_;
  std::string path_;
  std::unique_ptr<RandomAccessFile> target_;
};

}  // namespace

void FaultEnv::Check(const char* op, const std::string& path) {
  if (failWhen_ && failWhen_(op, path))
    throw EOSError(std::string("Injected failure: ") + op + " \"" + path + "\"", EACCES);
}

size_t FaultEnv::ChargeWrite(size_t n) {
  size_t allowed = n;
  if (writeBudget_ >= 0) {
    if (static_cast<int64_t>(n) > writeBudget_) allowed = static_cast<size_t>(writeBudget_);
    writeBudget_ -= static_cast<int64_t>(allowed);
  }
  bytesWritten_ += static_cast<int64_t>(allowed);
  return allowed;
}

void FaultEnv::FailWrite(const std::string& path) {
  throw EInOutError("Cannot write \"" + path + "\": " + std::strerror(ENOSPC), ENOSPC);
}

size_t FaultEnv::ReadAllowance(size_t n) const {
  if (readBudget_ < 0) return n;
  return static_cast<int64_t>(n) > readBudget_ ? static_cast<size_t>(readBudget_) : n;
}

void FaultEnv::FailRead(const std::string& path) {
  throw EInOutError("Cannot read \"" + path + "\": " + std::strerror(EIO), EIO);
}

void FaultEnv::ChargeRead(const std::string& path, size_t n) {
  if (readBudget_ < 0) return;
  if (static_cast<int64_t>(n) > readBudget_) {
    readBudget_ = 0;
    FailRead(path);
  }
  readBudget_ -= static_cast<int64_t>(n);
}

void FaultEnv::RunBeforeRead(const std::string& path) {
  if (!beforeRead_) return;
  auto hook = std::move(beforeRead_);
  beforeRead_ = nullptr;
  hook(path);
}

void FaultEnv::CheckSync(const std::string& path) {
  if (failSync_) throw EInOutError("Cannot flush \"" + path + "\": " + std::strerror(EIO), EIO);
}

std::vector<DirEntry> FaultEnv::ListDirectory(const std::string& dir) {
  Check("list", dir);
  return Target().ListDirectory(dir);
}

void FaultEnv::CreateDir(const std::string& path) {
  Check("mkdir", path);
  Target().CreateDir(path);
}

void FaultEnv::DeleteFile(const std::string& path) {
  Check("delete", path);
  Target().DeleteFile(path);
}

void FaultEnv::RenameFile(const std::string& from, const std::string& to) {
  Check("rename", to);
  Target().RenameFile(from, to);
}

std::unique_ptr<SequentialFile> FaultEnv::NewSequentialFile(const std::string& path) {
  Check("open", path);
  RunBeforeRead(path);
  return std::make_unique<FaultSequentialFile>(*this, path, Target().NewSequentialFile(path));
}

std::unique_ptr<RandomAccessFile> FaultEnv::NewRandomAccessFile(const std::string& path) {
  Check("open", path);
  RunBeforeRead(path);
  return std::make_unique<FaultRandomAccessFile>(*this, path, Target().NewRandomAccessFile(path));
}

std::unique_ptr<WritableFile> FaultEnv::NewWritableFile(const std::string& path) {
  Check("create", path);
  return std::make_unique<FaultWritableFile>(*this, path, Target().NewWritableFile(path));
}

std::unique_ptr<WritableFile> FaultEnv::NewAppendableFile(const std::string& path) {
  Check("open", path);
  return std::make_unique<FaultWritableFile>(*this, path, Target().NewAppendableFile(path));
}

std::string FaultEnv::CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) {
  Check("create", path);
  std::unique_ptr<WritableFile> inner;
  std::string temp = Target().CreateTempFileBeside(path, &inner);
  *file = std::make_unique<FaultWritableFile>(*this, temp, std::move(inner));
  return temp;
}

void FaultEnv::SetFileTime(const std::string& path, int64_t mtimeNs) {
  Check("time", path);
  Target().SetFileTime(path, mtimeNs);
}

bool FaultEnv::SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead) {
  Check("attrs", path);
  return Target().SetAttributes(path, attributes, asRead);
}

}  // namespace dravello
