// The old archive survives every failure and every abort byte for byte, and no temporary file
// is left behind.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"
#include "tests/support/FaultEnv.h"

namespace dravello::zipengine::test {
namespace {

class EngineAtomicityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i) {
      std::string text;
      for (int k = 0; k < 4000; ++k) text += std::to_string(i * k) + (k % 9 ? " " : "\n");
      WriteFile(tmp_ / ("src/f" + std::to_string(i) + ".txt"), text);
    }
    EngineCommand first(zip_);
    first.Spec(tmp_ / "src/f0.txt");
    ASSERT_EQ(first.Run(), 1);
    original_ = ReadFile(zip_);
  }

  std::vector<std::string> FolderNames() {
    std::vector<std::string> names;
    for (const DirEntry& e : Env::Platform().ListDirectory(tmp_.Path())) names.push_back(e.Name);
    std::sort(names.begin(), names.end());
    return names;
  }

  void ExpectUntouched(const EngineCommand& cmd) {
    EXPECT_TRUE(ReadFile(zip_) == original_) << "old archive changed; " << cmd.Messages();
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.zip", "src"})) << "temporary file removed";
  }

  TempFolder tmp_;
  std::string zip_ = tmp_ / "a.zip";
  std::string original_;
};

TEST_F(EngineAtomicityTest, WriteFailuresAtAnyPointLeaveTheOldArchive) {
  EngineTuning tuning;
  tuning.StreamThreshold = 8000;  // some files streamed, in several pieces; some whole
  tuning.PieceSize = 4096;
  auto command = [&](EngineCommand& cmd) { cmd.Spec(tmp_ / "src/*.txt"); };
  // The size of the archive the command writes when nothing fails.
  TempFolder scratch;
  WriteFile(scratch / "a.zip", original_);
  EngineCommand probe(scratch / "a.zip");
  command(probe);
  ASSERT_EQ(probe.Run(tuning), 6);
  const int64_t full = static_cast<int64_t>(ReadFile(scratch / "a.zip").size());

  // Fail at the start, inside the copied entry, inside new data, in the central directory and
  // in the end record.
  for (int64_t budget : {int64_t{0}, int64_t{10}, int64_t{200}, full / 3, full * 2 / 3, full - 400, full - 5}) {
    SCOPED_TRACE(budget);
    FaultEnv fault(Env::Platform());
    fault.FailWritesAfter(budget);
    ScopedEnv scoped(fault);
    EngineCommand cmd(zip_);
    command(cmd);
    EXPECT_EQ(cmd.Run(tuning), 0);
    EXPECT_NE(cmd.Messages().find("14: "), std::string::npos) << cmd.Messages();
    ExpectUntouched(cmd);
  }
}

TEST_F(EngineAtomicityTest, SyncAndRenameFailuresLeaveTheOldArchive) {
  for (bool failSync : {true, false}) {
    SCOPED_TRACE(failSync);
    FaultEnv fault(Env::Platform());
    if (failSync) {
      fault.FailSync(true);
    } else {
      fault.FailWhen([](const std::string& op, const std::string&) { return op == "rename"; });
    }
    ScopedEnv scoped(fault);
    EngineCommand cmd(zip_);
    cmd.Spec(tmp_ / "src/*.txt");
    EXPECT_EQ(cmd.Run(), 0);
    ExpectUntouched(cmd);
  }
}

TEST_F(EngineAtomicityTest, TemporaryFileThatCannotBeCreated) {
  FaultEnv fault(Env::Platform());
  fault.FailWhen([](const std::string& op, const std::string&) { return op == "create"; });
  ScopedEnv scoped(fault);
  EngineCommand cmd(zip_);
  cmd.Spec(tmp_ / "src/*.txt");
  EXPECT_EQ(cmd.Run(), 0);
  EXPECT_NE(cmd.Messages().find("10: "), std::string::npos) << cmd.Messages();
  ExpectUntouched(cmd);
}

TEST_F(EngineAtomicityTest, AbortAtEveryKindOfCallback) {
  struct Case {
    int32_t Action;
    int Nth;
  } cases[] = {{zcaTotalFiles, 1}, {zcaFileBegin, 1}, {zcaFileBegin, 4}, {zcaBytesDone, 1}, {zcaBytesDone, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Action) + "/" + std::to_string(c.Nth));
    EngineCommand cmd(zip_);
    cmd.Spec(tmp_ / "src/*.txt");
    cmd.AbortAt(c.Action, c.Nth);
    EngineTuning tuning;
    tuning.StreamThreshold = 8000;
    tuning.PieceSize = 4096;
    EXPECT_EQ(cmd.Run(tuning), 0);
    auto messages = cmd.EventsOf(zcaMessage);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().Arg & 0xFF, 9) << "abort is reported as error 9";
    ExpectUntouched(cmd);
  }
}

TEST_F(EngineAtomicityTest, TempDirElsewhereStillReplacesAtomically) {
  TempFolder other;
  std::string tempDir = other.Path();
  EngineCommand cmd(zip_);
  cmd.Spec(tmp_ / "src/*.txt");
  cmd.Cmd().TempDirText = tempDir.c_str();
  ASSERT_EQ(cmd.Run(), 6) << cmd.Messages();
  EXPECT_EQ(ReadersReject(zip_), "");
  EXPECT_TRUE(Env::Platform().ListDirectory(tempDir).empty()) << "temporary file moved away";
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.zip", "src"}));
}

TEST_F(EngineAtomicityTest, TempDirOnAnotherFileSystemIsCopiedBesideTheArchive) {
  TempFolder other;
  std::string tempDir = other.Path();
  FaultEnv fault(Env::Platform());
  int renames = 0;
  // The first rename (from the temporary folder) fails as it does across file systems.
  fault.FailWhen([&](const std::string& op, const std::string&) { return op == "rename" && ++renames == 1; });
  ScopedEnv scoped(fault);
  EngineCommand cmd(zip_);
  cmd.Spec(tmp_ / "src/*.txt");
  cmd.Cmd().TempDirText = tempDir.c_str();
  ASSERT_EQ(cmd.Run(), 6) << cmd.Messages();
  EXPECT_EQ(renames, 2);
  EXPECT_EQ(ReadersReject(zip_), "");
  EXPECT_TRUE(Env::Platform().ListDirectory(tempDir).empty());
  EXPECT_EQ(FolderNames(), (std::vector<std::string>{"a.zip", "src"}));
}

}  // namespace
}  // namespace dravello::zipengine::test
