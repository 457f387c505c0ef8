// An archive that changes between its writing and its reading back: the pack run finds the
// entry that no longer holds what was written, fails that step, keeps the archive and clears no
// archive attribute, so that the next run packs the files again. The engine runs in this process
// (InProcessEngine.h), so the fault-injecting Env sees the rename that puts the archive in place
// and changes the archive's bytes right after it.
#include <fstream>

#include "tests/support/FaultEnv.h"
#include "tests/trials/InProcessEngine.h"
#include "tests/trials/TrialFixture.h"
#include "zip/ZipVerifier.h"
#include "tests/support/Wine.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

class VerifyEnv : public FaultEnv {
 public:
  using FaultEnv::FaultEnv;
  std::unique_ptr<DynamicLibrary> OpenLibrary(const std::string&, std::string*) override {
    return std::make_unique<InProcessEngine>();
  }
};

// Flips one byte in the middle of the data of the entry whose name ends with `suffix`.
void DamageEntry(const std::string& archive, const std::string& suffix) {
  ZipVerifier reader(Env::Platform(), archive);
  ASSERT_TRUE(reader.ReadDirectory());
  std::string bytes = ReadFileToString(Env::Platform(), archive);
  for (const ZipVerifyEntry& e : reader.Entries()) {
    if (e.Name.size() < suffix.size() || e.Name.compare(e.Name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const size_t local = e.LocalHeaderOffset;
    auto le16 = [&](size_t at) { return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8); };
    const size_t data = local + 30 + le16(local + 26) + le16(local + 28);
    bytes[data + e.CompressedSize / 2] ^= 0x5A;
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
    return;
  }
  FAIL() << "no entry " << suffix << " in " << archive;
}

class VerifyFaultTest : public TrialFixture {
 protected:
  void Script(int format) {
    WriteIni({"[scripts]", "Weekly=", "[script: Weekly]", "CopyFiles=0", "DstPath=" + Path("out/Backup/"),
              "DstFormat=" + std::to_string(format), "SrcPath=\"1" + Path("src") + "\"", "UseArchiveAttrib=1",
              "RemArchiveAttrib=1"});
  }
  bool ArchiveBitSet(const std::string& rel) {
    const std::optional<uint32_t> a = Env::Platform().GetAttributes(Path("src/" + rel));
    return a && (*a & faArchive);
  }
};

TEST_F(VerifyFaultTest, AnArchiveChangedBetweenWriteAndCheckFailsTheRunKeepsTheArchiveAndEveryArchiveBit) {
  if (testing::UnderWine()) GTEST_SKIP() << testing::kWineKeepsNoArchiveBit;
  struct Case {
    const char* What;
    int Format;              // 2: the archive of the first run is extended; 0: a new dated one
    const char* Damaged;     // the entry whose bytes change
    const char* LogTail;     // the failure as the log gives it
  };
  const Case cases[] = {
      {"a new entry, deflated", 2, "src/new.txt", "the compressed data is damaged"},
      {"a new entry, stored by its suffix", 2, "src/new.gif", "the data has the CRC-32"},
      {"an old entry copied raw from the archive before", 2, "src/old.txt", "the compressed data is damaged"},
      {"a new dated archive", 0, "src/new.txt", "the compressed data is damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    fs::remove_all(Path("src"));
    fs::remove_all(Path("out"));
    Script(c.Format);
    clock_->Set({2004, 3, 15, 14, 7, 0, 0});
    Write("src/old.txt", std::string(5000, 'o') + "the first backup");
    ASSERT_EQ(RunScript("Weekly"), 0);
    ASSERT_FALSE(ArchiveBitSet("old.txt"));
    Write("src/old.txt", std::string(5000, 'o') + "changed since");
    Write("src/new.txt", std::string(7000, 'n') + "new since");
    Write("src/new.gif", Noise(3000, 7));
    clock_->Set({2004, 3, 15, 14, 9, 0, 0});
    const std::string archive = c.Format == 2 ? Path("out/Backup.zip") : Path("out/Backup/2004-03-15 14-09.zip");
    const std::string damaged = PathWithoutDrive(Path(c.Damaged));

    const size_t mark = LogLines().size();
    {
      VerifyEnv env(Env::Platform());
      env.AfterRename([&](const std::string&, const std::string& to) {
        if (to == archive) DamageEntry(archive, damaged);
      });
      ScopedEnv scoped(env);
      EXPECT_EQ(RunScript("Weekly"), 1);
    }
    const std::vector<std::string> log = LogSince(mark);
    EXPECT_EQ(CountContaining(log, "[Weekly] Verifying 3 files..."), 1) << ::testing::PrintToString(log);
    EXPECT_EQ(CountContaining(log, "[Weekly] ### Exception during verifying " + damaged + " [" + c.LogTail), 1)
        << ::testing::PrintToString(log);
    EXPECT_EQ(CountContaining(log, "### Exception"), 1);
    EXPECT_EQ(CountContaining(log, "[Weekly] Verified 2 files."), 1);
    EXPECT_TRUE(fs::exists(archive)) << "the archive is kept";
    for (const char* rel : {"old.txt", "new.txt", "new.gif"}) EXPECT_TRUE(ArchiveBitSet(rel)) << rel;

    // Nothing changes the next archive: the files still flagged go into it, and lose their flag.
    clock_->Set({2004, 3, 15, 14, 11, 0, 0});
    const std::string next = c.Format == 2 ? archive : Path("out/Backup/2004-03-15 14-11.zip");
    if (c.Format == 2) fs::remove(archive);  // the damaged one cannot be extended as it is
    EXPECT_EQ(RunScript("Weekly"), 0);
    EXPECT_EQ(ZipEntries(next), (std::vector<std::string>{"new.gif", "new.txt", "old.txt"}));
    for (const char* rel : {"old.txt", "new.txt", "new.gif"}) EXPECT_FALSE(ArchiveBitSet(rel)) << rel;
  }
}

}  // namespace
}  // namespace dravello
