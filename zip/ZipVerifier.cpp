#include "zip/ZipVerifier.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "runtime/SysUtils.h"
#include "zip/ZipByteReader.h"
#include "zip/ZipRecordReader.h"

namespace dravello {

using namespace zipformat;

namespace {

// Beyond this many entries the list grows as it must: a directory is never trusted with more.
constexpr uint64_t kMaxReservedEntries = uint64_t{1} << 22;


constexpr uint16_t kMethodStore = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kExtraTimestamp = 0x5455;
constexpr size_t kWindowSize = 4 << 20;
constexpr size_t kStreamPiece = 1 << 20;
constexpr size_t kBatchEntries = 64;
constexpr size_t kBatchBytes = 1 << 20;
// Jobs handed out and not yet reported: enough to keep the workers busy with small entries.
constexpr size_t kMaxJobsRunning = 4096;

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

std::optional<int64_t> ExtendedTimestamp(std::string_view extra) {
  ZipByteReader fields(extra.data(), extra.size());
  while (fields.Remaining() >= 4) {
    const uint16_t id = fields.U16();
    ZipByteReader block = fields.Sub(fields.U16());
    if (!fields.Ok()) break;
    if (id != kExtraTimestamp) continue;
    const uint8_t present = block.U8();
    if (!(present & 1)) return std::nullopt;
    const auto seconds = static_cast<int32_t>(block.U32());
    if (block.Ok()) return seconds;
    return std::nullopt;
  }
  return std::nullopt;
}

// Whether the entry's data can be read back in full: stored or deflated, not encrypted.
bool Checkable(const ZipVerifyEntry& e) {
  return !(e.Flags & kFlagEncrypted) && (e.Method == kMethodStore || e.Method == kMethodDeflate);
}

std::string SizeProblem(uint64_t got, uint64_t written) {
  return "the data gives " + std::to_string(got) + " bytes, " + std::to_string(written) + " were written";
}

std::string CrcProblem(uint32_t got, uint32_t written) {
  return "the data has the CRC-32 " + Hex32(got) + ", " + Hex32(written) + " was written";
}

}  // namespace

// Reads ranges of the archive through one large buffer: entries come in the order of their
// offsets, so the file is read front to back in large pieces, once.
class ZipVerifier::WindowReader {
 public:
  WindowReader(RandomAccessFile& file, int64_t size) : file_(file), size_(size), buffer_(kWindowSize) {}

  // Reads exactly n bytes at offset; false when the file ends first.
  bool Read(uint64_t offset, char* dst, size_t n) {
    while (n > 0) {
      if (offset >= start_ && offset < start_ + length_) {
        const size_t k = static_cast<size_t>(std::min<uint64_t>(n, start_ + length_ - offset));
        std::memcpy(dst, buffer_.data() + (offset - start_), k);
        dst += k;
        offset += k;
        n -= k;
        continue;
      }
      if (offset >= static_cast<uint64_t>(size_)) return false;
      if (n >= buffer_.size()) {  // a large piece goes straight to its place
        const size_t got = file_.ReadAt(static_cast<int64_t>(offset), dst, n);
        if (got == 0) return false;
        dst += got;
        offset += got;
        n -= got;
        continue;
      }
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), static_cast<uint64_t>(size_) - offset));
      length_ = file_.ReadAt(static_cast<int64_t>(offset), buffer_.data(), want);
      start_ = offset;
      if (length_ == 0) return false;
    }
    return true;
  }

 private:
  RandomAccessFile& file_;
  int64_t size_;
  std::vector<char> buffer_;
  uint64_t start_ = 0;
  size_t length_ = 0;
};

// One entry's data, checked on a worker.
struct ZipVerifier::Job {
  const ZipVerifyEntry* Entry = nullptr;
  std::string Data;       // the stored bytes
  std::string Problem;    // empty: good
  bool Done = false;      // guarded by the pool's mutex
};

