#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/PosixEnv.h"
#include "runtime/SysUtils.h"

extern char** environ;

namespace dravello {

namespace {

std::string ErrorText(int err) { return std::strerror(err); }

[[noreturn]] void ThrowOS(const std::string& what, const std::string& path, int err = errno) {
  throw EOSError(what + " \"" + path + "\": " + ErrorText(err), err);
}

// This computer's name, asked once: every temporary name and every tidying pass needs it.
const std::string& LocalHostName() {
  static const std::string host = [] {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
  }();
  return host;
}

[[noreturn]] void ThrowIO(const std::string& what, const std::string& path, int err = errno) {
  throw EInOutError(what + " \"" + path + "\": " + ErrorText(err), err);
}

int64_t MTimeNsOf(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Directory;
  return FileKind::Other;
}

FileStat ToFileStat(const struct stat& st) {
  FileStat fs;
  fs.Kind = KindOf(st.st_mode);
  fs.Size = st.st_size;
  fs.MTimeNs = MTimeNsOf(st);
  fs.Mode = st.st_mode & 07777;
  return fs;
}

// Opens for reading without blocking on a FIFO, and refuses anything that is not a regular file.
int OpenRegularForRead(const std::string& path, struct stat* st) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowIO("Cannot open", path);
  if (::fstat(fd, st) != 0) {
    int err = errno;
    ::close(fd);
    ThrowIO("Cannot read", path, err);
  }
  if (!S_ISREG(st->st_mode)) {
    ::close(fd);
    ThrowIO("Not a regular file", path, EINVAL);
  }
  // O_NONBLOCK stays: it only kept the open from hanging on a FIFO, and reads of a regular file
  // never block on it anyway. Clearing it would cost two calls for every file a run reads.
  return fd;
}

class PosixSequentialFile final : public SequentialFile {
 public:
  PosixSequentialFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixSequentialFile() override { ::close(fd_); }
  size_t Read(char* buf, size_t n) override {
    for (;;) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR) ThrowIO("Cannot read", path_);
    }
  }

 private:
  std::string path_;
  int fd_;
};

class PosixRandomAccessFile final : public RandomAccessFile {
 public:
  PosixRandomAccessFile(std::string path, int fd, const struct stat& opened)
      : path_(std::move(path)), fd_(fd), opened_(ToFileStat(opened)) {}
  ~PosixRandomAccessFile() override { ::close(fd_); }
  int64_t Size() override { return opened_.Size; }
  std::optional<FileStat> StatWhenOpened() override { return opened_; }
  std::optional<FileStat> StatNow() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) ThrowIO("Cannot read", path_);
    return ToFileStat(st);
  }
  size_t ReadAt(int64_t offset, char* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, buf + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (r == 0) break;
      if (r < 0) {
        if (errno == EINTR) continue;
        ThrowIO("Cannot read", path_);
      }
      done += static_cast<size_t>(r);
    }
    return done;
  }

 private:
  std::string path_;
  int fd_;
  FileStat opened_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void Append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        ThrowIO("Cannot write", path_);
      }
      data += w;
      n -= static_cast<size_t>(w);
    }
  }
  void Sync() override {
    if (::fsync(fd_) != 0) ThrowIO("Cannot flush", path_);
  }
  void Close() override {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) ThrowIO("Cannot close", path_);
  }

 private:
  std::string path_;
  int fd_;
};

class PosixDynamicLibrary final : public DynamicLibrary {
 public:
  explicit PosixDynamicLibrary(void* handle) : handle_(handle) {}
  ~PosixDynamicLibrary() override { ::dlclose(handle_); }
  void* Symbol(const std::string& name) override { return ::dlsym(handle_, name.c_str()); }
  std::string Path() override {
    struct link_map* map = nullptr;
    if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) {
      char resolved[PATH_MAX];
      if (::realpath(map->l_name, resolved)) return resolved;
      return map->l_name;
    }
    return std::string();
  }

 private:
  void* handle_;
};

class SystemClock final : public Clock {
 public:
  TDateTimeParts Now() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return Env::Platform().LocalTimeOf(static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
  }
  uint32_t TickCount() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
  }
};

