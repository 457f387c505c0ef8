#include "zipengine/Compression.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

#include "runtime/SysUtils.h"

namespace dravello::zipengine {

uint32_t Crc32(uint32_t crc, const char* data, size_t n) { return libdeflate_crc32(crc, data, n); }

int LibdeflateLevelFor(int commandLevel) { return std::clamp(commandLevel, 1, 9); }

BufferDeflater::BufferDeflater(int commandLevel)
    : compressor_(libdeflate_alloc_compressor(LibdeflateLevelFor(commandLevel))) {
  if (!compressor_) throw std::bad_alloc();
}

BufferDeflater::~BufferDeflater() { libdeflate_free_compressor(compressor_); }

bool BufferDeflater::Compress(const std::string& in, std::string& out) {
  if (in.empty()) return false;
  // Anything not smaller than the input is useless, so the input size bounds the output.
  out.resize(in.size() - 1);
  size_t n = libdeflate_deflate_compress(compressor_, in.data(), in.size(), out.data(), out.size());
  if (n == 0) return false;
  out.resize(n);
  return true;
}

StreamDeflater::StreamDeflater(int commandLevel) : z_(std::make_unique<z_stream_s>()) {
  *z_ = z_stream_s{};
  if (deflateInit2(z_.get(), std::clamp(commandLevel, 1, 9), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
}

StreamDeflater::~StreamDeflater() { deflateEnd(z_.get()); }

void StreamDeflater::Feed(const char* data, size_t n, bool finish, std::string& out) {
  z_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z_->avail_in = static_cast<uInt>(n);
  char chunk[1 << 16];
  for (;;) {
    z_->next_out = reinterpret_cast<Bytef*>(chunk);
    z_->avail_out = sizeof chunk;
    int rc = deflate(z_.get(), finish ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_ERROR) throw Exception("compression failed");
    out.append(chunk, sizeof chunk - z_->avail_out);
    if (finish ? rc == Z_STREAM_END : (z_->avail_in == 0 && z_->avail_out != 0)) break;
  }
}

}  // namespace dravello::zipengine
