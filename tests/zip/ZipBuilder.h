// Writes small zip archives byte by byte, so that tests can make exactly the archive a case
// needs: names in any encoding from any host, ZIP64 records, and every kind of damage.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravello::ziptest {

// zlib's CRC-32: a reference independent of the engine under test.
inline uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(::crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

inline void Put16(std::string& s, uint32_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
inline void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

struct BuildEntry {
  std::string name;  // stored bytes, as they are
  std::string data;  // stored uncompressed
  uint8_t host = 3;
  uint8_t zipVersion = 20;
  uint16_t flags = 0;
  uint16_t dosTime = 0, dosDate = 0x21;  // MS-DOS last-write time and date (1980-01-01 00:00)
  std::string extra;    // central extra field
  std::string comment;  // entry comment
  // ZIP64: the header's sizes and offset saturated, the true values in a ZIP64 extra field.
  bool zip64 = false;
  std::optional<uint64_t> claimedSize;  // an unpacked size to claim in the ZIP64 field instead of the data's
};

struct ZipBuilder {
  std::vector<BuildEntry> entries;
  std::string comment;
  bool zip64End = false;  // ZIP64 end record and locator, with saturated end-record fields
  std::optional<uint64_t> totalOverride;       // entry count written to the end record(s)
  std::optional<uint64_t> dirSizeOverride;
  std::optional<uint64_t> dirOffsetOverride;
  std::optional<uint16_t> commentLengthOverride;
  std::optional<uint64_t> locatorOffsetOverride;  // where the locator says the ZIP64 record is

  std::string Build() const {
    std::string out;
    std::vector<uint64_t> offsets;
    for (const BuildEntry& e : entries) {
      offsets.push_back(out.size());
      Put32(out, 0x04034b50);
      Put16(out, 20);
      Put16(out, e.flags);
      Put16(out, 0);
      Put16(out, e.dosTime);
      Put16(out, e.dosDate);
      Put32(out, Crc32(e.data));
      Put32(out, static_cast<uint32_t>(e.data.size()));
      Put32(out, static_cast<uint32_t>(e.data.size()));
      Put16(out, static_cast<uint32_t>(e.name.size()));
      Put16(out, 0);
      out += e.name;
      out += e.data;
    }
    const uint64_t dirStart = out.size();
    for (size_t i = 0; i < entries.size(); ++i) {
      const BuildEntry& e = entries[i];
      std::string extra = e.extra;
      const uint64_t size = e.claimedSize.value_or(e.data.size());
      if (e.zip64) {
        std::string z;
        Put64(z, size);
        Put64(z, e.data.size());
        Put64(z, offsets[i]);
        std::string block;
        Put16(block, 0x0001);
        Put16(block, static_cast<uint32_t>(z.size()));
        extra = block + z + extra;
      }
      Put32(out, 0x02014b50);
      out += static_cast<char>(e.zipVersion);
      out += static_cast<char>(e.host);
      Put16(out, e.zip64 ? 45 : 20);
      Put16(out, e.flags);
      Put16(out, 0);
      Put16(out, e.dosTime);
      Put16(out, e.dosDate);
      Put32(out, Crc32(e.data));
      Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
      Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(size));
      Put16(out, static_cast<uint32_t>(e.name.size()));
      Put16(out, static_cast<uint32_t>(extra.size()));
      Put16(out, static_cast<uint32_t>(e.comment.size()));
      Put16(out, 0);
      Put16(out, 0);
      Put32(out, 0x81A40000u);
      Put32(out, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(offsets[i]));
      out += e.name;
      out += extra;
      out += e.comment;
    }
    const uint64_t dirSize = dirSizeOverride.value_or(out.size() - dirStart);
    const uint64_t dirOffset = dirOffsetOverride.value_or(dirStart);
    const uint64_t total = totalOverride.value_or(entries.size());
    if (zip64End) {
      const uint64_t recordPos = out.size();
      Put32(out, 0x06064b50);
      Put64(out, 44);
      Put16(out, 45);
      Put16(out, 45);
      Put32(out, 0);
      Put32(out, 0);
      Put64(out, total);
      Put64(out, total);
      Put64(out, dirSize);
      Put64(out, dirOffset);
      Put32(out, 0x07064b50);
      Put32(out, 0);
      Put64(out, locatorOffsetOverride.value_or(recordPos));
      Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, zip64End ? 0xFFFF : static_cast<uint32_t>(total));
    Put16(out, zip64End ? 0xFFFF : static_cast<uint32_t>(total));
    Put32(out, zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(dirSize));
    Put32(out, zip64End ? 0xFFFFFFFFu : static_cast<uint32_t>(dirOffset));
    Put16(out, commentLengthOverride.value_or(static_cast<uint16_t>(comment.size())));
    out += comment;
    return out;
  }
};

inline BuildEntry Entry(std::string name, std::string data = "data") {
  BuildEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  return e;
}

}  // namespace dravello::ziptest
