// Writes a new archive front to back into one file: entries with known sizes, streamed entries
// (sizes in a data descriptor), entries copied unchanged from another archive, and at the end
// the central directory with its end records. Output is buffered; sizes, offsets and the entry
// count switch to their ZIP64 forms where they need them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Env.h"
#include "zipengine/ArchiveReader.h"
#include "zipengine/ZipFormat.h"

namespace dravello::zipengine {

// Somewhere for the central directory while the entries are written, once it is too large to
// hold in memory: a backup of a million files has a directory of over 100 MB.
class DirectorySpill {
 public:
  virtual ~DirectorySpill() = default;
  virtual void Append(std::string_view block) = 0;
  // Everything appended, in order, in pieces handed to `sink`. Called once, after the last Append.
  virtual void ReadBack(const std::function<void(std::string_view)>& sink) = 0;
};

// A temporary file made beside `beside` as Env::CreateTempFileBeside makes them (so a run that
// is killed leaves one that the next run removes), made at the first Append and removed when
// the spill is destroyed.
std::unique_ptr<DirectorySpill> SpillToTempFileBeside(Env& env, const std::string& beside);

class ArchiveWriter {
 public:
  explicit ArchiveWriter(WritableFile& out, size_t bufferSize = 1 << 20);

  // From now on the central directory beyond `held` bytes goes to `spill`.
  void SetSpill(std::unique_ptr<DirectorySpill> spill, uint64_t held) {
    spill_ = std::move(spill);
    held_ = held;
  }

  // One entry whose data (already compressed and encrypted) is complete. Sets LocalHeaderOffset.
  void WriteEntry(EntryHeader& e, std::string_view data);

  // A streamed entry: the header now, the data in pieces, the sizes and CRC at the end.
  // `zip64` must be chosen up front (the descriptor's size width depends on it). With
  // `listInDirectory` false the entry stays out of the central directory (its bytes remain as
  // unreferenced space), for a source that broke off while being read.
  void BeginStreamed(EntryHeader& e, bool zip64);
  void WriteData(const char* data, size_t n);
  void EndStreamed(const EntryHeader& e, bool zip64, bool listInDirectory);

  // Copies an entry of another archive unchanged: its local header, data and descriptor.
  // `progress` is called after each slice (for abort checks).
  void CopyRaw(RandomAccessFile& source, const ExistingEntry& entry, const LocalExtent& extent,
               const std::function<void(uint64_t bytes)>& progress);

  // Writes the central directory and end records and flushes the buffer.
  void Finish(std::string_view archiveComment);

 private:
  void Write(const char* data, size_t n);
  void Write(std::string_view s) { Write(s.data(), s.size()); }
  void Flush();
  void AddCentral(const EntryHeader& e, std::string_view extraKeep, std::string_view comment, uint16_t madeBy);

  WritableFile& out_;
  std::string buffer_;
  size_t bufferSize_;
  uint64_t offset_ = 0;
  uint64_t entryCount_ = 0;
  // The central directory as it grows, in blocks of about kCentralBlock bytes: one string grown
  // by doubling would hold up to three times the directory at its last growth (hundreds of
  // megabytes for a million entries). Blocks this small come from the heap rather than from
  // fresh pages of their own, so they reuse what the files already written gave back.
  static constexpr size_t kCentralBlock = 64 << 10;
  std::vector<std::string> central_;  // the blocks not spilled
  uint64_t centralSize_ = 0;          // spilled and held
  uint64_t centralHeld_ = 0;
  std::unique_ptr<DirectorySpill> spill_;
  uint64_t held_ = UINT64_MAX;
};

}  // namespace dravello::zipengine
