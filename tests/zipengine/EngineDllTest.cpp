// The built library as the archiver component sees it: loaded by path, exactly two entry
// points, and a command run through them.
#include <gtest/gtest.h>

#include "EngineTestUtil.h"
#include "runtime/SysUtils.h"
#include "tests/support/Shell.h"

namespace dravello::zipengine::test {
namespace {

const std::string kLibrary = std::string(DRAVELLO_BIN_DIR) + PathDelim + "ZIPENGINE.DLL";

TEST(EngineDllTest, ExportsOnlyTheTwoEntryPoints) {
  // On Windows the CTest windows_imports reads the PE export table with MinGW's objdump.
  if (!testing::LinuxToolsAvailable()) GTEST_SKIP() << testing::kNoLinuxTools;
  ToolResult r = RunTool("nm -D --defined-only " + Quote(kLibrary) + " | awk '$2 ~ /^[TDBVW]$/ {print $3}' | sort");
  ASSERT_EQ(r.Status, 0) << r.Output;
  EXPECT_EQ(r.Output, "GetZipEngineVersion\nZipEngineExec\n");
}

TEST(EngineDllTest, RunsACommandThroughTheLoadedLibrary) {
  std::string error;
  std::unique_ptr<DynamicLibrary> lib = Env::Platform().OpenLibrary(kLibrary, &error);
  ASSERT_TRUE(lib) << error;
  auto version = reinterpret_cast<GetZipEngineVersionFn>(lib->Symbol("GetZipEngineVersion"));
  auto exec = reinterpret_cast<ZipEngineExecFn>(lib->Symbol("ZipEngineExec"));
  ASSERT_TRUE(version && exec);
  EXPECT_GE(version(), 172);

  TempFolder tmp;
  WriteFile(tmp / "in/hello.txt", "hello through the library");
  EngineCommand cmd(tmp / "out.zip");
  cmd.BackupToolDefaults().Spec(tmp / "in/hello.txt");
  cmd.Run();  // fills the record's counts and pointers; the archive is made again below
  Env::Platform().DeleteFile(tmp / "out.zip");
  EXPECT_EQ(exec(&cmd.Cmd()), 1);
  EXPECT_EQ(ReadersReject(tmp / "out.zip"), "");
  EXPECT_EQ(UnzipContent(tmp / "out.zip", StoredName(tmp / "in/hello.txt")), "hello through the library");

  EXPECT_LT(exec(nullptr), 0);
  ZipCommand bad{};
  EXPECT_LT(exec(&bad), 0) << "a record without its check value is refused";
}

}  // namespace
}  // namespace dravello::zipengine::test
