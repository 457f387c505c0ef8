// The platform interface: every operating-system service the program uses goes through Env.
// The build compiles the platform's implementation (env_posix.cpp or env_windows.cpp); tests
// install doubles (see tests/support/FaultEnv.h) with Env::SetDefault.
//
// Paths are texts in the platform's 8-bit code page with PathDelim separators. Unless a method
// says otherwise, failures raise EInOutError (file contents) or EOSError (everything else), both
// carrying the operating system's error number.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/DateTime.h"

namespace dravello {

// DOS file attributes, as the documents and the zip format use them.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faVolumeID = 0x08;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

enum class FileKind : uint8_t {
  Missing,    // nothing under that name (or a dangling symbolic link)
  Regular,    // a regular file, or a symbolic link to one
  Directory,  // a directory, or a symbolic link to one
  Other,      // FIFO, socket, device: never opened by the program
};

// What the file system says about one path (symbolic links followed). Lists of many files keep
// one per file, so the members are ordered to leave no gaps.
struct FileStat {
  int64_t Size = 0;
  int64_t MTimeNs = 0;     // last-write time, nanoseconds since 1970-01-01 UTC
  uint32_t Mode = 0;       // POSIX permission bits; 0 where the platform has none
  FileKind Kind = FileKind::Missing;
  bool IsSymlink = false;  // the name itself is a symbolic link
  bool Exists() const { return Kind != FileKind::Missing; }
  bool SameContentStamp(const FileStat& o) const { return Size == o.Size && MTimeNs == o.MTimeNs; }
};

// One entry of a directory listing ("." and ".." are never listed).
struct DirEntry {
  std::string Name;
  FileKind Kind = FileKind::Missing;  // after following a symbolic link
  bool IsSymlink = false;
};

// A file read from start to end.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to n bytes into buf; returns the number read, 0 at the end of the file.
  virtual size_t Read(char* buf, size_t n) = 0;
};

// A file read at arbitrary positions.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  virtual int64_t Size() = 0;
  // Reads up to n bytes at offset into buf; returns the number read (less only at the end).
  virtual size_t ReadAt(int64_t offset, char* buf, size_t n) = 0;
  // The file's state as it was opened, and as it is now, both told by the open file itself (no
  // name is looked up again). Nothing where the file cannot tell: the caller asks the Env.
  virtual std::optional<FileStat> StatWhenOpened() { return std::nullopt; }
  virtual std::optional<FileStat> StatNow() { return std::nullopt; }
};

// A file being written. Close (or the destructor, which swallows errors) ends the writing; only
// Close reports a failure of the final flush.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual void Append(const char* data, size_t n) = 0;
  void Append(const std::string& s) { Append(s.data(), s.size()); }
  // Makes the data durable (fsync).
  virtual void Sync() = 0;
  virtual void Close() = 0;
};

// A library loaded at run time.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // The address of an exported symbol, or nullptr.
  virtual void* Symbol(const std::string& name) = 0;
  // The full path of the loaded file.
  virtual std::string Path() = 0;
};

struct DriveInfo {
  bool Fixed = true;        // fixed, remote or RAM disk (not removable)
  std::string VolumeLabel;  // empty where there is none
  int64_t FreeBytes = -1;   // -1 when unknown
};

class Env {
 public:
  virtual ~Env() = default;

  // The Env in use: the platform's unless a test installed another.
  static Env& Default();
  // Installs `env` (not owned) as the default; nullptr restores the platform's. Returns the Env
  // installed before (nullptr for the platform's).
  static Env* SetDefault(Env* env);
  // The platform's own Env, whatever is installed.
  static Env& Platform();

  // ---- Names and directories ----
  virtual FileStat Stat(const std::string& path) = 0;
  bool FileExists(const std::string& path) { return Stat(path).Kind == FileKind::Regular; }
  bool DirectoryExists(const std::string& path) { return Stat(path).Kind == FileKind::Directory; }

  // Every entry of a directory in the file system's order. A directory that does not exist gives
  // no entries and no error; one that cannot be read raises EOSError.
  virtual std::vector<DirEntry> ListDirectory(const std::string& dir) = 0;

