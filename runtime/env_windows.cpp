// The Win32 Env. Every call is the wide-character (UTF-16) form; texts are converted from and to
// UTF-8 here and nowhere else. Paths past the classic 260-character limit take the "\\?\" form
// (WinPath.h).
//
// Durability: files are flushed with FlushFileBuffers and renamed with MoveFileExW(...,
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), which returns only once the rename is on
// disk. NTFS has no separate flush of a folder's entries, so SyncDir has nothing left to do.
// SyncFileSystem flushes the whole volume where Windows allows it (that takes an administrator);
// otherwise it does nothing more, because the copies it stands for were each flushed before they
// were closed (CopyToTempBeside below) and every rename was written through.
#include "runtime/WinApi.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Env.h"
#include "runtime/SysUtils.h"
#include "runtime/WinPath.h"

namespace dravello {

// ---- Text at the boundary ----

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

bool WideToUtf8(std::wstring_view text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  const bool exact = n > 0;
  if (!exact) n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  out->resize(static_cast<size_t>(n));
  ::WideCharToMultiByte(CP_UTF8, exact ? WC_ERR_INVALID_CHARS : 0, text.data(), size, out->data(), n, nullptr, nullptr);
  return exact;
}

namespace {

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  WideToUtf8(text, &out);
  return out;
}

// Win32 CreateDirectoryW refuses paths of 248 characters and more without the prefix; files stop
// at 260. Prefixing from 248 on covers both.
constexpr size_t kLongPath = 248;

}  // namespace

std::wstring Win32PathOf(const std::string& path) {
  std::wstring w = Utf8ToWide(path);
  if (w.rfind(L"\\\\?\\", 0) == 0 || w.rfind(L"\\\\.\\", 0) == 0) return w;
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  if (w.size() < kLongPath) return w;
  // The prefixed form is taken literally, so "." and ".." segments and relative paths must be
  // resolved first; GetFullPathNameW does that for paths of any length.
  DWORD n = ::GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n > 0) {
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
    if (n > 0 && n < full.size()) {
      full.resize(n);
      w = std::move(full);
    }
  }
  if (w.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + w.substr(2);
  if (w.size() >= 3 && w[1] == L':' && w[2] == L'\\') return L"\\\\?\\" + w;
  return w;  // not absolute after all (no current directory?): Win32 reports what it makes of it
}

std::string PathFromWin32(std::wstring_view path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return "\\\\" + ToUtf8(path.substr(8));
  if (path.rfind(L"\\\\?\\", 0) == 0) return ToUtf8(path.substr(4));
  return ToUtf8(path);
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

// ---- Errors ----

// Win32 error codes are the error numbers of EOSError and EInOutError on Windows.
std::string ErrorText(DWORD err) {
  wchar_t* buf = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::string text;
  if (n > 0 && buf) text = ToUtf8(std::wstring_view(buf, n));
  if (buf) ::LocalFree(buf);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  if (text.empty()) text = "system error " + std::to_string(err);
  return text;
}

[[noreturn]] void ThrowOS(const std::string& what, const std::string& path, DWORD err = ::GetLastError()) {
  throw EOSError(what + " \"" + path + "\": " + ErrorText(err), static_cast<int>(err));
}

[[noreturn]] void ThrowIO(const std::string& what, const std::string& path, DWORD err = ::GetLastError()) {
  throw EInOutError(what + " \"" + path + "\": " + ErrorText(err), static_cast<int>(err));
}

// ---- Times ----

// 100-nanosecond steps from 1601-01-01 (FILETIME) to 1970-01-01.
constexpr int64_t kEpochDelta = 116444736000000000LL;

int64_t NsOf(const FILETIME& ft) {
  const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return (ticks - kEpochDelta) * 100;
}

FILETIME FileTimeOf(int64_t ns) {
  int64_t ticks = ns / 100 + kEpochDelta;
  if (ns % 100 < 0) --ticks;  // round towards the past, as the nanoseconds are cut
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

constexpr DWORD kDosBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

FileKind KindOfAttributes(DWORD attrs) {
  return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
}

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  Handle() = default;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE && h != nullptr) ::CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  HANDLE Release() {
    HANDLE r = h;
    h = INVALID_HANDLE_VALUE;
    return r;
  }
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The state of what a reparse point (symbolic link, junction) leads to.
FileStat FollowReparsePoint(const std::wstring& wpath) {
  FileStat fs;
  fs.IsSymlink = true;
  Handle h(::CreateFileW(wpath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!h.Valid() || !::GetFileInformationByHandle(h.h, &info)) return fs;  // dangling
  fs.Kind = KindOfAttributes(info.dwFileAttributes);
  fs.Size = fs.Kind == FileKind::Regular ? static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) : 0;
  fs.MTimeNs = NsOf(info.ftLastWriteTime);
  return fs;
}

FileStat StatOf(const std::wstring& wpath) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &data)) return FileStat{};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FollowReparsePoint(wpath);
  FileStat fs;
  fs.Kind = KindOfAttributes(data.dwFileAttributes);
  fs.Size = fs.Kind == FileKind::Regular ? static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) : 0;
  fs.MTimeNs = NsOf(data.ftLastWriteTime);
  return fs;
}

