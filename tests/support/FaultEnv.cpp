#include "tests/support/FaultEnv.h"

#include <cstring>

#include "runtime/SysUtils.h"

namespace dravello {

namespace {

class FaultWritableFile final : public WritableFile {
 public:
  FaultWritableFile(FaultEnv& env, std::string path, std::unique_ptr<WritableFile> target)
      : env_(env), path_(std::move(path)), target_(std::move(target)) {}
  void Append(const char* data, size_t n) override {
    env_.ChargeWrite(path_, n);
    target_->Append(data, n);
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
    size_t got = target_->Read(buf, n);
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

void FaultEnv::ChargeWrite(const std::string& path, size_t n) {
  if (writeBudget_ >= 0 && (!writeFilter_ || writeFilter_(path))) {
    if (static_cast<int64_t>(n) > writeBudget_) {
      writeBudget_ = 0;
      throw EInOutError("Cannot write \"" + path + "\": " + std::strerror(ENOSPC), ENOSPC);
    }
    writeBudget_ -= static_cast<int64_t>(n);
  }
  bytesWritten_ += static_cast<int64_t>(n);
}

void FaultEnv::ChargeRead(const std::string& path, size_t n) {
  if (readBudget_ < 0 || (readFilter_ && !readFilter_(path))) return;
  if (static_cast<int64_t>(n) > readBudget_) {
    readBudget_ = 0;
    throw EInOutError("Cannot read \"" + path + "\": " + std::strerror(EIO), EIO);
  }
  readBudget_ -= static_cast<int64_t>(n);
}

void FaultEnv::RunBeforeRead(const std::string& path) {
  if (!beforeRead_ || (beforeReadFilter_ && !beforeReadFilter_(path))) return;
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
  if (afterRename_) afterRename_(from, to);
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

std::unique_ptr<DynamicLibrary> FaultEnv::OpenLibrary(const std::string& path, std::string* error) {
  if (failWhen_ && failWhen_("load", path)) {
    if (error) *error = "Injected failure: load \"" + path + "\": " + std::strerror(EACCES);
    return nullptr;
  }
  return Target().OpenLibrary(path, error);
}

}  // namespace dravello