  // Creates one directory; its parent must exist. Raises EOSError, also when it exists.
  virtual void CreateDir(const std::string& path) = 0;
  // Creates the directory and every missing parent; nothing when it exists.
  void ForceDirectories(const std::string& path);
  virtual void RemoveDir(const std::string& path) = 0;
  virtual void DeleteFile(const std::string& path) = 0;
  // Renames, replacing an existing target (a read-only one too) atomically where the platform
  // can.
  virtual void RenameFile(const std::string& from, const std::string& to) = 0;

  // ---- File contents ----
  virtual std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) = 0;
  virtual std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& path) = 0;
  // Creates or truncates.
  virtual std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) = 0;
  // Appends to an existing file; raises when it does not exist.
  virtual std::unique_ptr<WritableFile> NewAppendableFile(const std::string& path) = 0;
  // A new, empty file beside `path` with a name of its own (the same folder, so that a rename
  // onto `path` is atomic), carrying `path`'s permission bits when `path` exists. Returns its name.
  virtual std::string CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;
  // Copies the bytes of src into the already created file dst (truncating it). Returns the state
  // of src as it was when the copy began, so callers can tell whether it changed meanwhile.
  virtual FileStat CopyFileContents(const std::string& src, const std::string& dst);

  // A file copied under a temporary name beside the place it is going to.
  struct TempCopy {
    std::string TempPath;       // renaming it onto the target completes the copy
    FileStat Source;            // the source as it was read
    uint32_t SourceAttributes;  // the source's DOS attributes, which the copy carries
  };
  // Copies src's bytes, last-write time and DOS attributes (and, where the platform has them,
  // permission bits) into a new temporary file beside `target`, such that once it is renamed onto
  // `target` it carries exactly src's attributes. On failure nothing is left behind and the
  // failure is raised.
  virtual TempCopy CopyToTempBeside(const std::string& src, const std::string& target);
  // Removes from the folder `dir` the temporary files that CreateTempFileBeside and
  // CopyToTempBeside made there for processes that no longer run: what a run killed or crashed
  // midway left behind. With `forName`, only those made for a target of that name. Files of
  // running processes (this one included), files whose owner cannot be told and every other file
  // stay. Never raises: what cannot be removed now is left for the next time. Returns the number
  // of files removed.
  int RemoveStaleTempFiles(const std::string& dir, const std::string& forName = std::string());

  // ---- Times and attributes ----
  virtual void SetFileTime(const std::string& path, int64_t mtimeNs) = 0;
  // The last-write time as a local MS-DOS date-time (clamped into 1980..2107), or -1 when no
  // file of that name exists.
  int32_t FileAge(const std::string& path);
  int32_t FileAgeOf(const FileStat& st);
  // The DOS attributes (faReadOnly ... faArchive, faDirectory for directories), or nothing when
  // the name does not exist.
  virtual std::optional<uint32_t> GetAttributes(const std::string& path) = 0;
  // The same for a file whose state the caller has just asked for (`known`, which exists):
  // saves asking again where the platform keeps attributes apart from the file's state.
  virtual std::optional<uint32_t> GetAttributesOf(const std::string& path, const FileStat& known) {
    (void)known;
    return GetAttributes(path);
  }
  // Sets read-only, hidden, system and archive to exactly `attributes`. Clearing the archive bit
  // records the file's size and last-write time as `asRead` gives them (default: as they are now);
  // a file whose size or time later differs reads as archive-set again, as every write on Windows
  // sets the bit. Returns false when the platform cannot keep an attribute (a file system without
  // extended attributes keeps no archive or system bit); the others are still set.
  virtual bool SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead = nullptr) = 0;
  // Whether the file system holding `path` keeps a cleared archive attribute. Where it does not,
  // the archive bit of every file there always reads as set. True where that cannot be told.
  virtual bool KeepsArchiveAttribute(const std::string& /*path*/) { return true; }

  // ---- Durability ----
  // Makes the entries of the folder `dir` durable: once this returns, the names created, renamed
  // or removed in it survive a power cut. Raises EOSError.
  virtual void SyncDir(const std::string& dir) = 0;
  // Makes everything written so far to the file system that holds `path` durable: file data,
  // names and attributes alike (syncfs on Linux). One call stands for many per-file syncs.
  // Raises EOSError.
  virtual void SyncFileSystem(const std::string& path) = 0;

  // ---- Everything else ----
  // Whether Stat, GetAttributes, GetAttributesOf and LocalTimeOf, and NewRandomAccessFile with
  // the reads of the files it opens, may be called from several threads at once. The platforms'
  // Envs say yes; an Env that keeps state (a test double) says no, and its callers then make
  // those calls from one thread at a time.
  virtual bool LookupsAreThreadSafe() { return false; }
  // Hands memory this process has freed back to the system where its allocator would keep it
  // for later: called between the phases of a large run, so that the working space one phase
  // let go of does not count again in the next one's peak. Nothing else changes.
  virtual void ReleaseFreedMemory() {}
  virtual DriveInfo GetDriveInfo(const std::string& path) = 0;
  // Loads a library by path (or by bare name through the system's search). nullptr on failure,
  // with the system's reason in *error.
  virtual std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& path, std::string* error) = 0;
  // Whether a process with this id exists; true when that cannot be told.
  virtual bool ProcessExists(int64_t pid) = 0;
  // The id of this process, as ProcessExists takes it.
  virtual int64_t ProcessId() = 0;
  // The name of this computer ("" when it has none).
  virtual std::string HostName() = 0;
  // The full path of the running program file.
  virtual std::string ProgramFileName() = 0;
  // The process's current directory, as an absolute path.
  virtual std::string GetCurrentDir() = 0;
  // The value of the process's environment variable `name`; nothing when it is not set.
  virtual std::optional<std::string> EnvironmentVariable(const std::string& name) = 0;
  // Whether this process may create, replace and remove files in the folder `dir`, as the
  // system's permissions say (nothing is written to find out). False when `dir` is no folder.
  virtual bool CanCreateFilesIn(const std::string& dir) = 0;
  // The absolute form of `path`: a relative path is taken from GetCurrentDir(); "." and ".."
  // segments and doubled separators are resolved by their text (no link is followed). The empty
  // path gives the current directory.
  std::string ExpandFileName(const std::string& path);
  // Hands an address to the desktop's default handler; does not wait.
  virtual bool OpenAddress(const std::string& address) = 0;
  // Whether standard output is a terminal.
  virtual bool StdoutIsTerminal() = 0;
  // Whether the desktop's display server accepts a connection now, so that windows can be
  // opened. On POSIX: the Wayland compositor named by WAYLAND_DISPLAY or the X server named by
  // DISPLAY; false when neither is named or neither answers (a stale DISPLAY in a scheduler's
  // environment, a closed remote session). True where the desktop is always there.
  virtual bool DisplayAnswers() = 0;
  // Local time of a last-write time, for MS-DOS date-times and zip entries.
  virtual TDateTimeParts LocalTimeOf(int64_t mtimeNs) = 0;
};

