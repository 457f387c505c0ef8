// An archive reader of the tests' own, independent of the engine and of the archiver component:
// zlib inflates and checks the sums, the records are parsed here from the format's tables. The
// Linux tests judge archives with Info-ZIP's unzip, 7-Zip, Python's zipfile and bsdtar as well;
// on Windows those Linux programs are not there, and this reader is the one that judges.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Bytes.h"

namespace dravello::testing {

// One entry as the central directory records it (ZIP64 values applied).
struct ZipReaderEntry {
  std::string Name;  // the stored bytes
  int Method = -1;
  uint32_t Flags = 0;
  uint32_t ExternalAttr = 0;
  int CreateSystem = -1;  // the high byte of "version made by"
  uint64_t Size = 0;
  uint64_t CompressSize = 0;
  uint64_t HeaderOffset = 0;
  uint32_t Crc = 0;
  uint16_t DosTime = 0, DosDate = 0;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  std::string Extra;  // the central extra field, raw
};

struct ZipReaderArchive {
  std::vector<ZipReaderEntry> Entries;
  std::string Comment;
  std::string Error;  // what is wrong with the end records or the directory; empty when nothing
};

namespace zipreader_detail {

inline uint64_t Le(const std::string& s, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
  return v;
}

// The traditional PKWARE encryption, written from the format's description.
class Decrypter {
 public:
  explicit Decrypter(const std::string& password) {
    for (char c : password) Update(static_cast<unsigned char>(c));
  }
  unsigned char Decrypt(unsigned char c) {
    const uint32_t t = (k2_ | 2) & 0xFFFF;
    const unsigned char plain = static_cast<unsigned char>(c ^ static_cast<unsigned char>((t * (t ^ 1)) >> 8));
    Update(plain);
    return plain;
  }

 private:
  static uint32_t CrcByte(uint32_t crc, unsigned char b) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    return crc;
  }
  void Update(unsigned char c) {
    k0_ = CrcByte(k0_, c);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = CrcByte(k2_, static_cast<unsigned char>(k1_ >> 24));
  }
  uint32_t k0_ = 0x12345678u, k1_ = 0x23456789u, k2_ = 0x34567890u;
};

}  // namespace zipreader_detail