// ---- Files ----

class WinSequentialFile final : public SequentialFile {
 public:
  WinSequentialFile(std::string path, HANDLE h) : path_(std::move(path)), h_(h) {}
  size_t Read(char* buf, size_t n) override {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
    if (!::ReadFile(h_.h, buf, want, &got, nullptr)) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_HANDLE_EOF) return 0;
      ThrowIO("Cannot read", path_, err);
    }
    return got;
  }

 private:
  std::string path_;
  Handle h_;
};

class WinRandomAccessFile final : public RandomAccessFile {
 public:
  WinRandomAccessFile(std::string path, HANDLE h, int64_t size) : path_(std::move(path)), h_(h), size_(size) {}
  int64_t Size() override { return size_; }
  size_t ReadAt(int64_t offset, char* buf, size_t n) override {
    // Each read carries its own position, so worker threads may read one file side by side.
    size_t done = 0;
    while (done < n) {
      OVERLAPPED ov{};
      const uint64_t at = static_cast<uint64_t>(offset) + done;
      ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      if (!::ReadFile(h_.h, buf + done, want, &got, &ov)) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        ThrowIO("Cannot read", path_, err);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  std::string path_;
  Handle h_;
  int64_t size_;
};

class WinWritableFile final : public WritableFile {
 public:
  WinWritableFile(std::string path, HANDLE h) : path_(std::move(path)), h_(h) {}
  void Append(const char* data, size_t n) override {
    while (n > 0) {
      DWORD wrote = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
      if (!::WriteFile(h_.h, data, chunk, &wrote, nullptr)) ThrowIO("Cannot write", path_);
      data += wrote;
      n -= wrote;
    }
  }
  void Sync() override {
    if (!::FlushFileBuffers(h_.h)) ThrowIO("Cannot flush", path_);
  }
  void Close() override {
    if (!h_.Valid()) return;
    if (!::CloseHandle(h_.Release())) ThrowIO("Cannot close", path_);
  }
  HANDLE Native() const { return h_.h; }

 private:
  std::string path_;
  Handle h_;
};

class WinDynamicLibrary final : public DynamicLibrary {
 public:
  explicit WinDynamicLibrary(HMODULE module) : module_(module) {}
  ~WinDynamicLibrary() override { ::FreeLibrary(module_); }
  void* Symbol(const std::string& name) override {
    return reinterpret_cast<void*>(::GetProcAddress(module_, name.c_str()));
  }
  std::string Path() override {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(module_, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return std::string();
      if (n < buf.size()) return PathFromWin32(std::wstring_view(buf.data(), n));
      buf.resize(buf.size() * 2);
    }
  }

 private:
  HMODULE module_;
};

class SystemClock final : public Clock {
 public:
  TDateTimeParts Now() override {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return TDateTimeParts{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }
  uint32_t TickCount() override { return ::GetTickCount(); }
};

// This computer's name, asked once: every temporary name and every tidying pass needs it.
const std::string& LocalHostName() {
  static const std::string host = [] {
    wchar_t name[256];
    DWORD size = 256;
    if (::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return ToUtf8(std::wstring_view(name, size));
    size = 256;
    if (::GetComputerNameW(name, &size)) return ToUtf8(std::wstring_view(name, size));
    return std::string();
  }();
  return host;
}

// Opens an existing file for reading, sharing it with everyone.
HANDLE OpenForRead(const std::string& path) {
  HANDLE h = ::CreateFileW(Win32PathOf(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowIO("Cannot open", path);
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(h);
    ThrowIO("Not a regular file", path, ERROR_ACCESS_DENIED);
  }
  return h;
}

// Creates (or truncates) a file. An existing hidden or system file can be replaced only by naming
// those attributes again: Win32 refuses CREATE_ALWAYS otherwise.
HANDLE CreateForWrite(const std::string& path, DWORD disposition) {
  const std::wstring w = Win32PathOf(path);
  HANDLE h = ::CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED && disposition == CREATE_ALWAYS) {
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
        !(attrs & FILE_ATTRIBUTE_READONLY))
      h = ::CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                        attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), nullptr);
    else
      ::SetLastError(ERROR_ACCESS_DENIED);
  }
  return h;
}

// Creates a new, empty file beside `path` with a name of its own.
HANDLE CreateTempBeside(const std::string& path, std::string* temp) {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 rng{std::random_device{}()};
  const std::string& host = LocalHostName();
  for (int attempt = 0;; ++attempt) {
    *temp = TempFileNameBeside(path, ::GetCurrentProcessId(), counter++, static_cast<uint32_t>(rng() % 100000), host);
    HANDLE h = CreateForWrite(*temp, CREATE_NEW);
    if (h != INVALID_HANDLE_VALUE) return h;
    const DWORD err = ::GetLastError();
    if ((err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) || attempt >= 100)
      ThrowIO("Cannot create a temporary file for", path, err);
  }
}

void SetWriteTime(HANDLE h, const std::string& path, int64_t mtimeNs) {
  const FILETIME ft = FileTimeOf(mtimeNs);
  if (!::SetFileTime(h, nullptr, nullptr, &ft)) ThrowOS("Cannot set the time of", path);
}

// The root folder of the drive that holds `path` ("C:\", "\\server\share\"), or "" when the path
// names none (a relative path: then the current directory's drive is meant).
std::wstring DriveRootOf(const std::string& path) {
  std::string drive = ExtractFileDrive(path);
  if (drive.empty()) return std::wstring();
  return Utf8ToWide(drive + "\\");
}

}  // namespace

