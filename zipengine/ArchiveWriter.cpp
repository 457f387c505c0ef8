#include "zipengine/ArchiveWriter.h"

#include <algorithm>
#include <vector>

namespace dravello::zipengine {

namespace {

class TempFileSpill final : public DirectorySpill {
 public:
  TempFileSpill(Env& env, std::string beside) : env_(env), beside_(std::move(beside)) {}
  ~TempFileSpill() override {
    try {
      if (file_) file_->Close();
      if (!path_.empty()) env_.DeleteFile(path_);
    } catch (const Exception&) {
      // a leftover is removed by the next run as a stale temporary file
    }
  }

  void Append(std::string_view block) override {
    if (!file_) path_ = env_.CreateTempFileBeside(beside_, &file_);
    file_->Append(block.data(), block.size());
  }

  void ReadBack(const std::function<void(std::string_view)>& sink) override {
    if (!file_) return;
    file_->Close();
    file_.reset();
    std::unique_ptr<SequentialFile> in = env_.NewSequentialFile(path_);
    std::vector<char> piece(1 << 20);
    for (size_t n; (n = in->Read(piece.data(), piece.size())) > 0;) sink(std::string_view(piece.data(), n));
  }

 private:
  Env& env_;
  std::string beside_;
  std::string path_;
  std::unique_ptr<WritableFile> file_;
};

}  // namespace

std::unique_ptr<DirectorySpill> SpillToTempFileBeside(Env& env, const std::string& beside) {
  return std::make_unique<TempFileSpill>(env, beside);
}

ArchiveWriter::ArchiveWriter(WritableFile& out, size_t bufferSize) : out_(out), bufferSize_(bufferSize) {
  buffer_.reserve(bufferSize_);
}

void ArchiveWriter::Write(const char* data, size_t n) {
  offset_ += n;
  if (buffer_.size() + n <= bufferSize_) {
    buffer_.append(data, n);
    return;
  }
  Flush();
  if (n >= bufferSize_) {
    out_.Append(data, n);
  } else {
    buffer_.append(data, n);
  }
}

void ArchiveWriter::Flush() {
  if (buffer_.empty()) return;
  out_.Append(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void ArchiveWriter::AddCentral(const EntryHeader& e, std::string_view extraKeep, std::string_view comment,
                               uint16_t madeBy) {
  const std::string header = BuildCentralHeader(e, extraKeep, comment, madeBy);
  if (central_.empty() || central_.back().size() + header.size() > central_.back().capacity()) {
    // The full blocks go to the spill once they exceed what may be held; they all come before
    // the blocks still held, so the directory keeps its order.
    if (spill_ && centralHeld_ > held_) {
      for (std::string& block : central_) {
        spill_->Append(block);
        std::string().swap(block);
      }
      central_.clear();
      centralHeld_ = 0;
    }
    central_.emplace_back();
    central_.back().reserve(std::max(kCentralBlock, header.size()));
  }
  central_.back() += header;
  centralSize_ += header.size();
  centralHeld_ += header.size();
  ++entryCount_;
}

void ArchiveWriter::WriteEntry(EntryHeader& e, std::string_view data) {
  e.LocalHeaderOffset = offset_;
  Write(BuildLocalHeader(e, false, false));
  Write(data);
  AddCentral(e, {}, {}, kVersionMadeBy);
}

void ArchiveWriter::BeginStreamed(EntryHeader& e, bool zip64) {
  e.LocalHeaderOffset = offset_;
  Write(BuildLocalHeader(e, true, zip64));
}

void ArchiveWriter::WriteData(const char* data, size_t n) { Write(data, n); }

void ArchiveWriter::EndStreamed(const EntryHeader& e, bool zip64, bool listInDirectory) {
  Write(BuildDataDescriptor(e, zip64));
  if (!listInDirectory) return;
  EntryHeader central = e;
  central.Flags |= kFlagDataDescriptor;
  AddCentral(central, {}, {}, kVersionMadeBy);
}

void ArchiveWriter::CopyRaw(RandomAccessFile& source, const ExistingEntry& entry, const LocalExtent& extent,
                            const std::function<void(uint64_t)>& progress) {
  EntryHeader e = entry.Header;
  e.LocalHeaderOffset = offset_;
  std::vector<char> slice(static_cast<size_t>(std::min<uint64_t>(extent.Length, 1 << 20)));
  uint64_t done = 0;
  while (done < extent.Length) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(slice.size(), extent.Length - done));
    size_t got = source.ReadAt(static_cast<int64_t>(extent.Offset + done), slice.data(), want);
    if (got != want) throw ZipFormatError("the existing archive ends inside \"" + e.Name + "\"");
    Write(slice.data(), got);
    done += got;
    if (progress) progress(got);
  }
  AddCentral(e, entry.ExtraKeep, entry.Comment, entry.VersionMadeBy);
}

void ArchiveWriter::Finish(std::string_view archiveComment) {
  uint64_t dirOffset = offset_;
  if (spill_) {
    spill_->ReadBack([this](std::string_view piece) { Write(piece); });
    spill_.reset();
  }
  for (const std::string& block : central_) Write(block);
  const uint64_t dirSize = centralSize_;
  std::vector<std::string>().swap(central_);
  Write(BuildEndRecords(entryCount_, dirOffset, dirSize, archiveComment));
  Flush();
}

}  // namespace dravello::zipengine
