#include "zipengine/Compression.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <new>

#include "runtime/SysUtils.h"

namespace dravello::zipengine {

uint32_t Crc32(uint32_t crc, const char* data, size_t n) { return libdeflate_crc32(crc, data, n); }

namespace {

// CRC-32 arithmetic over GF(2), reflected as the zip CRC is: the product of two polynomials
// modulo the CRC polynomial.
uint32_t MultModP(uint32_t a, uint32_t b) {
  uint32_t m = 1u << 31, p = 0;
  for (;;) {
    if (a & m) {
      p ^= b;
      if ((a & (m - 1)) == 0) break;
    }
    m >>= 1;
    b = (b & 1) ? (b >> 1) ^ 0xEDB88320u : b >> 1;
  }
  return p;
}

// x^(n * 2^k) modulo the CRC polynomial.
uint32_t X2nModP(uint64_t n, unsigned k) {
  static const auto kPowers = [] {
    std::array<uint32_t, 64> t{};
    t[0] = 1u << 30;  // x^1
    for (size_t i = 1; i < t.size(); ++i) t[i] = MultModP(t[i - 1], t[i - 1]);
    return t;
  }();
  uint32_t p = 1u << 31;  // x^0
  for (; n; n >>= 1, ++k)
    if (n & 1) p = MultModP(kPowers[k & 63], p);
  return p;
}

}  // namespace

// Computed here rather than by zlib's crc32_combine64, whose length is 32 bits wide where zlib
// was built without large-file support (as on Windows).
uint32_t Crc32Combine(uint32_t first, uint32_t second, uint64_t secondLength) {
  return MultModP(X2nModP(secondLength, 3), first) ^ second;
}

// libdeflate's levels are its own scale: its level 7 already compresses about as well as zlib's
// level 9 at more than twice the speed, and its levels 8 and 9 buy a few tenths of a percent
// for twice the time. The command's top levels therefore map to 7; levels 10 to 12 (near-optimal
// parsing) are far too slow for backups.
int LibdeflateLevelFor(int commandLevel) {
  static constexpr int kMap[10] = {1, 1, 2, 3, 4, 5, 6, 6, 7, 7};
  return kMap[std::clamp(commandLevel, 1, 9)];
}

BufferDeflater::BufferDeflater(int commandLevel)
    : compressor_(libdeflate_alloc_compressor(LibdeflateLevelFor(commandLevel))) {
  if (!compressor_) throw std::bad_alloc();
}

BufferDeflater::~BufferDeflater() {
  libdeflate_free_compressor(compressor_);
  libdeflate_free_compressor(smallCompressor_);
}

bool BufferDeflater::Compress(const std::string& in, std::string& out) {
  if (in.empty()) return false;
  libdeflate_compressor* c = compressor_;
  if (in.size() <= kSmallInput) {
    if (!smallCompressor_ && !(smallCompressor_ = libdeflate_alloc_compressor(1))) throw std::bad_alloc();
    c = smallCompressor_;
  }
  // The full bound, not the input size: libdeflate needs some slack to finish, and data that
  // shrinks only a little is still worth keeping deflated. The scratch buffer is reused, so
  // only the final size is allocated per call.
  size_t bound = libdeflate_deflate_compress_bound(c, in.size());
  if (scratch_.size() < bound) scratch_.resize(bound);
  size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), scratch_.data(), bound);
  if (n == 0 || n >= in.size()) return false;
  out.assign(scratch_.data(), n);
  return true;
}

PieceDeflater::PieceDeflater(int commandLevel) : z_(std::make_unique<z_stream_s>()) {
  *z_ = z_stream_s{};
  if (deflateInit2(z_.get(), std::clamp(commandLevel, 1, 9), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::bad_alloc();
}

PieceDeflater::~PieceDeflater() { deflateEnd(z_.get()); }

void PieceDeflater::Compress(const std::string& in, std::string_view dictionary, std::string& out) {
  z_stream_s& z = *z_;
  if (deflateReset(&z) != Z_OK) throw Exception("compression failed");
  if (!dictionary.empty())
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
  // Room for the worst case plus the flush marker, so one call does all the work.
  size_t bound = deflateBound(&z, static_cast<uLong>(in.size())) + 64;
  if (scratch_.size() < bound) scratch_.resize(bound);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(scratch_.data());
  z.avail_out = static_cast<uInt>(bound);
  int rc = deflate(&z, Z_SYNC_FLUSH);
  if (rc != Z_OK || z.avail_in != 0 || z.avail_out == 0) throw Exception("compression failed");
  out.assign(scratch_.data(), bound - z.avail_out);
}

}  // namespace dravello::zipengine
