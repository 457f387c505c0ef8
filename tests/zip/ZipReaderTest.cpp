// The tests' own archive reader (tests/support/ZipReader.h) judges the engine's archives where the
// Linux tools are missing: it must accept whole archives and catch damaged ones.
#include <gtest/gtest.h>

#include "ZipBuilder.h"
#include "ZipTestSupport.h"
#include "tests/support/ZipReader.h"

namespace dravello {
namespace {

using namespace ziptest;

TEST(ZipReaderTest, ReadsWhatTheBuilderWrote) {
  ZipBuilder b;
  BuildEntry big = Entry("dir/big.bin", std::string(3000, 'b'));
  big.zip64 = true;
  big.dosDate = ((2004 - 1980) << 9) | (3 << 5) | 15;
  big.dosTime = (14 << 11) | (7 << 5) | 16;
  b.entries = {Entry("a.txt", "alpha"), big};
  b.comment = "the comment";
  b.zip64End = true;
  const testing::ZipReaderArchive a = testing::ParseZip(b.Build());
  EXPECT_EQ(a.Error, "");
  EXPECT_EQ(a.Comment, "the comment");
  ASSERT_EQ(a.Entries.size(), 2u);
  EXPECT_EQ(a.Entries[0].Name, "a.txt");
  EXPECT_EQ(a.Entries[0].Size, 5u);
  EXPECT_EQ(a.Entries[0].Crc, Crc32("alpha"));
  EXPECT_EQ(a.Entries[1].Size, 3000u) << "taken from the ZIP64 field";
  EXPECT_EQ(a.Entries[1].HeaderOffset, 30u + 5 + 5);
  EXPECT_EQ(a.Entries[1].CreateSystem, 3);
  EXPECT_EQ(std::make_tuple(a.Entries[1].Year, a.Entries[1].Month, a.Entries[1].Day, a.Entries[1].Hour,
                            a.Entries[1].Minute, a.Entries[1].Second),
            std::make_tuple(2004, 3, 15, 14, 7, 32));
}

TEST(ZipReaderTest, UnpacksWholeEntriesAndReportsDamage) {
  TempDir dir;
  ZipBuilder b;
  b.entries = {Entry("a.txt", "alpha"), Entry("b.txt", "beta")};
  const std::string good = b.Build();
  WriteBytes(dir / "good.zip", good);
  EXPECT_EQ(testing::ZipReaderFaults(dir / "good.zip"), "");
  EXPECT_EQ(testing::ZipReaderContent(dir / "good.zip", "b.txt"), "beta");
  EXPECT_EQ(testing::ZipReaderContent(dir / "good.zip", "c.txt"), "");

  std::string flipped = good;
  flipped[30 + 5 + 1] ^= 0x20;  // a byte of "alpha"
  WriteBytes(dir / "flipped.zip", flipped);
  EXPECT_NE(testing::ZipReaderFaults(dir / "flipped.zip").find("a.txt: CRC-32 mismatch"), std::string::npos);
  EXPECT_EQ(testing::ZipReaderContent(dir / "flipped.zip", "a.txt"), "");

  std::string renamed = good;
  renamed[30] = 'x';  // the local header's name no longer agrees with the directory
  WriteBytes(dir / "renamed.zip", renamed);
  EXPECT_NE(testing::ZipReaderFaults(dir / "renamed.zip").find("names another file"), std::string::npos);

  WriteBytes(dir / "cut.zip", good.substr(0, good.size() - 30));
  EXPECT_NE(testing::ZipReaderFaults(dir / "cut.zip"), "");
  WriteBytes(dir / "text.zip", std::string(100, 't'));
  EXPECT_EQ(testing::ZipReaderFaults(dir / "text.zip"), "no end record");
}

}  // namespace
}  // namespace dravello
