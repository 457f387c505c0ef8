// The building blocks: entry names, dates, UTF-8 detection, encryption, and
// the ZIP64 thresholds of the end records.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

#include "zipengine/Compression.h"
#include "zipengine/FileSelection.h"
#include "zipengine/ZipCrypto.h"
#include "zipengine/ZipFormat.h"

namespace dravello::zipengine {
namespace {

TEST(EntryNameTest, NoDriveNoDotsSlashSeparated) {
  EXPECT_EQ(NormalizeEntryName("/home/ann/a.doc"), "home/ann/a.doc");
  EXPECT_EQ(NormalizeEntryName("docs/./x//y.txt"), "docs/x/y.txt");
  EXPECT_EQ(NormalizeEntryName("../../etc/passwd"), "etc/passwd");
  EXPECT_EQ(NormalizeEntryName("a/../b"), "a/b");
}

// A file's path and entry name survive the list growing (the list moves every file) and are
// gone after Release, whether the path is held or borrowed and whether the name is its end.
TEST(SelectedFileTest, PathAndNameHeldOrBorrowedSurviveMovesAndRelease) {
  const std::string lasting = "/data/a b/long enough not to fit a short string.txt";
  struct Case {
    bool owning;
    std::string path, name;
  } cases[] = {
      {true, "/x/y.txt", "x/y.txt"},  // short enough to sit inside the string object
      {true, lasting, "data/a b/long enough not to fit a short string.txt"},
      {true, "C:\\x\\y.txt", "x/y.txt"},  // the name is no end of the path
      {false, lasting, "long enough not to fit a short string.txt"},
      {false, lasting, "other/name.txt"},
      {false, lasting, ""},
  };
  std::vector<SelectedFile> files;
  for (const Case& c : cases) {
    const FileStat st;
    files.push_back(c.owning ? SelectedFile::Owning(c.path, c.name, st, 0, 0)
                             : SelectedFile::Borrowing(lasting, c.name, st, 0, 0));
  }
  files.shrink_to_fit();  // moves every file once more
  for (size_t i = 0; i < files.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(files[i].Path(), c.owning ? c.path : lasting) << i;
    EXPECT_EQ(files[i].StoredName(), c.name) << i;
    files[i].Release();
    EXPECT_EQ(files[i].Path(), "") << i;
    EXPECT_EQ(files[i].StoredName(), "") << i;
  }
}

TEST(FromDateTest, ParsesTheCommandForm) {
  char d1[8] = {'1', '2', ' ', '3', '0', ' ', '9', '9'};
  char d2[8] = {'0', '3', ' ', '0', '1', ' ', '0', '4'};
  char bad[8] = {'1', '3', ' ', '0', '1', ' ', '0', '4'};
  EXPECT_EQ(ParseFromDate(d1), (LocalDate{1999, 12, 30}));
  EXPECT_EQ(ParseFromDate(d2), (LocalDate{2004, 3, 1}));
  EXPECT_FALSE(ParseFromDate(bad));
}

TEST(Utf8Test, ValidAndInvalid) {
  EXPECT_TRUE(IsValidUtf8("caf\xc3\xa9"));
  EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("caf\xe9"));          // Latin-1
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xe2\x82"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
}

TEST(CryptoTest, RoundTripAndCheckByte) {
  std::string plain = "The quick brown fox jumps over the lazy dog";
  ZipEncryptor enc("secret");
  std::string header = enc.Header(0xAB, 42);
  std::string data = plain;
  enc.Encrypt(data.data(), data.size());
  EXPECT_NE(data, plain);
  ZipDecryptor dec("secret");
  std::string all = header + data;
  dec.Decrypt(all.data(), all.size());
  EXPECT_EQ(static_cast<uint8_t>(all[11]), 0xAB);
  EXPECT_EQ(all.substr(12), plain);
  ZipDecryptor wrong("Secret");
  std::string again = header;
  wrong.Decrypt(again.data(), again.size());
  EXPECT_NE(static_cast<uint8_t>(again[11]), 0xAB);
}

TEST(EndRecordTest, Zip64OnlyWhenNeeded) {
  EXPECT_EQ(BuildEndRecords(65534, 100, 100, "").size(), kEndRecordSize);
  std::string big = BuildEndRecords(65535, 100, 100, "");
  EXPECT_EQ(big.size(), kZip64EndRecordSize + kZip64LocatorSize + kEndRecordSize);
  EXPECT_EQ(Get32(big.data()), kZip64EndRecordSig);
  EXPECT_EQ(Get64(big.data() + 32), 65535u);
  EXPECT_EQ(Get16(big.data() + kZip64EndRecordSize + kZip64LocatorSize + 8), 0xFFFF);
  EXPECT_EQ(BuildEndRecords(1, 0x100000000ULL, 46, "").size(), kZip64EndRecordSize + kZip64LocatorSize + kEndRecordSize);
  EXPECT_EQ(BuildEndRecords(1, 0xFFFFFFFEULL, 46, "c").size(), kEndRecordSize + 1);
}

TEST(CentralHeaderTest, Zip64FieldHoldsOnlyTheBigValues) {
  EntryHeader e;
  e.Name = "x";
  e.UncompressedSize = 5ULL << 30;
  e.CompressedSize = 1000;
  e.LocalHeaderOffset = 7;
  std::string h = BuildCentralHeader(e, {}, {});
  EXPECT_EQ(Get32(h.data() + 20), 1000u);
  EXPECT_EQ(Get32(h.data() + 24), 0xFFFFFFFFu);
  EXPECT_EQ(Get16(h.data() + 30), 12) << "ZIP64 field with one value, nothing else";
  EXPECT_EQ(Get16(h.data() + kCentralHeaderSize + 1), kExtraZip64);
  EXPECT_EQ(Get64(h.data() + kCentralHeaderSize + 1 + 4), 5ULL << 30);
}

TEST(Crc32Combine, EqualsTheCrcOfTheJoinedBytes) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>((i * 7919) >> 3));
  for (size_t cut : {size_t{0}, size_t{1}, size_t{3}, size_t{64}, size_t{4095}, size_t{4999}, size_t{5000}}) {
    const uint32_t first = zipengine::Crc32(0, bytes.data(), cut);
    const uint32_t second = zipengine::Crc32(0, bytes.data() + cut, bytes.size() - cut);
    EXPECT_EQ(zipengine::Crc32Combine(first, second, bytes.size() - cut), zipengine::Crc32(0, bytes.data(), bytes.size()))
        << cut;
  }
  // Lengths past 32 bits, as zlib computes them where its offsets are 64 bits wide.
#ifdef _WIN32
  std::printf("[ SKIPPED  ] lengths past 32 bits: MinGW's zlib has 32-bit offsets and cannot give the reference\n");
#else
  for (uint64_t length : {uint64_t{1} << 32, (uint64_t{5} << 32) + 12345, uint64_t{0xFFFFFFFFFFFull}})
    EXPECT_EQ(zipengine::Crc32Combine(0x12345678u, 0x9ABCDEF0u, length),
              crc32_combine64(0x12345678u, 0x9ABCDEF0u, static_cast<z_off64_t>(length)))
        << length;
#endif
}

}  // namespace
}  // namespace dravello::zipengine