bool NameIsDotted(const std::string& path) {
  std::string name = ExtractFileName(ExcludeTrailingPathDelimiter(path));
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

}  // namespace

Clock& SystemClockInstance() {
  static SystemClock clock;
  return clock;
}

Env& Env::Platform() {
  static PosixEnv env;
  return env;
}

// ---- Names and directories ----

FileStat PosixEnv::Stat(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return FileStat{};
  if (!S_ISLNK(st.st_mode)) return ToFileStat(st);
  FileStat fs;
  fs.IsSymlink = true;
  if (::stat(path.c_str(), &st) == 0) {
    fs = ToFileStat(st);
    fs.IsSymlink = true;
  }
  return fs;
}

std::vector<DirEntry> PosixEnv::ListDirectory(const std::string& dir) {
  std::vector<DirEntry> entries;
  std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(dir.c_str()), ::closedir);
  DIR* d = handle.get();
  if (!d) {
    if (errno == ENOENT || errno == ENOTDIR) return entries;
    ThrowOS("Cannot list directory", dir);
  }
  std::string base = IncludeTrailingPathDelimiter(dir);
  errno = 0;
  while (struct dirent* e = ::readdir(d)) {
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    DirEntry entry;
    entry.Name = name;
    switch (e->d_type) {
      case DT_REG: entry.Kind = FileKind::Regular; break;
      case DT_DIR: entry.Kind = FileKind::Directory; break;
      case DT_FIFO:
      case DT_SOCK:
      case DT_CHR:
      case DT_BLK: entry.Kind = FileKind::Other; break;
      default: {  // a symbolic link, or a file system that does not fill in d_type
        FileStat st = Stat(base + entry.Name);
        entry.Kind = st.Kind;
        entry.IsSymlink = st.IsSymlink;
      }
    }
    entries.push_back(std::move(entry));
    errno = 0;
  }
  if (errno != 0) ThrowOS("Cannot list directory", dir);
  return entries;
}

void PosixEnv::CreateDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) ThrowOS("Cannot create directory", path);
}

void PosixEnv::RemoveDir(const std::string& path) {
  if (::rmdir(path.c_str()) != 0) ThrowOS("Cannot remove directory", path);
}

void PosixEnv::DeleteFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) ThrowOS("Cannot delete", path);
}

void PosixEnv::RenameFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    int err = errno;
    throw EOSError("Cannot rename \"" + from + "\" to \"" + to + "\": " + ErrorText(err), err);
  }
}

// ---- File contents ----

std::unique_ptr<SequentialFile> PosixEnv::NewSequentialFile(const std::string& path) {
  struct stat st;
  int fd = OpenRegularForRead(path, &st);
  return std::make_unique<PosixSequentialFile>(path, fd);
}

std::unique_ptr<RandomAccessFile> PosixEnv::NewRandomAccessFile(const std::string& path) {
  struct stat st;
  int fd = OpenRegularForRead(path, &st);
  return std::make_unique<PosixRandomAccessFile>(path, fd, st);
}

std::unique_ptr<WritableFile> PosixEnv::NewWritableFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowIO("Cannot create", path);
  return std::make_unique<PosixWritableFile>(path, fd);
}

std::unique_ptr<WritableFile> PosixEnv::NewAppendableFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) ThrowIO("Cannot open", path);
  return std::make_unique<PosixWritableFile>(path, fd);
}

namespace {

// Creates a new, empty file beside `path` with a name of its own and returns its descriptor.
int OpenTempBeside(const std::string& path, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 rng{std::random_device{}()};
  const std::string& host = LocalHostName();
  for (int attempt = 0;; ++attempt) {
    // The process id is read each time: a forked child must not make names in its parent's.
    *temp = TempFileNameBeside(path, ::getpid(), counter++, static_cast<uint32_t>(rng() % 100000), host);
    // 0666 lets the umask decide, as for any new file.
    int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST || attempt >= 100) ThrowIO("Cannot create a temporary file for", path);
  }
}