// Reads a whole file (EInOutError on failure).
std::string ReadFileToString(Env& env, const std::string& path);

// Replaces `path` with `data` so that at every moment the file is either the old or the new
// content, also across a power cut: writes a temporary file beside it, syncs it, renames it over
// `path` and syncs the folder. On a failure before the rename the temporary file is removed, the
// old file is untouched, and the failure is raised; a failure to sync the folder is raised too
// (the new content is then in place but not known to be durable).
void WriteFileAtomically(Env& env, const std::string& path, const std::string& data);
// The same with the content written by `write` into the temporary file.
void WriteFileAtomically(Env& env, const std::string& path, const std::function<void(WritableFile&)>& write);

// The name of a temporary file that process `pid` on computer `host` makes beside `target`: in
// target's folder, ".<target's name>.dvtmp<pid>-<serial>-<nonce>@<host>". The dot hides it; the
// host and the process id tell, after a crash, whether its maker still runs. Two computers writing
// through one network share thus never take each other's files for abandoned. The host is
// reduced to letters, digits, "-" and "_" (others become "_"), at most 63 of them; without one the
// name ends after the nonce.
std::string TempFileNameBeside(const std::string& target, int64_t pid, uint64_t serial, uint32_t nonce,
                               const std::string& host = "");
// The host part TempFileNameBeside writes for `host`.
std::string TempNameHost(const std::string& host);
// Reads a bare file name made by TempFileNameBeside: the target's name, the maker's process id
// and host part ("" for names without one, as older versions made them). False for any other name.
bool ParseTempFileName(const std::string& name, std::string* targetName, int64_t* pid, std::string* host = nullptr);

