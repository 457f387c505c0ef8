// Deflate compression for the engine: whole buffers with libdeflate (fast, used on worker
// threads) and a zlib stream for sources too large to hold in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct libdeflate_compressor;
struct z_stream_s;

namespace dravello::zipengine {

// The CRC-32 of zip entries, continued from `crc` (0 to start).
uint32_t Crc32(uint32_t crc, const char* data, size_t n);

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
