// Reading an archive back after it was written: every entry's data read once, front to back,
// inflated on worker threads, and its CRC-32 and size compared with what the central directory
// says was written; its local header must agree with the directory (signature, name, method),
// and its data must lie inside the file, before the directory.
//
// Stored and deflated entries are checked in full. An encrypted entry, or one compressed by a
// method this program does not write (old entries of an archive another tool made), can only be
// checked as far as its headers and extent go: it is not counted as a problem.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/Env.h"

namespace dravello {

// One entry as the central directory records it.
struct ZipVerifyEntry {
  std::string Name;  // as stored, with "/" separators
  bool IsDirectory = false;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t DosDateTime = 0;              // date in the upper 16 bits, time in the lower
  std::optional<int64_t> UnixTime;       // the extended timestamp's last-write time, when present
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t LocalHeaderOffset = 0;        // where the local header lies in the file
};

struct ZipVerifyProblem {
  std::string Name;  // the entry's name; empty for a problem of the archive as a whole
  std::string Text;
};

class ZipVerifier {
 public:
  struct Options {
    int Workers = 0;                       // 0: as many as the machine has cores
    int64_t MemoryBudget = 192ll << 20;    // bytes held by entries read and not yet checked
    int64_t WholeEntryLimit = 64ll << 20;  // larger entries are inflated piece by piece on the caller's thread
    // Called on the caller's thread once per entry, in the archive's order, as it is checked;
    // `problem` is null when the entry is good.
    std::function<void(const ZipVerifyEntry& entry, const std::string* problem)> OnChecked;
  };

  ZipVerifier(Env& env, std::string archive);
  ~ZipVerifier();
  ZipVerifier(const ZipVerifier&) = delete;
  ZipVerifier& operator=(const ZipVerifier&) = delete;

  // Opens the archive and reads its central directory. False (and the reason in Problem) when
  // that cannot be done.
  bool ReadDirectory();
  const std::string& Problem() const { return problem_; }
  // The directory's entries in its order (after ReadDirectory).
  const std::vector<ZipVerifyEntry>& Entries() const { return entries_; }
  // Hands the entries over, leaving none: for a caller that keeps them after the check.
  std::vector<ZipVerifyEntry> TakeEntries() { return std::move(entries_); }
  // The entries that are no folders.
  int FileCount() const;

  // Reads every entry back and checks it. The problems found, in the archive's order.
  std::vector<ZipVerifyProblem> Check(const Options& options);

 private:
  class Pool;
  struct Job;

  std::optional<std::string> CheckLocalHeader(const ZipVerifyEntry& e, uint64_t* dataStart);
  std::optional<std::string> StreamEntry(const ZipVerifyEntry& e, uint64_t dataStart);

  Env& env_;
  std::string archive_;
  std::unique_ptr<RandomAccessFile> file_;
  int64_t fileSize_ = 0;
  int64_t dirStart_ = 0;
  std::string problem_;
  std::vector<ZipVerifyEntry> entries_;
  std::map<size_t, std::string> entryProblems_;  // found while reading the directory, by entry index
  class WindowReader;
  std::unique_ptr<WindowReader> reader_;
};

}  // namespace dravello