// Copies everything from `in` (at its start) to `out`. The kernel copies without a round trip
// through user space where it can; any file system that refuses falls back to plain reads and
// writes. Some file systems answer "nothing to copy" for files that do have content, so an
// empty first answer is checked with a plain read.
void CopyBytes(int in, int out, const std::string& src, const std::string& dst) {
  bool kernelCopy = true;
  int64_t copied = 0;
  for (;;) {
    ssize_t n;
    if (kernelCopy) {
      n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
      if (n < 0 && errno == EINTR) continue;
      if ((n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) ||
          (n == 0 && copied == 0)) {
        kernelCopy = false;
        continue;
      }
      if (n < 0) ThrowIO("Cannot copy to", dst);
      copied += n;
    } else {
      static thread_local std::vector<char> buf(1 << 20);
      n = ::read(in, buf.data(), buf.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        ThrowIO("Cannot read", src);
      }
      for (ssize_t done = 0; done < n;) {
        ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
        if (w < 0) {
          if (errno == EINTR) continue;
          ThrowIO("Cannot write", dst);
        }
        done += w;
      }
    }
    if (n == 0) break;
  }
}

struct timespec ToTimespec(int64_t ns) {
  struct timespec t;
  t.tv_sec = static_cast<time_t>(ns / 1000000000);
  t.tv_nsec = static_cast<long>(ns % 1000000000);
  if (t.tv_nsec < 0) {
    t.tv_nsec += 1000000000;
    t.tv_sec -= 1;
  }
  return t;
}

}  // namespace

std::string PosixEnv::CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) {
  struct stat target;
  bool haveTarget = ::stat(path.c_str(), &target) == 0;
  std::string temp;
  int fd = OpenTempBeside(path, &temp);
  if (haveTarget) ::fchmod(fd, target.st_mode & 07777);
  *file = std::make_unique<PosixWritableFile>(temp, fd);
  return temp;
}

Env::TempCopy PosixEnv::CopyToTempBeside(const std::string& src, const std::string& target) {
  struct stat st;
  int in = OpenRegularForRead(src, &st);
  TempCopy copy;
  copy.Source = ToFileStat(st);
  int out = -1;
  try {
    copy.SourceAttributes = AttributesOf(src, copy.Source) & ~faDirectory;
    out = OpenTempBeside(target, &copy.TempPath);
    CopyBytes(in, out, src, copy.TempPath);
    // Attributes are stored while the copy is still writable; the permission bits come last.
    StoreNewFileBits(copy.TempPath, target, copy.SourceAttributes, copy.Source);
    const struct timespec times[2] = {{0, UTIME_OMIT}, ToTimespec(copy.Source.MTimeNs)};
    if (::futimens(out, times) != 0) ThrowOS("Cannot set the time of", copy.TempPath);
    mode_t mode = st.st_mode & 07777;
    if (copy.SourceAttributes & faReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    if (::fchmod(out, mode) != 0) ThrowOS("Cannot set attributes of", copy.TempPath);
    int fd = out;
    out = -1;
    if (::close(fd) != 0) ThrowIO("Cannot close", copy.TempPath);
    ::close(in);
    return copy;
  } catch (...) {
    if (out >= 0) ::close(out);
    ::close(in);
    if (!copy.TempPath.empty()) ::unlink(copy.TempPath.c_str());
    throw;
  }
}

FileStat PosixEnv::CopyFileContents(const std::string& src, const std::string& dst) {
  struct stat st;
  int in = OpenRegularForRead(src, &st);
  FileStat before = ToFileStat(st);
  // Truncated only once it is known not to be the source itself (the same name, a hard link
  // or a symbolic link to it): truncating first would destroy the very bytes to be copied.
  int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (out < 0) {
    int err = errno;
    ::close(in);
    ThrowIO("Cannot create", dst, err);
  }
  auto fail = [&](const std::string& what, const std::string& path, int err) {
    ::close(in);
    ::close(out);
    ThrowIO(what, path, err);
  };
  struct stat target;
  if (::fstat(out, &target) != 0) fail("Cannot create", dst, errno);
  if (target.st_dev == st.st_dev && target.st_ino == st.st_ino) fail("Cannot copy a file onto itself", dst, EINVAL);
  if (::ftruncate(out, 0) != 0) fail("Cannot write", dst, errno);
  try {
    CopyBytes(in, out, src, dst);
  } catch (...) {
    ::close(in);
    ::close(out);
    throw;
  }
  ::close(in);
  if (::close(out) != 0) ThrowIO("Cannot close", dst);
  return before;
}

// ---- Times and attributes ----

void PosixEnv::SetFileTime(const std::string& path, int64_t mtimeNs) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = ToTimespec(mtimeNs);
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) ThrowOS("Cannot set the time of", path);
}