// Worker threads that check whole entries; the caller waits for them in its own order.
class ZipVerifier::Pool {
 public:
  explicit Pool(int workers) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Run(); });
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stop_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  // Several jobs at once: with thousands of small entries, a wake-up per entry costs more than
  // checking it.
  void Submit(std::vector<std::shared_ptr<Job>>& jobs) {
    if (jobs.empty()) return;
    {
      std::lock_guard<std::mutex> lock(mu_);
      queue_.insert(queue_.end(), jobs.begin(), jobs.end());
    }
    jobs.clear();
    work_.notify_all();
  }
  void Wait(const std::shared_ptr<Job>& job) {
    std::unique_lock<std::mutex> lock(mu_);
    done_.wait(lock, [&] { return job->Done; });
  }

 private:
  void Run() {
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    OutputBuffer out;
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::unique_lock<std::mutex> lock(mu_);
        work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (stop_ && queue_.empty()) break;
        job = std::move(queue_.front());
        queue_.pop_front();
      }
      try {
        job->Problem = CheckWhole(inflater, *job->Entry, job->Data, out);
      } catch (const std::exception& e) {
        job->Problem = e.what();
      }
      std::string().swap(job->Data);
      {
        std::lock_guard<std::mutex> lock(mu_);
        job->Done = true;
      }
      done_.notify_all();
    }
    libdeflate_free_decompressor(inflater);
  }

  // Room for inflated data, kept between entries and never cleared: only what is written is read.
  struct OutputBuffer {
    std::unique_ptr<char[]> Bytes;
    size_t Capacity = 0;
    char* Room(size_t n) {
      if (n > Capacity) {
        Bytes.reset();
        Bytes.reset(new char[n]);
        Capacity = n;
      }
      return Bytes.get();
    }
  };

  static std::string CheckWhole(libdeflate_decompressor* inflater, const ZipVerifyEntry& e, const std::string& data,
                                OutputBuffer& out) {
    if (!inflater) return "out of memory";
    const char* bytes = data.data();
    size_t size = data.size();
    if (e.Method == kMethodDeflate) {
      // One byte more than was written: data that inflates to more shows as too long, not as
      // a lack of room.
      const size_t room = static_cast<size_t>(e.UncompressedSize) + 1;
      char* target = out.Room(room);
      size_t produced = 0;
      const libdeflate_result r = libdeflate_deflate_decompress(inflater, data.data(), data.size(), target, room, &produced);
      if (r == LIBDEFLATE_INSUFFICIENT_SPACE) return "the data inflates to more than the " +
                                                     std::to_string(e.UncompressedSize) + " bytes that were written";
      if (r != LIBDEFLATE_SUCCESS) return "the compressed data is damaged";
      bytes = target;
      size = produced;
    }
    if (size != e.UncompressedSize) return SizeProblem(size, e.UncompressedSize);
    const auto crc = static_cast<uint32_t>(libdeflate_crc32(0, bytes, size));
    if (crc != e.Crc) return CrcProblem(crc, e.Crc);
    return std::string();
  }

  std::mutex mu_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Job>> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

ZipVerifier::ZipVerifier(Env& env, std::string archive) : env_(env), archive_(std::move(archive)) {}
ZipVerifier::~ZipVerifier() = default;

int ZipVerifier::FileCount() const {
  return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [](const ZipVerifyEntry& e) { return !e.IsDirectory; }));
}

bool ZipVerifier::ReadDirectory() {
  entries_.clear();
  entryProblems_.clear();
  try {
    file_ = env_.NewRandomAccessFile(archive_);
    fileSize_ = file_->Size();
  } catch (const std::exception& e) {
    problem_ = e.what();
    return false;
  }
  const EndSearchResult found = FindArchiveEnd(*file_, fileSize_);
  if (found.Outcome != EndSearch::Found || found.End.Problem != EndProblem::None) {
    problem_ = "the end of the central directory cannot be found";
    return false;
  }
  const ArchiveEnd& end = found.End;
  dirStart_ = end.DirEnd - static_cast<int64_t>(end.DirSize);
  // Data placed in front of an archive moves everything by the same amount.
  const int64_t shift = dirStart_ - static_cast<int64_t>(end.DirOffset);
  CentralDirectoryReader reader(*file_, dirStart_, end.DirSize);
  CentralRecord record;
  // Room for as many entries as the directory can hold: the space is taken only as it is filled,
  // where growing by doubling would copy a long list at every step and hold it twice meanwhile.
  entries_.reserve(static_cast<size_t>(std::min<uint64_t>(end.DirSize / kCentralHeaderSize, kMaxReservedEntries)));
  for (;;) {
    const CentralRead r = reader.Next(record);
    if (r == CentralRead::End) break;
    if (r != CentralRead::Record) {
      problem_ = "the central directory is damaged after " + std::to_string(reader.Count()) + " entries";
      return false;
    }
    const CentralHeader& h = record.Header;
    ZipVerifyEntry e;
    e.Name = record.Name;
    e.IsDirectory = !e.Name.empty() && e.Name.back() == '/';
    e.Flags = h.Flags;
    e.Method = h.Method;
    e.DosDateTime = (static_cast<uint32_t>(h.ModDate) << 16) | h.ModTime;
    e.UnixTime = ExtendedTimestamp(record.Extra);
    e.Crc = h.Crc;
    const Zip64Values v = ResolveZip64(record.Extra, h.UnpackedSize, h.PackedSize, h.LocalHeaderOffset, h.DiskStart);
    e.CompressedSize = v.Packed;
    e.UncompressedSize = v.Unpacked;
    e.LocalHeaderOffset = static_cast<uint64_t>(static_cast<int64_t>(v.Offset) + shift);
    if (!v.Complete) entryProblems_[entries_.size()] = "the ZIP64 sizes are missing from the directory";
    entries_.push_back(std::move(e));
  }
  if (CheckEntryCount(end, entries_.size()) == CountCheck::TooFew) {
    problem_ = "the central directory holds fewer entries than the archive counts";
    return false;
  }
  reader_ = std::make_unique<WindowReader>(*file_, fileSize_);
  return true;
}

