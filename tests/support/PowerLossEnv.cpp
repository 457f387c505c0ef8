#include "tests/support/PowerLossEnv.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "runtime/SysUtils.h"

namespace dravello::testing {

namespace {

[[noreturn]] void PowerIsOff(const std::string& path) { throw EOSError("The power is off: \"" + path + "\"", EIO); }

std::string FolderOf(const std::string& path) { return IncludeTrailingPathDelimiter(ExtractFilePath(path)); }

// A file being written: its writes and syncs are changes of the disk.
class PowerLossFile : public WritableFile {
 public:
  PowerLossFile(PowerLossEnv& env, std::string path, std::unique_ptr<WritableFile> file)
      : env_(env), path_(std::move(path)), file_(std::move(file)) {}
  void Append(const char* data, size_t n) override {
    env_.Change("write");
    file_->Append(data, n);
  }
  void Sync() override {
    env_.Change("sync");
    file_->Sync();
    env_.SyncedData(path_);
  }
  void Close() override {
    env_.Alive();
    file_->Close();
  }

 private:
  PowerLossEnv& env_;
  std::string path_;
  std::unique_ptr<WritableFile> file_;
};

}  // namespace

void PowerLossEnv::Alive() {
  if (lost_) PowerIsOff("");
}

void PowerLossEnv::Change(const std::string& what) {
  Alive();
  ++changes_;
  if (cutAt_ > 0 && changes_ == cutAt_) {
    LosePower();
    throw EOSError("The power failed before a " + what, EIO);
  }
}

PowerLossEnv::Content PowerLossEnv::Snapshot(const std::string& path) {
  Content c;
  c.Data = ReadFileToString(Target(), path);
  const FileStat st = Target().Stat(path);
  c.MTimeNs = st.MTimeNs;
  c.Mode = st.Mode;
  return c;
}

int PowerLossEnv::NewFile() {
  files_.push_back(Content{});
  return static_cast<int>(files_.size()) - 1;
}

PowerLossEnv::Binding& PowerLossEnv::Track(const std::string& path) {
  auto it = names_.find(path);
  if (it != names_.end()) return it->second;
  Binding b;
  if (Target().Stat(path).Kind == FileKind::Regular) {
    b.Current = b.Durable = NewFile();
    files_[static_cast<size_t>(b.Current)] = Snapshot(path);
  }
  return names_.emplace(path, b).first->second;
}

void PowerLossEnv::SyncedData(const std::string& path) {
  const Binding& b = Track(path);
  if (b.Current >= 0) files_[static_cast<size_t>(b.Current)] = Snapshot(path);
}

void PowerLossEnv::LosePower() {
  lost_ = true;
  Env& disk = Target();
  for (const auto& [name, b] : names_) {
    try {
      if (b.Durable < 0) {
        if (disk.Stat(name).Exists()) disk.DeleteFile(name);
        continue;
      }
      const Content& c = files_[static_cast<size_t>(b.Durable)];
      if (b.Durable == b.Current && disk.Stat(name).Exists() && ReadFileToString(disk, name) == c.Data &&
          disk.Stat(name).MTimeNs == c.MTimeNs)
        continue;
      if (!disk.DirectoryExists(ExtractFilePath(name))) continue;  // its folder goes anyway
      std::unique_ptr<WritableFile> f = disk.NewWritableFile(name);
      f->Append(c.Data);
      f->Close();
      disk.SetFileTime(name, c.MTimeNs);
      if (c.Mode) std::filesystem::permissions(name, static_cast<std::filesystem::perms>(c.Mode & 07777));
    } catch (const std::exception&) {
      // A name that cannot be put back stays as it is; the trial's checks will say so.
    }
  }
  // Folders whose creation never reached the disk go with everything in them, deepest first.
  std::vector<std::string> lostDirs;
  for (const auto& [dir, durable] : createdDirs_)
    if (!durable) lostDirs.push_back(dir);
  std::sort(lostDirs.begin(), lostDirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& dir : lostDirs) {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
}

FileStat PowerLossEnv::Stat(const std::string& path) {
  if (lost_) PowerIsOff(path);
  return EnvWrapper::Stat(path);
}

std::vector<DirEntry> PowerLossEnv::ListDirectory(const std::string& dir) {
  if (lost_) PowerIsOff(dir);
  return EnvWrapper::ListDirectory(dir);
}

void PowerLossEnv::CreateDir(const std::string& path) {
  Change("mkdir");
  EnvWrapper::CreateDir(path);
  createdDirs_[ExcludeTrailingPathDelimiter(path)] = false;
}

void PowerLossEnv::RemoveDir(const std::string& path) {
  Change("rmdir");
  EnvWrapper::RemoveDir(path);
  createdDirs_.erase(ExcludeTrailingPathDelimiter(path));
}

void PowerLossEnv::DeleteFile(const std::string& path) {
  Change("delete");
  Track(path);
  EnvWrapper::DeleteFile(path);
  names_[path].Current = -1;
}

void PowerLossEnv::RenameFile(const std::string& from, const std::string& to) {
  Change("rename");
  Track(from);
  Track(to);
  EnvWrapper::RenameFile(from, to);
  names_[to].Current = names_[from].Current;
  names_[from].Current = -1;
}

std::unique_ptr<SequentialFile> PowerLossEnv::NewSequentialFile(const std::string& path) {
  if (lost_) PowerIsOff(path);
  return EnvWrapper::NewSequentialFile(path);
}

std::unique_ptr<RandomAccessFile> PowerLossEnv::NewRandomAccessFile(const std::string& path) {
  if (lost_) PowerIsOff(path);
  return EnvWrapper::NewRandomAccessFile(path);
}

std::unique_ptr<WritableFile> PowerLossEnv::NewWritableFile(const std::string& path) {
  Change("create");
  Binding& b = Track(path);
  std::unique_ptr<WritableFile> file = EnvWrapper::NewWritableFile(path);
  if (b.Current < 0) b.Current = NewFile();  // durably an empty file once its name is
  return std::make_unique<PowerLossFile>(*this, path, std::move(file));
}

std::unique_ptr<WritableFile> PowerLossEnv::NewAppendableFile(const std::string& path) {
  if (lost_) PowerIsOff(path);
  Track(path);
  return std::make_unique<PowerLossFile>(*this, path, EnvWrapper::NewAppendableFile(path));
}

std::string PowerLossEnv::CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) {
  Change("create");
  std::unique_ptr<WritableFile> inner;
  const std::string temp = EnvWrapper::CreateTempFileBeside(path, &inner);
  Binding b;
  b.Current = NewFile();
  names_[temp] = b;
  *file = std::make_unique<PowerLossFile>(*this, temp, std::move(inner));
  return temp;
}

void PowerLossEnv::SetFileTime(const std::string& path, int64_t mtimeNs) {
  Change("time");
  Track(path);
  EnvWrapper::SetFileTime(path, mtimeNs);
}

std::optional<uint32_t> PowerLossEnv::GetAttributes(const std::string& path) {
  if (lost_) PowerIsOff(path);
  return EnvWrapper::GetAttributes(path);
}

std::optional<uint32_t> PowerLossEnv::GetAttributesOf(const std::string& path, const FileStat& known) {
  if (lost_) PowerIsOff(path);
  return EnvWrapper::GetAttributesOf(path, known);
}

bool PowerLossEnv::SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead) {
  Change("attributes");
  return EnvWrapper::SetAttributes(path, attributes, asRead);
}

void PowerLossEnv::SyncDir(const std::string& dir) {
  Change("folder sync");
  EnvWrapper::SyncDir(dir);
  const std::string folder = IncludeTrailingPathDelimiter(dir);
  for (auto& [name, b] : names_)
    if (FolderOf(name) == folder) b.Durable = b.Current;
  for (auto& [created, durable] : createdDirs_)
    if (FolderOf(created) == folder) durable = true;
}

void PowerLossEnv::SyncFileSystem(const std::string& path) {
  Change("file system sync");
  EnvWrapper::SyncFileSystem(path);
  for (auto& [name, b] : names_) {
    if (b.Current >= 0) files_[static_cast<size_t>(b.Current)] = Snapshot(name);
    b.Durable = b.Current;
  }
  for (auto& [created, durable] : createdDirs_) durable = true;
}

}  // namespace dravello::testing