ssize_t PosixEnv::GetXattr(const std::string& path, const char* name, char* buf, size_t size) {
  return ::getxattr(path.c_str(), name, buf, size);
}

int PosixEnv::SetXattr(const std::string& path, const char* name, const std::string& value) {
  return ::setxattr(path.c_str(), name, value.data(), value.size(), 0);
}

int PosixEnv::RemoveXattr(const std::string& path, const char* name) { return ::removexattr(path.c_str(), name); }

std::optional<uint32_t> PosixEnv::ReadStoredBits(const std::string& path, bool* unsupported) {
  // Newer file servers follow the text with a binary block, so the value can be long; only the
  // text before the first NUL matters.
  std::vector<char> buf(256);
  ssize_t n = GetXattr(path, kDosAttribName, buf.data(), buf.size());
  if (n < 0 && errno == ERANGE) {
    ssize_t size = GetXattr(path, kDosAttribName, nullptr, 0);
    if (size > 0) {
      buf.resize(static_cast<size_t>(size));
      n = GetXattr(path, kDosAttribName, buf.data(), buf.size());
    }
  }
  *unsupported = n < 0 && (errno == ENOTSUP || errno == EOPNOTSUPP);
  if (n < 0) return std::nullopt;
  // Samba stores the text with its terminating NUL; anything after a NUL is not part of it.
  std::string text(buf.data(), static_cast<size_t>(n));
  if (size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  // The text form "0x20". Anything else counts as "nothing stored".
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  char* end = nullptr;
  unsigned long bits = std::strtoul(text.c_str() + 2, &end, 16);
  if (end == text.c_str() + 2) return std::nullopt;
  return static_cast<uint32_t>(bits);
}

PosixEnv::ClearedRecord PosixEnv::ReadClearedRecord(const std::string& path, const FileStat& st) {
  // One look-up: a record too long for the buffer is there all the same, and is no record of
  // this state of the file.
  char buf[64];
  const ssize_t n = GetXattr(path, kClearedName, buf, sizeof buf - 1);
  if (n < 0) return errno == ERANGE ? ClearedRecord::ForAnotherState : ClearedRecord::None;
  buf[n] = 0;
  long long mtime = 0, size = 0;
  if (std::sscanf(buf, "%lld %lld", &mtime, &size) != 2) return ClearedRecord::ForAnotherState;
  return mtime == st.MTimeNs && size == st.Size ? ClearedRecord::ForThisState : ClearedRecord::ForAnotherState;
}

std::optional<uint32_t> PosixEnv::GetAttributes(const std::string& path) {
  FileStat st = Stat(path);
  if (!st.Exists()) return std::nullopt;
  return AttributesOf(path, st);
}

std::optional<uint32_t> PosixEnv::GetAttributesOf(const std::string& path, const FileStat& known) {
  if (!known.Exists()) return std::nullopt;
  return AttributesOf(path, known);
}

uint32_t PosixEnv::AttributesOf(const std::string& path, const FileStat& st) {
  uint32_t attrs = 0;
  if (st.Kind == FileKind::Directory) attrs |= faDirectory;
  if ((st.Mode & S_IWUSR) == 0) attrs |= faReadOnly;
  if (NameIsDotted(path)) attrs |= faHidden;
  bool unsupported = false;
  std::optional<uint32_t> stored = ReadStoredBits(path, &unsupported);
  if (!stored) {
    // Never cleared (or no way to store it): the archive bit is set, as for any new file.
    if (st.Kind != FileKind::Directory) attrs |= faArchive;
    return attrs;
  }
  attrs |= *stored & (faHidden | faSysFile);
  if (st.Kind != FileKind::Directory) {
    bool archive = (*stored & faArchive) != 0;
    if (!archive) {
      // Cleared by us: the bit comes back when the file changed. Cleared by Samba or Wine (no
      // record of ours): trust their bit.
      archive = ReadClearedRecord(path, st) == ClearedRecord::ForAnotherState;
    }
    if (archive) attrs |= faArchive;
  } else {
    attrs |= *stored & faArchive;
  }
  return attrs;
}

bool PosixEnv::SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead) {
  FileStat st = Stat(path);
  if (!st.Exists()) ThrowOS("Cannot set attributes of", path, ENOENT);
  const bool isDir = st.Kind == FileKind::Directory;
  const uint32_t bits = attributes & (faReadOnly | faHidden | faSysFile | faArchive);

  mode_t finalMode = st.Mode;
  if (bits & faReadOnly)
    finalMode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    finalMode |= S_IWUSR;
  mode_t mode = st.Mode;
  auto chmodTo = [&](mode_t m) {
    if (m != mode && ::chmod(path.c_str(), m) != 0) ThrowOS("Cannot set attributes of", path);
    mode = m;
  };

  // What the name reads as with nothing stored: hidden when dotted, archive for a file. When the
  // request is exactly that, nothing needs storing, which keeps copies of plain files free of
  // extended attributes.
  const uint32_t implicit = (NameIsDotted(path) ? faHidden : 0u) | (isDir ? 0u : faArchive);
  const bool keptWithoutStore = (bits & ~faReadOnly) == implicit;
  bool unsupported = false;
  std::optional<uint32_t> stored = ReadStoredBits(path, &unsupported);
  if (unsupported || (!stored && keptWithoutStore)) {
    chmodTo(finalMode);
    return keptWithoutStore;
  }

  // Extended attributes of a file need write permission on it, which a read-only file lacks:
  // the owner's write bit is lent for the update and the final permissions set afterwards.
  chmodTo(mode | S_IWUSR);
  try {
    const bool supported = StoreBits(path, bits, isDir, asRead ? *asRead : st);
    chmodTo(finalMode);
    return supported || keptWithoutStore;
  } catch (...) {
    try {
      chmodTo(st.Mode);
    } catch (...) {
    }
    throw;
  }
}

