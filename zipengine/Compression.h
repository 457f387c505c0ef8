// Deflate compression for the engine: whole files with libdeflate, and pieces of large files
// with zlib (pieces can be joined into one stream, so a large file is compressed in parallel
// without being held in memory). Both are used on worker threads, one object per thread; they
// keep their working memory between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct libdeflate_compressor;
struct z_stream_s;

namespace dravello::zipengine {

// The CRC-32 of zip entries, continued from `crc` (0 to start).
uint32_t Crc32(uint32_t crc, const char* data, size_t n);
// The CRC-32 of two pieces joined, from the CRCs of the pieces and the length of the second.
uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength);

// The libdeflate level used for a command level of 1 to 9.
int LibdeflateLevelFor(int commandLevel);

// Compresses whole buffers.
class BufferDeflater {
 public:
  explicit BufferDeflater(int commandLevel);
  ~BufferDeflater();
  BufferDeflater(const BufferDeflater&) = delete;
  BufferDeflater& operator=(const BufferDeflater&) = delete;

  // Raw deflate of `in` into `out`. Returns false (out unspecified) when the result would not
  // be smaller than the input, in which case the entry is better stored.
  bool Compress(const std::string& in, std::string& out);

  // Inputs up to this size are compressed at libdeflate's first level, whatever the command's:
  // every level finds nearly the same matches in so few bytes (0.3 % larger at most, measured
  // on source and text files), and the higher levels' setup is most of the time a small input
  // takes.
  static constexpr size_t kSmallInput = 1024;

 private:
  libdeflate_compressor* compressor_;
  libdeflate_compressor* smallCompressor_ = nullptr;  // made at the first small input
  std::string scratch_;
};

// Pieces of a large source: each is deflated with the previous piece's last 32 KiB as the
// dictionary and ends on a byte boundary without a final block, so the pieces joined in order
// form one stream once kFinalEmptyBlock is appended.
class PieceDeflater {
 public:
  explicit PieceDeflater(int commandLevel);
  ~PieceDeflater();
  PieceDeflater(const PieceDeflater&) = delete;
  PieceDeflater& operator=(const PieceDeflater&) = delete;

  void Compress(const std::string& in, std::string_view dictionary, std::string& out);

 private:
  std::unique_ptr<z_stream_s> z_;
  std::string scratch_;
};

inline constexpr std::string_view kFinalEmptyBlock{"\x03\x00", 2};
inline constexpr size_t kDictionarySize = 32768;

}  // namespace dravello::zipengine
