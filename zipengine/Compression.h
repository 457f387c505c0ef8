// Deflate compression for the engine: whole buffers with libdeflate (fast, used on worker
// threads) and a zlib stream for sources too large to hold in memory.
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

// Compresses whole buffers. One per thread; not thread-safe.
class BufferDeflater {
 public:
  explicit BufferDeflater(int commandLevel);
  ~BufferDeflater();
  BufferDeflater(const BufferDeflater&) = delete;
  BufferDeflater& operator=(const BufferDeflater&) = delete;

  // Raw deflate of `in` into `out`. Returns false (out unspecified) when the result would not
  // be smaller than the input, in which case the entry is better stored.
  bool Compress(const std::string& in, std::string& out);

 private:
  libdeflate_compressor* compressor_;
};

// One piece of a large source, deflated on its own so that pieces can be compressed in
// parallel: the previous piece's last 32 KiB serve as the dictionary, and the output ends on a
// byte boundary with no final block, so pieces can be joined. The joined stream is closed with
// kFinalEmptyBlock.
std::string DeflatePiece(const std::string& in, std::string_view dictionary, int commandLevel);
inline constexpr std::string_view kFinalEmptyBlock{"\x03\x00", 2};
inline constexpr size_t kDictionarySize = 32768;

// Raw deflate as a stream of pieces, for large sources.
class StreamDeflater {
 public:
  explicit StreamDeflater(int commandLevel);
  ~StreamDeflater();
  StreamDeflater(const StreamDeflater&) = delete;
  StreamDeflater& operator=(const StreamDeflater&) = delete;

  // Compresses `n` bytes and appends whatever output is ready to `out`; with `finish` the
  // stream is ended and all output flushed.
  void Feed(const char* data, size_t n, bool finish, std::string& out);

 private:
  std::unique_ptr<z_stream_s> z_;
};

}  // namespace dravello::zipengine