bool PosixEnv::KeepsArchiveAttribute(const std::string& path) {
  char none[1];
  if (GetXattr(path, kDosAttribName, none, 0) >= 0) return true;
  return errno != ENOTSUP && errno != EOPNOTSUPP;
}

bool PosixEnv::StoreNewFileBits(const std::string& path, const std::string& nameAs, uint32_t bits,
                                const FileStat& stamp) {
  bits &= faReadOnly | faHidden | faSysFile | faArchive;
  const uint32_t implicit = (NameIsDotted(nameAs) ? faHidden : 0u) | faArchive;
  if ((bits & ~faReadOnly) == implicit) return true;
  return StoreBits(path, bits, false, stamp);
}

bool PosixEnv::StoreBits(const std::string& path, uint32_t bits, bool isDir, const FileStat& stamp) {
  auto store = [&](const char* name, const std::string& value) {
    if (SetXattr(path, name, value) == 0) return true;
    if (errno == ENOTSUP || errno == EOPNOTSUPP) return false;
    ThrowOS("Cannot set attributes of", path);
  };
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", bits);
  if ((bits & faArchive) || isDir) {
    const bool supported = store(kDosAttribName, text);
    if (supported) RemoveXattr(path, kClearedName);
    return supported;
  }
  // The record goes first: a cleared bit without our record would be taken for one cleared by
  // another tool and never come back when the file changes.
  return store(kClearedName, std::to_string(stamp.MTimeNs) + " " + std::to_string(stamp.Size)) &&
         store(kDosAttribName, text);
}

// ---- Everything else ----

void PosixEnv::SyncDir(const std::string& dir) {
  int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowOS("Cannot open the folder to sync", dir);
  // Some file systems (network ones among them) cannot sync a folder and say so with EINVAL:
  // their entries are as durable as they can make them.
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0 && err != EINVAL) ThrowOS("Cannot sync the folder", dir, err);
}

void PosixEnv::SyncFileSystem(const std::string& path) {
  int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowOS("Cannot open to sync its file system", path);
  const int rc = ::syncfs(fd);
  const int err = errno;
  ::close(fd);
  if (rc != 0) ThrowOS("Cannot sync the file system of", path, err);
}

