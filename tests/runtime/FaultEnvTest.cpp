#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/SysUtils.h"
#include "tests/runtime/TestFiles.h"
#include "tests/support/FaultEnv.h"

namespace dravello {
namespace {

namespace fs = std::filesystem;

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class FaultEnvTest : public ::testing::Test {
 protected:
  TempDir dir;
  FaultEnv env{Env::Platform()};
};

TEST_F(FaultEnvTest, WriteBudgetSpansAllFiles) {
  env.FailWritesAfter(10);
  auto a = env.NewWritableFile(dir / "a");
  auto b = env.NewWritableFile(dir / "b");
  a->Append(std::string("123456"));
  try {
    b->Append(std::string("abcdef"));
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOSPC);
  }
  EXPECT_THROW(a->Append(std::string("x")), EInOutError);  // once full, full
  a->Append(std::string());  // nothing to write never fails
  a->Close();
  b->Close();
  EXPECT_EQ(env.BytesWritten(), 6);
  EXPECT_EQ(ReadBytes(dir / "a"), "123456");
  EXPECT_EQ(ReadBytes(dir / "b"), "");  // the failing write wrote nothing

  env.FailWritesAfter(-1);
  auto c = env.NewWritableFile(dir / "c");
  c->Append(std::string(100, 'c'));
  c->Close();
  EXPECT_EQ(env.BytesWritten(), 106);
}

TEST_F(FaultEnvTest, TemporaryAndAppendedFilesAreChargedToo) {
  WriteBytes(dir / "log", "");
  env.FailWritesAfter(3);
  auto log = env.NewAppendableFile(dir / "log");
  EXPECT_THROW(log->Append(std::string("line\r\n")), EInOutError);
  std::unique_ptr<WritableFile> temp;
  env.CreateTempFileBeside(dir / "x.ini", &temp);
  EXPECT_THROW(temp->Append(std::string("x")), EInOutError);
}

TEST_F(FaultEnvTest, ReadBudgetFailsTheReadThatCrossesIt) {
  WriteBytes(dir / "f", "0123456789");
  env.FailReadsAfter(6);
  auto in = env.NewSequentialFile(dir / "f");
  char buf[100];
  ASSERT_EQ(in->Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  try {
    in->Read(buf, sizeof buf);
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), EIO);
  }

  env.FailReadsAfter(3);
  auto random = env.NewRandomAccessFile(dir / "f");
  EXPECT_EQ(random->ReadAt(0, buf, 2), 2u);
  EXPECT_THROW(random->ReadAt(2, buf, 5), EInOutError);
  EXPECT_THROW(random->ReadAt(0, buf, 1), EInOutError);  // the budget is used up

  env.FailReadsAfter(-1);
  EXPECT_EQ(ReadFileToString(env, dir / "f"), "0123456789");
}

TEST_F(FaultEnvTest, ReadingToTheEndWithinTheBudgetSucceeds) {
  WriteBytes(dir / "f", "0123456789");
  env.FailReadsAfter(10);
  EXPECT_EQ(ReadFileToString(env, dir / "f"), "0123456789");
}

TEST_F(FaultEnvTest, SyncFailsOnDemand) {
  env.FailSync(true);
  auto f = env.NewWritableFile(dir / "f");
  f->Append(std::string("x"));
  EXPECT_THROW(f->Sync(), EInOutError);
  env.FailSync(false);
  f->Sync();
}

TEST_F(FaultEnvTest, FailWhenSelectsOperationAndPath) {
  WriteBytes(dir / "victim", "v");
  WriteBytes(dir / "other", "o");
  fs::create_directory(dir / "d");
  std::vector<std::string> seen;
  env.FailWhen([&](const std::string& op, const std::string& path) {
    seen.push_back(op + " " + ExtractFileName(path));
    return ExtractFileName(path).rfind("victim", 0) == 0;
  });
  const std::string v = dir / "victim", o = dir / "other";
  struct Case {
    const char* op;
    std::function<void(const std::string&)> call;
  } cases[] = {
      {"open", [&](const std::string& p) { env.NewSequentialFile(p); }},
      {"open", [&](const std::string& p) { env.NewRandomAccessFile(p); }},
      {"open", [&](const std::string& p) { env.NewAppendableFile(p); }},
      {"create", [&](const std::string& p) { env.NewWritableFile(p); }},
      {"create", [&](const std::string& p) { std::unique_ptr<WritableFile> f; env.CreateTempFileBeside(p, &f); }},
      {"time", [&](const std::string& p) { env.SetFileTime(p, 0); }},
      {"attrs", [&](const std::string& p) { env.SetAttributes(p, faArchive); }},
      {"rename", [&](const std::string& p) { env.RenameFile(dir / "d", p + ".renamed"); env.RenameFile(p + ".renamed", dir / "d"); }},
      {"delete", [&](const std::string& p) { WriteBytes(p + ".del", ""); env.DeleteFile(p + ".del"); }},
  };
  for (const Case& c : cases) {
    seen.clear();
    EXPECT_NO_THROW(c.call(o)) << c.op;
    ASSERT_FALSE(seen.empty()) << c.op;
    EXPECT_EQ(seen.front().substr(0, seen.front().find(' ')), c.op);
    try {
      c.call(v);
      ADD_FAILURE() << c.op << " did not fail";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode(), EACCES) << c.op;
    }
  }
  EXPECT_EQ(ReadBytes(v), "v");

  env.FailWhen([&](const std::string& op, const std::string& path) {
    return (op == "mkdir" || op == "list") && ExtractFileName(path) == "victim";
  });
  EXPECT_THROW(env.CreateDir(dir / "victim"), EOSError);
  EXPECT_THROW(env.ListDirectory(dir / "victim"), EOSError);
  env.CreateDir(dir / "fine");
  EXPECT_TRUE(env.ListDirectory(dir / "fine").empty());
  env.FailWhen(nullptr);
  EXPECT_NO_THROW(env.NewSequentialFile(v));
}

TEST_F(FaultEnvTest, BeforeFirstReadRunsOnceJustBeforeOpening) {
  WriteBytes(dir / "src", "as listed");
  std::vector<std::string> calls;
  env.BeforeFirstRead([&](const std::string& path) {
    calls.push_back(path);
    WriteBytes(path, "changed before the copy");
  });
  EXPECT_EQ(ReadFileToString(env, dir / "src"), "changed before the copy");
  WriteBytes(dir / "src", "again");
  EXPECT_EQ(ReadFileToString(env, dir / "src"), "again");
  EXPECT_EQ(calls, std::vector<std::string>{dir / "src"});

  env.BeforeFirstRead([&](const std::string& path) { calls.push_back(path); });
  env.NewRandomAccessFile(dir / "src");
  EXPECT_EQ(calls.size(), 2u);
}

TEST_F(FaultEnvTest, ForwardsEverythingElse) {
  WriteBytes(dir / "f", "abc");
  EXPECT_EQ(env.Stat(dir / "f").Size, 3);
  EXPECT_EQ(env.GetAttributes(dir / "f"), Env::Platform().GetAttributes(dir / "f"));
  EXPECT_EQ(env.ProgramFileName(), Env::Platform().ProgramFileName());
  EXPECT_EQ(&env.Target(), &Env::Platform());
}

}  // namespace
}  // namespace dravello