class WindowsEnv final : public Env {
 public:
  WindowsEnv() {
    // A drive without a medium or a vanished network share must fail the call that touched it,
    // not stop a scheduled run with a box that nobody will click.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  }

  FileStat Stat(const std::string& path) override { return StatOf(Win32PathOf(path)); }

  std::vector<DirEntry> ListDirectory(const std::string& dir) override {
    std::vector<DirEntry> entries;
    const std::wstring pattern = Win32PathOf(IncludeTrailingPathDelimiter(dir) + "*");
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_DIRECTORY ||
          err == ERROR_INVALID_NAME || err == ERROR_NO_MORE_FILES)
        return entries;
      ThrowOS("Cannot list directory", dir, err);
    }
    const std::string base = IncludeTrailingPathDelimiter(dir);
    do {
      const wchar_t* name = data.cFileName;
      if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
      DirEntry entry;
      if (!WideToUtf8(name, &entry.Name)) {
        // A name UTF-8 cannot hold (an unpaired surrogate) cannot be opened again by its text:
        // it is listed as something the program never opens, so that it is skipped rather
        // than copied or packed under a replacement name.
        entry.Kind = FileKind::Other;
      } else if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        FileStat st = Stat(base + entry.Name);
        entry.Kind = st.Kind;
        entry.IsSymlink = true;
      } else {
        entry.Kind = KindOfAttributes(data.dwFileAttributes);
      }
      entries.push_back(std::move(entry));
    } while (::FindNextFileW(find, &data));
    const DWORD err = ::GetLastError();
    ::FindClose(find);
    if (err != ERROR_NO_MORE_FILES) ThrowOS("Cannot list directory", dir, err);
    return entries;
  }

  void CreateDir(const std::string& path) override {
    if (!::CreateDirectoryW(Win32PathOf(path).c_str(), nullptr)) ThrowOS("Cannot create directory", path);
  }

  void RemoveDir(const std::string& path) override {
    if (!::RemoveDirectoryW(Win32PathOf(path).c_str())) ThrowOS("Cannot remove directory", path);
  }

  void DeleteFile(const std::string& path) override {
    const std::wstring w = Win32PathOf(path);
    if (::DeleteFileW(w.c_str())) return;
    DWORD err = ::GetLastError();
    // As on POSIX, a file's own read-only flag does not protect it from removal by the program
    // (a temporary copy of a read-only source carries the flag).
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (err == ERROR_ACCESS_DENIED && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
        !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      if (::SetFileAttributesW(w.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY)) {
        if (::DeleteFileW(w.c_str())) return;
        err = ::GetLastError();
        ::SetFileAttributesW(w.c_str(), attrs);
      }
    }
    ThrowOS("Cannot delete", path, err);
  }

  void RenameFile(const std::string& from, const std::string& to) override {
    const std::wstring wfrom = Win32PathOf(from), wto = Win32PathOf(to);
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (::MoveFileExW(wfrom.c_str(), wto.c_str(), flags)) return;
    DWORD err = ::GetLastError();
    // A read-only target refuses to be replaced; the rename still replaces it, as on POSIX. The
    // flag comes back when the rename fails anyway.
    const DWORD attrs = ::GetFileAttributesW(wto.c_str());
    if (err == ERROR_ACCESS_DENIED && attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
        !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
      if (::SetFileAttributesW(wto.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY)) {
        if (::MoveFileExW(wfrom.c_str(), wto.c_str(), flags)) return;
        err = ::GetLastError();
        ::SetFileAttributesW(wto.c_str(), attrs);
      }
    }
    throw EOSError("Cannot rename \"" + from + "\" to \"" + to + "\": " + ErrorText(err), static_cast<int>(err));
  }

  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override {
    return std::make_unique<WinSequentialFile>(path, OpenForRead(path));
  }

  std::unique_ptr<RandomAccessFile> NewRandomAccessFile(const std::string& path) override {
    HANDLE h = OpenForRead(path);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h, &size)) {
      const DWORD err = ::GetLastError();
      ::CloseHandle(h);
      ThrowIO("Cannot read", path, err);
    }
    return std::make_unique<WinRandomAccessFile>(path, h, static_cast<int64_t>(size.QuadPart));
  }

  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
    HANDLE h = CreateForWrite(path, CREATE_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) ThrowIO("Cannot create", path);
    return std::make_unique<WinWritableFile>(path, h);
  }

  std::unique_ptr<WritableFile> NewAppendableFile(const std::string& path) override {
    HANDLE h = ::CreateFileW(Win32PathOf(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) ThrowIO("Cannot open", path);
    return std::make_unique<WinWritableFile>(path, h);
  }

  std::string CreateTempFileBeside(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    // Windows has no permission bits to carry; the new file inherits its folder's access rules.
    std::string temp;
    HANDLE h = CreateTempBeside(path, &temp);
    *file = std::make_unique<WinWritableFile>(temp, h);
    return temp;
  }

  TempCopy CopyToTempBeside(const std::string& src, const std::string& target) override {
    Handle in(OpenForRead(src));
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(in.h, &info)) ThrowIO("Cannot read", src);
    TempCopy copy;
    copy.Source.Kind = FileKind::Regular;
    copy.Source.Size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    copy.Source.MTimeNs = NsOf(info.ftLastWriteTime);
    copy.SourceAttributes = info.dwFileAttributes & kDosBits;
    Handle out(CreateTempBeside(target, &copy.TempPath));
    try {
      static thread_local std::vector<char> buf(1 << 20);
      for (;;) {
        DWORD got = 0;
        if (!::ReadFile(in.h, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr)) ThrowIO("Cannot read", src);
        if (got == 0) break;
        for (DWORD done = 0; done < got;) {
          DWORD wrote = 0;
          if (!::WriteFile(out.h, buf.data() + done, got - done, &wrote, nullptr)) ThrowIO("Cannot write", copy.TempPath);
          done += wrote;
        }
      }
      // The data reaches the disk before the copy can count (see the top of this file).
      if (!::FlushFileBuffers(out.h)) ThrowIO("Cannot flush", copy.TempPath);
      SetWriteTime(out.h, copy.TempPath, copy.Source.MTimeNs);
      if (!::CloseHandle(out.Release())) ThrowIO("Cannot close", copy.TempPath);
      // Attributes last: a read-only copy could not have been written. Windows copies the
      // source's archive bit as it is, and so does this.
      DWORD attrs = copy.SourceAttributes;
      if (!::SetFileAttributesW(Win32PathOf(copy.TempPath).c_str(), attrs ? attrs : FILE_ATTRIBUTE_NORMAL))
        ThrowOS("Cannot set attributes of", copy.TempPath);
      return copy;
    } catch (...) {
      if (out.Valid()) ::CloseHandle(out.Release());
      try {
        DeleteFile(copy.TempPath);
      } catch (...) {
        // The copy's own failure is the one to report.
      }
      throw;
    }
  }

  void SetFileTime(const std::string& path, int64_t mtimeNs) override {
    Handle h(::CreateFileW(Win32PathOf(path).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.Valid()) ThrowOS("Cannot set the time of", path);
    SetWriteTime(h.h, path, mtimeNs);
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    const DWORD attrs = ::GetFileAttributesW(Win32PathOf(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attrs & (kDosBits | FILE_ATTRIBUTE_DIRECTORY);
  }

  bool SetAttributes(const std::string& path, uint32_t attributes, const FileStat* asRead) override {
    const std::wstring w = Win32PathOf(path);
    const DWORD now = ::GetFileAttributesW(w.c_str());
    if (now == INVALID_FILE_ATTRIBUTES) ThrowOS("Cannot set attributes of", path);
    DWORD wanted = attributes & kDosBits;
    // The archive bit says "changed since the last backup". A file written after it was read for
    // the backup keeps the bit, or that change would never be backed up.
    if (!(wanted & FILE_ATTRIBUTE_ARCHIVE) && asRead && !(now & FILE_ATTRIBUTE_DIRECTORY)) {
      const FileStat st = StatOf(w);
      if (!st.SameContentStamp(*asRead)) wanted |= FILE_ATTRIBUTE_ARCHIVE;
    }
    DWORD next = (now & ~kDosBits & ~FILE_ATTRIBUTE_DIRECTORY & ~FILE_ATTRIBUTE_NORMAL) | wanted;
    if (next == 0) next = FILE_ATTRIBUTE_NORMAL;
    if ((now & ~FILE_ATTRIBUTE_DIRECTORY) != next && !::SetFileAttributesW(w.c_str(), next))
      ThrowOS("Cannot set attributes of", path);
    return true;
  }

  // The archive bit is the file system's own.
  bool KeepsArchiveAttribute(const std::string&) override { return true; }

  void SyncDir(const std::string&) override {
    // NTFS keeps no separate flush of a folder's entries: renames are written through
    // (RenameFile), creations and removals are logged by the file system itself.
  }

  void SyncFileSystem(const std::string& path) override {
    // Flushing a whole volume needs an administrator. Without one this does nothing more: the
    // copies it would cover were flushed one by one before they were closed.
    std::string drive = ExtractFileDrive(path.empty() ? GetCurrentDir() : ExpandFileName(path));
    if (drive.size() != 2 || drive[1] != ':') return;  // a network share flushes on its server
    Handle volume(::CreateFileW(Utf8ToWide("\\\\.\\" + drive).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!volume.Valid()) return;
    if (!::FlushFileBuffers(volume.h)) {
      const DWORD err = ::GetLastError();
      if (err != ERROR_ACCESS_DENIED && err != ERROR_INVALID_FUNCTION && err != ERROR_NOT_SUPPORTED)
        ThrowOS("Cannot sync the file system of", path, err);
    }
  }

  DriveInfo GetDriveInfo(const std::string& path) override {
    DriveInfo info;
    std::wstring root = DriveRootOf(path.empty() ? GetCurrentDir() : ExpandFileName(path));
    const wchar_t* rootArg = root.empty() ? nullptr : root.c_str();
    const UINT type = ::GetDriveTypeW(rootArg);
    info.Fixed = type != DRIVE_REMOVABLE && type != DRIVE_CDROM;
    wchar_t label[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(rootArg, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
      info.VolumeLabel = ToUtf8(label);
    ULARGE_INTEGER free;
    const std::wstring where = path.empty() ? std::wstring() : Win32PathOf(path);
    if (::GetDiskFreeSpaceExW(where.empty() ? rootArg : where.c_str(), &free, nullptr, nullptr) ||
        (rootArg && ::GetDiskFreeSpaceExW(rootArg, &free, nullptr, nullptr)))
      info.FreeBytes = static_cast<int64_t>(free.QuadPart);
    return info;
  }

  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string& path, std::string* error) override {
    const std::wstring w = Win32PathOf(path);
    // A path: its dependencies are searched from its own folder first. A bare name: the
    // program's folder first, then the system's search, as LoadLibrary does.
    const bool hasFolder = path.find_first_of("\\/:") != std::string::npos;
    HMODULE module = hasFolder ? ::LoadLibraryExW(w.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH) : ::LoadLibraryW(w.c_str());
    if (!module) {
      if (error) *error = path + ": " + ErrorText(::GetLastError());
      return nullptr;
    }
    return std::make_unique<WinDynamicLibrary>(module);
  }

  bool ProcessExists(int64_t pid) override {
    if (pid <= 0 || pid > 0xFFFFFFFFLL) return false;
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // access denied: it exists
    DWORD code = 0;
    const bool running = !::GetExitCodeProcess(h, &code) || code == STILL_ACTIVE;
    ::CloseHandle(h);
    return running;
  }

  int64_t ProcessId() override { return ::GetCurrentProcessId(); }

  std::string HostName() override { return LocalHostName(); }
  bool LookupsAreThreadSafe() override { return true; }
  // The process heap's free blocks are joined and those at its end given back.
  void ReleaseFreedMemory() override { ::HeapCompact(::GetProcessHeap(), 0); }

  std::string ProgramFileName() override {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) ThrowOS("Cannot find the program file", "");
      if (n < buf.size()) return PathFromWin32(std::wstring_view(buf.data(), n));
      buf.resize(buf.size() * 2);
    }
  }

  std::string GetCurrentDir() override {
    const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring buf(n, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(n, buf.data());
    if (got == 0 || got >= n) ThrowOS("Cannot read the current directory", ".");
    buf.resize(got);
    return PathFromWin32(buf);
  }

  std::optional<std::string> EnvironmentVariable(const std::string& name) override {
    const std::wstring wname = Utf8ToWide(name);
    std::wstring buf(256, L'\0');
    for (;;) {
      ::SetLastError(ERROR_SUCCESS);
      const DWORD n = ::GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (n < buf.size()) return ToUtf8(std::wstring_view(buf.data(), n));
      buf.resize(n);
    }
  }

  bool CanCreateFilesIn(const std::string& dir) override {
    // The folder's access control list, checked against this process's token for the right to
    // add files: read-only attributes mean nothing on folders.
    if (!DirectoryExists(dir)) return false;
    const std::wstring w = Win32PathOf(dir);
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    ::GetFileSecurityW(w.c_str(), what, nullptr, 0, &needed);
    if (needed == 0) return true;  // cannot be told: as though it could
    std::vector<char> descriptor(needed);
    if (!::GetFileSecurityW(w.c_str(), what, descriptor.data(), needed, &needed)) return true;
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) return true;
    HANDLE impersonation = nullptr;
    bool allowed = true;
    if (::DuplicateToken(token, SecurityImpersonation, &impersonation)) {
      GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
      PRIVILEGE_SET privileges{};
      DWORD privilegesSize = sizeof privileges;
      DWORD granted = 0;
      BOOL status = FALSE;
      if (::AccessCheck(descriptor.data(), impersonation, FILE_ADD_FILE, &mapping, &privileges, &privilegesSize,
                        &granted, &status))
        allowed = status != FALSE;
      ::CloseHandle(impersonation);
    }
    ::CloseHandle(token);
    return allowed;
  }

  bool OpenAddress(const std::string& address) override {
    const HINSTANCE r = ::ShellExecuteW(nullptr, L"open", Utf8ToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
  }

  bool StdoutIsTerminal() override {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return out && out != INVALID_HANDLE_VALUE && ::GetFileType(out) == FILE_TYPE_CHAR && ::GetConsoleMode(out, &mode);
  }

  bool DisplayAnswers() override {
    // Windows can be shown when the process's window station is the visible, interactive one: not
    // in a service's session, nor in a task run "whether the user is logged on or not".
    HWINSTA station = ::GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    if (!station || !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
  }

  TDateTimeParts LocalTimeOf(int64_t mtimeNs) override {
    const FILETIME ft = FileTimeOf(mtimeNs);
    SYSTEMTIME utc, local;
    // The rules of daylight saving time that applied on that date, not today's.
    if (!::FileTimeToSystemTime(&ft, &utc) || !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
      if (!::FileTimeToSystemTime(&ft, &local)) return TDateTimeParts{1601, 1, 1, 0, 0, 0, 0};
    }
    int64_t ms = (mtimeNs / 1000000) % 1000;
    if (ms < 0) ms += 1000;
    return TDateTimeParts{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, static_cast<int>(ms)};
  }
};

Clock& SystemClockInstance() {
  static SystemClock clock;
  return clock;
}

Env& Env::Platform() {
  static WindowsEnv env;
  return env;
}

}  // namespace dravello