DriveInfo PosixEnv::GetDriveInfo(const std::string& path) {
  DriveInfo info;
  struct statvfs vfs;
  if (::statvfs(path.c_str(), &vfs) == 0) info.FreeBytes = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  return info;
}

namespace {

bool ReadAllAt(int fd, void* buf, size_t n, uint64_t offset) {
  return ::pread(fd, buf, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

template <class Ehdr, class Phdr>
bool SegmentsInside(int fd, uint64_t fileSize) {
  Ehdr eh;
  if (!ReadAllAt(fd, &eh, sizeof eh, 0)) return false;
  // A header the loader will refuse anyway is left to it.
  if (eh.e_phentsize != sizeof(Phdr)) return true;
  const uint64_t table = static_cast<uint64_t>(eh.e_phnum) * sizeof(Phdr);
  if (eh.e_phoff > fileSize || table > fileSize - eh.e_phoff) return false;
  for (unsigned i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    if (!ReadAllAt(fd, &ph, sizeof ph, eh.e_phoff + uint64_t{i} * sizeof(Phdr))) return false;
    if (ph.p_type == PT_LOAD && (ph.p_offset > fileSize || ph.p_filesz > fileSize - ph.p_offset)) return false;
  }
  return true;
}

// Whether the segments an ELF library asks to have mapped lie inside its file. The dynamic loader
// maps them without checking, so a truncated library (a copy that broke off) would fault with
// SIGBUS inside dlopen instead of failing to load. Files that are not ELF, or not for this machine,
// are left to the loader, which refuses them cleanly.
bool LibraryFileComplete(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;  // the loader reports why it cannot open it
  struct stat st;
  unsigned char ident[EI_NIDENT];
  bool complete = true;
  constexpr unsigned char kOwnByteOrder = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAllAt(fd, ident, sizeof ident, 0) &&
      std::memcmp(ident, ELFMAG, SELFMAG) == 0 && ident[EI_DATA] == kOwnByteOrder) {
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (ident[EI_CLASS] == ELFCLASS64) complete = SegmentsInside<Elf64_Ehdr, Elf64_Phdr>(fd, size);
    if (ident[EI_CLASS] == ELFCLASS32) complete = SegmentsInside<Elf32_Ehdr, Elf32_Phdr>(fd, size);
  }
  ::close(fd);
  return complete;
}

}  // namespace

std::unique_ptr<DynamicLibrary> PosixEnv::OpenLibrary(const std::string& path, std::string* error) {
  // A bare name is searched for by the loader among the system's libraries; a path is ours to check.
  if (path.find('/') != std::string::npos && !LibraryFileComplete(path)) {
    if (error) *error = path + ": the file is truncated (its segments reach beyond its end)";
    return nullptr;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) {
      const char* why = ::dlerror();
      *error = why ? why : "cannot load library";
    }
    return nullptr;
  }
  return std::make_unique<PosixDynamicLibrary>(handle);
}

bool PosixEnv::ProcessExists(int64_t pid) {
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return false;
  // Signal 0 only checks. EPERM: the process exists but belongs to someone else.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

std::string PosixEnv::HostName() { return LocalHostName(); }

int64_t PosixEnv::ProcessId() { return ::getpid(); }

void PosixEnv::ReleaseFreedMemory() {
#ifdef __GLIBC__
  // glibc keeps freed blocks below the top of its heaps resident; this returns their whole pages.
  ::malloc_trim(0);
#endif
}

std::string PosixEnv::ProgramFileName() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) ThrowOS("Cannot find the program file", "/proc/self/exe");
  return std::string(buf, static_cast<size_t>(n));
}

std::string PosixEnv::GetCurrentDir() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE) ThrowOS("Cannot read the current directory", ".");
    buf.resize(buf.size() * 2);
  }
}

