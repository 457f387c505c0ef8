// ZIP64 and bounded memory with real sizes: more than 65,535 entries, entries and offsets
// beyond 4 GiB (from sparse files, so the sources take no disk space), and a 10 GiB source
// packed within a fixed memory ceiling. Slow by nature; run under the "long" label.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"

namespace dravello::zipengine::test {
namespace {

// Peak resident memory of this process so far, in bytes.
int64_t PeakRss() {
  std::string status = ReadFileToString(Env::Platform(), "/proc/self/status");
  size_t at = status.find("VmHWM:");
  if (at == std::string::npos) return -1;
  return std::stoll(status.substr(at + 6)) * 1024;
}

// Resident memory of this process now, in bytes.
int64_t CurrentRss() {
  std::string status = ReadFileToString(Env::Platform(), "/proc/self/status");
  size_t at = status.find("VmRSS:");
  if (at == std::string::npos) return -1;
  return std::stoll(status.substr(at + 6)) * 1024;
}

// Starts a new peak: every test of this process runs in one process, and each checks its own.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }

void MakeSparse(const std::string& path, const std::string& size) {
  Env::Platform().ForceDirectories(ExtractFilePath(path));
  ASSERT_EQ(RunTool("truncate -s " + size + " " + Quote(path)).Status, 0);
}

TEST(EngineLongTest, MoreThan65535Entries) {
  TempFolder tmp;
  const std::string zip = tmp / "many.zip";
  // Two batches: the first archive needs no ZIP64, extending it crosses the limit, and a third
  // run extends an archive whose count is only in the ZIP64 record.
  auto makeBatch = [&](const std::string& dir, int count) {
    for (int i = 0; i < count; ++i) WriteFile(tmp / (dir + "/" + std::to_string(i)), std::to_string(i));
  };
  makeBatch("a", 40000);
  makeBatch("b", 30000);
  EngineCommand first(zip);
  first.Spec(tmp / "a/*");
  ASSERT_EQ(first.Run(), 40000) << first.Messages();
  EngineCommand second(zip);
  second.Spec(tmp / "b/*");
  ASSERT_EQ(second.Run(), 30000) << second.Messages();
  WriteFile(tmp / "last.txt", "last");
  EngineCommand third(zip);
  third.Spec(tmp / "last.txt");
  ASSERT_EQ(third.Run(), 1) << third.Messages();

  EXPECT_EQ(ReadersReject(zip), "");
  EXPECT_EQ(ListWithPython(zip).size(), 70001u);
  EXPECT_EQ(UnzipContent(zip, PathWithoutDrive(tmp / "a/39999")), "39999");
  EXPECT_EQ(UnzipContent(zip, PathWithoutDrive(tmp / "last.txt")), "last");
}

TEST(EngineLongTest, EntriesAndOffsetsBeyond4GiB) {
  TempFolder tmp;
  // The sources are sparse, but the archive stores one of them whole.
  const int64_t free = Env::Platform().GetDriveInfo(tmp.Path()).FreeBytes;
  if (free >= 0 && free < (int64_t{5} << 30)) GTEST_SKIP() << "needs 5 GiB of free temporary space";
  ResetPeakRss();
  const std::string zip = tmp / "big.zip";
  MakeSparse(tmp / "src/a-deflated.bin", "4100M");  // deflated: only its size needs ZIP64
  MakeSparse(tmp / "src/b-stored.zip", "4100M");    // a store suffix: its compressed size and
  WriteFile(tmp / "src/c-after.txt", "after");       // the next entry's offset need ZIP64 too
  EngineCommand cmd(zip);
  cmd.BackupToolDefaults().Spec(tmp / "src/*");
  ASSERT_EQ(cmd.Run(), 3) << cmd.Messages();
  EXPECT_LT(PeakRss(), int64_t{256} << 20);

  EXPECT_EQ(ReadersReject(zip), "");
  auto entries = ListWithPython(zip);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].Size, 4100ull << 20);
  EXPECT_EQ(entries[0].Method, 8);
  EXPECT_EQ(entries[1].Method, 0);
  EXPECT_EQ(entries[1].CompressSize, 4100ull << 20);
  EXPECT_GT(entries[2].HeaderOffset, 0xFFFFFFFFull);
  EXPECT_EQ(UnzipContent(zip, PathWithoutDrive(tmp / "src/c-after.txt")), "after");

  // Reading those ZIP64 fields back is covered with small archives; extending this one would
  // only copy 4 GiB more.
}

TEST(EngineLongTest, TenGiBSourceInBoundedMemory) {
  TempFolder tmp;
  ResetPeakRss();
  MakeSparse(tmp / "huge.img", "10G");
  EngineCommand cmd(tmp / "huge.zip");
  cmd.Spec(tmp / "huge.img").Cmd().CompressionLevel = 1;
  ASSERT_EQ(cmd.Run(), 1) << cmd.Messages();
  EXPECT_LT(PeakRss(), int64_t{256} << 20);
  // The pieced stream and its ZIP64 sizes are checked by every reader in the test above; here
  // the directory is enough (inflating 10 GiB again would take a minute).
  EXPECT_EQ(ListWithPython(tmp / "huge.zip").at(0).Size, 10ull << 30);
}

// A backup of many small files names each by a line of its own. What the engine holds per file
// beyond the caller's command (its selection, its work list, the directory it writes) must stay
// small: it is what limits how many files one run can take.
TEST(EngineLongTest, ManySmallFilesTakeLittleMemoryEach) {
  TempFolder tmp;
  constexpr int kFiles = 100000;
  EngineCommand cmd(tmp / "many.zip");
  cmd.BackupToolDefaults().KeepOnlyMessages();
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = tmp / ("src/folder" + std::to_string(i % 1000) + "/file" + std::to_string(i) + ".txt");
    WriteFile(path, std::string(static_cast<size_t>(i % 300), static_cast<char>('a' + i % 26)));
    cmd.Spec(path);
  }
  const int64_t before = CurrentRss();
  ResetPeakRss();
  ASSERT_EQ(cmd.Run(), kFiles) << cmd.Messages();
  const int64_t perFile = (PeakRss() - before) / kFiles;
  RecordProperty("EngineBytesPerFile", std::to_string(perFile));
  EXPECT_LT(perFile, 400) << "bytes per file";
  std::printf("engine memory: %lld bytes per file\n", static_cast<long long>(perFile));
  EXPECT_EQ(ListWithPython(tmp / "many.zip").size(), static_cast<size_t>(kFiles));
}

}  // namespace
}  // namespace dravello::zipengine::test