// Forwards every call to another Env; doubles derive from it and override what they change.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env& target) : target_(target) {}
  Env& Target() { return target_; }

  FileStat Stat(const std::string& p) override { return target_.Stat(p); }
  std::vector<DirEntry> ListDirectory(const std::string& d) override { return target_.ListDirectory(d); }
  void CreateDir(const std::string& p) override { target_.CreateDir(p); }
  void RemoveDir(const std::string& p) override { target_.RemoveDir(p); }
  void DeleteFile(const std::string& p) override { target_.DeleteFile(p); }
  void RenameFile(const std::string& f, const std::string& t) override { target_.RenameFile(f, t); }
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& p) override { return target_.NewSequentialFile(p); }
  std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& p) override { return target_.NewRandomAccessFile(p); }
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& p) override { return target_.NewWritableFile(p); }
  std::unique_ptr<WritableFile> NewAppendableFile(const std::string& p) override { return target_.NewAppendableFile(p); }
  std::string CreateTempFileBeside(const std::string& p, std::unique_ptr<WritableFile>* f) override {
    return target_.CreateTempFileBeside(p, f);
  }
  void SetFileTime(const std::string& p, int64_t t) override { target_.SetFileTime(p, t); }
  std::optional<uint32_t> GetAttributes(const std::string& p) override { return target_.GetAttributes(p); }
  std::optional<uint32_t> GetAttributesOf(const std::string& p, const FileStat& k) override {
    return target_.GetAttributesOf(p, k);
  }
  bool SetAttributes(const std::string& p, uint32_t a, const FileStat* r = nullptr) override { return target_.SetAttributes(p, a, r); }
  bool KeepsArchiveAttribute(const std::string& p) override { return target_.KeepsArchiveAttribute(p); }
  void SyncDir(const std::string& d) override { target_.SyncDir(d); }
  void SyncFileSystem(const std::string& p) override { target_.SyncFileSystem(p); }
  DriveInfo GetDriveInfo(const std::string& p) override { return target_.GetDriveInfo(p); }
  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& p, std::string* e) override { return target_.OpenLibrary(p, e); }
  bool ProcessExists(int64_t pid) override { return target_.ProcessExists(pid); }
  int64_t ProcessId() override { return target_.ProcessId(); }
  std::string HostName() override { return target_.HostName(); }
  std::string ProgramFileName() override { return target_.ProgramFileName(); }
  std::string GetCurrentDir() override { return target_.GetCurrentDir(); }
  std::optional<std::string> EnvironmentVariable(const std::string& n) override { return target_.EnvironmentVariable(n); }
  bool CanCreateFilesIn(const std::string& d) override { return target_.CanCreateFilesIn(d); }
  bool OpenAddress(const std::string& a) override { return target_.OpenAddress(a); }
  bool StdoutIsTerminal() override { return target_.StdoutIsTerminal(); }
  bool DisplayAnswers() override { return target_.DisplayAnswers(); }
  void ReleaseFreedMemory() override { target_.ReleaseFreedMemory(); }
  TDateTimeParts LocalTimeOf(int64_t t) override { return target_.LocalTimeOf(t); }
  // CopyFileContents and CopyToTempBeside are deliberately not forwarded: the portable copies
  // run through this Env's own file objects, so a double that fails writes also fails copies.

 private:
  Env& target_;
};

// Installs an Env for the lifetime of a scope; the one installed before comes back at its end,
// so scopes nest.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env& env) : previous_(Env::SetDefault(&env)) {}
  ~ScopedEnv() { Env::SetDefault(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace dravello