std::optional<std::string> PosixEnv::EnvironmentVariable(const std::string& name) {
  const char* value = ::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

bool PosixEnv::CanCreateFilesIn(const std::string& dir) {
  // Creating and removing names needs write and search permission on the folder; asked with the
  // effective ids, as opening a file there would be.
  return DirectoryExists(dir) && ::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool PosixEnv::OpenAddress(const std::string& address) {
  // A short-lived shell starts the handler in the background and ends at once, so it can be
  // waited for here and the handler, orphaned, is reaped by the system: no zombie is left behind
  // however often this is called. The address is passed as an argument, never as shell text.
  std::string sh = "/bin/sh", dashC = "-c", name = "sh";
  std::string script =
      "command -v xdg-open >/dev/null 2>&1 || exit 127; xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
  char* argv[] = {sh.data(), dashC.data(), script.data(), name.data(), const_cast<char*>(address.c_str()), nullptr};
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid;
  int rc = ::posix_spawn(&pid, sh.c_str(), nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool PosixEnv::StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

namespace {

// Whether something accepts connections on the local socket `path`, or on the abstract socket of
// that name (where Linux X servers listen first).
bool LocalSocketAnswers(const std::string& path, bool tryAbstract) {
  for (int abstract = tryAbstract ? 1 : 0; abstract >= 0; --abstract) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t lead = static_cast<size_t>(abstract);  // the abstract name starts with a NUL
    if (path.empty() || lead + path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path + lead, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + lead + path.size() + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
    ::close(fd);
    if (answered) return true;
  }
  return false;
}

// Whether host:port accepts a TCP connection within the time allowed (a remote display that is
// gone must not hold up a scheduled backup for a system's whole connect timeout).
bool TcpAnswers(const std::string& host, int port, int timeoutMs) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answered = false;
  for (addrinfo* a = found; a && !answered; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      answered = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int error = 0;
      socklen_t size = sizeof error;
      answered = ::poll(&p, 1, timeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return answered;
}

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

bool PosixEnv::DisplayAnswers() {
#ifdef __APPLE__
  return true;  // the desktop needs no display variable there
#endif
  if (std::string wayland = EnvironmentText("WAYLAND_DISPLAY"); !wayland.empty()) {
    // A bare name is relative to the session's runtime folder.
    if (wayland[0] != '/') {
      const std::string runtimeDir = EnvironmentText("XDG_RUNTIME_DIR");
      wayland = runtimeDir.empty() ? std::string() : IncludeTrailingPathDelimiter(runtimeDir) + wayland;
    }
    if (LocalSocketAnswers(wayland, false)) return true;
  }
  // X: "[protocol/][host]:display[.screen]".
  const std::string display = EnvironmentText("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  // A socket path given whole (as macOS's launchd hands it out).
  if (display[0] == '/') return LocalSocketAnswers(display, false);
  std::string host = display.substr(0, colon);
  const std::string rest = display.substr(colon + 1);
  const std::string number = rest.substr(0, rest.find('.'));
  if (number.empty() || number.size() > 4 || number.find_first_not_of("0123456789") != std::string::npos) return false;
  bool tcp = false;
  if (const size_t slash = host.find('/'); slash != std::string::npos) {
    tcp = host.compare(0, slash, "tcp") == 0 || host.compare(0, slash, "inet") == 0 || host.compare(0, slash, "inet6") == 0;
    host.erase(0, slash + 1);
  }
  if (!tcp && (host.empty() || host == "unix")) return LocalSocketAnswers("/tmp/.X11-unix/X" + number, true);
  // An IPv6 address is written in brackets or with a double colon before the number.
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (!host.empty() && host.back() == ':') host.pop_back();
  return TcpAnswers(host.empty() ? "localhost" : host, 6000 + std::stoi(number), 2000);
}

TDateTimeParts PosixEnv::LocalTimeOf(int64_t mtimeNs) {
  int64_t sec = mtimeNs / 1000000000;
  int64_t ns = mtimeNs % 1000000000;
  if (ns < 0) {
    ns += 1000000000;
    --sec;
  }
  time_t t = static_cast<time_t>(sec);
  struct tm tm {};
  if (!::localtime_r(&t, &tm)) ::gmtime_r(&t, &tm);
  TDateTimeParts p;
  p.Year = tm.tm_year + 1900;
  p.Month = tm.tm_mon + 1;
  p.Day = tm.tm_mday;
  p.Hour = tm.tm_hour;
  p.Minute = tm.tm_min;
  p.Second = tm.tm_sec;
  p.Millisecond = static_cast<int>(ns / 1000000);
  return p;
}

}  // namespace dravello