// Reads the end records and the central directory of the archive held in `bytes`.
inline ZipReaderArchive ParseZip(const std::string& bytes) {
  using zipreader_detail::Le;
  ZipReaderArchive a;
  if (bytes.size() < 22) {
    a.Error = "shorter than an end record";
    return a;
  }
  size_t end = std::string::npos;
  for (size_t at = bytes.size() - 22;; --at) {
    if (Le(bytes, at, 4) == 0x06054b50 && at + 22 + Le(bytes, at + 20, 2) <= bytes.size()) {
      end = at;
      break;
    }
    if (at == 0 || bytes.size() - at > 22 + 65535) break;
  }
  if (end == std::string::npos) {
    a.Error = "no end record";
    return a;
  }
  a.Comment = bytes.substr(end + 22, Le(bytes, end + 20, 2));
  uint64_t count = Le(bytes, end + 10, 2);
  uint64_t dirSize = Le(bytes, end + 12, 4);
  uint64_t dirOffset = Le(bytes, end + 16, 4);
  if (end >= 20 && Le(bytes, end - 20, 4) == 0x07064b50) {
    const uint64_t rec = Le(bytes, end - 20 + 8, 8);
    if (rec + 56 > bytes.size() || Le(bytes, rec, 4) != 0x06064b50) {
      a.Error = "the ZIP64 locator points at no ZIP64 end record";
      return a;
    }
    count = Le(bytes, rec + 32, 8);
    dirSize = Le(bytes, rec + 40, 8);
    dirOffset = Le(bytes, rec + 48, 8);
  }
  if (dirOffset + dirSize > bytes.size()) {
    a.Error = "the central directory lies past the end of the file";
    return a;
  }
  size_t at = dirOffset;
  for (uint64_t i = 0; i < count; ++i) {
    if (at + 46 > bytes.size() || Le(bytes, at, 4) != 0x02014b50) {
      a.Error = "central header " + std::to_string(i) + " is missing or damaged";
      return a;
    }
    ZipReaderEntry e;
    e.CreateSystem = static_cast<int>(Le(bytes, at + 5, 1));
    e.Flags = static_cast<uint32_t>(Le(bytes, at + 8, 2));
    e.Method = static_cast<int>(Le(bytes, at + 10, 2));
    e.DosTime = static_cast<uint16_t>(Le(bytes, at + 12, 2));
    e.DosDate = static_cast<uint16_t>(Le(bytes, at + 14, 2));
    e.Crc = static_cast<uint32_t>(Le(bytes, at + 16, 4));
    e.CompressSize = Le(bytes, at + 20, 4);
    e.Size = Le(bytes, at + 24, 4);
    const size_t nameLen = Le(bytes, at + 28, 2), extraLen = Le(bytes, at + 30, 2), commentLen = Le(bytes, at + 32, 2);
    e.ExternalAttr = static_cast<uint32_t>(Le(bytes, at + 38, 4));
    e.HeaderOffset = Le(bytes, at + 42, 4);
    if (at + 46 + nameLen + extraLen + commentLen > bytes.size()) {
      a.Error = "central header " + std::to_string(i) + " runs past the end of the file";
      return a;
    }
    e.Name = bytes.substr(at + 46, nameLen);
    e.Extra = bytes.substr(at + 46 + nameLen, extraLen);
    // ZIP64: the saturated fields, in their order, from the extra block 0x0001.
    for (size_t x = 0; x + 4 <= e.Extra.size();) {
      const uint64_t id = Le(e.Extra, x, 2), len = Le(e.Extra, x + 2, 2);
      if (x + 4 + len > e.Extra.size()) break;
      if (id == 1) {
        size_t p = x + 4;
        auto take = [&](uint64_t& field) {
          if (field == 0xFFFFFFFFu && p + 8 <= x + 4 + len) {
            field = Le(e.Extra, p, 8);
            p += 8;
          }
        };
        take(e.Size);
        take(e.CompressSize);
        take(e.HeaderOffset);
      }
      x += 4 + len;
    }
    e.Year = 1980 + (e.DosDate >> 9);
    e.Month = (e.DosDate >> 5) & 15;
    e.Day = e.DosDate & 31;
    e.Hour = e.DosTime >> 11;
    e.Minute = (e.DosTime >> 5) & 63;
    e.Second = (e.DosTime & 31) * 2;
    a.Entries.push_back(std::move(e));
    at += 46 + nameLen + extraLen + commentLen;
  }
  return a;
}

// The stored (compressed, possibly encrypted) bytes of an entry, found through its local header;
// nothing when the local header does not agree with the central one.
inline std::optional<std::string> StoredBytes(const std::string& bytes, const ZipReaderEntry& e, std::string* why) {
  using zipreader_detail::Le;
  const uint64_t at = e.HeaderOffset;
  if (at + 30 > bytes.size() || Le(bytes, at, 4) != 0x04034b50) {
    *why = "no local header at offset " + std::to_string(at);
    return std::nullopt;
  }
  const size_t nameLen = Le(bytes, at + 26, 2), extraLen = Le(bytes, at + 28, 2);
  if (bytes.compare(at + 30, nameLen, e.Name) != 0) {
    *why = "the local header names another file";
    return std::nullopt;
  }
  if (static_cast<int>(Le(bytes, at + 8, 2)) != e.Method) {
    *why = "the local header gives another method";
    return std::nullopt;
  }
  const uint64_t data = at + 30 + nameLen + extraLen;
  if (data + e.CompressSize > bytes.size()) {
    *why = "the data runs past the end of the file";
    return std::nullopt;
  }
  return bytes.substr(data, e.CompressSize);
}

