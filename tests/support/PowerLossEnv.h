// An Env that loses power on demand, for trials of what a backup leaves on the disk when the
// machine goes off in the middle of it.
//
// It forwards every call to a real Env and remembers, for every file and folder it has seen
// change, what the disk holds durably:
// - a file's data is durable once its WritableFile was synced (or the whole file system was);
// - a name (a file created, renamed or removed) is durable once its folder was synced;
// - a folder it created is durable once its parent was synced;
// - a sync of the file system makes everything durable.
// Losing power undoes on the disk exactly what is not durable: data written since the last sync
// of its file is dropped, names go back to the files they named at the last sync of their
// folder, folders created since are removed with all they hold. DOS attributes and the archive
// bit are the exception on purpose: their changes are taken as durable at once, the worst case
// for a backup tool, which must not clear a source's archive bit before its copy is safe.
//
// After the power is lost every call fails with EIO: the process is gone, whatever it still
// tries to do. A trial then checks the disk as the next start of the program would find it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/Env.h"

namespace dravello::testing {

class PowerLossEnv : public EnvWrapper {
 public:
  explicit PowerLossEnv(Env& target) : EnvWrapper(target) {}

  // Power fails just before the `n`-th change to the disk from the start (counted from 1); 0
  // never. A change is a write, a sync, a creation, a rename, a removal, a time or attribute set.
  void CutAt(int64_t n) { cutAt_ = n; }
  // The changes made so far; a run without a cut tells how many cut points a scenario has.
  int64_t Changes() const { return changes_; }
  bool PowerLost() const { return lost_; }
  // Undoes on the disk what is not durable, and stops: every later call fails.
  void LosePower();

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
  void SetFileTime(const std::string& path, int64_t mtimeNs) override;
  std::optional<uint32_t> GetAttributes(const std::string& path) override;
  std::optional<uint32_t> GetAttributesOf(const std::string& path, const FileStat& known) override;
  bool SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead = nullptr) override;
  void SyncDir(const std::string& dir) override;
  void SyncFileSystem(const std::string& path) override;

  // Used by the file wrapper.
  void Change(const std::string& what);
  void SyncedData(const std::string& path);
  void Alive();

 private:
  // What a file holds on the disk.
  struct Content {
    std::string Data;
    int64_t MTimeNs = 0;
    uint32_t Mode = 0644;
  };
  // A name and the file (an index into files_, -1: none) it names now and durably.
  struct Binding {
    int Current = -1;
    int Durable = -1;
  };

  Content Snapshot(const std::string& path);
  // Starts tracking a name: what it names now is taken as durable.
  Binding& Track(const std::string& path);
  int NewFile();

  std::vector<Content> files_;  // each file's durable content
  std::map<std::string, Binding> names_;
  std::map<std::string, bool> createdDirs_;  // folder -> durable
  int64_t changes_ = 0;
  int64_t cutAt_ = 0;
  bool lost_ = false;
};

}  // namespace dravello::testing