std::optional<std::string> ZipVerifier::CheckLocalHeader(const ZipVerifyEntry& e, uint64_t* dataStart) {
  uint8_t fixed[kLocalHeaderSize];
  if (!reader_->Read(e.LocalHeaderOffset, reinterpret_cast<char*>(fixed), sizeof fixed))
    return "the local header lies beyond the end of the file";
  ZipByteReader h(fixed, sizeof fixed);
  if (h.U32() != kLocalHeaderSig) return "no local header at offset " + std::to_string(e.LocalHeaderOffset);
  h.U16();
  const uint16_t flags = h.U16();
  const uint16_t method = h.U16();
  h.Skip(4);
  const uint32_t crc = h.U32();
  const uint32_t packed = h.U32();
  const uint32_t unpacked = h.U32();
  const uint16_t nameLength = h.U16();
  const uint16_t extraLength = h.U16();
  std::string name(nameLength, '\0');
  if (!reader_->Read(e.LocalHeaderOffset + kLocalHeaderSize, name.data(), name.size()))
    return "the local header lies beyond the end of the file";
  if (name != e.Name) return "the local header names \"" + name + "\"";
  if (method != e.Method)
    return "the local header gives the method " + std::to_string(method) + ", the directory " + std::to_string(e.Method);
  // Without a data descriptor the local header repeats what the directory says (sizes that do
  // not fit in 32 bits are in its ZIP64 field, which the directory's values stand for).
  if (!(flags & 0x0008)) {
    if (crc != e.Crc) return "the local header gives the CRC-32 " + Hex32(crc) + ", the directory " + Hex32(e.Crc);
    if ((packed != kMax32 && packed != e.CompressedSize) || (unpacked != kMax32 && unpacked != e.UncompressedSize))
      return std::string("the local header gives other sizes than the directory");
  }
  *dataStart = e.LocalHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
  if (*dataStart > static_cast<uint64_t>(dirStart_) || e.CompressedSize > static_cast<uint64_t>(dirStart_) - *dataStart)
    return std::string("the data runs into the central directory");
  if (e.Method == kMethodStore && Checkable(e) && e.CompressedSize != e.UncompressedSize)
    return SizeProblem(e.CompressedSize, e.UncompressedSize);
  return std::nullopt;
}

// An entry too large to hold at once: inflated piece by piece with zlib.
std::optional<std::string> ZipVerifier::StreamEntry(const ZipVerifyEntry& e, uint64_t dataStart) {
  z_stream z{};
  const bool deflated = e.Method == kMethodDeflate;
  if (deflated && inflateInit2(&z, -MAX_WBITS) != Z_OK) return "out of memory";
  struct EndInflate {
    z_stream& z;
    bool active;
    ~EndInflate() {
      if (active) inflateEnd(&z);
    }
  } endInflate{z, deflated};
  std::string in(kStreamPiece, '\0'), out(kStreamPiece, '\0');
  uint64_t left = e.CompressedSize, produced = 0;
  uint32_t crc = 0;
  bool ended = !deflated;
  uint64_t at = dataStart;
  while (left > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
    if (!reader_->Read(at, in.data(), n)) return "the data runs past the end of the file";
    at += n;
    left -= n;
    if (!deflated) {
      crc = static_cast<uint32_t>(libdeflate_crc32(crc, in.data(), n));
      produced += n;
      continue;
    }
    if (ended) break;  // bytes after the end of the stream: the sizes tell
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(n);
    while (z.avail_in > 0 && !ended) {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      const int r = inflate(&z, Z_NO_FLUSH);
      if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return std::string("the compressed data is damaged");
      const size_t got = out.size() - z.avail_out;
      crc = static_cast<uint32_t>(libdeflate_crc32(crc, out.data(), got));
      produced += got;
      if (r == Z_STREAM_END) ended = true;
      if (r == Z_BUF_ERROR && got == 0) break;
    }
  }
  if (!ended) return std::string("the compressed data is damaged (it ends too early)");
  if (produced != e.UncompressedSize) return SizeProblem(produced, e.UncompressedSize);
  if (crc != e.Crc) return CrcProblem(crc, e.Crc);
  return std::nullopt;
}

