// Bounds-checked reading of little-endian zip records from memory and from an archive file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/Env.h"

namespace dravello {

// Reads little-endian values from a byte range it does not own. A read that would pass the end
// yields 0 (or nothing) and clears Ok() for good, so a parser can read a whole record and check
// once at the end; nothing outside the range is ever touched.
class ZipByteReader {
 public:
  ZipByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  bool Ok() const { return ok_; }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }

  uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }
  // Moves on by n bytes; past the end clears Ok().
  void Skip(size_t n) {
    if (!Has(n)) return Fail();
    pos_ += n;
  }
  // A sub-range of n bytes at the current position, read past it.
  ZipByteReader Sub(size_t n) {
    if (!Has(n)) {
      Fail();
      return ZipByteReader(nullptr, 0);
    }
    ZipByteReader r(data_ + pos_, n);
    pos_ += n;
    return r;
  }

 private:
  bool Has(size_t n) const { return ok_ && n <= size_ - pos_; }
  void Fail() {
    ok_ = false;
    pos_ = size_;
  }
  uint64_t Take(size_t n) {
    if (!Has(n)) {
      Fail();
      return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += n;
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Reads an archive file front to back through a buffer, from a start position. Read returns
// fewer bytes than asked only at the end of the file, exactly like reading the file itself.
class ZipBufferedFile {
 public:
  ZipBufferedFile(RandomAccessFile& file, int64_t fileSize, int64_t start, size_t bufferSize = 256 * 1024)
      : file_(file), fileSize_(fileSize), next_(start), buffer_(bufferSize) {}

  size_t Read(void* dst, size_t n) {
    auto* out = static_cast<char*>(dst);
    size_t done = 0;
    while (done < n) {
      if (pos_ == len_) {
        if (!Fill()) break;
      }
      size_t k = std::min(n - done, len_ - pos_);
      std::memcpy(out + done, buffer_.data() + pos_, k);
      pos_ += k;
      done += k;
    }
    return done;
  }

 private:
  bool Fill() {
    if (next_ >= fileSize_) return false;
    size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buffer_.size()), fileSize_ - next_));
    len_ = file_.ReadAt(next_, buffer_.data(), want);
    pos_ = 0;
    next_ += static_cast<int64_t>(len_);
    if (len_ == 0) next_ = fileSize_;  // the file shrank meanwhile: its end is here
    return len_ > 0;
  }

  RandomAccessFile& file_;
  int64_t fileSize_;
  int64_t next_;
  std::vector<char> buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
};

}  // namespace dravello