// The content of an entry, decrypted and inflated, its size and CRC-32 checked. Nothing on any
// fault, with the reason in *why.
inline std::optional<std::string> EntryContent(const std::string& bytes, const ZipReaderEntry& e,
                                               const std::string& password, std::string* why) {
  std::optional<std::string> stored = StoredBytes(bytes, e, why);
  if (!stored) return std::nullopt;
  std::string data = std::move(*stored);
  if (e.Flags & 1) {
    if (password.empty()) {
      *why = "encrypted, and no password given";
      return std::nullopt;
    }
    if (data.size() < 12) {
      *why = "encrypted data shorter than its header";
      return std::nullopt;
    }
    zipreader_detail::Decrypter d(password);
    for (char& c : data) c = static_cast<char>(d.Decrypt(static_cast<unsigned char>(c)));
    const unsigned char check = static_cast<unsigned char>(data[11]);
    const unsigned char expected = (e.Flags & 8) ? static_cast<unsigned char>(e.DosTime >> 8) : static_cast<unsigned char>(e.Crc >> 24);
    if (check != expected) {
      *why = "wrong password";
      return std::nullopt;
    }
    data.erase(0, 12);
  }
  std::string out;
  if (e.Method == 0) {
    out = std::move(data);
  } else if (e.Method == 8) {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
      *why = "inflateInit2 failed";
      return std::nullopt;
    }
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    size_t unread = data.size();  // handed to zlib at most 1 GiB at a time
    char buf[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
      if (z.avail_in == 0 && unread > 0) {
        z.avail_in = static_cast<uInt>(std::min<size_t>(unread, size_t{1} << 30));
        unread -= z.avail_in;
      }
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      rc = inflate(&z, Z_NO_FLUSH);
      out.append(buf, sizeof buf - z.avail_out);
      if (rc == Z_BUF_ERROR && z.avail_in == 0 && unread == 0) break;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) {
      *why = "the deflate stream is damaged or cut short (zlib " + std::to_string(rc) + ")";
      return std::nullopt;
    }
  } else {
    *why = "method " + std::to_string(e.Method) + " is not one this reader knows";
    return std::nullopt;
  }
  if (out.size() != e.Size) {
    *why = "unpacked size " + std::to_string(out.size()) + ", recorded " + std::to_string(e.Size);
    return std::nullopt;
  }
  // zlib takes 32-bit lengths: entries beyond 4 GiB are summed in pieces.
  uLong crc = ::crc32(0L, Z_NULL, 0);
  for (size_t at = 0; at < out.size();) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(out.size() - at, size_t{1} << 30));
    crc = ::crc32(crc, reinterpret_cast<const Bytef*>(out.data() + at), piece);
    at += piece;
  }
  if (crc != e.Crc) {
    *why = "CRC-32 mismatch";
    return std::nullopt;
  }
  return out;
}

inline std::string ReadWholeFile(const std::string& path) {
  try {
    return ReadBytes(path);
  } catch (const std::exception&) {
    return std::string();
  }
}

// Empty when every entry of the archive at `path` unpacks with its recorded size and CRC-32 (the
// encrypted ones with `password`); else what is wrong.
inline std::string ZipReaderFaults(const std::string& path, const std::string& password = "") {
  const std::string bytes = ReadWholeFile(path);
  const ZipReaderArchive a = ParseZip(bytes);
  if (!a.Error.empty()) return a.Error;
  std::string faults;
  for (const ZipReaderEntry& e : a.Entries) {
    std::string why;
    if (!EntryContent(bytes, e, password, &why)) faults += e.Name + ": " + why + "\n";
  }
  return faults;
}

// The content of the entry named `name`; empty when there is none or it does not unpack.
inline std::string ZipReaderContent(const std::string& path, const std::string& name, const std::string& password = "") {
  const std::string bytes = ReadWholeFile(path);
  for (const ZipReaderEntry& e : ParseZip(bytes).Entries) {
    if (e.Name != name) continue;
    std::string why;
    return EntryContent(bytes, e, password, &why).value_or(std::string());
  }
  return std::string();
}

}  // namespace dravello::testing