std::vector<ZipVerifyProblem> ZipVerifier::Check(const Options& options) {
  std::vector<ZipVerifyProblem> problems;
  std::vector<size_t> order(entries_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return entries_[a].LocalHeaderOffset < entries_[b].LocalHeaderOffset; });
  // Problems found without a job, by entry index (a sound archive has none), and the jobs
  // handed out, oldest first, each with its position in `order`. Both hold only entries not
  // yet reported: an archive of many small entries must not cost a record per entry here.
  std::map<size_t, std::string> found;
  std::deque<std::pair<size_t, std::shared_ptr<Job>>> running;

  unsigned cores = std::thread::hardware_concurrency();
  const int workers = options.Workers > 0 ? options.Workers : static_cast<int>(std::clamp(cores == 0 ? 2u : cores, 1u, 16u));
  Pool pool(workers);
  int64_t inFlightBytes = 0;
  size_t reported = 0;  // positions of `order` handed to OnChecked
  uint64_t previousEnd = 0;  // where the data of the entry before ends
  std::vector<std::shared_ptr<Job>> batch;  // read, not yet handed to the workers
  size_t batchBytes = 0;

  // Entries are handled in `order`; those checked here (problems found in the headers, streamed
  // entries, entries without data to check) are done at once, the others when their job is done.
  auto report = [&](size_t upTo) {
    // Reports entries of `order` up to (not including) position upTo, waiting for their jobs.
    while (reported < upTo) {
      const size_t i = order[reported];
      std::string problem;
      if (!running.empty() && running.front().first == reported) {
        const Job& job = *running.front().second;
        pool.Wait(running.front().second);
        problem = job.Problem;
        inFlightBytes -= static_cast<int64_t>(job.Entry->CompressedSize + job.Entry->UncompressedSize);
        running.pop_front();
      } else if (auto f = found.find(i); f != found.end()) {
        problem = std::move(f->second);
        found.erase(f);
      }
      if (options.OnChecked) options.OnChecked(entries_[i], problem.empty() ? nullptr : &problem);
      if (!problem.empty()) problems.push_back({entries_[i].Name, problem});
      ++reported;
    }
  };

  for (size_t k = 0; k < order.size(); ++k) {
    const size_t i = order[k];
    const ZipVerifyEntry& e = entries_[i];
    if (auto p = entryProblems_.find(i); p != entryProblems_.end()) {
      found[i] = p->second;
      continue;
    }
    uint64_t dataStart = 0;
    if (std::optional<std::string> p = CheckLocalHeader(e, &dataStart)) {
      found[i] = *p;
      continue;
    }
    // Two entries sharing bytes would make one overwrite the other when extracted.
    if (k > 0 && previousEnd > e.LocalHeaderOffset) {
      found[i] = "the entry overlaps the one before it";
      continue;
    }
    previousEnd = dataStart + e.CompressedSize;
    if (!Checkable(e)) continue;
    const int64_t cost = static_cast<int64_t>(e.CompressedSize + e.UncompressedSize);
    if (static_cast<int64_t>(e.UncompressedSize) > options.WholeEntryLimit ||
        static_cast<int64_t>(e.CompressedSize) > options.WholeEntryLimit) {
      if (std::optional<std::string> p = StreamEntry(e, dataStart)) found[i] = *p;
      continue;
    }
    // Room first: the oldest jobs are waited for until this one fits in the budget.
    if (inFlightBytes > 0 && inFlightBytes + cost > options.MemoryBudget) {
      pool.Submit(batch);
      batchBytes = 0;
    }
    while (inFlightBytes > 0 && inFlightBytes + cost > options.MemoryBudget && reported < k) report(reported + 1);
    // And a bound on their number, which small entries would not reach by their bytes.
    if (running.size() >= kMaxJobsRunning) {
      pool.Submit(batch);
      batchBytes = 0;
      report(running.front().first + 1);
    }
    auto job = std::make_shared<Job>();
    job->Entry = &e;
    job->Data.resize(static_cast<size_t>(e.CompressedSize));
    if (!reader_->Read(dataStart, job->Data.data(), job->Data.size())) {
      found[i] = "the data runs past the end of the file";
      continue;
    }
    inFlightBytes += cost;
    running.emplace_back(k, job);
    batchBytes += job->Data.size();
    batch.push_back(std::move(job));
    if (batch.size() >= kBatchEntries || batchBytes >= kBatchBytes) {
      pool.Submit(batch);
      batchBytes = 0;
    }
    // Entries before the oldest job still running are told about as soon as they are known.
    while (reported < k && (running.empty() || running.front().first != reported)) report(reported + 1);
  }
  pool.Submit(batch);
  report(order.size());
  return problems;
}

}  // namespace dravello
